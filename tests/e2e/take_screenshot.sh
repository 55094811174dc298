#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Takes the README's picture of the window from the real program under Xvfb, polling the
# simulated port every 50 ms after a few changes. Not a test: run it by hand.
# Usage: take_screenshot.sh MOVANTA MOVANTA-PORTSIM SIMULATOR-LIBRARY-FOLDER OUT.png
# shellcheck source=tests/e2e/common.sh
source "$(dirname "$0")/common.sh"

movanta=$1 portsim=$2 simulator_dir=$3 out=$4

e2e_init
e2e_start_xvfb
"$portsim" set 888 0xFE
e2e_start_app env LD_LIBRARY_PATH="$simulator_dir" "$movanta"
e2e_click "$E2E_START_X" "$E2E_START_Y"
# Shown values 1, 15, 96, then 180: four list entries, lamps 7, 5, 4 and 2 lit.
for input in 0xF0 0x9F 0x4B; do
    sleep 0.4
    "$portsim" set 888 "$input"
done
e2e_expect_lamps 10110100 "the last value"
sleep 0.3
e2e_screenshot
# Without the time stamps import writes in, so that a retake of the same picture is the same file.
convert "$E2E_LAST_SHOT" -strip "$out"
e2e_click "$E2E_ENDE_X" "$E2E_ENDE_Y"
e2e_expect_exit 0
e2e_say "wrote $out"
