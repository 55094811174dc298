#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Takes the README's picture of a saved VCD in GTKWave: the real program polls the simulated
# port while it counts up, saves the list through its dialog as VCD, and GTKWave shows it.
# Not a test: run it by hand.
# Usage: take_vcd_screenshot.sh MOVANTA MOVANTA-PORTSIM SIMULATOR-LIBRARY-FOLDER OUT.png
# shellcheck source=tests/e2e/common.sh
source "$(dirname "$0")/common.sh"

movanta=$1 portsim=$2 simulator_dir=$3 out=$4
command -v gtkwave >/dev/null || { e2e_say "gtkwave is missing (Debian: gtkwave)"; exit 1; }

e2e_init
e2e_start_xvfb 1024x600x24
"$portsim" set 888 0xFF
e2e_start_app env LD_LIBRARY_PATH="$simulator_dir" "$movanta"
e2e_set_text "$E2E_INTERVAL_X" "$E2E_INTERVAL_Y" 10
e2e_click "$E2E_START_X" "$E2E_START_Y"
# Shown values 1 to 16 (255 minus the byte read), 80 ms apart: a counter on the low bits.
for value in $(seq 1 16); do
    sleep 0.08
    "$portsim" set 888 $((255 - value))
done
sleep 0.2

e2e_focus "$E2E_WID"
e2e_click "$E2E_LIST_X" "$E2E_LIST_Y"
e2e_save_as "$E2E_TMP/zaehler.vcd"
e2e_wait_until 10 "nothing was saved" test -s "$E2E_TMP/zaehler.vcd"

cat >"$E2E_TMP/view.tcl" <<'TCL'
gtkwave::addSignalsFromList {movanta.bit7 movanta.bit6 movanta.bit5 movanta.bit4 movanta.bit3 movanta.bit2 movanta.bit1 movanta.bit0}
gtkwave::/Time/Zoom/Zoom_Best_Fit
TCL
(cd "$E2E_TMP" && exec gtkwave -S view.tcl zaehler.vcd) >"$E2E_TMP/gtkwave.log" 2>&1 &
gtkwave_pid=$!
viewer=$(e2e_find_window '^GTKWave - zaehler\.vcd$') || e2e_fail "GTKWave did not show"
sleep 2
timeout 10 import -window "$viewer" "$E2E_TMP/gtkwave.png" || e2e_fail "no picture of GTKWave"
kill "$gtkwave_pid"
# The signal names and the waves; without the time stamps import writes in, so that a retake
# of the same picture is the same file.
convert "$E2E_TMP/gtkwave.png" -crop 726x205+284+100 +repage -strip "$out"
e2e_say "wrote $out"
