#!/usr/bin/env bash
# Recordings of real play replay exactly. The SDL game runs on a private Xvfb display, is played
# through xdotool at real, unscripted timing and records itself; its headless replay must trace
# what the game traced (VARNIS_TRACE_FILE), line for line and to the millisecond, and end where it
# ended, on the picture the window showed last. A recording cut off by killing the game replays up
# to where the file ends, on the picture the window showed.
#   replay_window.sh VARNIS BUILD_DIR MINI_WM      (VARNIS_E2E_KEEP=1 keeps the files)
set -uo pipefail
VARNIS=$(realpath "$1")
BUILD=$(realpath "$2")
WM=$(realpath "$3")
WORK=$(mktemp -d "${TMPDIR:-/tmp}/varnis-replay.XXXXXX")
export SDL_AUDIODRIVER=dummy
unset SDL_VIDEODRIVER
PIDS=()
cleanup() {
    for p in "${PIDS[@]}"; do kill -9 "$p" 2>/dev/null; done
    if [ "${VARNIS_E2E_KEEP:-0}" = 1 ]; then echo "files kept in $WORK"; else rm -rf "$WORK"; fi
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -r -ardelay 60000 3>"$WORK/display" 2>/dev/null &
PIDS+=($!)
for _ in $(seq 100); do [ -s "$WORK/display" ] && break; sleep 0.1; done
DISPLAY=":$(head -n1 "$WORK/display")" && export DISPLAY
"$WM" &
PIDS+=($!)

launch() {  # TRACE OPTIONS...: the game in a window, tracing into TRACE
    local trace=$1
    shift
    (cd "$BUILD" && VARNIS_TRACE_FILE="$trace" exec "$VARNIS" --window "$@") &
    GAME=$!
    PIDS+=("$GAME")
    timeout 30 xdotool search --sync --onlyvisible --name '^Varnis$' >/dev/null || fail "no game window"
    sleep 1.5  # SDL may replace its first window
    WID=$(xdotool search --onlyvisible --name '^Varnis$' | tail -n1)
}
start() { launch "$WORK/$1.trace" --record "$WORK/$1.rec"; }  # NAME: recording NAME.rec
tap() {  # KEY [SECONDS after]: held as a player holds it; the game reads held keys once a frame
    xdotool windowfocus "$WID" 2>/dev/null
    xdotool keydown "$1"
    sleep 0.12
    xdotool keyup "$1"
    sleep "${2:-0.4}"
}
replay() {  # NAME: the headless replay's trace in NAME.out, its status in REPLAYED, end.bmp in NAME-end/
    mkdir -p "$WORK/$1-end"
    (cd "$BUILD" && exec "$VARNIS" --headless --replay "$WORK/$1.rec" --snapshots "$WORK/$1-end" >"$WORK/$1.out")
    REPLAYED=$?
}

echo "-- menu, a two-player match to a winner, the title again, Pause"
start full
tap Down; tap Up; tap Down; tap Return 4
for _ in $(seq 150); do  # each player fires in turn, after a varying time, until one wins
    for k in Return space; do
        grep -q 'Win!' "$WORK/full.trace" || tap $k "1.$((RANDOM % 10))"
    done
done
grep -q 'Win!' "$WORK/full.trace" || fail "no winner after ten minutes"
sleep 1
# A fire key held as the winner's text appeared has dismissed it already; Down sounds only on
# the title, so Return leaves the winner's text only when it is still there.
tap Down 1
tail -n1 "$WORK/full.trace" | grep -q ' sound 0 0 11025$' || tap Return 2
import -window "$WID" "$WORK/full.png"
tap Pause 0
wait "$GAME"
status=$?
[ $status -eq 1 ] || fail "the game ended with status $status"
replay full
[ $REPLAYED -eq 1 ] || fail "the replay ended with status $REPLAYED"
diff "$WORK/full.trace" "$WORK/full.out" >"$WORK/full.diff" || fail "the replay differs: $(head -c 600 "$WORK/full.diff")"
differ=$(compare -metric AE "$WORK/full.png" "$WORK/full-end/end.bmp" null: 2>&1)
[ "$differ" = 0 ] || fail "end.bmp differs from the window's last picture in $differ pixels"
echo "   $(wc -l <"$WORK/full.out") trace lines equal; recording $(wc -c <"$WORK/full.rec") bytes," \
     "$(zcat "$WORK/full.rec" | wc -c) bytes of text"

echo "-- killed on the title: the replay agrees up to where the file ends"
start cut
tap Down; tap Down 2.5
import -window "$WID" "$WORK/cut.png"
kill -9 "$GAME"
wait "$GAME" 2>/dev/null
replay cut
[ $REPLAYED -eq 0 ] || fail "the cut-off replay ended with status $REPLAYED"
[ "$(tail -n1 "$WORK/cut.out" | cut -d' ' -f2-)" = "end of recording" ] || fail "no 'end of recording'"
n=$(($(wc -l <"$WORK/cut.out") - 1))
diff <(head -n "$n" "$WORK/cut.trace") <(head -n "$n" "$WORK/cut.out") >"$WORK/cut.diff" ||
    fail "the cut-off replay differs: $(head -c 600 "$WORK/cut.diff")"
differ=$(compare -metric AE "$WORK/cut.png" "$WORK/cut-end/end.bmp" null: 2>&1)
[ "$differ" = 0 ] || fail "end.bmp differs from the window in $differ pixels"

echo "-- replayed in a window: at the recorded pace, the same trace; Pause ends it"
t0=$(date +%s%N)
(cd "$BUILD" && VARNIS_TRACE_FILE="$WORK/window.trace" exec "$VARNIS" --window --replay "$WORK/cut.rec")
status=$?
took=$((($(date +%s%N) - t0) / 1000000))
[ $status -eq 0 ] || fail "the replay in a window ended with status $status"
diff "$WORK/cut.out" "$WORK/window.trace" >/dev/null || fail "the replay in a window traced otherwise"
# Paced from the first reading, which comes well within a second of the start.
[ $took -ge $(($(tail -n1 "$WORK/cut.out" | cut -d' ' -f1) - 1000)) ] || fail "the replay in a window took only $took ms"
launch /dev/null --replay "$WORK/full.rec"
tap Pause 0
for _ in $(seq 50); do kill -0 "$GAME" 2>/dev/null || break; sleep 0.1; done
kill -0 "$GAME" 2>/dev/null && fail "Pause did not end the replay"
wait "$GAME"
status=$?
[ $status -eq 0 ] || fail "Pause ended the replay with status $status"
echo "all replay checks passed"
