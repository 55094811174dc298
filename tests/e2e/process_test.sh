#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The window's process under a careless shell and another X client: no display at all,
# standard error closed, standard error a pipe whose reader has gone, the window destroyed
# by another client. Each case must end as Ende ends the program, or with a clear message.
# Usage: process_test.sh MOVANTA MOVANTA-PORTSIM SIMULATOR-LIBRARY-FOLDER CLOSE-WINDOW
# shellcheck source=tests/e2e/common.sh
source "$(dirname "$0")/common.sh"

# shellcheck disable=SC2034 # simulator_dir is expanded by start_with's eval
movanta=$1 simulator_dir=$3 close_window=$4

# No display: one line and status 1, before Qt is asked for anything.
status=0
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$movanta" 2>&1) || status=$?
[ "$status" -eq 1 ] && [ "$out" = \
    "movanta: no display to open the window on (DISPLAY and WAYLAND_DISPLAY are unset)" ] \
    || e2e_fail "without a display: status $status, said: $out"

e2e_init
e2e_start_xvfb

# start_with ENV-OPTIONS REDIRECTION: the program on the simulator with its standard error as
# given (run by bash, so that "2>&-" is a real closed descriptor); the window id into E2E_WID.
# The redirections are expanded by the eval, hence in single quotes.
# shellcheck disable=SC2016
start_with() {
    eval "env $1 LD_LIBRARY_PATH=\"\$simulator_dir\" \"\$movanta\" >\"\$E2E_TMP/app.out\" $2" &
    E2E_APP_PID=$!
    E2E_WID=$(e2e_find_window "$E2E_TITLE") || e2e_fail "$2: the main window did not appear"
}

# A port outside the I/O space: Start opens a report and writes its line to standard error.
report_once() {
    e2e_click "$E2E_START_X" "$E2E_START_Y"
    e2e_wait_until 5 "$1: no report" e2e_report_shown
    e2e_dismiss_report "$1"
}

end_with_ende() {
    e2e_click "$E2E_ENDE_X" "$E2E_ENDE_Y"
    e2e_expect_exit 0
}

# Standard error closed, and no runtime folder so that Qt warns at once: the X connection
# must not be descriptor 2, or the warning lands in the X protocol and the window freezes.
start_with '-u XDG_RUNTIME_DIR' '2>&-'
e2e_set_text "$E2E_PORT_X" "$E2E_PORT_Y" 70000
report_once "stderr closed"
report_once "stderr closed, again"
end_with_ende

# Standard error a pipe whose reader reads one line and goes: the next report is not fatal.
mkfifo "$E2E_TMP/stderr"
head -n 1 <"$E2E_TMP/stderr" >"$E2E_TMP/first-line" &
reader=$!
start_with '' '2>"$E2E_TMP/stderr"'
e2e_set_text "$E2E_PORT_X" "$E2E_PORT_Y" 70000
report_once "stderr a pipe"
wait "$reader"
report_once "stderr a pipe whose reader has gone"
grep -q "Laufzeitfehler '57'" "$E2E_TMP/first-line" \
    || e2e_fail "the reader got: $(cat "$E2E_TMP/first-line")"
end_with_ende

# Another X client destroys the window: the program ends as Ende ends it.
start_with '' '2>"$E2E_TMP/app.err"'
"$close_window" --destroy "$E2E_WID" || e2e_fail "could not destroy the window"
e2e_expect_exit 0
[ ! -s "$E2E_TMP/app.err" ] || e2e_fail "the destroyed window left complaints"
e2e_say "passed"
