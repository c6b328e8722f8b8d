#!/usr/bin/env bash
# Installs what is missing (gdal-bin too, whose ogrinfo reads our outputs in
# the tests), builds, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash util/instala.sh gdal-bin
bash util/compila.sh
ctest --test-dir build --output-on-failure -j2
