#!/usr/bin/env bash
# Installs what is missing, builds, and converts the sample shapefile that the
# build makes (rivers in Hayford-Gauss Datum 73) to ETRS89 / PT-TM06.
set -euo pipefail
cd "$(dirname "$0")/.."
bash util/instala.sh
bash util/compila.sh
amostra=build/amostra
./build/kelvara-cli -s "Hayford-Gauss Datum 73" -t "ETRS89 TM06" \
  "$amostra/rios.shp" "$amostra/rios_etrs.shp"
