#!/usr/bin/env bash
# Installs what is missing (mingw-w64, wine), cross-builds shapelib,
# GoogleTest and kelvara, the window included (against the static Qt kept
# beside the project), for 64-bit Windows into build-windows/, runs every
# test under wine, the window's too, and packs
# build-windows/kelvara-windows.zip: kelvara.exe, kelvara-cli.exe, the grid
# files, a LEIA-ME and Qt's licence. Each .exe carries its runtime (and the
# window its Qt) and needs no DLL beside it.
set -euo pipefail
cd "$(dirname "$0")/.."
raiz=$PWD
bash util/instala.sh g++-mingw-w64-x86-64-posix wine wine64 zip qt6-base-dev-tools

destino=$raiz/build-windows
dep=$destino/dependencias
cadeia=$raiz/util/windows.cmake
mkdir -p "$dep/include" "$dep/lib"

# wine quiet, without the .NET and HTML engines it would offer to install;
# its configuration made once, before the build runs the first program.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine wineboot -i >/dev/null 2>&1 || true

# shapelib from its source kept beside the project, once.
shapelib=../shared/thirdparty/shapelib-1.5.0.tar.gz
if [ ! -f "$dep/lib/libshp.a" ]; then
  if [ ! -f "$shapelib" ]; then
    echo "Falta o código do shapelib em $shapelib: sem ele não há compilação para Windows." >&2
    exit 1
  fi
  AR=x86_64-w64-mingw32-ar bash util/shapelib.sh "$destino/shapelib" x86_64-w64-mingw32-gcc-posix -O2
  cp "$destino/shapelib/libshp.a" "$dep/lib/"
  cp "$destino/shapelib/shapefil.h" "$dep/include/"
fi

# GoogleTest from Debian's source package, once.
if [ ! -f "$dep/lib/cmake/GTest/GTestConfig.cmake" ]; then
  cmake -S /usr/src/googletest -B "$destino/googletest" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$cadeia" -DCMAKE_INSTALL_PREFIX="$dep" -DBUILD_GMOCK=OFF >/dev/null
  cmake --build "$destino/googletest" --target install >/dev/null
fi

# Qt's qtbase for mingw-w64, static, unpacked once into the build folder
# (never into the repository); moc and the other tools are the host's Qt of
# the same version.
qt=../shared/thirdparty/qt6-mingw/qt6-mingw-6.4.2-static.tar.xz
if [ ! -f "$destino/qt6-mingw/lib/cmake/Qt6/Qt6Config.cmake" ]; then
  if [ ! -f "$qt" ]; then
    echo "Falta a Qt para mingw-w64 em $qt: sem ela não há janela para Windows." >&2
    exit 1
  fi
  tar -C "$destino" -xJf "$qt"
fi

cmake -S . -B "$destino" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_TOOLCHAIN_FILE="$cadeia" \
  -DCMAKE_FIND_ROOT_PATH="$dep;$destino/qt6-mingw" -DKELVARA_JANELAS=ON \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake >/dev/null
cmake --build "$destino"
echo "Compilação para Windows: ${SECONDS} s"

inicio=$SECONDS
ctest --test-dir "$destino" --output-on-failure -j2
echo "Testes sob o wine: $((SECONDS - inicio)) s"

pacote=$destino/pacote
rm -rf "$pacote" "$destino/kelvara-windows.zip"
mkdir -p "$pacote"
for p in kelvara kelvara-cli; do
  x86_64-w64-mingw32-strip -o "$pacote/$p.exe" "$destino/$p.exe"
done
cp grelhas/*.asc grelhas/*.ntv "$pacote/"
cp util/LEIA-ME.txt "$pacote/"
cp /usr/share/common-licenses/LGPL-3 "$pacote/LICENCA-Qt-LGPL-3.0.txt"
(cd "$pacote" && zip -q -X ../kelvara-windows.zip ./*)
echo "Pacote: $destino/kelvara-windows.zip"
