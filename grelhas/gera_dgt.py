#!/usr/bin/env python3
"""Writes DGT's NTv2 grids in dgt/ (GeoTIFF) as kelvara's own grid files,
dgt_d73_etrs89.ntv and dgt_dlx_etrs89.ntv, into this folder, with GDAL's
gdalinfo and gdal_translate (Debian package gdal-bin). The build does not
run it: the files it wrote are kept beside it and copied beside the
programs.

File layout, little-endian:
  bytes  0-15  "kelvara ntv2 1\\n" and a NUL
  bytes 16-23  columns and rows (two int32)
  bytes 24-55  longitude of the west nodes, latitude of the south nodes,
               longitude spacing, latitude spacing (four float64, in
               arc-seconds, longitude positive east)
  bytes 56-63  zero
  then, for each node from the south-west one, rows going north, each row
  going east: the latitude shift and the longitude shift (positive east),
  two float32 in arc-seconds, the GeoTIFF's values unchanged.
The same GeoTIFF gives the same bytes."""
import json
import os
import struct
import subprocess
import sys
import tempfile

aqui = os.path.dirname(os.path.abspath(__file__))
grelhas = {"dgt_d73_etrs89.ntv": "pt_dgt_D73_ETRS89_geo.tif",
           "dgt_dlx_etrs89.ntv": "pt_dgt_DLx_ETRS89_geo.tif"}

for nome, tif in grelhas.items():
    origem = os.path.join(aqui, "dgt", tif)
    # The nodes as the file gives them (a pixel is a point): no half-pixel
    # shift of the origin.
    info = json.loads(subprocess.check_output(
        ["gdalinfo", "-json", "--config", "GTIFF_POINT_GEO_IGNORE", "TRUE", origem]))
    colunas, linhas = info["size"]
    x0, dx, _, y0, _, dy = info["geoTransform"]
    bandas = [b.get("description") for b in info["bands"]]
    if bandas[:2] != ["latitude_offset", "longitude_offset"] or dy >= 0 or dx <= 0:
        sys.exit("gera_dgt.py: %s não tem a disposição esperada: %s" % (tif, bandas))
    este = info["bands"][1].get("metadata", {}).get("", {}).get("positive_value") == "east"
    if not este:
        sys.exit("gera_dgt.py: %s não diz que a longitude é positiva para leste" % tif)
    with tempfile.TemporaryDirectory() as t:
        bruto = os.path.join(t, "g.bin")
        subprocess.check_call(["gdal_translate", "-q", "-of", "ENVI", "-ot", "Float32",
                               "-b", "1", "-b", "2", origem, bruto])
        with open(bruto, "rb") as f:
            dados = f.read()
    n = colunas * linhas
    if len(dados) != 8 * n:
        sys.exit("gera_dgt.py: %s deu %d bytes em vez de %d" % (tif, len(dados), 8 * n))
    # ENVI band-sequential, native order: each band's rows from the north.
    valores = struct.unpack("<%df" % (2 * n), dados)
    lat, lon = valores[:n], valores[n:]
    corpo = bytearray()
    for j in range(linhas - 1, -1, -1):  # south first
        for i in range(colunas):
            k = j * colunas + i
            corpo += struct.pack("<ff", lat[k], lon[k])
    s = 3600.0
    cabecalho = b"kelvara ntv2 1\n\0" + struct.pack("<ii", colunas, linhas) + struct.pack(
        "<dddd", x0 * s, (y0 + (linhas - 1) * dy) * s, dx * s, -dy * s) + bytes(8)
    with open(os.path.join(aqui, nome), "wb") as f:
        f.write(cabecalho + bytes(corpo))
    print("%s: %d x %d nós" % (nome, colunas, linhas))
