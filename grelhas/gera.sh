#!/usr/bin/env bash
# Writes the four Datum Lisboa grid files (et_lx_m.asc, et_lx_p.asc,
# lx_et_m.asc, lx_et_p.asc) into this folder from DGT's NTv2 grids in dgt/,
# with PROJ's cct (Debian package proj-bin). The build does not run it: the
# files it wrote are kept beside it and copied beside the programs.
#
# Grid geometry: 123 rows × 66 nodes, 5 km apart, x from -140000 (west) to
# 185000 (east), y from 290000 (north) to -320000 (south), in the source
# system's plane coordinates as kelvara reads them. For Datum 73 those are
# the coordinates with the central point's false origin (x_0 = 180.598,
# y_0 = -86.99, EPSG:27493), for Datum Lisboa those with the central point
# as origin (EPSG:5018). et_lx_* hold, at Datum 73 nodes, Datum Lisboa
# coordinates; lx_et_* hold, at Datum Lisboa nodes, Datum 73 coordinates.
#
# Every node value: the source plane -> geographic on the International
# 1924 ellipsoid -> DGT's grid of the source datum -> ETRS89 -> DGT's grid
# of the target datum, inverted -> the target plane. A node PROJ cannot
# transform (outside DGT's grids) gets -999999, the reader's marker.
#
# File layout: one grid row per line, north to south; 66 numbers per line,
# west to east, separated by commas; four decimals; "\n" line ends. The same
# grids and PROJ give the same bytes.
set -euo pipefail
cd "$(dirname "$0")"
export LC_ALL=C
# DGT's grids from dgt/ only, never from the network.
export PROJ_DATA="$PWD/dgt" PROJ_NETWORK=OFF

if ! command -v cct >/dev/null; then
  echo "gera.sh: falta o programa cct do PROJ (apt-get install proj-bin)." >&2
  exit 1
fi
for f in dgt/pt_dgt_D73_ETRS89_geo.tif dgt/pt_dgt_DLx_ETRS89_geo.tif; do
  if [ ! -r "$f" ]; then
    echo "gera.sh: falta a grelha da DGT $f." >&2
    exit 1
  fi
done

# Hayford-Gauss on the International 1924 ellipsoid, central point as origin.
hg="+proj=tmerc +lat_0=39.6666666666667 +lon_0=-8.13190611111111 +k=1 +ellps=intl"
d73="$hg +x_0=180.598 +y_0=-86.99"
lisboa="$hg +x_0=0 +y_0=0"
grelha_73="+proj=hgridshift +grids=pt_dgt_D73_ETRS89_geo.tif"
grelha_lisboa="+proj=hgridshift +grids=pt_dgt_DLx_ETRS89_geo.tif"
de_73_para_lisboa="+proj=pipeline +step +inv $d73 +step $grelha_73 +step +inv $grelha_lisboa +step $lisboa"
de_lisboa_para_73="+proj=pipeline +step +inv $lisboa +step $grelha_lisboa +step +inv $grelha_73 +step $d73"

# The nodes, row by row from the north, each row from the west; the node's
# number rides along after x, y, z and t, and cct copies it to its output.
nos() {
  awk 'BEGIN {
    for (i = 1; i <= 123; ++i)
      for (j = 1; j <= 66; ++j)
        printf "%d %d 0 0 %d\n", -140000 + (j - 1) * 5000, 290000 - (i - 1) * 5000, (i - 1) * 66 + j
  }'
}

# Writes PREFIXO_m.asc and PREFIXO_p.asc from cct's output on the nodes. A
# node cct refuses comes as "# Record ... TRANSFORMATION ERROR: ... n" and a
# line with the reason.
escreve() {
  local prefixo=$1 pipeline=$2
  # shellcheck disable=SC2086  # the pipeline is a list of PROJ arguments
  nos | cct -d 4 $pipeline | awk -v prefixo="$prefixo" -v m="$prefixo"_m.asc.tmp -v p="$prefixo"_p.asc.tmp '
    function numero(s) { return s == "-0.0000" ? "0.0000" : s }
    /^#/ { next }
    /^ *\(/ { next }
    NF == 5 && $1 + 0 == $1 && $1 !~ /inf|nan/ { vm[$5] = numero($1); vp[$5] = numero($2); next }
    { print "gera.sh: linha inesperada do cct: " $0 > "/dev/stderr"; erro = 1 }
    END {
      if (erro) exit 1
      sem = 0
      for (n = 1; n <= 123 * 66; ++n) {
        if (!(n in vm)) {
          vm[n] = vp[n] = "-999999"
          ++sem
          printf "gera.sh: %s: nó da linha %d, coluna %d sem ponto transformado (-999999)\n",
                 prefixo, int((n - 1) / 66) + 1, (n - 1) % 66 + 1 > "/dev/stderr"
        }
        sm = (n % 66 == 1) ? vm[n] : sm "," vm[n]
        sp = (n % 66 == 1) ? vp[n] : sp "," vp[n]
        if (n % 66 == 0) { print sm > m; print sp > p }
      }
      printf "%s_m.asc, %s_p.asc: %d nós, %d sem ponto transformado\n", prefixo, prefixo, 123 * 66, sem
    }'
  mv "$prefixo"_m.asc.tmp "$prefixo"_m.asc
  mv "$prefixo"_p.asc.tmp "$prefixo"_p.asc
}

escreve et_lx "$de_73_para_lisboa"
escreve lx_et "$de_lisboa_para_73"
