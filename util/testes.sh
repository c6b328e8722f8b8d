#!/usr/bin/env bash
# Installs what is missing (gdal-bin too, whose ogrinfo reads our outputs in
# the tests, and proj-bin, whose cct checks the Datum Lisboa grid files),
# builds, and runs every test; then builds the whole suite again
# under AddressSanitizer and UndefinedBehaviorSanitizer (build-san/, with
# shapelib compiled from its sources under them too) and runs it there,
# failing on any report; then cross-builds it for Windows and runs it under
# wine (util/windows.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
bash util/instala.sh gdal-bin proj-bin
bash util/compila.sh
ctest --test-dir build --output-on-failure -j2

sanitizadores="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
# shapelib itself compiled with the same sanitizers: a fault inside it shows.
bash util/shapelib.sh build-san/shapelib gcc "$sanitizadores"
cmake -S . -B build-san -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_FLAGS="$sanitizadores" -DCMAKE_CXX_FLAGS="$sanitizadores" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" -DKELVARA_LIBSTDCXX_ESTATICA=OFF \
  -DSHAPELIB_INCLUDE_DIR="$PWD/build-san/shapelib" \
  -DSHAPELIB_LIBRARY="$PWD/build-san/shapelib/libshp.a" >/dev/null
cmake --build build-san
# A report in a child kelvara-cli must not pass for its ordinary exit status 1.
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:exitcode=86
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1:exitcode=86
export LSAN_OPTIONS="suppressions=$PWD/util/lsan.supp"
ctest --test-dir build-san --output-on-failure -j2

bash util/windows.sh
