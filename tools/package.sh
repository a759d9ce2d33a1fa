#!/usr/bin/env bash
# package.sh OUTDIR: builds the Debian package of this tree as OUTDIR/varnis_VERSION_ARCH.deb.
# The build runs on a copy of the sources inside OUTDIR, so the tree itself stays clean; its log is
# OUTDIR/build.log. Needs debhelper and the build dependencies listed in debian/control.
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: $0 OUTDIR" >&2; exit 2; }
src=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$1"
out=$(cd "$1" && pwd)

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
if ! (cd "$work" && DEB_BUILD_OPTIONS="noautodbgsym parallel=${JOBS:-2}" \
        dpkg-buildpackage -b -us -uc) > "$out/build.log" 2>&1; then
    tail -n 30 "$out/build.log" >&2
    echo "package: the build failed; the whole log is $out/build.log" >&2
    exit 1
fi
rm -rf "$work"
echo "$out/varnis_${version}_$arch.deb"
