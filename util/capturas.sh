#!/usr/bin/env bash
# Draws the windows under a virtual X server into build/capturas/*.png (to
# compare with the layout), and puts the three that the README shows into
# doc/capturas/: janela.png (one file), varios.png (several files into a
# folder) and informacao.png (the information window).
set -euo pipefail
cd "$(dirname "$0")/.."
bash util/instala.sh xvfb xauth fonts-liberation
cmake --preset simples >/dev/null
cmake --build --preset simples -j "$(nproc)" --target kelvara
rm -rf build/capturas
xvfb-run -a ./build/kelvara --captura build/capturas
mkdir -p doc/capturas
cp build/capturas/janela.png build/capturas/varios.png build/capturas/informacao.png doc/capturas/
ls build/capturas doc/capturas
