#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Movanta.exe end to end under Wine and Xvfb, on the stand-in dlportio.dll beside it (ports
# never written read 0, a write latches): polling started with the keyboard and with a click,
# the lamps checked in screenshots, a port text out of range reported, "Ende" ending the program.
# Usage: window_e2e.sh WINE BIN-FOLDER [SCREENSHOT.png]
# shellcheck source=tests/e2e/common.sh
source "$(dirname "$0")/../e2e/common.sh"

wine=$1 bin=$2 screenshot=${3:-}

e2e_init
e2e_start_xvfb
cd "$bin"
started=$(date +%s%N)
e2e_start_app setsid "$wine" Movanta.exe </dev/null
e2e_say "window up after $((($(date +%s%N) - started) / 1000000)) ms (Wine's start included)"
e2e_expect_lamps 00000000 "at start"

# Keyboard: Shift+Tab from txt_ausgabe reaches chk_255 (untick it: port 888 is then only read,
# and a port never written reads 0, shown as 255), then Tab twice to btn_start and Space.
e2e_focus "$E2E_WID"
xdotool key --delay 50 shift+Tab space Tab Tab space
e2e_expect_lamps 11111111 "polling started from the keyboard, 255 shown"
[ -z "$screenshot" ] || convert "$E2E_LAST_SHOT" -strip "$screenshot"

# Mouse: Stop, tick "255 setzen", Start: 255 is written before each read and 0 shown.
e2e_click "$E2E_START_X" "$E2E_START_Y"
e2e_click "$E2E_CHK255_X" "$E2E_CHK255_Y"
e2e_click "$E2E_START_X" "$E2E_START_Y"
e2e_expect_lamps 00000000 "polling started with a click, 0 shown"

# A port text beyond 32 bits fails at the first tick: the report, and polling stops.
e2e_click "$E2E_START_X" "$E2E_START_Y"
e2e_set_text "$E2E_PORT_X" "$E2E_PORT_Y" 1e12
e2e_click "$E2E_START_X" "$E2E_START_Y"
e2e_wait_until 10 "no report for port 1e12" e2e_report_shown
e2e_dismiss_report "the report for port 1e12"
e2e_app_alive || e2e_fail "the program ended after the report"

e2e_click "$E2E_ENDE_X" "$E2E_ENDE_Y"
e2e_expect_exit 0
e2e_say "PASS"
