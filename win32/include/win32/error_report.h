// SPDX-License-Identifier: MIT
// The run-time error report of the Windows window: a modal message box titled "Movanta"
// naming the error, and the same as one line on standard error.
#pragma once

#include <windows.h>

#include <exception>
#include <string>

namespace win32 {

void show_error_report(HWND parent, const std::exception& error);

// What the message box shows of a report's text: at most 1,000 UTF-16 units and 20 lines,
// then "…", never half a character; standard error gets the whole text.
[[nodiscard]] std::wstring report_box_text(const std::wstring& text);

} // namespace win32
