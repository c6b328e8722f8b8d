#!/usr/bin/env python3
"""Every route's output of every input, for comparing two builds byte for byte.

    python3 util/saidas.py KELVARA_CLI PASTA [CORPUS]

Writes into PASTA (made anew): generated shapefiles of all thirteen shape
types (null records, z, m with no-data, MultiPatch part types, a deleted
record, an empty file), Datum Lisboa grid files made from a rule, two
parameter files, and then, for each route that `KELVARA_CLI --lista --tsv`
lists and each input (the generated files and every shapefile of CORPUS,
default ../shared/corpus), the output files and a .txt with the exit status and
both message streams, the folder's path replaced by "<PASTA>"; for each
route also the whole folder as one batch, a conversion without the grid
files and one with the parameter files swapped; and a few runs with entries
missing or names that route nowhere. The corpus lies outside Portugal: its
files are converted with --forcar. Two builds are compared with `diff -r` of
their PASTAs.
"""
import math
import os
import shutil
import struct
import subprocess
import sys

TIPOS = [1, 3, 5, 8, 11, 13, 15, 18, 21, 23, 25, 28, 31]
SEM_DADOS = -1e39  # an m below -1e38 is "no data"


def com_z(t):
    return t in (11, 13, 15, 18, 31)


def com_m(t):
    return t in (11, 13, 15, 18, 21, 23, 25, 28)


def formas(t, n):
    """n records of type t: lists of parts, each a list of (x, y, z, m)."""
    r = []
    for k in range(n):
        if k == 2:
            r.append(None)  # a null record
            continue
        partes = 1 if t in (1, 11, 21) else 1 + k % 3
        lista = []
        for p in range(partes):
            nv = 1 if t in (1, 11, 21) else 2 + (k + p) % 4
            pts = []
            for v in range(nv):
                x = -61234.5 + 2345.678 * k + 517.25 * v + 9.125 * p
                y = 103456.25 - 1987.5 * k + 733.0 * v - 3.5 * p
                z = 10.0 * v - 0.0 if v else -0.0
                m = SEM_DADOS if v == 1 else 1.5 * k - v
                pts.append((x, y, z, m))
            lista.append(pts)
        r.append(lista)
    return r


def conteudo(t, f):
    if f is None:
        return struct.pack("<i", 0)
    pts = [p for parte in f for p in parte]
    xs, ys = [p[0] for p in pts], [p[1] for p in pts]
    zs, ms = [p[2] for p in pts], [p[3] for p in pts]
    if t in (1, 11, 21):
        b = struct.pack("<idd", t, xs[0], ys[0])
        if t == 11:
            b += struct.pack("<dd", zs[0], ms[0])
        if t == 21:
            b += struct.pack("<d", ms[0])
        return b
    b = struct.pack("<i4d", t, min(xs), min(ys), max(xs), max(ys))
    multiponto = t in (8, 18, 28)
    if multiponto:
        b += struct.pack("<i", len(pts))
    else:
        b += struct.pack("<ii", len(f), len(pts))
        inicio = 0
        for parte in f:
            b += struct.pack("<i", inicio)
            inicio += len(parte)
        if t == 31:
            for i, _ in enumerate(f):
                b += struct.pack("<i", (0, 1, 2, 3, 4, 5)[i % 6])
    for x, y in zip(xs, ys):
        b += struct.pack("<dd", x, y)
    if com_z(t):
        b += struct.pack("<dd", min(zs), max(zs)) + struct.pack("<%dd" % len(zs), *zs)
    if com_m(t):
        mv = [m for m in ms if m > -1e38]
        b += struct.pack("<dd", min(mv), max(mv)) + struct.pack("<%dd" % len(ms), *ms)
    return b


