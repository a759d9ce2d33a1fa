#!/usr/bin/env bash
# The headless runner built for the web (under node) plays a two-player and a one-player match to
# the same trace and the same snapshots, byte for byte, as the native one.
#   headless_test.sh NATIVE_BUILD_DIR WEB_BUILD_DIR
set -eu
native=$(cd "$1" && pwd) web=$(cd "$2" && pwd)
work=$(mktemp -d) && trap 'rm -rf "$work"' EXIT
taps() { for ((t = $1; t < $2; t += $3)); do echo "$t tap $4"; done; }
{ echo "500 snapshot title"; echo "600 tap 40"; echo "900 tap 13"; echo "4000 snapshot field"
  taps 4000 150000 1100 13; taps 4500 150000 1300 32; echo "30000 snapshot fight"
  echo "150000 down 27"; echo "160000 down 27"; echo "170000 down 27"; } > "$work/two"
{ echo "400 tap 13"; taps 4000 200000 1700 32; echo "40000 snapshot fight"
  echo "200000 down 27"; echo "210000 down 27"; echo "220000 down 27"; } > "$work/one"
status=0
for match in two one; do
    for seed in 5 11; do
        run="$match-$seed"
        mkdir -p "$work/n-$run" "$work/w-$run"
        (cd "$native" && ./varnis --headless --script "$work/$match" --snapshots "$work/n-$run" --seed $seed \
            > "$work/n-$run.trace" || true)
        (cd "$web/data" && node "$web/cmake/varnis-node.js" --headless --script "$work/$match" \
            --snapshots "$work/w-$run" --seed $seed > "$work/w-$run.trace" || true)
        grep -q " exit 1$" "$work/n-$run.trace" || { echo "FAIL: $run: the native run did not end"; status=1; }
        diff -q "$work/n-$run.trace" "$work/w-$run.trace" >/dev/null || { echo "FAIL: $run: traces differ"; status=1; }
        for f in "$work/n-$run"/*.bmp; do
            cmp -s "$f" "$work/w-$run/${f##*/}" || { echo "FAIL: $run: ${f##*/} differs"; status=1; }
        done
    done
done
exit $status
