# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# Shared by the end-to-end tests: sourced, not run.
# Each test gets an X server, a runtime folder and a port space file of its own, so that
# tests run side by side; everything it started is stopped when the script exits.

set -euo pipefail

# shellcheck source=tests/e2e/window_places.sh
source "$(dirname "${BASH_SOURCE[0]}")/window_places.sh"

E2E_NAME=$(basename "$0" .sh)
E2E_TMP=''
E2E_XVFB_PID=''
E2E_APP_PID=''
E2E_SHOT=0
E2E_LAST_SHOT=''
E2E_WID=''

e2e_say() { printf '%s: %s\n' "$E2E_NAME" "$*"; }

# Keeps what helps to find the fault (the last screenshot, logs, the program's output) in
# $E2E_ARTIFACTS when it is set, then fails the test.
e2e_fail() {
    printf '%s: FAIL: %s\n' "$E2E_NAME" "$*" >&2
    if [ -n "$E2E_TMP" ] && [ -s "$E2E_TMP/app.err" ]; then
        echo "--- the program's stderr:" >&2
        tail -n 20 "$E2E_TMP/app.err" >&2
    fi
    if [ -n "${E2E_ARTIFACTS:-}" ] && [ -n "$E2E_TMP" ]; then
        rm -rf "$E2E_ARTIFACTS" && mkdir -p "$E2E_ARTIFACTS"
        cp "$E2E_TMP"/*.err "$E2E_TMP"/*.out "$E2E_TMP"/*.log $E2E_LAST_SHOT \
            "$E2E_ARTIFACTS"/ 2>/dev/null || true
        echo "--- screenshots and logs kept in $E2E_ARTIFACTS" >&2
    fi
    exit 1
}

e2e_cleanup() {
    local pid
    for pid in "$E2E_APP_PID" "$E2E_XVFB_PID"; do
        [ -n "$pid" ] || continue
        kill "$pid" 2>/dev/null || continue
        # A program that ignores the polite signal gets the hard one after 3 s.
        for _ in $(seq 30); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        kill -KILL "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    [ -z "$E2E_TMP" ] || rm -rf "$E2E_TMP"
}

# e2e_init: skips (77) without the X tools; makes the test's own folders.
e2e_init() {
    local tool
    for tool in Xvfb xdotool import convert; do
        if ! command -v "$tool" >/dev/null; then
            e2e_say "SKIP: $tool is missing (Debian: xvfb xdotool imagemagick)"
            exit 77
        fi
    done
    trap e2e_cleanup EXIT
    E2E_TMP=$(mktemp -d "${TMPDIR:-/tmp}/movanta-e2e-XXXXXX")
    mkdir -m 700 "$E2E_TMP/runtime"
    export XDG_RUNTIME_DIR="$E2E_TMP/runtime"
    export MOVANTA_PORTSIM="$E2E_TMP/portsim"
    # The window must come up on the test's X server, whatever the caller's session is.
    export QT_QPA_PLATFORM=xcb
    unset WAYLAND_DISPLAY XAUTHORITY
}

# e2e_start_xvfb [WIDTHxHEIGHTxDEPTH]: an X server on the first free display (640x480x24 by
# default), ready when this returns.
e2e_start_xvfb() {
    local number=''
    Xvfb -displayfd 3 -screen 0 "${1:-640x480x24}" -nolisten tcp -noreset \
        3>"$E2E_TMP/display" >"$E2E_TMP/xvfb.log" 2>&1 &
    E2E_XVFB_PID=$!
    # Xvfb writes the display number once it accepts clients.
    for _ in $(seq 100); do
        number=$(head -n 1 "$E2E_TMP/display" 2>/dev/null || true)
        [ -n "$number" ] && break
        kill -0 "$E2E_XVFB_PID" 2>/dev/null || e2e_fail "Xvfb did not start: $(cat "$E2E_TMP/xvfb.log")"
        sleep 0.1
    done
    [ -n "$number" ] || e2e_fail "Xvfb gave no display number within 10 s"
    export DISPLAY=":$number"
}

# e2e_start_app PROGRAM [ARGS...]: starts it with output to app.out/app.err and prints
# nothing; the window id is then in E2E_WID.
e2e_start_app() {
    "$@" >"$E2E_TMP/app.out" 2>"$E2E_TMP/app.err" &
    E2E_APP_PID=$!
    E2E_WID=$(e2e_find_window "$E2E_TITLE") || e2e_fail "the main window did not appear within 10 s"
}

# e2e_find_window REGEX: the id of the first visible window so named, waiting up to 10 s.
# (Qt keeps an unmapped 1x1 window named after the application: only mapped ones count.)
e2e_find_window() {
    timeout 10 xdotool search --sync --onlyvisible --name "$1" 2>/dev/null | head -n 1
}

e2e_window_count() {
    local count
    count=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | wc -l) || true
    echo "${count:-0}"
}

e2e_app_alive() { kill -0 "$E2E_APP_PID" 2>/dev/null; }

# e2e_focus WINDOW: keys reach a window only once it has the X focus, and without a window
# manager nobody gives it; after a report closes the focus falls back to the root window.
e2e_focus() {
    timeout 5 xdotool windowfocus --sync "$1" || e2e_fail "window $1 did not take the focus"
}

e2e_report_shown() { [ "$(e2e_window_count "$E2E_REPORT_TITLE")" -eq 1 ]; }
e2e_report_gone() { [ "$(e2e_window_count "$E2E_REPORT_TITLE")" -eq 0 ]; }

# e2e_dismiss_report WHAT: Return on the open report, which then has to close.
e2e_dismiss_report() {
    local report
    report=$(e2e_find_window "$E2E_REPORT_TITLE") || e2e_fail "$1: no report to dismiss"
    e2e_focus "$report"
    xdotool key Return
    e2e_wait_until 5 "$1: the report did not close on Return" e2e_report_gone
}

# e2e_click X Y [WINDOW]: a left click at client-area pixel X,Y.
e2e_click() {
    xdotool mousemove --window "${3:-$E2E_WID}" "$1" "$2" click --delay 0 1
}

# e2e_set_text X Y TEXT: replaces the text of the box at X,Y by typing, as a user would.
e2e_set_text() {
    e2e_focus "$E2E_WID"
    e2e_click "$1" "$2"
    # ctrl+a and an empty text leave the old one: BackSpace removes the selection.
    xdotool key --delay 30 ctrl+a BackSpace
    xdotool type --delay 30 -- "$3"
}

# e2e_save_as FILE: Strg+S in the focused change list, then FILE typed into the save dialog.
e2e_save_as() {
    local dialog
    xdotool key ctrl+s
    dialog=$(e2e_find_window '^Speichern unter$') || e2e_fail "Strg+S opened no save dialog"
    e2e_focus "$dialog"
    xdotool key --delay 30 ctrl+a BackSpace
    xdotool type --delay 20 -- "$1"
    xdotool key Return
}

# e2e_screenshot: the main window's client area into shot-N.png, named in E2E_LAST_SHOT.
e2e_screenshot() {
    E2E_SHOT=$((E2E_SHOT + 1))
    E2E_LAST_SHOT="$E2E_TMP/shot-$E2E_SHOT.png"
    # import waits for a mouse pick when the window is gone: never let it hang.
    timeout 10 import -window "$E2E_WID" "$E2E_LAST_SHOT" 2>/dev/null \
        || e2e_fail "no screenshot of window $E2E_WID"
}

# e2e_lamps FILE: the eight lamps in the picture, bit 7 first: 1 lit, 0 unlit, ? neither.
e2e_lamps() {
    local row left pattern='' colour
    row=$(convert "$1" -depth 8 -crop "225x1+0+$((E2E_LAMP_TOP + E2E_LAMP_FACE_Y))" +repage txt:-)
    for left in "${E2E_LAMP_LEFTS[@]}"; do
        colour=$(awk -v x="$((left + E2E_LAMP_FACE_X))" -F'[:(), ]+' \
            '$1 == x { print $3 "," $4 "," $5; exit }' <<<"$row")
        case "$colour" in
        255,0,0) pattern+=1 ;;
        128,0,0) pattern+=0 ;;
        *) pattern+='?' ;;
        esac
    done
    echo "$pattern"
}

# e2e_expect_lamps PATTERN WHAT: waits up to 5 s for the lamps to show PATTERN.
e2e_expect_lamps() {
    local seen=''
    for _ in $(seq 25); do
        e2e_screenshot
        seen=$(e2e_lamps "$E2E_LAST_SHOT")
        [ "$seen" = "$1" ] && return 0
        sleep 0.2
    done
    e2e_fail "$2: lamps show $seen, expected $1 (bit 7 first)"
}

# e2e_wait_until SECONDS WHAT COMMAND...: polls COMMAND every 0.1 s.
e2e_wait_until() {
    local seconds=$1 what=$2
    shift 2
    for _ in $(seq "$((seconds * 10))"); do
        "$@" && return 0
        sleep 0.1
    done
    e2e_fail "$what (waited $seconds s)"
}

# e2e_expect_exit STATUS: waits up to 5 s for the program to end with STATUS.
e2e_expect_exit() {
    local status=0
    e2e_wait_until 5 "the program did not end" eval '! e2e_app_alive'
    wait "$E2E_APP_PID" || status=$?
    E2E_APP_PID=''
    [ "$status" -eq "$1" ] || e2e_fail "the program ended with status $status, expected $1"
}
