#!/usr/bin/env bash
# Runs each fuzz target for SEGUNDOS (default 60) under AddressSanitizer and
# UndefinedBehaviorSanitizer. Inputs that crash are kept in
# fuzz/regressoes/<alvo>/, which the test suite replays; the inputs found so
# far stay in build-fuzz/corpus/<alvo>/ for the next run.
#   bash fuzz/corre.sh [SEGUNDOS] [ALVO...]
set -euo pipefail
cd "$(dirname "$0")/.."
segundos=${1:-60}
shift || true
alvos=("$@")
[ ${#alvos[@]} -gt 0 ] || alvos=(shapefile parametros grelha)

bash util/instala.sh clang libclang-rt-14-dev python3
# shapelib with the same instrumentation: its faults show, its branches guide.
bash util/shapelib.sh build-fuzz/shapelib clang \
  "-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=all -fno-omit-frame-pointer -g"
cmake --preset fuzz >/dev/null
cmake --build build-fuzz --target fuzz_shapefile fuzz_parametros fuzz_grelha
python3 fuzz/sementes.py build-fuzz/sementes

for alvo in "${alvos[@]}"; do
  mkdir -p "build-fuzz/corpus/$alvo" "fuzz/regressoes/$alvo"
  echo "== $alvo: $segundos s"
  estado=0
  ./build-fuzz/fuzz/fuzz_"$alvo" "build-fuzz/corpus/$alvo" "build-fuzz/sementes/$alvo" \
    -max_total_time="$segundos" -max_len=300000 -timeout=10 -rss_limit_mb=1024 \
    -artifact_prefix="fuzz/regressoes/$alvo/" -print_final_stats=1 \
    >"build-fuzz/$alvo.log" 2>&1 || estado=$?
  grep -E "stat::number_of_executed_units|stat::peak_rss_mb|SUMMARY" "build-fuzz/$alvo.log" || true
  if [ $estado -ne 0 ]; then
    echo "$alvo: falha encontrada (estado $estado); a entrada está em fuzz/regressoes/$alvo/"
    tail -40 "build-fuzz/$alvo.log"
  fi
done
