#!/usr/bin/env bash
# varnis.exe in a real window under wine on a private Xvfb display: the title screen looks as the
# headless runner draws it, and Down, Enter, Enter start a two-player match and fire a shot
# (the shot's sound shows in the program's own trace). Then Alt+Enter goes full screen.
#   real_window.sh VARNIS_EXE_FOLDER MINI_WM
set -uo pipefail
PACKAGE=$(realpath "$1")
WM=$(realpath "$2")
WORK=$(mktemp -d "${TMPDIR:-/tmp}/varnis-wine-window.XXXXXX")
export WINEDEBUG=-all SDL_AUDIODRIVER=dummy
unset SDL_VIDEODRIVER
PIDS=()
trap 'kill "${PIDS[@]}" 2>/dev/null; wineserver -k 2>/dev/null; rm -rf "$WORK"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
pixel() { convert "$1" -format "%[hex:p{$2,$3}]" info: 2>/dev/null | tail -c 6; }
poll() {  # SECONDS COMMAND...: until the command succeeds
    local end=$((SECONDS + $1)); shift
    until "$@"; do [ $SECONDS -le $end ] || return 1; sleep 0.3; done
}

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -r 3>"$WORK/display" 2>/dev/null &
PIDS+=($!)
poll 10 test -s "$WORK/display" || fail "Xvfb did not start"
DISPLAY=":$(head -n1 "$WORK/display")" && export DISPLAY
"$WM" &
PIDS+=($!)

printf '2000 snapshot ref\n2100 tap 27\n' >"$WORK/ref.txt"
(cd "$WORK" && wine "$PACKAGE/varnis.exe" --headless --seed 7 --script ref.txt >/dev/null) ||
    [ -f "$WORK/ref.bmp" ] || fail "no headless reference"

(cd "$WORK" && VARNIS_TRACE_FILE="$(winepath -w "$WORK/trace")" exec wine "$PACKAGE/varnis.exe" --window --seed 7 2>"$WORK/errors") &
PIDS+=($!)
find_window() { WID=$(xdotool search --onlyvisible --name '^Varnis$' 2>/dev/null | tail -n1); [ -n "$WID" ]; }
poll 60 find_window || fail "no game window"
title_shown() {
    import -window "$WID" "$WORK/shot.png" 2>/dev/null || return 1
    for p in 200,258 200,302 440,258 2,478; do
        [ "$(pixel "$WORK/shot.png" ${p%,*} ${p#*,})" = "$(pixel "$WORK/ref.bmp" ${p%,*} ${p#*,})" ] || return 1
    done
}
poll 30 title_shown || fail "the title screen never looked like the headless one"
key() { xdotool windowfocus "$WID" 2>/dev/null; xdotool keydown "$1"; sleep 0.15; xdotool keyup "$1"; }
key Down; sleep 1; key Return
poll 30 grep -q ' text .*風' "$WORK/trace" || fail "no match started: $(tail -n 3 "$WORK/trace")"
sleep 3
key Return
poll 20 grep -q ' sound 0 7440 ' "$WORK/trace" || fail "no shot after Enter: $(tail -n 3 "$WORK/trace")"
key alt+Return
size() { xwininfo -id "$WID" 2>/dev/null | awk '/Width:/ {w = $2} /Height:/ {h = $2} END {print w "x" h}'; }
poll 20 test "$(size)" = 1024x768 || fail "Alt+Enter: the window is $(size), not full screen"
key Pause
poll 20 eval '! kill -0 ${PIDS[2]} 2>/dev/null' || fail "Pause did not end the program"
echo "title shown, a shot fired, Alt+Enter to full screen, Pause ended the program"
