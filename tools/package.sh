#!/usr/bin/env bash
# package.sh OUTDIR [WEBDIR]: builds the Debian package of this tree as OUTDIR/varnis_VERSION_ARCH.deb.
# The build runs on a copy of the sources inside OUTDIR, so the tree itself stays clean; its log is
# OUTDIR/build.log. Needs debhelper and the build dependencies listed in debian/control.
#
# The package ships the browser build's site beside the data files, where a host finds it. The site
# is tools/build_web.sh's WEBDIR/site (default OUTDIR/web), built there first when it is not there
# yet (that needs the packages of `./dev.sh web`); a site already built is taken as it is. It is made
# before the package build rather than inside it: building it fetches Debian's FreeType and zlib
# sources, which a package build must not do.
set -euo pipefail
[ $# -eq 1 ] || [ $# -eq 2 ] || { echo "usage: $0 OUTDIR [WEBDIR]" >&2; exit 2; }
src=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$1" "${2:-$1/web}"
out=$(cd "$1" && pwd)
web=$(cd "${2:-$1/web}" && pwd)
site_files=(index.html varnis.js varnis.wasm varnis.data)
built() { for f in "${site_files[@]}"; do [ -f "$web/site/$f" ] || return 1; done; }
if ! built; then
    echo "package: building the browser site in $web" >&2
    JOBS=${JOBS:-2} "$src/tools/build_web.sh" "$web/native" "$web" >&2
    built || { echo "package: $web/site lacks one of ${site_files[*]}" >&2; exit 1; }
fi

version=$(sed -n 's/^project(Varnis VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")
logged=$(dpkg-parsechangelog -l "$src/debian/changelog" -S Version)
if [ "$version" != "$logged" ]; then
    echo "package: CMakeLists.txt says $version but debian/changelog $logged; add a changelog entry" >&2
    exit 1
fi
arch=$(dpkg-architecture -qDEB_HOST_ARCH)

work="$out/varnis-$version"
rm -rf "$work" "$out/varnis_${version}_$arch".*
mkdir -p "$work"
for f in CMakeLists.txt README.md LICENSE src tools dist debian; do
    [ -e "$src/$f" ] && cp -r "$src/$f" "$work/"
done
# debian/varnis.install takes it from there. Emscripten marks varnis.wasm executable, but only a
# browser runs it: plain data files to the package.
cp -r "$web/site" "$work/site"
find "$work/site" -type f -exec chmod 0644 {} +
if ! (cd "$work" && DEB_BUILD_OPTIONS="noautodbgsym parallel=${JOBS:-2}" \
        dpkg-buildpackage -b -us -uc) > "$out/build.log" 2>&1; then
    tail -n 30 "$out/build.log" >&2
    echo "package: the build failed; the whole log is $out/build.log" >&2
    exit 1
fi
rm -rf "$work"
echo "$out/varnis_${version}_$arch.deb"
