// SPDX-License-Identifier: MIT
// Resource and control numbers shared by the window's code and its resource script.
#pragma once

namespace win32 {

// The lamp pictures, made at build time from ui/images/*.xpm.
#define IDB_LAMP_LIT 101
#define IDB_LAMP_UNLIT 102

// The progress dialog of a save or a copy of the whole list.
#define IDD_PROGRESS 201
#define IDC_PROGRESS_LABEL 202
#define IDC_PROGRESS_BAR 203

// The window's controls, numbered as their names in the window's layout.
#define IDC_BTN_START 1001
#define IDC_BTN_LIST 1002
#define IDC_BTN_ENDE 1003
#define IDC_TXT_PORT 1004
#define IDC_TXT_AUSGABE 1005
#define IDC_TXT_LIST 1006
#define IDC_TXT_INTERVAL 1007
#define IDC_CHK_255 1008
#define IDC_LIST1 1009

// The change list's context menu.
#define IDM_COPY 2001
#define IDM_COPY_ALL 2002
#define IDM_SAVE_AS 2003

} // namespace win32
