#!/usr/bin/env bash
# Builds the libraries the game links (SDL2 and FreeType, from Debian's own sources at the versions
# the desktop build uses) as static libraries for another platform, described by a CMake toolchain
# file, and installs them into one prefix.
#
#   tools/build_deps.sh DIR TOOLCHAIN_FILE
#
# Sources are unpacked under DIR/src (tools/debian_source.sh), built under DIR/build and installed
# into DIR/prefix, whose path is printed. A library already built with the same toolchain file,
# source and options is not built again.
set -euo pipefail

if [ $# -ne 2 ]; then
    echo "usage: $0 DIR TOOLCHAIN_FILE" >&2
    exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
dir=$(mkdir -p "$1" && cd "$1" && pwd)
toolchain=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
prefix=$dir/prefix
jobs=${JOBS:-2}

mapfile -t sources < <("$here/debian_source.sh" "$dir/src" libsdl2-dev libfreetype-dev)

# build NAME SOURCE CMAKE_OPTION...
build() {
    local name=$1 src=$2; shift 2
    local stamp=$prefix/.built-$name key
    key=$(printf '%s\n' "$src" "$@" | cat - "$toolchain" | sha256sum | cut -d' ' -f1)
    [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$key" ] && return 0
    rm -rf "$dir/build/$name"
    cmake -S "$src" -B "$dir/build/$name" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF \
        -DCMAKE_FIND_ROOT_PATH="$prefix" "$@" >&2
    cmake --build "$dir/build/$name" -j "$jobs" >&2
    cmake --install "$dir/build/$name" >&2
    echo "$key" > "$stamp"
}

mkdir -p "$prefix"
build sdl2 "${sources[0]}" -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF -DSDL2_DISABLE_UNINSTALL=ON
# Only what the game's outline fonts need: no compressed, colour or shaped-text extras.
build freetype "${sources[1]}" -DFT_DISABLE_ZLIB=ON -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_PNG=ON \
    -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON
echo "$prefix"
