#!/usr/bin/env bash
# Installs what is missing, builds, and starts kelvara's window. Where there
# is no display it says so and converts instead the sample shapefiles that
# the build makes (rivers in Hayford-Gauss Datum 73, and the same rivers in
# Datum Lisboa) to ETRS89 / PT-TM06; the Datum Lisboa one through the grid
# files the build puts beside the program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash util/instala.sh fonts-liberation  # Arial's metrics, as the windows were laid out
# Only what the demonstration runs (the window, kelvara-cli, the samples and
# the grid files beside them), one job per processor at most.
cmake --preset simples >/dev/null
cmake --build --preset simples -j "$(nproc)" --target kelvara kelvara-cli amostra grelhas
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec ./build/kelvara
fi
echo "Sem ecrã (nem DISPLAY nem WAYLAND_DISPLAY): a janela não pode abrir aqui."
echo "Em vez dela, a conversão de demonstração pela linha de comandos:"
amostra=build/amostra
./build/kelvara-cli --substituir -s "Hayford-Gauss Datum 73" -t "ETRS89 TM06" \
  "$amostra/rios.shp" "$amostra/rios_etrs.shp"
./build/kelvara-cli --substituir -s "Hayford-Gauss Datum Lisboa-Ponto Central" -t "ETRS89 TM06" \
  "$amostra/rios_lisboa.shp" "$amostra/rios_lisboa_etrs.shp"
