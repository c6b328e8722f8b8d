#!/usr/bin/env python3
"""What the "dgt" method (DGT's NTv2 grids) costs, against the official one
and against ogr2ogr with the same grids.

Makes the 806 MB PolyLineZ file of bench/mede.py (1,000,000 records of 20
vertices, bench/gera.cpp) and a 81 MB one (100,000 records), and times, in
--corridas rounds (3 by default) after one run to warm up, each run after an
untimed `sync` into an empty folder, Hayford-Gauss Datum 73 to ETRS89 TM06:

  oficial   kelvara-cli (the official polynomial)
  dgt       kelvara-cli --metodo dgt
  ogr2ogr   ogr2ogr -ct with PROJ's pipeline over DGT's GeoTIFF (81 MB
            file only: it takes minutes on the large one)

It prints medians, the time the dgt method adds per vertex (806 MB file,
on one processor: the conversion thread does the transformation), and
ogr2ogr/dgt. Targets: at most 300 ns a vertex added; at least 5 x faster
than ogr2ogr.

Usage (from the repository, after util/compila.sh):
  python3 bench/dgt.py [--compilacao build] [--pasta /tmp/kelvara-dgt] [--corridas 3]
"""
import argparse
import os
import shutil
import statistics
import subprocess
import time

raiz = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
d73 = "Hayford-Gauss Datum 73"
etrs = "ETRS89 TM06"
pipeline = ("+proj=pipeline +step +inv +proj=tmerc +lat_0=39.6666666666667 "
            "+lon_0=-8.13190611111111 +k=1 +x_0=180.598 +y_0=-86.99 +ellps=intl "
            "+step +proj=hgridshift +grids=pt_dgt_D73_ETRS89_geo.tif "
            "+step +proj=tmerc +lat_0=39.6682583333333 +lon_0=-8.13310833333333 +k=1 "
            "+x_0=0 +y_0=0 +ellps=GRS80")


def cronometra(comando, pasta, ambiente=None):
    shutil.rmtree(pasta, ignore_errors=True)
    os.makedirs(pasta)
    subprocess.run(["sync"], check=True)
    t = time.perf_counter()
    subprocess.run(comando, check=True, stdout=subprocess.DEVNULL, env=ambiente)
    return time.perf_counter() - t


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--compilacao", default=os.path.join(raiz, "build"))
    ap.add_argument("--pasta", default="/tmp/kelvara-dgt")
    ap.add_argument("--corridas", type=int, default=3)
    a = ap.parse_args()
    cli = os.path.join(a.compilacao, "kelvara-cli")
    gera = os.path.join(a.compilacao, "kelvara-gera")
    os.makedirs(a.pasta, exist_ok=True)
    ambiente = dict(os.environ, PROJ_DATA=os.path.join(raiz, "grelhas", "dgt") + ":/usr/share/proj",
                    PROJ_NETWORK="OFF")
    ficheiros = {"806 MB": (1000000, os.path.join(a.pasta, "grande")),
                 "81 MB": (100000, os.path.join(a.pasta, "medio"))}
    for registos, base in ficheiros.values():
        if not os.path.exists(base + ".shp"):
            subprocess.run([gera, base, str(registos)], check=True, stdout=subprocess.DEVNULL)
    saida = os.path.join(a.pasta, "saida")

    def corre(ferramenta, base):
        if ferramenta == "ogr2ogr":
            return cronometra(["ogr2ogr", "-f", "ESRI Shapefile", "-s_srs", "EPSG:27493", "-t_srs",
                               "EPSG:3763", "-ct", pipeline, os.path.join(saida, "s.shp"),
                               base + ".shp"], saida, ambiente)
        metodo = ["--metodo", "dgt"] if ferramenta == "dgt" else []
        return cronometra([cli, "-q"] + metodo + ["-s", d73, "-t", etrs, base + ".shp",
                                                  os.path.join(saida, "s.shp")], saida)

    medidas = {}
    for nome, (registos, base) in ficheiros.items():
        for ferramenta in ("oficial", "dgt") + (("ogr2ogr",) if nome == "81 MB" else ()):
            corre(ferramenta, base)  # warm-up
            medidas[(nome, ferramenta)] = statistics.median(
                corre(ferramenta, base) for _ in range(a.corridas))
            print("%-7s %-8s %8.3f s" % (nome, ferramenta, medidas[(nome, ferramenta)]), flush=True)
    vertices = 20 * ficheiros["806 MB"][0]
    acrescimo = (medidas[("806 MB", "dgt")] - medidas[("806 MB", "oficial")]) / vertices * 1e9
    razao = medidas[("81 MB", "ogr2ogr")] / medidas[("81 MB", "dgt")]
    print("dgt acrescenta %.0f ns por vértice (objectivo: 300 ou menos): %s" %
          (acrescimo, "cumprido" if acrescimo <= 300 else "NÃO cumprido"))
    print("ogr2ogr / dgt = %.1f (objectivo: 5 ou mais): %s" %
          (razao, "cumprido" if razao >= 5 else "NÃO cumprido"))
    shutil.rmtree(saida, ignore_errors=True)


if __name__ == "__main__":
    main()
