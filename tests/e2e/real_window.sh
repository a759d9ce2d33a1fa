#!/usr/bin/env bash
# The game as a player meets it: the real varnis (SDL back end) on a private Xvfb display, driven
# by X key events and checked through screenshots.  real_window.sh VARNIS BUILD_DIR MINI_WM
# BUILD_DIR holds the data files and is the game's working directory; VARNIS_E2E_KEEP=1 keeps the
# screenshots. Every wait polls with a generous limit: real time on a loaded machine is noisy.
set -uo pipefail
VARNIS=$(realpath "$1") BUILD=$(realpath "$2") WM=$(realpath "$3") SEED=7
WORK=$(mktemp -d "${TMPDIR:-/tmp}/varnis-e2e.XXXXXX")
export SDL_AUDIODRIVER=dummy && unset SDL_VIDEODRIVER
GAME="" XVFB="" WMPID="" WID=""
stop() {  # PID: asked first, then forced; the game must go before its display does
    kill "$1" 2>/dev/null || return 0
    for _ in $(seq 30); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.1; done
    kill -9 "$1" 2>/dev/null
}
cleanup() {
    for p in "$GAME" "$WMPID" "$XVFB"; do [ -n "$p" ] && stop "$p"; done
    if [ "${VARNIS_E2E_KEEP:-0}" = 1 ]; then echo "screenshots kept in $WORK"; else rm -rf "$WORK"; fi
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
# Polls COMMAND... for up to SECONDS, every 0.3 s; fails with MESSAGE.
until_ok() {
    local message=$2 end=$((SECONDS + $1)); shift 2
    until "$@"; do [ $SECONDS -le $end ] || fail "$message"; sleep 0.3; done
}

# No key repeat: on a busy machine a press may last longer than the repeat delay.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -r -ardelay 60000 3>"$WORK/display" 2>"$WORK/xvfb.log" &
XVFB=$!
until_ok 10 "Xvfb did not start" test -s "$WORK/display"
DISPLAY=":$(head -n1 "$WORK/display")" && export DISPLAY
"$WM" &  # full screen and close requests go through a window manager; a minimal one stands in
WMPID=$!
rootsize() { xwininfo -root | grep -E 'Width|Height' | tr -d ' '; }
ROOT_GEOMETRY=$(rootsize)

# What the screens should look like: the headless runner from the same seed.
printf '%s\n' '2000 snapshot ref-title' '2100 tap 40' '2600 snapshot ref-down' '2700 tap 13' \
    '9000 snapshot ref-field' '9100 tap 27' '12000 tap 27' >"$WORK/reference.txt"
(cd "$BUILD" && "$VARNIS" --headless --seed $SEED --script "$WORK/reference.txt" --snapshots "$WORK" >"$WORK/ref.log")
grep -q ' exit 1$' "$WORK/ref.log" && [ -f "$WORK/ref-field.bmp" ] || fail "headless reference run failed"

# The two menu bars and the bottom-left corner; the night sky and both bottom corners of the
# battlefield, clear of the aim boxes and the wind text. The landscape differs from the reference
# (the real clock draws other random numbers before the match), and a star may too.
MENU="200,258 200,302 440,258 440,302 2,478"
FIELD="60,40 150,40 440,40 200,30 2,478 637,478"
pixel() { convert "$1" -format "%[hex:p{$2,$3}]" info: 2>/dev/null | tail -c 6; }  # FILE X Y
near() {  # two RRGGBB colours within 12 in every channel: a fade's in-between colours must not pass
    [ ${#1} -eq 6 ] && [ ${#2} -eq 6 ] || return 1
    for i in 0 2 4; do local d=$((16#${1:$i:2} - 16#${2:$i:2})); [ ${d#-} -le 12 ] || return 1; done
}
shot() { import -window "$WID" "$WORK/$1.png" 2>/dev/null; }
looks_like() {  # NAME REF ALLOWED-MISSES POINTS...
    local name=$1 ref=$WORK/$2.bmp allowed=$3 misses=0 p; shift 3
    shot "$name" || return 1
    for p in "$@"; do near "$(pixel "$WORK/$name.png" ${p/,/ })" "$(pixel "$ref" ${p/,/ })" || misses=$((misses + 1)); done
    [ $misses -le "$allowed" ]
}
screen_is() { until_ok "$3" "$1: the screen never looked like $2" looks_like "$1" "$2" "${@:4}"; }  # NAME REF SECS ALLOWED POINTS
start_game() {  # the same window twice, half a second apart: SDL may replace its first window
    (cd "$BUILD" && exec "$VARNIS" --seed $SEED "$@") &
    GAME=$! WID=""
    local seen=""
    for _ in $(seq 60); do
        sleep 0.5
        kill -0 "$GAME" 2>/dev/null || fail "the game ended before its window appeared"
        seen=$(xdotool search --onlyvisible --name '^Varnis$' 2>/dev/null | tail -n1)
        [ -n "$seen" ] && [ "$seen" = "$WID" ] && return
        WID=$seen
    done
    fail "no lasting game window after 30 s"
}
key() {  # held 150 ms: the game reads keys as held, so a press within one frame would go unseen
    xdotool windowfocus "$WID" 2>/dev/null; xdotool keydown "$1"; sleep 0.15; xdotool keyup "$1"
}
exits_with_1() {  # SECONDS WHY
    local end=$((SECONDS + $1)) status
    while kill -0 "$GAME" 2>/dev/null; do [ $SECONDS -le $end ] || fail "no exit $2"; sleep 0.1; done
    wait "$GAME"; status=$?; GAME=""
    [ $status -eq 1 ] || fail "exit status $status $2, expected 1"
}
size_is() { [ "$(xwininfo -id "$WID" 2>/dev/null | awk '/Width:/ {w = $2} /Height:/ {h = $2} END {print w "x" h}')" = "$1" ]; }
crop() { convert "$WORK/$1.png" -crop 640x330+0+150 +repage "$WORK/$1-crop.png"; }
fired() {  # below the aim boxes only a shell's trail and crater change the battlefield
    shot after && crop after || return 1
    local n
    n=$(compare -metric AE "$WORK/before-crop.png" "$WORK/after-crop.png" null: 2>&1)
    [ "${n%%.*}" -gt 40 ] 2>/dev/null
}
left_aims() { shot turn && near "$(pixel "$WORK/turn.png" 30 135)" "$(pixel "$WORK/ref-field.bmp" 609 135)"; }

echo "-- a match in a window (shown pixel for pixel): title, Down, Enter, a shot, Escape twice"
start_game --window
screen_is title ref-title 30 0 $MENU
key Down; screen_is down ref-down 10 0 $MENU
key Return; screen_is field ref-field 40 1 $FIELD
sleep 1; shot before; crop before; key Return
until_ok 20 "no trail or crater appeared after Enter" fired
# Keys are read only while a fortress aims: the left aim fan, the right one's mirror image, first.
until_ok 30 "the left fortress never began to aim" left_aims
key Escape; screen_is back ref-down 20 0 $MENU
key Escape; exits_with_1 20 "after Escape"
[ "$(rootsize)" = "$ROOT_GEOMETRY" ] || fail "the display's size changed"
[ -z "$(xdotool search --name '^Varnis$' 2>/dev/null)" ] || fail "the game window is still there"
import -window root "$WORK/after-exit.png"
[ "$(convert "$WORK/after-exit.png" -format '%[fx:maxima]' info:)" = 0 ] || fail "the display was not left as it was"

echo "-- full screen by default; Alt+Enter to a window and back; Pause ends at once"
start_game
until_ok 20 "not full screen at the start" size_is 1024x768
key alt+Return; until_ok 20 "no window after the first Alt+Enter" size_is 640x480
key alt+Return; until_ok 20 "not full screen after the second Alt+Enter" size_is 1024x768
key Pause; exits_with_1 5 "after Pause"

echo "-- a window close request ends the program"
start_game --window
screen_is close-title ref-title 30 0 $MENU
"$WM" close "$WID" || fail "could not send the close request"
exits_with_1 10 "after the close request"
echo "all real-window checks passed"
