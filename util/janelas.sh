#!/usr/bin/env bash
# Draws both windows (and the main one in its extended layout) under a
# virtual X server into build/capturas/*.png, to compare with the layout.
set -euo pipefail
cd "$(dirname "$0")/.."
bash util/instala.sh xvfb xauth
bash util/compila.sh
rm -rf build/capturas
xvfb-run -a ./build/kelvara --captura build/capturas
ls build/capturas
