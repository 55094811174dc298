#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Copying and saving the change list from the real program: Strg+C copies the selected
# entry, Strg+S saves the record through the save dialog as CSV, with no file left behind.
# Usage: record_test.sh MOVANTA MOVANTA-PORTSIM SIMULATOR-LIBRARY-FOLDER
# shellcheck source=tests/e2e/common.sh
source "$(dirname "$0")/common.sh"

movanta=$1 portsim=$2 simulator_dir=$3

e2e_init
command -v xclip >/dev/null || { e2e_say "SKIP: xclip is missing"; exit 77; }
e2e_start_xvfb

clipboard_is() { [ "$(xclip -o -selection clipboard 2>/dev/null)" = "$1" ]; }
saved() { [ -s "$E2E_TMP/liste.csv" ]; }

# Shown values 165, 240 and 15: three entries.
"$portsim" set 888 0x5A
e2e_start_app env LD_LIBRARY_PATH="$simulator_dir" "$movanta"
e2e_click "$E2E_START_X" "$E2E_START_Y"
e2e_expect_lamps 10100101 "reading 0x5A"
"$portsim" set 888 0x0F
e2e_expect_lamps 11110000 "reading 0x0F"
"$portsim" set 888 0xF0
e2e_expect_lamps 00001111 "reading 0xF0"

e2e_focus "$E2E_WID"
e2e_click "$E2E_LIST_X" "$E2E_LIST_Y"
xdotool key Down ctrl+c
e2e_wait_until 5 "Strg+C did not copy the second entry" clipboard_is 240

e2e_save_as "$E2E_TMP/liste.csv"
e2e_wait_until 10 "nothing was saved" saved

values=$(awk -F, 'NR > 1 { printf "%s %s %s;", $3, $4, $5 }' "$E2E_TMP/liste.csv")
[ "$(head -n 1 "$E2E_TMP/liste.csv")" = "time,elapsed_us,value,byte,bits" ] \
    || e2e_fail "the saved file has no CSV header: $(head -n 2 "$E2E_TMP/liste.csv")"
[ "$values" = "165 90 10100101;240 15 11110000;15 240 00001111;" ] \
    || e2e_fail "saved entries: $values"
leftovers=$(find "$E2E_TMP" -maxdepth 1 -name '*.part')
[ -z "$leftovers" ] || e2e_fail "the save left $leftovers"
if grep -q . "$E2E_TMP/app.err"; then
    e2e_fail "the program complained"
fi

e2e_focus "$E2E_WID"
e2e_click "$E2E_ENDE_X" "$E2E_ENDE_Y"
e2e_expect_exit 0
e2e_say "passed"
