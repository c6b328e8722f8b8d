#!/usr/bin/env python3
"""What putting the output on disk costs kelvara-cli.

Since a conversion flushes its new files and the output's folder before the
older output is moved away, and the folder again after (fsync), "Criado"
means the output survives a power cut. This times, on the same files in the
same run:

  kelvara    this build's kelvara-cli, Hayford-Gauss Datum 73 to ETRS89 TM06
  antes      a kelvara-cli that does not flush (--antes), where given
  cp+sync    cp of the files into a new folder, then `sync` of the copies
             (coreutils' sync with file names: an fsync of each)
  cp         cp alone

on polylines of about 806 MB (1,000,000 records, bench/gera.cpp), 10
million points, and 1,000 files of 1,000 records (a batch: one kelvara-cli
for the folder; cp -r of the folder). Every run writes into a new, empty
folder after an untimed `sync`; --corridas rounds (3 by default), the tools
taking turns; medians are printed as a Markdown table.

Usage (from the repository, after a build):
  python3 bench/disco.py [--kelvara CLI] [--antes CLI] [--gera GERA]
                         [--pasta DIR] [--corridas N] [--manter]

Everything it writes goes under --pasta (default /tmp/kelvara-disco) and is
removed at the end unless --manter is given.
"""

import argparse
import os
import shutil
import statistics
import subprocess
import time

RAIZ = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SISTEMA1 = "Hayford-Gauss Datum 73"
SISTEMA2 = "ETRS89 TM06"


def corre(args):
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL)


def gera(gera_exe, pasta):
    """The three inputs: (name, list of .shp, is a folder)."""
    entradas = []
    linhas = os.path.join(pasta, "linhas")
    if not os.path.exists(linhas + ".dbf"):
        corre([gera_exe, linhas, "1000000"])
    entradas.append(("polilinhas, 806 MB", linhas))
    pontos = os.path.join(pasta, "pontos")
    if not os.path.exists(pontos + ".dbf"):
        corre([gera_exe, "--pontos", pontos, "10000000"])
    entradas.append(("10 milhões de pontos", pontos))
    mil = os.path.join(pasta, "mil")
    os.makedirs(mil, exist_ok=True)
    for i in range(1000):
        base = os.path.join(mil, f"f{i:04d}")
        if not os.path.exists(base + ".dbf"):
            corre([gera_exe, base, "1000"])
    entradas.append(("1000 ficheiros de 1000 registos", mil))
    return entradas


def linha(ferramenta, cli, entrada, saida):
    pasta = os.path.isdir(entrada)
    if ferramenta in ("kelvara", "antes"):
        destino = saida + "/" if pasta else os.path.join(saida, "k.shp")
        return [[cli, "-q", "-s", SISTEMA1, "-t", SISTEMA2, entrada + ("" if pasta else ".shp"),
                 destino]]
    if pasta:
        copia = [["cp", "-r", entrada, saida]]
        copias = [os.path.join(saida, os.path.basename(entrada), f)
                  for f in sorted(os.listdir(entrada))]
    else:
        ficheiros = [entrada + e for e in (".shp", ".shx", ".dbf")]
        copia = [["cp"] + ficheiros + [saida + "/"]]
        copias = [os.path.join(saida, os.path.basename(f)) for f in ficheiros]
    if ferramenta == "cp":
        return copia
    return copia + [["sync"] + copias]


def cronometra(comandos, saida):
    shutil.rmtree(saida, ignore_errors=True)
    os.mkdir(saida)
    os.sync()
    t0 = time.perf_counter()
    for c in comandos:
        corre(c)
    return time.perf_counter() - t0


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--kelvara", default=os.path.join(RAIZ, "build", "kelvara-cli"))
    ap.add_argument("--antes", help="a kelvara-cli that does not flush, for comparison")
    ap.add_argument("--gera", default=os.path.join(RAIZ, "build", "kelvara-gera"))
    ap.add_argument("--pasta", default="/tmp/kelvara-disco")
    ap.add_argument("--corridas", type=int, default=3)
    ap.add_argument("--manter", action="store_true")
    a = ap.parse_args()

    os.makedirs(a.pasta, exist_ok=True)
    entradas = gera(a.gera, a.pasta)
    ferramentas = {"kelvara": a.kelvara, "cp+sync": None, "cp": None}
    if a.antes:
        ferramentas["antes"] = a.antes
    saida = os.path.join(a.pasta, "saida")
    tempos = {(e, f): [] for e, _ in entradas for f in ferramentas}
    for _ in range(a.corridas):
        for nome, entrada in entradas:
            for f, cli in ferramentas.items():
                tempos[(nome, f)].append(cronometra(linha(f, cli, entrada, saida), saida))
    print("| entrada | " + " | ".join(ferramentas) + " | kelvara / cp+sync |")
    print("|---|" + "---|" * (len(ferramentas) + 1))
    for nome, _ in entradas:
        m = {f: statistics.median(tempos[(nome, f)]) for f in ferramentas}
        print(f"| {nome} | " + " | ".join(f"{m[f]:.2f} s" for f in ferramentas) +
              f" | {m['kelvara'] / m['cp+sync']:.2f} |")
    shutil.rmtree(saida, ignore_errors=True)
    if not a.manter:
        shutil.rmtree(a.pasta, ignore_errors=True)


if __name__ == "__main__":
    main()
