#!/usr/bin/env bash
# Builds shapelib from its sources (../shared/thirdparty) into a static
# library, for the builds that cannot use Debian's: the sanitizer and fuzz
# builds, where the library must carry the same instrumentation so that a
# fault inside it shows.
#   bash util/shapelib.sh PASTA COMPILADOR "OPÇÕES"
# leaves PASTA/shapefil.h and PASTA/libshp.a.
set -euo pipefail
cd "$(dirname "$0")/.."
pasta=$1 cc=$2 opcoes=$3
fontes=../shared/thirdparty/shapelib-1.5.0.tar.gz
[ -r "$fontes" ] || { echo "shapelib.sh: falta $fontes" >&2; exit 1; }
mkdir -p "$pasta"
tar xzf "$fontes" -C "$pasta" --strip-components=1
objectos=()
for f in shpopen dbfopen safileio sbnsearch shptree; do
  # shellcheck disable=SC2086  # the options are a list
  "$cc" $opcoes -O1 -w -c "$pasta/$f.c" -I "$pasta" -o "$pasta/$f.o"
  objectos+=("$pasta/$f.o")
done
rm -f "$pasta/libshp.a"
ar rcs "$pasta/libshp.a" "${objectos[@]}"
