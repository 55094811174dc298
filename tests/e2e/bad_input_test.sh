#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Bad texts typed into the window: each gives one report naming the fault, nothing is
# polled behind it, and the program goes on; a good text then polls as usual.
# Usage: bad_input_test.sh MOVANTA MOVANTA-PORTSIM SIMULATOR-LIBRARY-FOLDER
# shellcheck source=tests/e2e/common.sh
source "$(dirname "$0")/common.sh"

movanta=$1 portsim=$2 simulator_dir=$3

sim() { "$portsim" "$@"; }
reads() { sim log | grep -c ' R ' || true; }
reads_at_least() { [ "$(reads)" -ge "$1" ]; }

e2e_init
e2e_start_xvfb
sim set 888 0x5A
e2e_start_app env LD_LIBRARY_PATH="$simulator_dir" "$movanta"

# One row a case: the box, the text typed into it, the line the report puts on stderr.
cases=(
    "interval|-5|movanta: Laufzeitfehler '380': Ungültiger Eigenschaftswert"
    "interval|1E10|movanta: Laufzeitfehler '6': Überlauf"
    "port|70000|movanta: Laufzeitfehler '57': Portzugriff fehlgeschlagen (port 70000 "
    "port|&H1FFFFFFFF|movanta: Laufzeitfehler '6': Überlauf"
)
reports=0
for row in "${cases[@]}"; do
    IFS='|' read -r box text line <<<"$row"
    e2e_set_text "$E2E_INTERVAL_X" "$E2E_INTERVAL_Y" 10
    e2e_set_text "$E2E_PORT_X" "$E2E_PORT_Y" 888
    if [ "$box" = interval ]; then
        e2e_set_text "$E2E_INTERVAL_X" "$E2E_INTERVAL_Y" "$text"
    else
        e2e_set_text "$E2E_PORT_X" "$E2E_PORT_Y" "$text"
    fi
    sim log --clear
    e2e_click "$E2E_START_X" "$E2E_START_Y"
    e2e_wait_until 5 "$box \"$text\": no report" e2e_report_shown
    reports=$((reports + 1))
    [ "$(grep -c Laufzeitfehler "$E2E_TMP/app.err")" -eq "$reports" ] \
        || e2e_fail "$box \"$text\": expected report number $reports, stderr has: $(cat "$E2E_TMP/app.err")"
    tail -n 1 "$E2E_TMP/app.err" | grep -q -F "$line" \
        || e2e_fail "$box \"$text\": expected \"$line\", got: $(tail -n 1 "$E2E_TMP/app.err")"

    e2e_dismiss_report "$box \"$text\""
    # Polling stopped (or never began): nothing reads the port and no report follows.
    sleep 0.3
    [ "$(reads)" -eq 0 ] || e2e_fail "$box \"$text\": the port was read"
    e2e_report_gone || e2e_fail "$box \"$text\": a second report opened"
    e2e_app_alive || e2e_fail "$box \"$text\": the program ended"
done

# Good texts again, and Start polls: the bad ones left the window usable.
e2e_set_text "$E2E_INTERVAL_X" "$E2E_INTERVAL_Y" 10
e2e_set_text "$E2E_PORT_X" "$E2E_PORT_Y" 888
e2e_click "$E2E_START_X" "$E2E_START_Y"
e2e_wait_until 5 "no reads after good texts" reads_at_least 10
e2e_expect_lamps 10100101 "reading 0x5A after the reports"

e2e_click "$E2E_ENDE_X" "$E2E_ENDE_Y"
e2e_expect_exit 0
e2e_say "passed"
