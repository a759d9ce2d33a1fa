#!/usr/bin/env bash
# Builds the browser version into OUT_DIR/site (index.html, varnis.js, varnis.wasm, varnis.data and
# the face's licence) and the headless runner for node (OUT_DIR/cmake/varnis-node.js, run in
# OUT_DIR/data). Needs emscripten, python3-fonttools and the desktop build's packages.
#
#   tools/build_web.sh [NATIVE_BUILD_DIR [OUT_DIR]]
#
# NATIVE_BUILD_DIR (default: build) is a desktop build whose asset generator makes the data; OUT_DIR
# defaults to build-web. Relative paths are taken from the top of the checkout.
set -euo pipefail
cd "$(dirname "$0")/.."
native=${1:-build}
out=$(mkdir -p "${2:-build-web}" && cd "${2:-build-web}" && pwd)
jobs=${JOBS:-2}
# Debian's emscripten runs its JavaScript tools with whatever node is first on the PATH; one that
# is not Debian's own does not look in Debian's module folder by itself.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}

# The data files: the native asset generator's four, and the desktop's face cut down to the
# characters the game draws.
[ -f "$native/CMakeCache.txt" ] || cmake -S . -B "$native" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$native" --target assets -j "$jobs" >/dev/null
mkdir -p "$out/data" "$out/site"
cp "$native"/{title.bmp,char.bmp,shoot.wav,bomb.wav} "$out/data/"
# The file the cut-down face's licence text describes: Debian's IPA P Mincho, nothing fontconfig
# might offer in its place.
face=/usr/share/fonts/opentype/ipafont-mincho/ipamp.ttf
[ -f "$face" ] || { echo "$0: $face is missing: install fonts-ipafont-mincho" >&2; exit 1; }
if [ ! -f "$out/data/varnis-pmincho.ttf" ] || [ "$face" -nt "$out/data/varnis-pmincho.ttf" ] ||
   [ src/shell/texts.h -nt "$out/data/varnis-pmincho.ttf" ]; then
    /usr/bin/python3 tools/subset_font.py "$face" src/shell/texts.h "$out/data"
fi

prefix=$(JOBS=$jobs tools/build_deps.sh /usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake \
         "$out/deps" zlib1g-dev libfreetype-dev | tail -n 1)
emcmake cmake -S . -B "$out/cmake" -DCMAKE_BUILD_TYPE=Release -DVARNIS_WEB_DEPS="$prefix" \
    -DVARNIS_WEB_DATA="$out/data" >/dev/null
cmake --build "$out/cmake" -j "$jobs"
cp "$out"/cmake/varnis.{js,wasm,data} web/index.html "$out/data/varnis-pmincho-LICENSE.txt" "$out/site/"
echo "$out/site"
