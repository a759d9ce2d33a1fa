#!/usr/bin/env bash
# The Windows build against the desktop build: the same scripts and seeds on the headless runner
# must give the same trace, exit status and byte-identical snapshots. varnis.exe runs under wine
# from a folder other than its own, so its data files and font are found beside the program.
#   scenarios.sh VARNIS VARNIS_EXE_FOLDER DATA_DIR
set -uo pipefail
VARNIS=$(realpath "$1")
PACKAGE=$(realpath "$2")
DATA=$(realpath "$3")
WORK=$(mktemp -d "${TMPDIR:-/tmp}/varnis-windows.XXXXXX")
[ "${VARNIS_KEEP:-0}" = 1 ] && echo "kept in $WORK" || trap 'rm -rf "$WORK"' EXIT
failed=0

taps() {  # FROM TO PERIOD VK
    for ((t = $1; t < $2; t += $3)); do echo "$t tap $4"; done
}
hostile() {  # FOLDER: the data files damaged in different ways
    head -c 1000 "$DATA/title.bmp" >"$1/title.bmp" && : >"$1/bomb.wav"
    printf '\xff\xff\xff\x7f' | dd of="$1/char.bmp" bs=1 seek=18 conv=notrunc status=none
    printf '\xf0\xff\xff\xff' | dd of="$1/shoot.wav" bs=1 seek=40 conv=notrunc status=none
}

compare() {  # NAME SEED DAMAGE SCRIPT
    local name=$1 seed=$2 script=$WORK/$1.txt lin=$WORK/$1-linux win=$WORK/$1-windows
    printf '%s\n' "$4" >"$script"
    mkdir -p "$lin/shots" "$win/program" "$win/cwd/shots"
    cp "$DATA"/{title.bmp,char.bmp,shoot.wav,bomb.wav} "$lin/"
    [ "$3" = hostile ] && hostile "$lin"
    cp "$PACKAGE"/* "$win/program/" && cp -f "$lin"/*.bmp "$lin"/*.wav "$win/program/"
    (cd "$lin" && "$VARNIS" --headless --seed "$seed" --script "$script" --snapshots shots >trace)
    echo "status $?" >>"$lin/trace"
    (cd "$win/cwd" && wine "$win/program/varnis.exe" --headless --seed "$seed" \
        --script "$(winepath -w "$script")" --snapshots shots >trace 2>/dev/null)
    echo "status $?" >>"$win/cwd/trace"
    if ! grep -q ' exit ' "$lin/trace"; then
        echo "FAIL $name: the run did not end: $(tail -n 3 "$lin/trace")"; failed=1
    elif ! diff "$lin/trace" "$win/cwd/trace" | head -n 20 || ! diff -r "$lin/shots" "$win/cwd/shots"; then
        echo "FAIL $name: the runs differ"; failed=1
    else
        echo "ok $name: $(wc -l <"$lin/trace") trace lines, $(ls "$lin/shots" | wc -l) snapshots"
    fi
}

export WINEDEBUG=-all SDL_AUDIODRIVER=dummy

compare two-players 11 intact "100 tap 40
400 tap 13
2900 snapshot field
$(taps 3000 150000 1100 13)
$(taps 3500 150000 1300 32)
4000 snapshot flight
150000 snapshot end
150000 down 27
160000 down 27
170000 down 27"

compare one-player 3 intact "400 tap 13
2900 snapshot field
$(taps 3000 300000 1700 13)
$(taps 3200 300000 900 32)
9000 snapshot turn
300000 snapshot end
300000 down 27
310000 down 27
320000 down 27"

compare hostile 5 hostile "100 snapshot start
3000 tap 13
6000 tap 27
9000 tap 27"

exit $failed
