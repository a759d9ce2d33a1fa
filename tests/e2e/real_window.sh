#!/usr/bin/env bash
# The game as a player meets it: the real varnis (SDL back end) on a private Xvfb display, driven
# by X key events and checked through screenshots of what is on the display.
#   real_window.sh VARNIS BUILD_DIR MINI_WM
# BUILD_DIR holds the data files and is the game's working directory. Set VARNIS_E2E_KEEP=1 to
# keep the screenshots (the folder is printed). Every wait polls with a generous limit: real time
# on a loaded machine is noisy.
set -uo pipefail

VARNIS=$(realpath "$1")
BUILD=$(realpath "$2")
WM=$(realpath "$3")
SEED=7
WORK=$(mktemp -d "${TMPDIR:-/tmp}/varnis-e2e.XXXXXX")
export SDL_AUDIODRIVER=dummy
unset SDL_VIDEODRIVER

GAME=""
XVFB=""
WMPID=""
stop() {  # PID: asked first, then forced; the game must go before its display does
    kill "$1" 2>/dev/null || return 0
    for _ in $(seq 30); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.1; done
    kill -9 "$1" 2>/dev/null
}
cleanup() {
    [ -n "$GAME" ] && stop "$GAME"
    [ -n "$WMPID" ] && stop "$WMPID"
    [ -n "$XVFB" ] && stop "$XVFB"
    if [ "${VARNIS_E2E_KEEP:-0}" = 1 ]; then echo "screenshots kept in $WORK"; else rm -rf "$WORK"; fi
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
step() { echo "-- $*"; }

# --- the display -------------------------------------------------------------------------------
# No key repeat: on a busy machine a press may last longer than the repeat delay.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -r -ardelay 60000 3>"$WORK/display" 2>"$WORK/xvfb.log" &
XVFB=$!
for _ in $(seq 100); do [ -s "$WORK/display" ] && break; sleep 0.1; done
[ -s "$WORK/display" ] || fail "Xvfb did not start: $(cat "$WORK/xvfb.log")"
export DISPLAY=":$(head -n1 "$WORK/display")"
# Full screen and close requests go through a window manager; a minimal one stands in.
"$WM" &
WMPID=$!
ROOT_GEOMETRY=$(xwininfo -root | grep -E 'Width|Height' | tr -d ' ')

# --- what the screens should look like: the headless runner from the same seed ----------------
cat >"$WORK/reference.txt" <<'EOF'
2000 snapshot ref-title
2100 tap 40
2600 snapshot ref-down
2700 tap 13
9000 snapshot ref-field
9100 tap 27
12000 tap 27
EOF
(cd "$BUILD" && "$VARNIS" --headless --seed $SEED --script "$WORK/reference.txt" \
    --snapshots "$WORK" >"$WORK/reference.log")
grep -q ' exit 1$' "$WORK/reference.log" && [ -f "$WORK/ref-field.bmp" ] ||
    fail "headless reference run failed: $(tail -n3 "$WORK/reference.log")"

# The first menu entry's bar, the second's, the bottom-left corner; the night sky and both bottom
# corners of the battlefield, clear of the aim boxes and the wind text. The landscape itself
# differs from the reference (the real clock draws other random numbers before the match); a
# star may too, so one battlefield point may differ.
MENU_POINTS="200,258 200,302 440,258 440,302 2,478"
FIELD_POINTS="60,40 150,40 440,40 200,30 2,478 637,478"

pixel() {  # FILE X Y -> RRGGBB
    convert "$1" -format "%[hex:p{$2,$3}]" info: 2>/dev/null | tail -c 6
}
near() {  # two RRGGBB colours within 12 in every channel: the picture reaches a 24-bit display
          # unchanged, but a fade's in-between colours (black, in the end) must not pass
    local a=$1 b=$2 i
    [ ${#a} -eq 6 ] && [ ${#b} -eq 6 ] || return 1
    for i in 0 2 4; do
        local d=$(( 16#${a:$i:2} - 16#${b:$i:2} ))
        [ ${d#-} -le 12 ] || return 1
    done
}
matches() {  # SHOT REF ALLOWED POINTS...: all but ALLOWED points have the reference's colour
    local shot=$1 ref=$2 allowed=$3 p misses=0
    shift 3
    for p in "$@"; do
        near "$(pixel "$shot" "${p%,*}" "${p#*,}")" "$(pixel "$ref" "${p%,*}" "${p#*,}")" ||
            misses=$((misses + 1))
    done
    [ $misses -le "$allowed" ]
}
shot() {  # NAME: the game window as it is on the display now
    import -window "$WID" "$WORK/$1.png" 2>/dev/null
}
wait_for_screen() {  # NAME REF SECONDS ALLOWED-MISSES POINTS...
    local name=$1 ref=$WORK/$2.bmp limit=$3 allowed=$4
    shift 4
    local end=$((SECONDS + limit))
    while [ $SECONDS -le $end ]; do
        shot "$name" && matches "$WORK/$name.png" "$ref" "$allowed" "$@" && return 0
        sleep 0.3
    done
    fail "$name: the screen never looked like $(basename "$ref") (last screenshot $WORK/$name.png)"
}
start_game() {  # options...
    (cd "$BUILD" && exec "$VARNIS" --seed $SEED "$@") &
    GAME=$!
    # The same window twice, half a second apart: SDL may replace its first window.
    WID=""
    local seen=""
    for _ in $(seq 60); do
        sleep 0.5
        kill -0 "$GAME" 2>/dev/null || fail "the game ended before its window appeared"
        seen=$(xdotool search --onlyvisible --name '^Varnis$' 2>/dev/null | tail -n1)
        [ -n "$seen" ] && [ "$seen" = "$WID" ] && break
        WID=$seen
    done
    [ -n "$WID" ] && [ "$seen" = "$WID" ] || fail "no lasting game window after 30 s"
}
key() {  # KEY: pressed for 150 ms, as a player would; the game reads keys as held, so a press
          # released within the same frame would go unseen
    xdotool windowfocus "$WID" 2>/dev/null
    xdotool keydown "$1"
    sleep 0.15
    xdotool keyup "$1"
}
wait_exit() {  # SECONDS -> the game's exit status
    local end=$((SECONDS + $1))
    while kill -0 "$GAME" 2>/dev/null; do
        [ $SECONDS -le $end ] || fail "the game did not end within $1 s"
        sleep 0.1
    done
    wait "$GAME"
    local status=$?
    GAME=""
    return $status
}
size() {  # the window's WIDTHxHEIGHT
    xwininfo -id "$WID" 2>/dev/null | awk '/Width:/ {w = $2} /Height:/ {h = $2} END {print w "x" h}'
}
wait_for_size() {  # WIDTHxHEIGHT SECONDS WHEN
    local end=$((SECONDS + $2))
    while [ "$(size)" != "$1" ]; do
        [ $SECONDS -le $end ] || fail "the window is $(size) $3, expected $1"
        sleep 0.2
    done
}

# --- a match, in a window so that the picture is shown pixel for pixel --------------------------
step "title screen"
start_game --window
wait_for_screen title ref-title 30 0 $MENU_POINTS

step "Down moves the highlight"
key Down
wait_for_screen down ref-down 10 0 $MENU_POINTS

step "Enter starts a two-player match"
key Return
wait_for_screen field ref-field 40 1 $FIELD_POINTS
sleep 1
shot before-shot

step "Enter fires the right-hand fortress's shell"
# Below the aim boxes, only a shell's trail and crater change the battlefield.
convert "$WORK/before-shot.png" -crop 640x330+0+150 +repage "$WORK/before-crop.png"
key Return
fired=""
end=$((SECONDS + 20))
while [ $SECONDS -le $end ]; do
    shot after-shot
    convert "$WORK/after-shot.png" -crop 640x330+0+150 +repage "$WORK/after-crop.png"
    changed=$(compare -metric AE "$WORK/before-crop.png" "$WORK/after-crop.png" null: 2>&1)
    if [ "${changed%%.*}" -gt 40 ] 2>/dev/null; then fired=1; break; fi
    sleep 0.3
done
[ -n "$fired" ] || fail "no trail or crater appeared after Enter"

step "the left-hand fortress's turn follows"
# Keys are read only while a fortress aims: wait until the left aim fan, the mirror image of the
# right one, shows before the next key.
end=$((SECONDS + 30))
until shot turn && near "$(pixel "$WORK/turn.png" 30 135)" "$(pixel "$WORK/ref-field.bmp" 609 135)"; do
    [ $SECONDS -le $end ] || fail "the left fortress never began to aim (see $WORK/turn.png)"
    sleep 0.3
done

step "Escape returns to the title"
key Escape
wait_for_screen back ref-down 20 0 $MENU_POINTS

step "Escape on the title ends the program with status 1"
key Escape
wait_exit 20
status=$?
[ $status -eq 1 ] || fail "exit status $status after Escape, expected 1"
[ "$(xwininfo -root | grep -E 'Width|Height' | tr -d ' ')" = "$ROOT_GEOMETRY" ] ||
    fail "the display's size changed"
[ -z "$(xdotool search --name '^Varnis$' 2>/dev/null)" ] || fail "the game window is still there"
import -window root "$WORK/after-exit.png"
[ "$(convert "$WORK/after-exit.png" -format '%[fx:maxima]' info:)" = 0 ] ||
    fail "the display was not left as it was"

# --- full screen, Alt+Enter and Pause ---------------------------------------------------------
step "full screen by default; Alt+Enter switches to a window and back"
start_game
wait_for_size 1024x768 20 "at the start"
key alt+Return
wait_for_size 640x480 20 "after the first Alt+Enter"
key alt+Return
wait_for_size 1024x768 20 "after the second Alt+Enter"

step "Pause ends the program at once with status 1"
key Pause
wait_exit 5
status=$?
[ $status -eq 1 ] || fail "exit status $status after Pause, expected 1"

# --- a close request from outside ---------------------------------------------------------------
step "a window close request ends the program with status 1"
start_game --window
wait_for_screen close-title ref-title 30 0 $MENU_POINTS
"$WM" close "$WID" || fail "could not send the close request"
wait_exit 10
status=$?
[ $status -eq 1 ] || fail "exit status $status after the close request, expected 1"

echo "all real-window checks passed"
