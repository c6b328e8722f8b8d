#!/usr/bin/env bash
# Measures how far kelvara's conversions through the grid files of this
# folder stand from PROJ with DGT's grids, at the same points: a lattice
# every 3 km over mainland Portugal (inside a rough outline kept some
# kilometres inland, so every point lies well inside DGT's grids). For each
# conversion it converts the lattice as a point shapefile with kelvara-cli
# --grelhas (this folder), transforms the same points with PROJ's cct, and
# prints the largest and the mean distance between the two results.
#
# Needs kelvara-cli (KELVARA_CLI, by default ../build/kelvara-cli), PROJ's
# cct (proj-bin) and GDAL's ogr2ogr (gdal-bin).
#
#   bash grelhas/mede.sh
set -euo pipefail
cd "$(dirname "$0")"
aqui=$PWD
cli=${KELVARA_CLI:-$aqui/../build/kelvara-cli}
export LC_ALL=C
# PROJ's cct with DGT's grids from this folder only, never from the network.
cct() { PROJ_DATA="$aqui/dgt" PROJ_NETWORK=OFF command cct "$@"; }
for p in cct ogr2ogr; do
  command -v $p >/dev/null || { echo "mede.sh: falta o programa $p." >&2; exit 1; }
done
[ -x "$cli" ] || { echo "mede.sh: falta $cli (compile, ou indique KELVARA_CLI)." >&2; exit 1; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

hg="+proj=tmerc +lat_0=39.6666666666667 +lon_0=-8.13190611111111 +k=1 +ellps=intl"
d73="$hg +x_0=180.598 +y_0=-86.99"          # EPSG:27493
lisboa="$hg +x_0=0 +y_0=0"                   # EPSG:5018
tm06="+proj=tmerc +lat_0=39.6682583333333 +lon_0=-8.13310833333333 +k=1 +x_0=0 +y_0=0 +ellps=GRS80"  # EPSG:3763
grelha_73="+proj=hgridshift +grids=pt_dgt_D73_ETRS89_geo.tif"
grelha_lisboa="+proj=hgridshift +grids=pt_dgt_DLx_ETRS89_geo.tif"

# Outline of the mainland (longitude, latitude), a few kilometres inside the
# coast and the border, clockwise from the Minho's mouth.
contorno="-8.75 41.85  -8.55 41.97  -8.20 42.05  -8.05 41.85  -7.50 41.80  -6.90 41.88
-6.45 41.55  -7.00 41.00  -6.95 40.50  -7.15 40.30  -7.30 39.95  -7.60 39.50  -7.40 39.25
-7.25 38.95  -7.40 38.50  -7.45 38.20  -7.58 37.80  -7.58 37.30  -7.80 37.15  -8.60 37.15
-8.72 37.25  -8.68 37.90  -8.75 38.45  -9.15 38.80  -9.25 39.00  -9.15 39.35  -8.90 39.70
-8.75 40.20  -8.60 40.70  -8.55 41.15  -8.70 41.70"

# The lattice in plane coordinates, away from the grid nodes (3 km steps
# from an odd origin fall at every kind of place in the 5 km cells); kept
# where its Datum 73 position lies inside the outline.
awk 'BEGIN { for (x = -138763.25; x < 185000; x += 3000)
               for (y = -318917.75; y < 290000; y += 3000) printf "%.2f %.2f\n", x, y }' \
  > "$tmp/plano.txt"
# shellcheck disable=SC2086  # a list of PROJ arguments
awk '{ print $1, $2, 0, 0 }' "$tmp/plano.txt" \
  | cct -d 9 +proj=pipeline +step +inv $d73 +step +proj=unitconvert +xy_in=rad +xy_out=deg \
  | paste -d ' ' "$tmp/plano.txt" - \
  | awk -v contorno="$contorno" '
      BEGIN { n = split(contorno, c, /[ \n]+/); k = 0
              for (i = 1; i < n; i += 2) { lo[k] = c[i]; la[k] = c[i + 1]; ++k } }
      function dentro(x, y,   i, j, d) {   # crossings of a ray to the east
        d = 0
        for (i = 0; i < k; ++i) {
          j = i ? i - 1 : k - 1
          if ((la[i] > y) != (la[j] > y) && x < (lo[j] - lo[i]) * (y - la[i]) / (la[j] - la[i]) + lo[i])
            d = !d
        }
        return d
      }
      dentro($3, $4) { print $1, $2 }' > "$tmp/rede.txt"
