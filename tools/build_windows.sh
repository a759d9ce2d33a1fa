#!/usr/bin/env bash
# Cross-compiles varnis.exe for 64-bit Windows and packs the zip a player downloads.
#
#   tools/build_windows.sh NATIVE_BUILD_DIR OUT_DIR
#
# NATIVE_BUILD_DIR is a desktop build holding the four data files (the asset generator runs on the
# build machine). SDL2 and FreeType are built once into OUT_DIR/deps (tools/build_deps.sh), the
# program in OUT_DIR/cmake; OUT_DIR/varnis-VERSION-win64/ is what the zip holds: the program (one
# static executable, no DLLs), its data files, the font with its terms, a README and the LICENSE.
set -euo pipefail
if [ $# -ne 2 ]; then
    echo "usage: $0 NATIVE_BUILD_DIR OUT_DIR" >&2
    exit 2
fi
cd "$(dirname "$0")/.."
native=$(realpath "$1")
out=$(mkdir -p "$2" && realpath "$2")
version=$(sed -n 's/^project(Varnis VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
font=/usr/share/fonts/opentype/ipafont-mincho/ipamp.ttf
fontdoc=/usr/share/doc/fonts-ipafont-mincho

prefix=$(tools/build_deps.sh cmake/mingw-w64.cmake "$out/deps" libsdl2-dev libfreetype-dev | tail -n1)
cmake -S . -B "$out/cmake" -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARNIS_DEPS_PREFIX="$prefix" -DVARNIS_TESTS=OFF \
    -DVARNIS_BENCH=OFF >/dev/null
cmake --build "$out/cmake" -j "${JOBS:-2}" --target varnis

name=varnis-$version-win64
stage=$out/$name
rm -rf "$stage" "$out/$name.zip"
mkdir -p "$stage"
x86_64-w64-mingw32-strip -o "$stage/varnis.exe" "$out/cmake/varnis.exe"
for f in title.bmp char.bmp shoot.wav bomb.wav; do cp "$native/$f" "$stage/"; done
cp "$font" "$stage/"
cp "$fontdoc/copyright" "$stage/IPA_Font_License.txt"
cp "$fontdoc/Readme_IPAfont00303.txt" "$stage/IPA_Font_Readme.txt"
sed 's/$/\r/' dist/README-windows.txt >"$stage/README.txt"
if [ -f LICENSE ]; then sed 's/$/\r/' LICENSE >"$stage/LICENSE.txt"; else echo "$0: no LICENSE to pack" >&2; fi
(cd "$out" && zip -q -r -X "$name.zip" "$name")
echo "$out/$name.zip"
