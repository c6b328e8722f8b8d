#!/usr/bin/env python3
"""Benchmark of kelvara-cli's batches and of its progress reporting.

Three measurements, each on files made by bench/gera.cpp (PolyLineZ, 20
vertices per record with z and m, 806 bytes per record):

  muitos      --ficheiros files (1,000 by default) of 1,000 records each:
              one command over their folder (-j1 and -j2) against one run
              per file, one after the other, and against the floor: cp of
              the same files and one `sync`; with --antes, that kelvara-cli's
              -j1 and -j2 too; files per second.
  seis        six files of about 50 MB (62,000 records): -j2 against -j1 over
              their folder; throughput in MB per second and the ratio.
  progresso   the 806 MB file (1,000,000 records) converted alone, with and
              without --progresso, and with the kelvara-cli given by
              --antes (a build without progress reporting) when given; the
              runs take turns, medians and the spread of each.

Every run writes into a new, empty output folder after an untimed `sync`,
and reads inputs that are already in the page cache. Medians of --corridas
rounds (5 by default).

Usage (from the repository; builds into build/ by default):
  python3 bench/lote.py [--compilacao DIR] [--pasta DIR] [--corridas N]
                        [--ficheiros N] [--antes CLI] [--so muitos,seis,progresso]
                        [--manter]
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from mede import SISTEMA1, SISTEMA2, carga, compila, maquina  # noqa: E402


def corre(args):
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL)


def le(pasta):
    """Reads every file of the folder, so that the inputs are in the page cache."""
    for raiz, _, nomes in os.walk(pasta):
        for n in nomes:
            with open(os.path.join(raiz, n), "rb", buffering=0) as f:
                while f.read(1 << 20):
                    pass


def tamanho(pasta):
    return sum(os.path.getsize(os.path.join(r, n)) for r, _, ns in os.walk(pasta) for n in ns)


def cronometra(linhas, saida, entradas):
    """Seconds of the commands in `linhas`, run one after the other into a
    new output folder. The previous run's folder is moved aside, not
    removed: on a file system that passes over the places of files removed
    in the last minute when it creates one (ext4 without a journal, as on
    the machine of bench/RESULTS.md), removing a thousand files makes every
    file creation of the next minute several times slower, whichever run
    comes next. `arruma` removes them all once the runs are done."""
    global _postas_de_parte
    if os.path.exists(saida):
        _postas_de_parte += 1
        os.rename(saida, f"{saida}.{_postas_de_parte}")
    os.mkdir(saida)
    le(entradas)
    os.sync()
    t0 = time.perf_counter()
    for l in linhas:
        corre(l)
    return time.perf_counter() - t0


_postas_de_parte = 0


def arruma(saida):
    """Removes the output folder and those `cronometra` moved aside."""
    pai, nome = os.path.split(saida)
    for n in os.listdir(pai):
        if n == nome or n.startswith(nome + "."):
            shutil.rmtree(os.path.join(pai, n), ignore_errors=True)


def espalhamento(v):
    return (max(v) - min(v)) / statistics.median(v)


def muitos(cli, antes, gerador, pasta, n, corridas):
    entradas = os.path.join(pasta, "muitos")
    os.makedirs(entradas, exist_ok=True)
    for i in range(n):
        base = os.path.join(entradas, f"f{i:04d}")
        if not os.path.exists(base + ".dbf"):
            corre([gerador, base, "1000"])
    saida = os.path.join(pasta, "saida")
    base = [cli, "-s", SISTEMA1, "-t", SISTEMA2]
    nomes = sorted(f for f in os.listdir(entradas) if f.endswith(".shp"))
    um_a_um = [base + [os.path.join(entradas, f), os.path.join(saida, f)] for f in nomes]
    modos = {
        "um comando, -j1": [base + ["-j1", entradas, saida]],
        "um comando, -j2": [base + ["-j2", entradas, saida]],
        f"{n} comandos": um_a_um,
        # The floor: the same bytes copied, and put on disk by one sync.
        "cp e um sync": [["sh", "-c", 'cp "$0"/* "$1"/ && sync', entradas, saida]],
    }
    if antes:
        for j in (1, 2):
            modos[f"antes, -j{j}"] = [[antes, "-s", SISTEMA1, "-t", SISTEMA2, f"-j{j}", entradas,
                                       saida]]
    tempos = {m: [] for m in modos}
    for _ in range(corridas):
        for m, linhas in modos.items():
            tempos[m].append(cronometra(linhas, saida, entradas))
    print(f"\n{n} ficheiros de 1000 registos ({tamanho(entradas) / 1e6:.0f} MB):")
    print("| modo | tempo (mediana) | ficheiros/s | espalhamento |")
    print("|---|---|---|---|")
    for m, v in tempos.items():
        t = statistics.median(v)
        print(f"| {m} | {t:.2f} s | {n / t:.0f} | {espalhamento(v) * 100:.0f} % |")
    um = statistics.median(tempos[f"{n} comandos"])
    j1 = statistics.median(tempos["um comando, -j1"])
    lote = statistics.median(tempos["um comando, -j2"])
    print(f"um comando / {n} comandos: {um / lote:.2f} x mais ficheiros por segundo")
    print(f"-j2: {n / lote:.0f} ficheiros/s (objectivo: pelo menos 300): "
          + ("cumpre" if n / lote >= 300 else "NÃO cumpre"))
    print(f"-j2 / -j1: {j1 / lote:.2f} x (objectivo: pelo menos 1.5 x): "
          + ("cumpre" if j1 / lote >= 1.5 else "NÃO cumpre"))
    arruma(saida)


def seis(cli, gerador, pasta, corridas):
    entradas = os.path.join(pasta, "seis")
    os.makedirs(entradas, exist_ok=True)
    for i in range(6):
        base = os.path.join(entradas, f"g{i}")
        if not os.path.exists(base + ".dbf"):
            corre([gerador, base, "62000"])
    saida = os.path.join(pasta, "saida")
    mb = tamanho(entradas) / 1e6
    base = [cli, "-s", SISTEMA1, "-t", SISTEMA2]
    tempos = {j: [] for j in (1, 2)}
    for _ in range(corridas):
        for j in tempos:
            tempos[j].append(cronometra([base + [f"-j{j}", entradas, saida]], saida, entradas))
    print(f"\nSeis ficheiros de cerca de 50 MB ({mb:.0f} MB):")
    print("| -j | tempo (mediana) | MB/s | espalhamento | todas (s) |")
    print("|---|---|---|---|---|")
    for j, v in tempos.items():
        t = statistics.median(v)
        print(f"| {j} | {t:.3f} s | {mb / t:.0f} | {espalhamento(v) * 100:.0f} % | "
              + " ".join(f"{x:.3f}" for x in v) + " |")
    r = statistics.median(tempos[1]) / statistics.median(tempos[2])
    print(f"-j2 / -j1: {r:.2f} x (objectivo: pelo menos 1.25 x): "
          + ("cumpre" if r >= 1.25 else "NÃO cumpre"))
    arruma(saida)


def progresso(cli, antes, gerador, pasta, corridas):
    entradas = os.path.join(pasta, "grande")
    os.makedirs(entradas, exist_ok=True)
    base = os.path.join(entradas, "linhas_1000000")
    if not os.path.exists(base + ".dbf"):
        corre([gerador, base, "1000000"])
    saida = os.path.join(pasta, "saida")
    destino = os.path.join(saida, "k.shp")
    modos = {
        "sem --progresso": [cli, "-s", SISTEMA1, "-t", SISTEMA2, base + ".shp", destino],
        "com --progresso": [cli, "--progresso", "-s", SISTEMA1, "-t", SISTEMA2, base + ".shp", destino],
    }
    if antes:
        modos["antes (sem relatório de progresso)"] = [antes, "-s", SISTEMA1, "-t", SISTEMA2,
                                                        base + ".shp", destino]
    for linha in modos.values():  # warm-up
        cronometra([linha], saida, entradas)
    tempos = {m: [] for m in modos}
    for _ in range(corridas):
        for m, linha in modos.items():
            with open(os.devnull, "w") as nada:
                shutil.rmtree(saida, ignore_errors=True)
                os.mkdir(saida)
                le(entradas)
                os.sync()
                t0 = time.perf_counter()
                subprocess.run(linha, check=True, stdout=subprocess.DEVNULL, stderr=nada)
                tempos[m].append(time.perf_counter() - t0)
    print(f"\nO ficheiro de 806 MB (1 000 000 registos):")
    print("| modo | tempo (mediana) | espalhamento | todas (s) |")
    print("|---|---|---|---|")
    for m, v in tempos.items():
        print(f"| {m} | {statistics.median(v):.3f} s | {espalhamento(v) * 100:.1f} % | "
              + " ".join(f"{x:.3f}" for x in v) + " |")
    arruma(saida)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--compilacao", default=os.path.join(os.path.dirname(os.path.dirname(
        os.path.abspath(__file__))), "build"))
    ap.add_argument("--pasta", default="/tmp/kelvara-bench-lote")
    ap.add_argument("--corridas", type=int, default=5)
    ap.add_argument("--ficheiros", type=int, default=1000)
    ap.add_argument("--antes", help="an older kelvara-cli, for comparison (batches, progress)")
    ap.add_argument("--so", default="muitos,seis,progresso")
    ap.add_argument("--manter", action="store_true", help="keep the generated files")
    a = ap.parse_args()
    cli, gerador = compila(a.compilacao)
    os.makedirs(a.pasta, exist_ok=True)
    print(f"Máquina: {maquina()}; carga antes: {carga()}")
    so = a.so.split(",")
    try:
        if "muitos" in so:
            muitos(cli, a.antes, gerador, a.pasta, a.ficheiros, a.corridas)
        if "seis" in so:
            seis(cli, gerador, a.pasta, a.corridas)
        if "progresso" in so:
            progresso(cli, a.antes, gerador, a.pasta, a.corridas)
    finally:
        print(f"\nCarga depois: {carga()}")
        if not a.manter:
            shutil.rmtree(a.pasta, ignore_errors=True)


if __name__ == "__main__":
    main()
