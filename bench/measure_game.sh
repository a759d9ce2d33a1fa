#!/usr/bin/env bash
# What the real game costs under Xvfb, in both wait modes, through one fixed sequence of keys:
# the title screen left alone, a two-player match fought to a winner (both players tapping their
# fire keys in turn), and the winner's screen left alone. Prints one table of CPU shares per phase
# and the game's own --stats figures for each mode.
#
#   bench/measure_game.sh [BUILD_DIR]     (default: build; needs Xvfb and xdotool)
#
# Environment: IDLE_S (8), MATCH_CAP_S (360), SEED (11), MODES ("yielding spinning"), VARNIS_EXE
# (a Windows build's varnis.exe, played under wine instead; BUILD_DIR still holds the data files),
# VARNIS_ARGS (more options for the game, e.g. "--record /tmp/match.rec" to measure what recording
# costs).
# Modes: "yielding" is the game as shipped; "spinning" sets VARNIS_SPIN_WAITS=1, so every wait
# spins as the original's did. Figures are the game process only (Xvfb's own work not counted).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=$(cd "${1:-build}" && pwd)
IDLE_S=${IDLE_S:-8}          # seconds for each idle phase
MATCH_CAP_S=${MATCH_CAP_S:-360}  # give up on a winner after this long
SEED=${SEED:-11}
TICK=$(getconf CLK_TCK)
OUT=$(mktemp -d)
trap 'kill "$XVFB" 2>/dev/null || true; rm -rf "$OUT"' EXIT

for n in $(seq 90 130); do [ -e /tmp/.X$n-lock ] || { DISPLAY_NUM=$n; break; }; done
Xvfb ":$DISPLAY_NUM" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
XVFB=$!
export DISPLAY=":$DISPLAY_NUM"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

if [ -n "${VARNIS_EXE:-}" ]; then GAME=(wine "$(realpath "$VARNIS_EXE")"); else GAME=(./varnis); fi
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
now() { date +%s.%N; }
# Prints "seconds cpu%" for the time since the given start stamps.
share() {  # pid t0 c0
    local t1 c1
    t1=$(now); c1=$(cpu_ticks "$1")
    awk -v t0="$2" -v t1="$t1" -v c0="$3" -v c1="$c1" -v hz="$TICK" \
        'BEGIN { d = t1 - t0; printf "%.1f %.1f\n", d, 100 * (c1 - c0) / hz / d }'
}
# The game writes the texts it draws to $TRACE (VARNIS_TRACE_FILE); the winner's announcement
# ends in "Win!". Looks for it until the next tap is due (the milliseconds given), so no tap ends
# the winner's wait before it is seen.
# The polling starts no process at all (bash's own clock, reads of the trace through an open
# descriptor, timed reads on an empty pipe for the pauses): a process started beside the game can
# hold a processor inside the kernel for milliseconds and delay the game's wake-ups, and the
# harness should not disturb what it measures.
exec {PAUSE_FD}<> <(:)
pause() { read -r -t "$1" -u "$PAUSE_FD" _ || true; }   # seconds, fractions allowed
ms_now() { local t=${EPOCHREALTIME/./}; NOW_MS=$(( t / 1000 )); }
PARTIAL=
await_winner() {
    local until part
    ms_now; until=$(( NOW_MS + $1 ))
    while ms_now; [ "$NOW_MS" -lt "$until" ]; do
        # Whole lines only: a line still being written is kept until its end arrives.
        while IFS= read -r part <&"$TRACE_FD"; do
            [[ $PARTIAL$part == *'Win!' ]] && return 0
            PARTIAL=
        done
        PARTIAL+=$part
        pause 0.1
    done
    return 1
}
key() { xdotool key --clearmodifiers "$1"; }
# A fire key is held for a tenth of a second, as a player's tap is: the game reads held keys once
# a frame, so a press and release that both arrive within one frame would not fire.
tap() { xdotool keydown "$1"; pause 0.1; xdotool keyup "$1"; }

run_mode() {  # name spin
    local name=$1 pid t0 c0 start won=0
    TRACE=$OUT/$name.trace
    : >"$TRACE"
    exec {TRACE_FD}<"$TRACE"
    (cd "$BUILD" && VARNIS_SPIN_WAITS=$2 VARNIS_TRACE_FILE=$TRACE exec "${GAME[@]}" --seed "$SEED" --stats ${VARNIS_ARGS:-} 2>"$OUT/$name.stats" >/dev/null) &
    pid=$!
    xdotool search --sync --name '^Varnis$' >/dev/null
    sleep 1
    pid=$(pgrep -P "$pid" -x varnis || echo "$pid")

    t0=$(now); c0=$(cpu_ticks "$pid"); sleep "$IDLE_S"
    echo "$name title-idle $(share "$pid" "$t0" "$c0")" >>"$OUT/table"

    key Down; sleep 0.3; key Return; sleep 3   # two players; the landscape builds
    t0=$(now); c0=$(cpu_ticks "$pid"); start=$SECONDS
    # The right-hand fortress shoots first; each side taps in turn until one has won.
    while [ $(( SECONDS - start )) -lt "$MATCH_CAP_S" ]; do
        tap Return; if await_winner 1500; then won=1; break; fi
        tap space;  if await_winner 1500; then won=1; break; fi
    done
    echo "$name aiming+flight $(share "$pid" "$t0" "$c0")" >>"$OUT/table"

    if [ "$won" = 1 ]; then
        t0=$(now); c0=$(cpu_ticks "$pid"); sleep "$IDLE_S"
        echo "$name victory-wait $(share "$pid" "$t0" "$c0")" >>"$OUT/table"
        key Escape; sleep 1
    else
        echo "$name victory-wait - no-winner" >>"$OUT/table"
        key Escape; sleep 1
    fi
    key Pause
    wait "$pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    exec {TRACE_FD}<&-
}

for m in ${MODES:-yielding spinning}; do
    case $m in yielding) run_mode yielding 0 ;; spinning) run_mode spinning 1 ;; esac
done

# The same kind of match headless, on the virtual clock: both players tap in turn until one wins
# (at 82.5 s of game time with this seed), then Escape ends the program.
awk 'BEGIN { print "100 tap 40"; print "400 tap 13"
             for (t = 3000; t < 150000; t += 1100) print t, "tap 13"
             for (t = 3500; t < 150000; t += 1300) print t, "tap 32"
             print "150000 down 27"; print "160000 down 27"; print "170000 down 27" }' \
    | sort -n -s -k1,1 >"$OUT/two_player.txt"
(cd "$BUILD" && ./varnis --headless --script "$OUT/two_player.txt" --snapshots "$OUT" --seed 11 \
    --stats >/dev/null 2>"$OUT/headless.stats") || true

printf '%-9s %-14s %8s %14s\n' mode phase seconds "cpu % of core"
while read -r mode phase secs cpu; do
    printf '%-9s %-14s %8s %14s\n' "$mode" "$phase" "$secs" "$cpu"
done < <(cat "$OUT/table" 2>/dev/null)
for m in ${MODES:-yielding spinning}; do
    [ -f "$OUT/$m.stats" ] || continue
    echo
    echo "--stats, $m:"
    sed 's/^/  /' "$OUT/$m.stats"
done
echo
echo "--stats, headless two-player match:"
sed 's/^/  /' "$OUT/headless.stats"
