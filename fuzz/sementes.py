#!/usr/bin/env python3
"""Starting inputs for the fuzz targets, written into PASTA/<alvo>/.

shapefile: every triple of ../shared/corpus (when present) and of the sample
the build makes, packed as the target reads them; parametros: files of
several layouts; grelha: a whole M grid, a whole P grid and a short one."""
import glob
import os
import struct
import sys

raiz = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
destino = sys.argv[1]


def escreve(alvo, nome, dados):
    os.makedirs(os.path.join(destino, alvo), exist_ok=True)
    with open(os.path.join(destino, alvo, nome), "wb") as f:
        f.write(dados)


def le(p):
    with open(p, "rb") as f:
        return f.read()


bases = sorted(glob.glob(os.path.join(raiz, "..", "shared", "corpus", "*.shp")))
bases += sorted(glob.glob(os.path.join(raiz, "build", "amostra", "rios.shp")))
for shp in bases:
    base = shp[:-4]
    if not (os.path.exists(base + ".shx") and os.path.exists(base + ".dbf")):
        continue
    a, b, c = le(base + ".shp"), le(base + ".shx"), le(base + ".dbf")
    if len(a) + len(b) + len(c) > 200000:
        continue  # libFuzzer works best on small inputs
    escreve("shapefile", os.path.basename(base), struct.pack("<II", len(a), len(b)) + a + b + c)

x = b"identidade, exemplo, X\n0, 0\n0, 0\n1, 1\n0, 1, 0, 0, 0, 0\n"
y = b'"uma, vez", outra, "Y"\r\n1e3,-2.5E-1\r\n0,0\r\n200000, 300000\r\n0,0,1,0,0,0\r\n'
escreve("parametros", "identidade", struct.pack("<I", len(x)) + x + y)
escreve("parametros", "trocados", struct.pack("<I", len(y)) + y + x)

linhas = []
for i in range(123):
    linhas.append(",".join("%.3f" % (-140000 + j * 5000 + 1.5 + i * 0.01) for j in range(66)))
escreve("grelha", "inteira", ("\n".join(linhas) + "\n").encode())
linhas = []
for i in range(123):
    linhas.append(" ".join("%.4f" % (290000 - i * 5000 - 2.25 + j * 0.003) for j in range(66)))
escreve("grelha", "inteira_p", ("\r\n".join(linhas) + ",\r\n\x1a").encode())
escreve("grelha", "curta", b"1 2 3, 4\n-999999\n")
