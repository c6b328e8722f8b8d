#!/usr/bin/env python3
"""Benchmark of kelvara-cli against cp and ogr2ogr on synthetic shapefiles.

Makes PolyLineZ shapefiles of about 10 MB, 100 MB and 810 MB (20 vertices
per record with z and m, three attribute fields) and files of 1 and 10
million 2D points with one field (bench/gera.cpp, `--pontos`), and times,
on the same files in the same run:

  kelvara   kelvara-cli, Hayford-Gauss Datum 73 to ETRS89 TM06 (which puts
            its output on disk before it says "Criado")
  cp        the floor: cp of the three files into a new folder, then `sync`
            of the copies (coreutils: an fsync of each)
  ogr2ogr   ogr2ogr -ct with an affine PROJ pipeline, the first-degree part
            of the same polynomial (an approximation, fine for timing), then
            `sync` of its output; polyline files only

each once to warm up and then in --corridas rounds (5 by default): every
round runs each tool on each file, the tools taking turns, so that all
sizes and tools meet the machine in the same states; files of 10 MB and
less, and the one-record file, run several times per round (at least 21
runs in all; 25 with 5 rounds). Every run writes into a new, empty folder,
after a `sync` that is not timed, so that no run pays for the previous
one's write-back. Peak resident memory comes from one more run of each
under /usr/bin/time -v. It prints medians, the ratios kelvara/cp and
ogr2ogr/kelvara, memory, vertices per second, the time of a one-record
conversion, and whether the targets hold:

  810 MB polylines: kelvara at most 1.25 x cp, at least 25 x faster than ogr2ogr
  10 million points: kelvara at most 1.6 x cp
  peak RSS at most 16 MiB on both, and within 1 MiB between 1 and 10
  million points
  one-record conversion at most 2 ms
  time per vertex (polylines) and per record (points), net of the
  one-record conversion, not growing with size: no file more than 15 %
  above the next smaller file of its kind

--linear adds polyline files of about 1 MB and 1.5 GB (kelvara and cp).

Usage (from the repository; builds into the build folder, build/ by default):
  python3 bench/mede.py [--compilacao DIR] [--kelvara CLI] [--antes CLI] [--pasta DIR]
                        [--corridas N] [--tamanhos 10,100,810] [--pontos 1,10]
                        [--linear] [--sem-ogr2ogr] [--manter]

Everything the script writes goes under --pasta (default /tmp/kelvara-bench)
and is removed at the end unless --manter is given.
"""

import argparse
import os
import platform
import re
import resource
import shutil
import statistics
import subprocess
import sys
import time

RAIZ = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

VERTICES_POR_REGISTO = 20
POUCOS = 21  # runs of files of 10 MB and less, and of the one-record file, at least
BYTES_POR_REGISTO = 728 + 8 + 70  # .shp, .shx and .dbf (bench/gera.cpp)

SISTEMA1 = "Hayford-Gauss Datum 73"
SISTEMA2 = "ETRS89 TM06"

# The first-degree terms of the Datum 73 -> ETRS89 TM06 set
# (transform/polinomio.h, conjunto_10), as PROJ's affine step: the inputs
# there are x / 200000 and y / 300000.
A = (0.289669620741944, 199998.722589488, -5.64521399680414)
B = (-0.0886590501150693, 3.68619968513202, 299997.765485842)
AFIM = (f"+proj=affine +xoff={A[0]!r} +s11={A[1] / 200000!r} +s12={A[2] / 300000!r} "
        f"+yoff={B[0]!r} +s21={B[1] / 200000!r} +s22={B[2] / 300000!r}")


def registos_para(mb):
    """Records of a file of about `mb` megabytes (the 810 MB file: 1,000,000)."""
    if mb == 810:
        return 1_000_000
    return max(1, round(mb * 1_000_000 / BYTES_POR_REGISTO))


