#!/usr/bin/env bash
# The program with no port driver library in reach: the first tick reports the missing
# library by name, polling stops, and the program stays usable until Ende.
# Usage: no_driver_test.sh MOVANTA
source "$(dirname "$0")/common.sh"

movanta=$1

e2e_init
e2e_start_xvfb

# A copy looks for its driver in $ORIGIN/../lib/movanta, which here holds nothing.
mkdir "$E2E_TMP/bin"
cp "$movanta" "$E2E_TMP/bin/movanta"
unset LD_LIBRARY_PATH
e2e_start_app "$E2E_TMP/bin/movanta"

report_shown() { [ "$(e2e_window_count "$E2E_REPORT_TITLE")" -eq 1 ]; }
report_gone() { [ "$(e2e_window_count "$E2E_REPORT_TITLE")" -eq 0 ]; }

# dismiss_report: Return on the report, which then has to close, leaving the program running.
dismiss_report() {
    local report
    report=$(e2e_find_window "$E2E_REPORT_TITLE") || e2e_fail "no report to dismiss"
    xdotool windowfocus --sync "$report" key Return
    e2e_wait_until 5 "the report did not close on Return" report_gone
    e2e_app_alive || e2e_fail "the program ended after the report closed"
}

for attempt in first second; do
    e2e_click "$E2E_START_X" "$E2E_START_Y"
    e2e_wait_until 5 "$attempt Start: no report window titled \"Movanta\"" report_shown
    grep -q "^movanta: Laufzeitfehler '53': Datei nicht gefunden: libdlportio.so" "$E2E_TMP/app.err" \
        || e2e_fail "$attempt Start: stderr does not name libdlportio.so"
    # Polling stopped before the report opened: no second report piles up behind it.
    sleep 0.5
    report_shown || e2e_fail "$attempt Start: more than one report"
    e2e_app_alive || e2e_fail "$attempt Start: the program ended while reporting"
    dismiss_report
done
[ "$(grep -c Laufzeitfehler "$E2E_TMP/app.err")" -eq 2 ] \
    || e2e_fail "expected one report per Start, stderr has: $(cat "$E2E_TMP/app.err")"

e2e_click "$E2E_ENDE_X" "$E2E_ENDE_Y"
e2e_expect_exit 0
e2e_say "passed"
