# shellcheck shell=bash disable=SC2034 # the places are used by the scripts that source this
# SPDX-License-Identifier: MIT
# The main window's title and where its controls are: sourced by the end-to-end tests, the
# package test, scripts/bench and scripts/soak, which drive the real window with xdotool.

# Client-area pixels of the main window. Without a window manager the window has no frame
# and sits at 0,0; the places are the window's twips divided by 15 (ui/layout.h), the inner
# controls' plus their group box's, taken near each control's middle.
readonly E2E_TITLE='^Movanta - Quendel - BETA$'
readonly E2E_REPORT_TITLE='^Movanta$'
readonly E2E_START_X=36 E2E_START_Y=212
readonly E2E_ENDE_X=188 E2E_ENDE_Y=212
readonly E2E_PORT_X=36 E2E_PORT_Y=41
readonly E2E_INTERVAL_X=100 E2E_INTERVAL_Y=89
readonly E2E_COUNT_X=36 E2E_COUNT_Y=89
readonly E2E_CHK255_X=22 E2E_CHK255_Y=136
# Inside the first row of the change list.
readonly E2E_LIST_X=176 E2E_LIST_Y=40
# Lamp left edges for bits 7 down to 0 and their top. The pixel 8,10 inside a lamp is face
# in both pictures: bright red (255,0,0) lit, dark red (128,0,0) unlit.
readonly E2E_LAMP_LEFTS=(16 40 64 88 120 144 168 192)
readonly E2E_LAMP_TOP=168
readonly E2E_LAMP_FACE_X=8 E2E_LAMP_FACE_Y=10
