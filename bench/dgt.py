#!/usr/bin/env python3
"""What the "dgt" method (DGT's NTv2 grids) costs, against the official one
and against ogr2ogr with the same grids.

Makes the 806 MB PolyLineZ file of bench/mede.py (1,000,000 records of 20
vertices, bench/gera.cpp) and a 81 MB one (100,000 records), and times, in
--corridas rounds (3 by default) after one run to warm up, each run after an
untimed `sync` into an empty folder, Hayford-Gauss Datum 73 to ETRS89 TM06:

  oficial   kelvara-cli (the official polynomial)
  dgt       kelvara-cli --metodo dgt
  ogr2ogr   ogr2ogr -ct with PROJ's pipeline over DGT's GeoTIFF, then `sync`
            of its output (kelvara-cli puts its own on disk before it ends)

It prints medians of the wall-clock time and of the processor time (user
and system, all threads), the processor time the dgt method adds per vertex
(806 MB file: what one processor would add; the records are shared among
the processors, so the wall-clock time adds less), and ogr2ogr/dgt.
Targets: at most 300 ns a vertex added; at least 5 x faster than ogr2ogr
on the 806 MB file.

Usage (from the repository, after util/compila.sh):
  python3 bench/dgt.py [--compilacao build] [--pasta /tmp/kelvara-dgt] [--corridas 3]
"""
import argparse
import os
import resource
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
    """(wall clock, processor) seconds of one run."""
    shutil.rmtree(pasta, ignore_errors=True)
    os.makedirs(pasta)
    subprocess.run(["sync"], check=True)
    r0 = resource.getrusage(resource.RUSAGE_CHILDREN)
    t = time.perf_counter()
    subprocess.run(comando, check=True, stdout=subprocess.DEVNULL, env=ambiente)
    t = time.perf_counter() - t
    r1 = resource.getrusage(resource.RUSAGE_CHILDREN)
    return t, (r1.ru_utime - r0.ru_utime) + (r1.ru_stime - r0.ru_stime)


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
            return cronometra(["sh", "-c", 'ogr2ogr "$@" && sync "${3%.shp}".*', "ogr2ogr", "-f",
                               "ESRI Shapefile", os.path.join(saida, "s.shp"), base + ".shp",
                               "-s_srs", "EPSG:27493", "-t_srs", "EPSG:3763", "-ct", pipeline],
                              saida, ambiente)
        metodo = ["--metodo", "dgt"] if ferramenta == "dgt" else []
        return cronometra([cli, "-q"] + metodo + ["-s", d73, "-t", etrs, base + ".shp",
                                                  os.path.join(saida, "s.shp")], saida)

    medidas, cpu = {}, {}
    for nome, (registos, base) in ficheiros.items():
        for ferramenta in ("oficial", "dgt", "ogr2ogr"):
            corre(ferramenta, base)  # warm-up
            vezes = [corre(ferramenta, base) for _ in range(a.corridas)]
            medidas[(nome, ferramenta)] = statistics.median(t for t, _ in vezes)
            cpu[(nome, ferramenta)] = statistics.median(c for _, c in vezes)
            print("%-7s %-8s %8.3f s, processador %8.3f s (todas: %s)" %
                  (nome, ferramenta, medidas[(nome, ferramenta)], cpu[(nome, ferramenta)],
                   " ".join("%.3f" % t for t, _ in vezes)), flush=True)
    vertices = 20 * ficheiros["806 MB"][0]
    acrescimo = (cpu[("806 MB", "dgt")] - cpu[("806 MB", "oficial")]) / vertices * 1e9
    parede = (medidas[("806 MB", "dgt")] - medidas[("806 MB", "oficial")]) / vertices * 1e9
    print("dgt acrescenta %.0f ns de processador por vértice (objectivo: 300 ou menos): %s; "
          "%.0f ns de tempo real" % (acrescimo, "cumprido" if acrescimo <= 300 else "NÃO cumprido",
                                     parede))
    for nome in ficheiros:
        razao = medidas[(nome, "ogr2ogr")] / medidas[(nome, "dgt")]
        print("%s: ogr2ogr / dgt = %.1f (objectivo, no de 806 MB: 5 ou mais)%s" %
              (nome, razao, (": cumprido" if razao >= 5 else ": NÃO cumprido")
               if nome == "806 MB" else ""))
    shutil.rmtree(saida, ignore_errors=True)


if __name__ == "__main__":
    main()
