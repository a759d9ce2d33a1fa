#!/usr/bin/env bash
# The display goes away under a running game: the SDL game, recording itself on a private Xvfb
# display, loses the display once waiting at the title and once drawing, as the title fades out
# after Enter. Each time it must end within a few seconds with status 1 and one line on standard
# error, and its recording, cut off, must replay headless to "end of recording".
#   display_lost.sh VARNIS BUILD_DIR      (VARNIS_E2E_KEEP=1 keeps the files)
set -uo pipefail
VARNIS=$(realpath "$1") BUILD=$(realpath "$2")
WORK=$(mktemp -d "${TMPDIR:-/tmp}/varnis-lost.XXXXXX")
export SDL_AUDIODRIVER=dummy && unset SDL_VIDEODRIVER
GAME="" XVFB=""
cleanup() {
    for p in "$GAME" "$XVFB"; do [ -n "$p" ] && kill -9 "$p" 2>/dev/null; done
    if [ "${VARNIS_E2E_KEEP:-0}" = 1 ]; then echo "files kept in $WORK"; else rm -rf "$WORK"; fi
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

lose_display() {  # NAME KEYS...: start the game, press the keys, kill the display, check the end
    local name=$1 status
    shift
    rm -f "$WORK/display"
    Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp -r 3>"$WORK/display" 2>/dev/null &
    XVFB=$!
    for _ in $(seq 100); do [ -s "$WORK/display" ] && break; sleep 0.1; done
    [ -s "$WORK/display" ] || fail "$name: Xvfb did not start"
    DISPLAY=":$(head -n1 "$WORK/display")" && export DISPLAY
    (cd "$BUILD" && exec "$VARNIS" --window --record "$WORK/$name.rec" 2>"$WORK/$name.err") &
    GAME=$!
    timeout 30 xdotool search --sync --onlyvisible --name '^Varnis$' >/dev/null || fail "$name: no game window"
    sleep 2
    for key in "$@"; do
        xdotool search --onlyvisible --name '^Varnis$' windowfocus --sync keydown "$key" sleep 0.15 keyup "$key"
        sleep 1
    done
    kill "$XVFB"; wait "$XVFB" 2>/dev/null; XVFB=""
    for _ in $(seq 50); do kill -0 "$GAME" 2>/dev/null || break; sleep 0.1; done
    ! kill -0 "$GAME" 2>/dev/null || fail "$name: the game was still running 5 s after its display went away"
    wait "$GAME"; status=$?; GAME=""
    [ $status -eq 1 ] || fail "$name: exit status $status, expected 1"
    [ "$(wc -l <"$WORK/$name.err")" -eq 1 ] || fail "$name: standard error was not one line: $(cat "$WORK/$name.err")"
    (cd "$BUILD" && "$VARNIS" --headless --replay "$WORK/$name.rec" >"$WORK/$name.replay") ||
        fail "$name: the replay failed"
    [ "$(tail -n1 "$WORK/$name.replay" | cut -d' ' -f2-)" = "end of recording" ] ||
        fail "$name: the replay did not end with the recording: $(tail -n1 "$WORK/$name.replay")"
    echo "$name: $(cat "$WORK/$name.err")"
}

lose_display title
lose_display fade Return
echo "all display-lost checks passed"
