#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The program with no port driver library in reach: the first tick reports the missing
# library by name, polling stops, and the program stays usable until Ende.
# Usage: no_driver_test.sh MOVANTA
# shellcheck source=tests/e2e/common.sh
source "$(dirname "$0")/common.sh"

movanta=$1

e2e_init
e2e_start_xvfb

# A copy looks for its driver in $ORIGIN/../lib/movanta, which here holds nothing.
mkdir "$E2E_TMP/bin"
cp "$movanta" "$E2E_TMP/bin/movanta"
unset LD_LIBRARY_PATH
e2e_start_app "$E2E_TMP/bin/movanta"

for attempt in first second; do
    e2e_click "$E2E_START_X" "$E2E_START_Y"
    e2e_wait_until 5 "$attempt Start: no report window titled \"Movanta\"" e2e_report_shown
    grep -q "^movanta: Laufzeitfehler '53': Datei nicht gefunden: libdlportio.so" "$E2E_TMP/app.err" \
        || e2e_fail "$attempt Start: stderr does not name libdlportio.so"
    # Polling stopped before the report opened: no second report piles up behind it.
    sleep 0.5
    e2e_report_shown || e2e_fail "$attempt Start: more than one report"
    e2e_app_alive || e2e_fail "$attempt Start: the program ended while reporting"
    e2e_dismiss_report "$attempt Start"
    e2e_app_alive || e2e_fail "$attempt Start: the program ended after the report closed"
done
[ "$(grep -c Laufzeitfehler "$E2E_TMP/app.err")" -eq 2 ] \
    || e2e_fail "expected one report per Start, stderr has: $(cat "$E2E_TMP/app.err")"

e2e_click "$E2E_ENDE_X" "$E2E_ENDE_Y"
e2e_expect_exit 0
e2e_say "passed"
