#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The installed copy end to end under Wine and Xvfb: a silent install into a fresh prefix, the
# window started from Simulator, polling started with the keyboard and with a click, the lamps
# checked in screenshots, the record saved through the dialog, and a silent uninstall.
# Usage: installed_e2e.sh BUILD_DIR WINE WINESERVER      (scripts/windows-check runs it)
# shellcheck source=tests/e2e/common.sh
source "$(dirname "$0")/../e2e/common.sh"

build=$1 wine=$2 wineserver=$3

e2e_init
e2e_start_xvfb 1024x768x24
# The installed simulator keeps its ports under LOCALAPPDATA, a Windows path.
unset MOVANTA_PORTSIM
export WINEPREFIX=$E2E_TMP/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap '"$wineserver" -k >/dev/null 2>&1 || true; e2e_cleanup' EXIT
mkdir -p "$WINEPREFIX"
"$wineserver" -p </dev/null >/dev/null 2>&1
"$wine" wineboot --init </dev/null >/dev/null 2>&1 || e2e_fail "Wine did not start"
"$wine" "$build/movanta-0.05-setup.exe" /S </dev/null >/dev/null 2>&1 \
    || e2e_fail "the silent install failed"
installed=$WINEPREFIX/drive_c/Program\ Files/Movanta
portsim() { "$wine" 'C:\Program Files\Movanta\Simulator\movanta-portsim.exe' "$@" </dev/null; }
portsim set 888 0x5A >/dev/null || e2e_fail "movanta-portsim set failed"

cd "$installed/Simulator"
e2e_start_app setsid "$wine" Movanta.exe </dev/null
e2e_expect_lamps 00000000 "at start"
# Keyboard: untick chk_255 (port 888 only read), Tab twice to btn_start, Space.
e2e_focus "$E2E_WID"
xdotool key --delay 50 shift+Tab space Tab Tab space
e2e_expect_lamps 10100101 "polling started from the keyboard, reading 0x5A"
# Mouse: Stop, the input changed, Start.
e2e_click "$E2E_START_X" "$E2E_START_Y"
portsim set 888 0x0F >/dev/null
e2e_click "$E2E_START_X" "$E2E_START_Y"
e2e_expect_lamps 11110000 "polling started with a click, reading 0x0F"

saved=$E2E_TMP/liste.csv
has_both() { [ -s "$saved" ] && grep -q ',165,' "$saved" && grep -q ',240,' "$saved"; }
e2e_focus "$E2E_WID"
e2e_click "$E2E_LIST_X" "$E2E_LIST_Y"
e2e_save_as "Z:${saved//\//\\}"
e2e_wait_until 15 "nothing was saved through the dialog" has_both
head -n 1 "$saved" | grep -q '^time,' || e2e_fail "the saved file has no CSV header"

e2e_click "$E2E_ENDE_X" "$E2E_ENDE_Y"
e2e_expect_exit 0

"$wine" 'C:\Program Files\Movanta\Uninstall.exe' /S </dev/null >/dev/null 2>&1 \
    || e2e_fail "the silent uninstall failed"
cd "$E2E_TMP"
gone() { [ ! -e "$installed" ]; }
e2e_wait_until 30 "the uninstall left files behind" gone
e2e_say "PASS"
