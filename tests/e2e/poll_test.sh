#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The real program on the simulated port, driven through its window: Start with a typed
# interval, "255 setzen" on and off, a new port text that takes effect only at the next
# Start, Stop keeping the lamps, and closing the window while it polls ending the program
# cleanly.
# Usage: poll_test.sh MOVANTA MOVANTA-PORTSIM SIMULATOR-LIBRARY-FOLDER CLOSE-WINDOW
# shellcheck source=tests/e2e/common.sh
source "$(dirname "$0")/common.sh"

movanta=$1 portsim=$2 simulator_dir=$3 close_window=$4

sim() { "$portsim" "$@"; }

# The port space log into sim.log (kept on failure), then counts of its lines.
sim_log() { sim log >"$E2E_TMP/sim.log"; }
log_lines() { sim_log; grep -c -E "$1" "$E2E_TMP/sim.log" || true; }
reads_at_least() { [ "$(log_lines ' R ')" -ge "$1" ]; }

# expect_only_reads PORT VALUE WHAT: after an emptied log, at least ten reads, all of PORT
# giving VALUE, and no writes.
expect_only_reads() {
    sim log --clear
    e2e_wait_until 5 "$3: no reads" reads_at_least 10
    local other
    other=$(grep -v -E "^[0-9]+ R $1 $2\$" "$E2E_TMP/sim.log" | head -n 3 || true)
    [ -z "$other" ] || e2e_fail "$3: expected only reads of port $1 giving $2, got: $other"
}

e2e_init
e2e_start_xvfb

# The tool shows 255 minus what it reads: 0x5A read lights bits 7, 5, 2 and 0 (0xA5).
sim set 888 0x5A
sim set 889 0x3C
e2e_start_app env LD_LIBRARY_PATH="$simulator_dir" "$movanta"

e2e_expect_lamps 00000000 "before Start"
sleep 0.3
[ "$(log_lines .)" -eq 0 ] || e2e_fail "the port was touched before Start: $(head -n 3 "$E2E_TMP/sim.log")"

e2e_set_text "$E2E_INTERVAL_X" "$E2E_INTERVAL_Y" 10
e2e_click "$E2E_START_X" "$E2E_START_Y"
e2e_wait_until 5 "no reads after Start" reads_at_least 30

# Each tick writes 255 to the latch, then reads latch AND input.
pairs=$(awk '
    NR % 2 == 1 && !($2 == "W" && $3 == 888 && $4 == 255) { print "line " NR ": " $0; exit }
    NR % 2 == 0 && !($2 == "R" && $3 == 888 && $4 == 90) { print "line " NR ": " $0; exit }
' "$E2E_TMP/sim.log")
[ -z "$pairs" ] || e2e_fail "expected pairs of \"W 888 255\" and \"R 888 90\", got at $pairs"

# The typed 10 ms, not the 50 ms the box started with: the middle gap between reads.
median_gap_us=$(awk '$2 == "R" { if (last) print $1 - last; last = $1 }' "$E2E_TMP/sim.log" \
    | sort -n | awk '{ gap[NR] = $1 } END { print gap[int((NR + 1) / 2)] }')
[ "$median_gap_us" -lt 35000 ] \
    || e2e_fail "reads come every $median_gap_us µs (middle gap), expected about 10 ms"
e2e_expect_lamps 10100101 "reading 0x5A"

# Unticked, the tick only reads.
e2e_click "$E2E_CHK255_X" "$E2E_CHK255_Y"
sleep 0.3
expect_only_reads 888 90 "\"255 setzen\" unticked"

# The lamps follow the input.
sim set 888 0x0F
e2e_expect_lamps 11110000 "reading 0x0F"

# A new port text counts from the next Start on: &H379 is port 889.
e2e_set_text "$E2E_PORT_X" "$E2E_PORT_Y" '&H379'
sleep 0.3
expect_only_reads 888 15 "port text changed while polling"

# Stop: the log's newest entry stays the same over ten intervals of 10 ms.
newest_entry() { sim log | tail -n 1; }
log_stands_still() {
    local before
    before=$(newest_entry)
    sleep 0.1
    [ -n "$before" ] && [ "$(newest_entry)" = "$before" ]
}
e2e_click "$E2E_START_X" "$E2E_START_Y"
e2e_wait_until 5 "the port is still polled after Stop" \
    log_stands_still
e2e_expect_lamps 11110000 "after Stop"

e2e_click "$E2E_START_X" "$E2E_START_Y"
sleep 0.3
expect_only_reads 889 60 "Start after the port text changed"
e2e_expect_lamps 11000011 "reading 0x3C from port 889"

if grep -q . "$E2E_TMP/app.err"; then
    e2e_fail "the program complained"
fi

# As a window manager's close button would: the program ends with its window.
"$close_window" "$E2E_WID" || e2e_fail "could not ask the window to close"
e2e_expect_exit 0
e2e_say "passed"
