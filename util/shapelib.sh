#!/usr/bin/env bash
# Builds shapelib from its sources (../shared/thirdparty) into a static
# library, for the builds that cannot use Debian's: the sanitizer and fuzz
# builds, where the library must carry the same instrumentation so that a
# fault inside it shows.
#   [AR=ARQUIVADOR] bash util/shapelib.sh PASTA COMPILADOR "OPÇÕES"
# leaves PASTA/shapefil.h and PASTA/libshp.a (the Windows cross-build uses it
# too, with mingw's compiler and archiver).
set -euo pipefail
cd "$(dirname "$0")/.."
pasta=$1 cc=$2 opcoes=$3 ar=${AR:-ar}
fontes=../shared/thirdparty/shapelib-1.5.0.tar.gz
[ -r "$fontes" ] || { echo "shapelib.sh: falta $fontes" >&2; exit 1; }
mkdir -p "$pasta"
tar xzf "$fontes" -C "$pasta" --strip-components=1
objectos=()
for f in shpopen dbfopen safileio sbnsearch shptree; do
  # shellcheck disable=SC2086  # the options are a list
  "$cc" -O1 $opcoes -w -c "$pasta/$f.c" -I "$pasta" -o "$pasta/$f.o"
  objectos+=("$pasta/$f.o")
done
rm -f "$pasta/libshp.a"
"$ar" rcs "$pasta/libshp.a" "${objectos[@]}"