def corre(args, **kw):
    return subprocess.run(args, check=True, stdout=subprocess.DEVNULL, **kw)


def compila(pasta):
    if not os.path.exists(os.path.join(pasta, "build.ninja")):
        corre(["cmake", "-S", RAIZ, "-B", pasta, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=RelWithDebInfo"])
    corre(["cmake", "--build", pasta, "--target", "kelvara-cli", "kelvara-gera"])
    return os.path.join(pasta, "kelvara-cli"), os.path.join(pasta, "kelvara-gera")


def gera(gerador, pasta, registos, pontos=False):
    base = os.path.join(pasta, f"{'pontos' if pontos else 'linhas'}_{registos}")
    if not all(os.path.exists(base + e) for e in (".shp", ".shx", ".dbf")):
        corre([gerador] + (["--pontos"] if pontos else []) + [base, str(registos)])
    return base


def tamanho(base):
    return sum(os.path.getsize(base + e) for e in (".shp", ".shx", ".dbf"))


class ferramentas:
    def __init__(self, cli, pasta, antes=None):
        self.cli = cli
        self.antes = antes
        self.saida = os.path.join(pasta, "saida")

    def linha(self, nome, base):
        s = self.saida
        if nome in ("kelvara", "antes"):
            cli = self.cli if nome == "kelvara" else self.antes
            return [cli, "-s", SISTEMA1, "-t", SISTEMA2, base + ".shp", os.path.join(s, "k.shp")]
        if nome == "cp":
            return ["sh", "-c", 'cp "$1" "$2" "$3" "$4"/ && sync "$4"/*', "cp",
                    base + ".shp", base + ".shx", base + ".dbf", s]
        if nome == "ogr2ogr":
            return ["sh", "-c", 'ogr2ogr "$@" && sync "${3%.shp}".*', "ogr2ogr", "-f",
                    "ESRI Shapefile", os.path.join(s, "o.shp"), base + ".shp", "-s_srs",
                    "EPSG:27493", "-t_srs", "EPSG:3763", "-ct", AFIM]
        raise ValueError(nome)

    def prepara(self, base):
        """A new, empty output folder, nothing waiting to be written, the
        memory for the output's page cache at hand, and the input's three
        files in the page cache.

        This virtual machine hands memory that has been free for a few
        seconds back to its host, and the next run to fill that much page
        cache pays to fault it in again: a cp of the 1.5 GB files took 1.1 to
        1.2 s after 6 idle seconds against 0.34 s otherwise, and whichever
        tool ran first after a long run of another paid it. A file of the
        output's size is written and removed first, untimed, so that every
        run meets the memory in the same state. The kernel also drains cold
        page cache in the background (a few MB a second, with no memory
        pressure), so the input is read again, untimed, as well."""
        shutil.rmtree(self.saida, ignore_errors=True)
        os.mkdir(self.saida)
        rascunho = os.path.join(self.saida, "rascunho")
        falta = tamanho(base)
        zeros = bytes(1 << 20)
        with open(rascunho, "wb", buffering=0) as fich:
            while falta > 0:
                falta -= fich.write(zeros[:min(falta, len(zeros))])
        os.remove(rascunho)
        for e in (".shp", ".shx", ".dbf"):
            with open(base + e, "rb", buffering=0) as fich:
                while fich.read(1 << 20):
                    pass
        os.sync()

    def tempo(self, nome, base):
        """Seconds of one run, into a new folder: (wall clock, processor), the
        processor time being the user and system time of all the run's
        threads together."""
        self.prepara(base)
        linha = self.linha(nome, base)
        r0 = resource.getrusage(resource.RUSAGE_CHILDREN)
        t0 = time.perf_counter()
        corre(linha)
        t = time.perf_counter() - t0
        r1 = resource.getrusage(resource.RUSAGE_CHILDREN)
        return t, (r1.ru_utime - r0.ru_utime) + (r1.ru_stime - r0.ru_stime)

    def memoria(self, nome, base):
        """Peak resident memory of one run in MiB, as /usr/bin/time -v reports it."""
        self.prepara(base)
        r = subprocess.run(["/usr/bin/time", "-v"] + self.linha(nome, base), check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        m = re.search(r"Maximum resident set size \(kbytes\): (\d+)", r.stderr)
        return int(m.group(1)) / 1024

    def limpa(self):
        shutil.rmtree(self.saida, ignore_errors=True)


def maquina():
    modelo = "?"
    with open("/proc/cpuinfo") as f:
        for l in f:
            if l.startswith("model name"):
                modelo = l.split(":", 1)[1].strip()
                break
    with open("/proc/meminfo") as f:
        ram = int(f.readline().split()[1]) / 1024 / 1024
    return f"{os.cpu_count()} CPU ({modelo}), {ram:.1f} GiB RAM, Linux {platform.release()}"


def carga():
    return " ".join(f"{x:.2f}" for x in os.getloadavg())


def mediana(v):
    return statistics.median(v)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--compilacao", default=os.path.join(RAIZ, "build"))
    ap.add_argument("--kelvara", help="time this kelvara-cli instead of the build's (an older one, say)")
    ap.add_argument("--antes", help="an older kelvara-cli, timed in the same rounds (taking turns)")
    ap.add_argument("--pasta", default="/tmp/kelvara-bench")
    ap.add_argument("--corridas", type=int, default=5)
    ap.add_argument("--tamanhos", default="10,100,810", help="polyline files, sizes in MB, comma-separated")
    ap.add_argument("--pontos", default="1,10", help="point files, millions of records, comma-separated")
    ap.add_argument("--linear", action="store_true", help="add 1 MB and 1.5 GB polyline files")
    ap.add_argument("--sem-ogr2ogr", action="store_true")
    ap.add_argument("--manter", action="store_true", help="keep the generated files")
    a = ap.parse_args()
    if a.corridas < 5:
        sys.exit("mede.py: at least 5 runs (--corridas 5)")
    if not os.path.exists("/usr/bin/time"):
        sys.exit("mede.py: /usr/bin/time is missing (Debian package `time`)")
    usa_ogr = not a.sem_ogr2ogr and shutil.which("ogr2ogr") is not None
    if not usa_ogr and not a.sem_ogr2ogr:
        print("ogr2ogr (gdal-bin) is missing: not timed", file=sys.stderr)

    cli, gerador = compila(a.compilacao)
    if a.kelvara:
        cli = os.path.abspath(a.kelvara)
    os.makedirs(a.pasta, exist_ok=True)
    antes = os.path.abspath(a.antes) if a.antes else None
    f = ferramentas(cli, a.pasta, antes)
    tamanhos = [int(x) for x in a.tamanhos.split(",") if x]
    extra = [1, 1500] if a.linear else []
    milhoes = [int(x) for x in a.pontos.split(",") if x]

    print(f"# kelvara benchmark, {time.strftime('%Y-%m-%d %H:%M')}")
    print(f"machine: {maquina()}")
    print(f"kelvara-cli: {cli}")
    print(f"load average before: {carga()}")
    por_volta = -(-POUCOS // a.corridas)
    print(f"rounds: {a.corridas}, after one warm-up run of each tool on each file (files of "
          f"10 MB and less, and the one-record file: {por_volta} runs per round); medians in "
          f"seconds")
    print(f"ogr2ogr -ct '{AFIM}'\n")

    # The files: (kind, size) -> base name, with what each is timed by and
    # its units of work (vertices of the polylines, records of the points).
    base1 = gera(gerador, a.pasta, 1)
    ficheiros = []
    for mb in sorted(set(tamanhos + extra)):
        registos = registos_para(mb)
        ficheiros.append(dict(
            tipo="linhas", nome=f"{mb} MB polylines", base=gera(gerador, a.pasta, registos),
            registos=registos, unidades=registos * VERTICES_POR_REGISTO, unidade="vertex",
            quais=["kelvara", "cp"] + (["antes"] if antes else [])
            + (["ogr2ogr"] if usa_ogr and mb in tamanhos else []),
            mb=mb, pequeno=mb <= 10))
    for m in sorted(set(milhoes)):
        registos = m * 1_000_000
        ficheiros.append(dict(
            tipo="pontos", nome=f"{m} M points", base=gera(gerador, a.pasta, registos, pontos=True),
            registos=registos, unidades=registos, unidade="record",
            quais=["kelvara", "cp"] + (["antes"] if antes else []),
            mb=None, pequeno=False))
    f.tempo("kelvara", base1)
    for x in ficheiros:
        for q in x["quais"]:
            f.tempo(q, x["base"])

    # Rounds: each round runs every tool on every file, the tools taking
    # turns, so that all sizes meet the machine in the same states; measured
    # size by size, a slow spell of a shared machine (they last minutes)
    # could land on one size whole. Files of 10 MB and less, and the
    # one-record file, take milliseconds and get several runs per round
    # (POUCOS in all, at least).
    uns = []
    for x in ficheiros:
        x["tempos"] = {q: [] for q in x["quais"]}
        x["cpus"] = {q: [] for q in x["quais"]}
    for _ in range(a.corridas):
        uns += [f.tempo("kelvara", base1) for _ in range(por_volta)]
        for x in ficheiros:
            for _ in range(por_volta if x["pequeno"] else 1):
                for q in x["quais"]:
                    t, c = f.tempo(q, x["base"])
                    x["tempos"][q].append(t)
                    x["cpus"][q].append(c)
    um = mediana(t for t, _ in uns)
    um_cpu = mediana(c for _, c in uns)
    print(f"one-record conversion: {um * 1000:.2f} ms, processor {um_cpu * 1000:.2f} ms\n")

    print("| file | records | cp | kelvara | ogr2ogr | kelvara/cp | ogr2ogr/kelvara "
          "| kelvara peak RSS | vertices or records/s |")
    print("|---|---|---|---|---|---|---|---|---|")
    for x in ficheiros:
        x["mbytes"] = tamanho(x["base"]) / 1e6
        x["rss"] = f.memoria("kelvara", x["base"])
        med = x["med"] = {q: mediana(v) for q, v in x["tempos"].items()}
        x["med_cpu"] = {q: mediana(v) for q, v in x["cpus"].items()}
        if "ogr2ogr" in med:
            x["rss_ogr"] = f.memoria("ogr2ogr", x["base"])
        if "antes" in med:
            x["rss_antes"] = f.memoria("antes", x["base"])
        ogr = f"{med['ogr2ogr']:.2f}" if "ogr2ogr" in med else "-"
        razao_ogr = f"{med['ogr2ogr'] / med['kelvara']:.1f}" if "ogr2ogr" in med else "-"
        print(f"| {x['nome']} ({x['mbytes']:.1f} MB) | {x['registos']:,} | {med['cp']:.3f} "
              f"| {med['kelvara']:.3f} | {ogr} | {med['kelvara'] / med['cp']:.2f} | {razao_ogr} "
              f"| {x['rss']:.1f} MiB | {x['unidades'] / med['kelvara'] / 1e6:.1f} M |", flush=True)

    print("\nall runs (s):")
    for x in ficheiros:
        for q, v in x["tempos"].items():
            print(f"  {x['nome']} {q}: " + " ".join(f"{t:.4f}" for t in v))
    for x in ficheiros:
        if "rss_ogr" in x:
            print(f"  {x['nome']} ogr2ogr peak RSS: {x['rss_ogr']:.1f} MiB")
    if antes:
        print(f"\nbefore ({antes}), in the same rounds:")
        print("| file | before | now | before/cp | now/cp | before peak RSS | now peak RSS |")
        print("|---|---|---|---|---|---|---|")
        for x in ficheiros:
            m = x["med"]
            print(f"| {x['nome']} | {m['antes']:.3f} | {m['kelvara']:.3f} | "
                  f"{m['antes'] / m['cp']:.2f} | {m['kelvara'] / m['cp']:.2f} | "
                  f"{x['rss_antes']:.1f} MiB | {x['rss']:.1f} MiB |")

    # Time per unit of work, net of the one-record conversion.
    print("\ntime per vertex (polylines) or per record (points), ns, net of the one-record "
          "conversion: kelvara's wall-clock and processor time (user and system, all threads), "
          "and cp's wall-clock time of the same files:")
    for x in ficheiros:
        m = x["med"]
        x["liquido"] = (m["kelvara"] - um) / x["unidades"] * 1e9
        x["liquido_cpu"] = (x["med_cpu"]["kelvara"] - um_cpu) / x["unidades"] * 1e9
        print(f"  {x['nome']:>18}: wall {x['liquido']:6.1f}, processor {x['liquido_cpu']:6.1f}, "
              f"cp {m['cp'] / x['unidades'] * 1e9:5.1f} per {x['unidade']}")

    print("\ntargets:")
    resultados = []

    def alvo(texto, ok):
        resultados.append(ok)
        print(f"  {texto}: {'holds' if ok else 'FAILS'}")

    linhas = [x for x in ficheiros if x["tipo"] == "linhas" and x["mb"] in tamanhos]
    pontos = [x for x in ficheiros if x["tipo"] == "pontos"]
    grande = max(linhas, key=lambda x: x["registos"]) if linhas else None
    if grande:
        m = grande["med"]
        r = m["kelvara"] / m["cp"]
        alvo(f"{grande['nome']}: kelvara {r:.2f} x cp (at most 1.25)", r <= 1.25)
        if "ogr2ogr" in m:
            r = m["ogr2ogr"] / m["kelvara"]
            alvo(f"{grande['nome']}: ogr2ogr {r:.1f} x kelvara (at least 25)", r >= 25)
    if pontos:
        p = max(pontos, key=lambda x: x["registos"])
        r = p["med"]["kelvara"] / p["med"]["cp"]
        alvo(f"{p['nome']}: kelvara {r:.2f} x cp (at most 1.6)", r <= 1.6)
    for x in ([grande] if grande else []) + pontos[-1:]:
        alvo(f"{x['nome']}: peak RSS {x['rss']:.1f} MiB (at most 16)", x["rss"] <= 16)
    if len(pontos) > 1:
        rss = [x["rss"] for x in pontos]
        alvo(f"points: peak RSS {' / '.join(f'{v:.1f}' for v in rss)} MiB "
             f"(the same within 1 MiB)", max(rss) - min(rss) <= 1)
    alvo(f"one-record conversion {um * 1000:.2f} ms (at most 2)", um <= 0.002)
    for tipo in ("linhas", "pontos"):
        serie = [x for x in ficheiros if x["tipo"] == tipo]
        for menor, maior in zip(serie, serie[1:]):
            for chave, nome in (("liquido", "wall"), ("liquido_cpu", "processor")):
                r = maior[chave] / menor[chave]
                alvo(f"{maior['nome']} against {menor['nome']}: {nome} time per "
                     f"{maior['unidade']} x {r:.2f} (at most 1.15)", r <= 1.15)
    print(f"\nall targets: {'hold' if all(resultados) else 'NOT ALL HOLD'}")
    print(f"load average after: {carga()}")

    f.limpa()
    if not a.manter:
        for n in os.listdir(a.pasta):
            if n.startswith(("linhas_", "pontos_")):
                os.remove(os.path.join(a.pasta, n))
        try:
            os.rmdir(a.pasta)
        except OSError:
            pass


if __name__ == "__main__":
    main()
