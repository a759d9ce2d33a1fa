#!/usr/bin/env bash
# Varnis quick start.
#   ./dev.sh play   install what is missing, build, and start the game; with --host among its
#                   options also the browser version the host serves (build-web/site, built once)
#   ./dev.sh test   install what is missing, check the style (tools/check_style.sh), build, and run
#                   every test (plain and sanitizer builds)
#   ./dev.sh package  install what is missing and build build-package/varnis_VERSION_ARCH.deb,
#                   with the browser version (built in build-web) inside
#   ./dev.sh web    install what is missing, build the browser version and serve it at
#                   http://localhost:${PORT:-8000}/; `./dev.sh web build` only builds (build-web/site)
#   ./dev.sh windows  install what is missing and cross-compile the Windows zip
#                   (build-windows/varnis-VERSION-win64.zip)
# Run as root or with sudo available; packages come from Debian.
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(g++ cmake make pkg-config libsdl2-dev libfreetype-dev libfontconfig-dev zlib1g-dev
          fonts-ipafont-mincho libgtest-dev libbenchmark-dev clang libclang-rt-14-dev
          xvfb xdotool imagemagick x11-utils shellcheck clang-format
          dpkg-dev debhelper lintian desktop-file-utils appstream libboost-dev)
# The browser build and its tests (emscripten, dpkg-source for Debian's FreeType and zlib sources,
# the face cut-down, headless Chromium).
WEB_PACKAGES=(emscripten dpkg-dev python3-fonttools chromium python3-websocket)
# The Windows build and its tests (mingw-w64 with posix threads, Debian's zlib for it,
# dpkg-source for Debian's sources of SDL2 and FreeType, wine to run the program, zip).
WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix libz-mingw-w64-dev dpkg-dev wine wine64 zip)
JOBS=$(nproc)

install_missing() {  # install_missing [extra packages...]
    local missing=()
    for p in "${PACKAGES[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

has_option() {  # has_option OPTION ARGS...: whether OPTION is one of ARGS
    local option=$1 a
    shift
    for a in "$@"; do [ "$a" = "$option" ] && return 0; done
    return 1
}

build() {  # build DIR [cmake options...]
    local dir=$1; shift
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$dir" -j "$JOBS"
}

case "${1:-}" in
    play)
        install_missing
        build build
        # A host serves the browser version to the friends it invites: build it when it is not
        # there yet, and name it, since the game starts in build/. A --site given is left alone.
        site=()
        if has_option --host "${@:2}" && ! has_option --site "${@:2}"; then
            if [ ! -f build-web/site/index.html ]; then
                install_missing "${WEB_PACKAGES[@]}"
                JOBS=$JOBS tools/build_web.sh build
            fi
            site=(--site "$PWD/build-web/site")
        fi
        cd build && exec ./varnis "${@:2}" "${site[@]}"
        ;;
    test)
        install_missing "${WEB_PACKAGES[@]}" "${WINDOWS_PACKAGES[@]}"
        # The style check first: shellcheck over the scripts, clang-format over the sources.
        tools/check_style.sh
        # The test builds treat every compiler warning as an error. The plain pass also builds the
        # browser version and cross-compiles the Windows program (their first tests) and tries them.
        build build -DVARNIS_WERROR=ON
        (cd build && export JOBS && ctest --output-on-failure -j "$JOBS")
        build build-asan -DVARNIS_SANITIZE=ON -DVARNIS_BENCH=OFF -DVARNIS_WERROR=ON
        (cd build-asan && ctest --output-on-failure -j "$JOBS")
        CC=clang CXX=clang++ build build-fuzz -DVARNIS_FUZZ=ON -DVARNIS_SANITIZE=ON \
            -DVARNIS_TESTS=OFF -DVARNIS_BENCH=OFF -DVARNIS_WERROR=ON
        tools/fuzz.sh 30
        ;;
    package)
        # The package ships the browser version: brought up to date in build-web first.
        install_missing "${WEB_PACKAGES[@]}"
        JOBS=$JOBS tools/build_web.sh build
        JOBS=$JOBS tools/package.sh build-package build-web
        ;;
    web)
        install_missing "${WEB_PACKAGES[@]}"
        JOBS=$JOBS tools/build_web.sh build  # the native build only makes the data files
        [ "${2:-}" = build ] && exit 0
        echo "Serving build-web/site at http://localhost:${PORT:-8000}/ (Ctrl+C stops)"
        exec python3 -m http.server "${PORT:-8000}" --directory build-web/site
        ;;
    windows)
        install_missing "${WINDOWS_PACKAGES[@]}"
        build build  # the native build makes the data files
        JOBS=$JOBS tools/build_windows.sh build build-windows
        ;;
    *)
        echo "usage: $0 play [game options] | test | package | web [build] | windows" >&2
        exit 2
        ;;
esac