def cabecalho(t, comprimento, caixa):
    return (struct.pack(">7i", 9994, 0, 0, 0, 0, 0, comprimento // 2) +
            struct.pack("<ii", 1000, t) + struct.pack("<8d", *caixa))


def escreve_shapefile(base, t, n):
    fs_ = formas(t, n)
    registos = [conteudo(t, f) for f in fs_]
    pts = [p for f in fs_ if f for parte in f for p in parte]
    caixa = [0.0] * 8
    if pts:
        caixa = [min(p[0] for p in pts), min(p[1] for p in pts),
                 max(p[0] for p in pts), max(p[1] for p in pts),
                 min(p[2] for p in pts), max(p[2] for p in pts), 0.0, 0.0]
    shp = b"".join(struct.pack(">ii", k + 1, len(c) // 2) + c for k, c in enumerate(registos))
    shx = b""
    pos = 100
    for c in registos:
        shx += struct.pack(">ii", pos // 2, len(c) // 2)
        pos += 8 + len(c)
    with open(base + ".shp", "wb") as f:
        f.write(cabecalho(t, 100 + len(shp), caixa) + shp)
    with open(base + ".shx", "wb") as f:
        f.write(cabecalho(t, 100 + len(shx), caixa) + shx)
    campos = [(b"NOME", b"C", 12, 0), (b"VALOR", b"N", 10, 3), (b"DATA", b"D", 8, 0),
              (b"NOME_LONGO1", b"L", 1, 0)]
    largura = 1 + sum(c[2] for c in campos)
    dbf = struct.pack("<B3BIHH", 3, 126, 12, 7, n, 32 * len(campos) + 33, largura)
    dbf += bytes(17) + bytes([0x57]) + bytes(2)
    for nome, tipo, w, d in campos:
        dbf += nome.ljust(11, b"\0") + tipo + bytes(4) + bytes([w, d]) + bytes(14)
    dbf += b"\r"
    for k in range(n):
        dbf += b"*" if k == 1 else b" "
        dbf += ("ç%d" % k).encode("utf-8").ljust(12)
        dbf += ("%10.3f" % (k * 1.25)).encode()
        dbf += b"20261207" + (b"T" if k % 2 else b"?")
    dbf += b"\x1a"
    with open(base + ".dbf", "wb") as f:
        f.write(dbf)
    with open(base + ".cpg", "w") as f:
        f.write("UTF-8")


def escreve_grelhas(pasta):
    os.makedirs(pasta)
    for nome, eixo, desvio in (("et_lx_m.asc", 0, 123.456), ("et_lx_p.asc", 1, -78.9),
                               ("lx_et_m.asc", 0, -123.456), ("lx_et_p.asc", 1, 78.9)):
        linhas = []
        for i in range(1, 124):
            y = 290000.0 - (i - 1) * 5000.0
            linha = []
            for j in range(1, 67):
                x = -140000.0 + (j - 1) * 5000.0
                v = (x if eixo == 0 else y) + desvio + 0.001 * (i * j % 17)
                linha.append("%.4f" % v)
            linhas.append(",".join(linha))
        with open(os.path.join(pasta, nome), "w") as f:
            f.write("\n".join(linhas) + "\n")


def rotas(cli):
    """The (source, target) of each route, as the program lists them."""
    lista = subprocess.run([cli, "--lista", "--tsv"], capture_output=True, check=True)
    return [tuple(linha.split("\t")[1:3]) for linha in lista.stdout.decode().splitlines()
            if linha.startswith("rota\t")]


def main():
    cli, pasta = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    corpus = sys.argv[3] if len(sys.argv) > 3 else os.path.join(
        os.path.dirname(__file__), "..", "..", "shared", "corpus")
    shutil.rmtree(pasta, ignore_errors=True)
    entradas = os.path.join(pasta, "entradas")
    os.makedirs(entradas)
    for t in TIPOS:
        escreve_shapefile(os.path.join(entradas, "tipo%02d" % t), t, 6)
    escreve_shapefile(os.path.join(entradas, "vazio"), 13, 0)
    do_corpus = set()
    if os.path.isdir(corpus):
        for n in sorted(os.listdir(corpus)):
            if os.path.splitext(n)[1] in (".shp", ".shx", ".dbf", ".prj", ".cpg"):
                shutil.copy(os.path.join(corpus, n), entradas)
                do_corpus.add(os.path.splitext(n)[0])
    grelhas = os.path.join(pasta, "grelhas")
    escreve_grelhas(grelhas)
    with open(os.path.join(pasta, "px.txt"), "w") as f:
        f.write('"a","b",X,0,0,0,0,200000,300000,0.5,200001.1,5.6,-0.7,1.4,1.4\n')
    with open(os.path.join(pasta, "py.txt"), "w") as f:
        f.write('"a","b",Y,0,0,0,0,200000,300000,0.1,-3.6,300002.2,-0.3,-1.8,1.2\n')
    nomes = sorted(n[:-4] for n in os.listdir(entradas) if n.endswith(".shp"))
    px, py = os.path.join(pasta, "px.txt"), os.path.join(pasta, "py.txt")
    sem_grelhas = os.path.join(pasta, "sem_grelhas")
    os.makedirs(sem_grelhas)

    def corre(args, txt):
        p = subprocess.run([cli] + args, capture_output=True)
        texto = "%d\n%s\n%s" % (p.returncode, p.stdout.decode(), p.stderr.decode())
        with open(txt, "w") as f:
            f.write(texto.replace(pasta, "<PASTA>"))

    todas = rotas(cli)
    for r, (s1, s2) in enumerate(todas):
        saida = os.path.join(pasta, "r%02d" % r)
        os.makedirs(saida)
        # Parameter files for the routes that take them; the others ignore them.
        sistemas = ["-s", s1, "-t", s2, "--grelhas", grelhas, "-x", px, "-y", py]
        for n in nomes:
            forcar = ["--forcar"] if n in do_corpus else []  # the corpus lies outside Portugal
            corre(sistemas + forcar + [os.path.join(entradas, n + ".shp"),
                                       os.path.join(saida, n + ".shp")],
                  os.path.join(saida, n + ".txt"))
        # The whole folder at once, one file at a time; without the grid
        # files; with the parameter files swapped.
        corre(sistemas + ["-j", "1", entradas, saida + "_lote"], saida + "_lote.txt")
        um = os.path.join(entradas, "tipo03.shp")
        corre(["-s", s1, "-t", s2, "--grelhas", sem_grelhas, "-x", px, "-y", py, um,
               saida + "_sem_grelhas.shp"], saida + "_sem_grelhas.txt")
        corre(["-s", s1, "-t", s2, "--grelhas", grelhas, "-x", py, "-y", px, um,
               saida + "_trocados.shp"], saida + "_trocados.txt")
    # Entries missing, and names that route nowhere.
    um = os.path.join(entradas, "tipo03.shp")
    for k, args in enumerate([["-s", "", "-t", "", um, "x.shp"],
                              ["-s", todas[0][0], "-t", "", um, "x.shp"],
                              ["-s", todas[0][0], "-t", todas[0][0], um, "x.shp"],
                              ["-s", todas[0][0], "-t", todas[0][1], "", ""],
                              ["-s", todas[0][0], "-t", todas[0][0], entradas, "y"]]):
        corre(args, os.path.join(pasta, "entradas%d.txt" % k))
    print("%d rotas × %d entradas em %s" % (len(todas), len(nomes), pasta))


if __name__ == "__main__":
    main()
