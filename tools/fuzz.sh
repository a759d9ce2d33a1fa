#!/usr/bin/env bash
# Runs every libFuzzer target for a given number of seconds each and prints, per target, how many
# inputs ran and for how long. Build the targets first:
#   CC=clang CXX=clang++ cmake -S . -B build-fuzz -DVARNIS_FUZZ=ON -DVARNIS_SANITIZE=ON \
#       -DVARNIS_TESTS=OFF -DVARNIS_BENCH=OFF && cmake --build build-fuzz -j2
# Usage: tools/fuzz.sh SECONDS [BUILD_DIR]   (default build-fuzz)
# Seeds: the real-world pictures and sounds in tests/data and the game's generated assets (all must
# be there: a missing seed is an error, not a smaller corpus).
# The corpus grows in BUILD_DIR/fuzz-corpus/<target> and is kept between runs; an input that
# fails is left in BUILD_DIR/fuzz-artifacts/ and the script ends with status 1.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1

seconds=${1:?usage: tools/fuzz.sh SECONDS [BUILD_DIR]}
build=${2:-build-fuzz}
testdata=$(pwd)/tests/data
[ -d "$build" ] || { echo "no build folder $build" >&2; exit 2; }
build=$(cd "$build" && pwd)

seed() {  # seed TARGET FILES...
    local dir=$build/fuzz-corpus/$1; shift
    mkdir -p "$dir"
    for f in "$@"; do
        [ -f "$f" ] || { echo "missing seed $f" >&2; exit 2; }
        cp -n "$f" "$dir/seed-$(basename "$f")"
    done
}

seed fuzz_bitmap "$testdata"/bmpsuite/good/*.bmp "$testdata"/bmpsuite/bad/*.bmp \
    "$build/title.bmp" "$build/char.bmp"
seed fuzz_palette "$testdata"/bmpsuite/good/*.bmp "$build/char.bmp"
seed fuzz_wave "$testdata"/wav/*.wav "$build/shoot.wav" "$build/bomb.wav"
mkdir -p "$build/fuzz-corpus/fuzz_script"
printf '# time in ms, then what happens\n500  tap 40\n800  tap 13\n9000 down 13\n9100 up 13\n9500 snapshot field\n12000 close\n' \
    > "$build/fuzz-corpus/fuzz_script/seed-readme"
printf '0 down 17\n4294967215 tap 255\n100 up 17\n\n  # note\n7 snapshot a-b_C9\n' \
    > "$build/fuzz-corpus/fuzz_script/seed-edges"
# The replay target's first byte chooses: odd, the rest is a recording's text (compressed by the
# target); even, the rest is a recording file as it is.
mkdir -p "$build/fuzz-corpus/fuzz_replay"
printf '1varnis recording 2\ngame 1.1.0 replay 1\nseed 7\nfile title.bmp 24ca2a614753b6ed\nfile char.bmp missing\nfile shoot.wav missing\nfile bomb.wav missing\n@0:!1(20,0,0)Nq3r\n@104:(100,28,1)ia2rq5B(101,28,c0000001)+60\nend b028df0b\n' \
    > "$build/fuzz-corpus/fuzz_replay/seed-recording"
{ printf 0; cat tests/golden/replay-match.rec; } > "$build/fuzz-corpus/fuzz_replay/seed-golden"
mkdir -p "$build/fuzz-corpus/fuzz_stream"
# A hello (protocol 1, version, replay 1, four checksums, code "abc", to play), then a stream
# frame: readings, a key down, whether a sound device opened, a turn and the end.
printf 'h\x01\x051.0.0\x01\x1024ca2a614753b6ed\x07missing\x07missing\x07missing\x03abc\x00' \
    > "$build/fuzz-corpus/fuzz_stream/seed-hello"
printf 's\x01\x01\x80\x01\x02\x80\x02\x0d\x01\x03\x01\x04\x2a\x01\x01\x02\x03\x04\x05\x06\x07\x08\x05\x01' \
    > "$build/fuzz-corpus/fuzz_stream/seed-stream"

mkdir -p "$build/fuzz-artifacts"
status=0
printf '%-14s %12s %9s  %s\n' target executions seconds result
for target in fuzz_bitmap fuzz_palette fuzz_wave fuzz_script fuzz_replay fuzz_stream; do
    exe=$build/fuzz/$target
    [ -x "$exe" ] || exe=$build/$target
    if [ ! -x "$exe" ]; then
        echo "$target: not built" >&2
        status=1
        continue
    fi
    log=$build/fuzz-artifacts/$target.log
    start=$(date +%s.%N)
    # Inputs stay small enough for many runs a second: the palette needs 54 + 1024 bytes, and
    # pictures of 12 KiB (the palettised seeds whole, the others cut) reach every path of the
    # bitmap reader; larger ones only spend the time on run-length pictures of millions of pixels.
    extra=()
    [ "$target" = fuzz_palette ] && extra=(-max_len=2048)
    [ "$target" = fuzz_bitmap ] && extra=(-max_len=12288)
    ASAN_OPTIONS=allocator_may_return_null=1 "$exe" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$build/fuzz-artifacts/$target-" "${extra[@]}" \
        "$build/fuzz-corpus/$target" >"$log" 2>&1
    rc=$?
    end=$(date +%s.%N)
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    result=ok
    if [ $rc -ne 0 ]; then
        result="FAILED (status $rc, see $log)"
        status=1
    fi
    printf '%-14s %12s %9.1f  %s\n' "$target" "${execs:-?}" "$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')" "$result"
done
exit $status
