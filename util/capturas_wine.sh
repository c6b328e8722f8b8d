#!/usr/bin/env bash
# The Windows window under wine, on a virtual X server with a window
# manager: the information window, a conversion driven from the window with
# xdotool (the question before replacing an output, the progress dialog,
# the completion message), each drawn into build-windows/capturas/*.png;
# then the output compared byte for byte with kelvara-cli's on Linux.
set -euo pipefail
cd "$(dirname "$0")/.."
bash util/instala.sh xvfb xauth openbox xdotool imagemagick fonts-liberation
[ -f build-windows/kelvara.exe ] || bash util/windows.sh
[ -x build/kelvara-gera ] || bash util/compila.sh
c=$PWD/build-windows/capturas
rm -rf "$c"
mkdir -p "$c/dados" "$c/linux"
# Large enough that the conversion shows its progress dialog.
build/kelvara-gera "$c/dados/grande" 1000000 >/dev/null
build/kelvara-cli -q -s "Hayford-Gauss Datum 73" -t "ETRS89 TM06" "$c/dados/grande.shp" "$c/linux/grande_etrs.shp"
for e in shp shx dbf; do echo velho >"$c/dados/grande_etrs.$e"; done

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
ecra=:$((90 + RANDOM % 9))
Xvfb "$ecra" -screen 0 1280x1024x24 >/dev/null 2>&1 &
xv=$!
export DISPLAY=$ecra
sleep 1
openbox >/dev/null 2>&1 &
wm=$!
trap 'kill $wm $xv 2>/dev/null || true' EXIT
wine build-windows/kelvara.exe >/dev/null 2>&1 &
for _ in $(seq 120); do
  w=$(xdotool search --name "Ostrel - Valdrena" 2>/dev/null | head -1) && [ -n "$w" ] && break
  sleep 0.5
done
sleep 2
px() { echo $(($1 / 15)); }  # twips to pixels at 96 dpi
clica() { xdotool mousemove --window "$w" "$(px "$1")" "$(px "$2")" click 1; sleep 0.5; }
foto() { import -window root "$c/$1.png"; echo "$c/$1.png"; }
espera() {  # a window named $1
  for _ in $(seq 120); do xdotool search --name "$1" >/dev/null 2>&1 && return 0; sleep 0.5; done
  return 1
}
foto janela
clica 8900 190; sleep 1.5; foto informacao
xdotool key Escape; sleep 0.5
xdotool windowactivate --sync "$w"; sleep 0.5
clica 1500 1700; xdotool key alt+Down; sleep 0.7; xdotool key Return; sleep 0.7
clica 2000 2800; xdotool type --delay 5 "Z:$c/dados/grande.shp"
clica 2000 3880; xdotool type --delay 5 "Z:$c/dados/grande_etrs.shp"
foto preenchida
clica 2200 4700; sleep 2; foto pergunta
xdotool key alt+s
sleep 1.5; foto progresso
espera "Ostrel - Kelvara" && sleep 1 && foto criado
xdotool key Return; sleep 2
for e in shp shx dbf; do
  cmp "$c/dados/grande_etrs.$e" "$c/linux/grande_etrs.$e" && echo "grande_etrs.$e: os mesmos bytes que no Linux"
done
