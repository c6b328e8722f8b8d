#!/usr/bin/env bash
# Installs what is missing (gdal-bin too, whose ogrinfo reads our outputs in
# the tests, and proj-bin, whose cct checks the Datum Lisboa grid files),
# builds, and runs every test; then builds the whole suite again
# under AddressSanitizer and UndefinedBehaviorSanitizer (build-san/, with
# shapelib compiled from its sources under them too) and runs it there,
# failing on any report (presets "simples" and "sanitizadores" of
# CMakePresets.json: warnings are errors in both); then cross-builds it for
# Windows and runs it under wine (util/windows.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
bash util/instala.sh gdal-bin proj-bin
bash util/compila.sh
ctest --preset simples -j2

# shapelib itself compiled with the same sanitizers: a fault inside it shows.
bash util/shapelib.sh build-san/shapelib gcc \
  "-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake --preset sanitizadores >/dev/null
cmake --build --preset sanitizadores
# A report in a child kelvara-cli must not pass for its ordinary exit status 1
# (the preset's environment: ASAN_OPTIONS and UBSAN_OPTIONS with exitcode=86).
ctest --preset sanitizadores -j2

bash util/windows.sh
