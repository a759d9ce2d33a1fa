#!/usr/bin/env bash
# package_test.sh OUTDIR WEBDIR: builds the Debian package (tools/package.sh), fails on any error or
# warning from lintian, and checks that the package holds the browser site where an installed host
# looks for it: site/ in the data folder.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
deb=$("$here/../../tools/package.sh" "$1" "$2")
# Lintian leaves a temporary file behind: its temporary folder is the package's.
TMPDIR="$1" lintian --fail-on error,warning --info "$deb"
listing=$(dpkg-deb -c "$deb")
for f in index.html varnis.js varnis.wasm varnis.data; do
    grep -q " \./usr/share/games/varnis/site/$f\$" <<<"$listing" ||
        { echo "the package has no usr/share/games/varnis/site/$f" >&2; exit 1; }
done
