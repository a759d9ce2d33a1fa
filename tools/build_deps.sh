#!/usr/bin/env bash
# Builds the libraries the game links from Debian's own sources (tools/debian_source.sh) with another
# toolchain, as static libraries installed under OUTDIR/prefix, once: a library already installed
# there is not built again.
#
#   tools/build_deps.sh TOOLCHAIN OUTDIR PACKAGE...
#
# TOOLCHAIN is a CMake toolchain file (Emscripten.cmake for the web, a mingw one for Windows).
# PACKAGE is a -dev package the desktop build links: libfreetype-dev, libsdl2-dev or zlib1g-dev. The prefix
# is printed on the last line.
set -euo pipefail

if [ $# -lt 3 ]; then
    echo "usage: $0 TOOLCHAIN OUTDIR PACKAGE..." >&2
    exit 2
fi
toolchain=$(realpath "$1")
out=$(mkdir -p "$2" && cd "$2" && pwd)
shift 2
here=$(cd "$(dirname "$0")" && pwd)
prefix=$out/prefix
jobs=${JOBS:-2}

for pkg in "$@"; do
    case $pkg in
        # Only what the game uses: no PNG glyphs, no shaping. FreeType keeps a copy of zlib for
        # compressed fonts that would clash with the zlib the game links, so it takes that one:
        # zlib1g-dev built here first, or the toolchain's own (Windows).
        libfreetype-dev) stamp=freetype-zlib; opts=(-DFT_REQUIRE_ZLIB=ON -DFT_DISABLE_BZIP2=ON
            -DFT_DISABLE_PNG=ON -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON)
            [ -f "$prefix/lib/libz.a" ] &&
                opts+=(-DZLIB_LIBRARY="$prefix/lib/libz.a" -DZLIB_INCLUDE_DIR="$prefix/include") ;;
        libsdl2-dev) stamp=sdl2; opts=(-DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF) ;;
        zlib1g-dev) stamp=zlib; opts=() ;;
        *) echo "$0: no build recipe for $pkg" >&2; exit 2 ;;
    esac
    [ -f "$prefix/.$stamp" ] && continue
    src=$("$here/debian_source.sh" "$out" "$pkg" | tail -n 1)
    if [ $stamp = zlib ]; then
        # zlib's own CMake build wants files Debian's source leaves out (the Windows resources) and
        # always makes a shared library too: the static library and its two headers are all it takes.
        mkdir -p "$out/zlib-project"
        cat >"$out/zlib-project/CMakeLists.txt" <<EOF
cmake_minimum_required(VERSION 3.25)
project(zlib C)
file(GLOB sources $src/*.c)
set(Z_HAVE_UNISTD_H 1)
configure_file($src/zconf.h.cmakein zconf.h)
add_library(z STATIC \${sources})
target_include_directories(z PRIVATE \${CMAKE_CURRENT_BINARY_DIR} $src)
target_compile_definitions(z PRIVATE HAVE_UNISTD_H HAVE_STDARG_H)
install(TARGETS z ARCHIVE DESTINATION lib)
install(FILES $src/zlib.h \${CMAKE_CURRENT_BINARY_DIR}/zconf.h DESTINATION include)
EOF
        src=$out/zlib-project
    fi
    rm -rf "$out/build-$stamp"
    cmake -S "$src" -B "$out/build-$stamp" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF \
        "${opts[@]}" >&2
    cmake --build "$out/build-$stamp" -j "$jobs" >&2
    cmake --install "$out/build-$stamp" >&2
    rm -rf "$out/build-$stamp"
    touch "$prefix/.$stamp"
done
echo "$prefix"
