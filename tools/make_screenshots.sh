#!/usr/bin/env bash
# Regenerates the README's pictures, docs/title-screen.png and docs/battlefield.png, with the
# headless runner: a fixed seed and a fixed script give the same pictures every time.
#   tools/make_screenshots.sh [BUILD_DIR]     (default: build; needs ImageMagick's convert)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=$(realpath "${1:-build}")
DOCS=$(realpath docs)
[ -x "$BUILD/varnis" ] || { echo "no $BUILD/varnis: build first" >&2; exit 1; }
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

# The title at rest; then a two-player match: the right fortress fires into the hill beside it,
# and the picture is taken while the left fortress's shell arcs over the landscape.
cat >"$WORK/script.txt" <<'SCRIPT'
2000  snapshot title-screen
2100  tap 40
2700  tap 13
11500 tap 13
12700 tap 32
14000 snapshot battlefield
14100 close
SCRIPT
(cd "$BUILD" && ./varnis --headless --seed 7 --script "$WORK/script.txt" \
    --snapshots "$WORK" >"$WORK/trace.txt") || true
for name in title-screen battlefield; do
    [ -f "$WORK/$name.bmp" ] || { echo "no $name snapshot; trace:" >&2; cat "$WORK/trace.txt" >&2; exit 1; }
    convert "$WORK/$name.bmp" -strip "PNG8:$DOCS/$name.png"
done
echo "wrote $DOCS/title-screen.png and $DOCS/battlefield.png"