pontos=$(wc -l < "$tmp/rede.txt")
{ echo "id,x,y"; awk '{ print NR "," $1 "," $2 }' "$tmp/rede.txt"; } > "$tmp/rede.csv"
ogr2ogr -f "ESRI Shapefile" "$tmp/rede.shp" "$tmp/rede.csv" \
  -oo X_POSSIBLE_NAMES=x -oo Y_POSSIBLE_NAMES=y -oo KEEP_GEOM_COLUMNS=NO

# mede NOME SISTEMA1 SISTEMA2 PIPELINE: kelvara's and PROJ's results at the
# lattice points, and the largest and the mean distance between them.
mede() {
  local nome=$1 s1=$2 s2=$3 pipeline=$4 saida
  medidas=$((medidas + 1))
  saida=$tmp/saida_$medidas
  "$cli" -s "$s1" -t "$s2" --grelhas "$aqui" "$tmp/rede.shp" "$saida.shp" >/dev/null
  ogr2ogr -f CSV "$saida.csv" "$saida.shp" -lco GEOMETRY=AS_XY
  # shellcheck disable=SC2086  # the pipeline is a list of PROJ arguments
  awk '{ print $1, $2, 0, 0 }' "$tmp/rede.txt" | cct -d 6 $pipeline > "$saida.proj"
  if grep -q '^#' "$saida.proj"; then
    echo "mede.sh: o PROJ não transformou todos os pontos ($nome)." >&2
    exit 1
  fi
  tail -n +2 "$saida.csv" | tr -d '"' | paste -d ' ' - "$saida.proj" \
    | awk -F '[ ,]+' -v nome="$nome" -v n="$pontos" '
        { d = sqrt(($1 - $4) ^ 2 + ($2 - $5) ^ 2); soma += d; if (d > maximo) maximo = d; ++k }
        END {
          if (k != n) { print "mede.sh: " nome ": " k " resultados para " n " pontos" > "/dev/stderr"; exit 1 }
          printf "%8.3f %8.3f   %s\n", maximo, soma / k, nome
        }'
}

medidas=0
echo "$pontos pontos, de 3 em 3 km, no interior do continente."
echo "Distância entre kelvara e o PROJ com as grelhas da DGT, em metros:"
echo "  máxima    média   conversão"
mede "Datum 73 -> Datum Lisboa (grelha)" "Hayford-Gauss Datum 73" \
  "Hayford-Gauss Datum Lisboa-Ponto Central" \
  "+proj=pipeline +step +inv $d73 +step $grelha_73 +step +inv $grelha_lisboa +step $lisboa"
mede "Datum Lisboa -> Datum 73 (grelha)" "Hayford-Gauss Datum Lisboa-Ponto Central" \
  "Hayford-Gauss Datum 73" \
  "+proj=pipeline +step +inv $lisboa +step $grelha_lisboa +step +inv $grelha_73 +step $d73"
mede "Datum Lisboa -> ETRS89 TM06 (grelha, polin.)" "Hayford-Gauss Datum Lisboa-Ponto Central" \
  "ETRS89 TM06" "+proj=pipeline +step +inv $lisboa +step $grelha_lisboa +step $tm06"
mede "ETRS89 TM06 -> Datum Lisboa (polin., grelha)" "ETRS89 TM06" \
  "Hayford-Gauss Datum Lisboa-Ponto Central" \
  "+proj=pipeline +step +inv $tm06 +step +inv $grelha_lisboa +step $lisboa"
# For reference, the official polynomial alone, which the chains include.
mede "Datum 73 -> ETRS89 TM06 (polinómio)" "Hayford-Gauss Datum 73" "ETRS89 TM06" \
  "+proj=pipeline +step +inv $d73 +step $grelha_73 +step $tm06"
mede "ETRS89 TM06 -> Datum 73 (polinómio)" "ETRS89 TM06" "Hayford-Gauss Datum 73" \
  "+proj=pipeline +step +inv $tm06 +step +inv $grelha_73 +step $d73"
