// SPDX-License-Identifier: MIT
// The message box of a run-time error.
#include "win32/error_report.h"

#include "core/run_time_report.h"
#include "wide_text.h"

#include <algorithm>
#include <cstdio>

using namespace core;

namespace win32 {

std::wstring report_box_text(const std::wstring& text)
{
    constexpr std::size_t most_units = 1000;
    constexpr std::size_t most_lines = 20;
    std::size_t end = std::min(text.size(), most_units);
    for (std::size_t at = 0, lines = 1; at < end; ++at) {
        if (text[at] == L'\n' && ++lines > most_lines)
            end = at;
    }
    if (end == text.size())
        return text;
    if (end > 0 && text[end - 1] >= 0xD800 && text[end - 1] <= 0xDBFF)
        --end; // a high surrogate without its partner
    return text.substr(0, end) + L'\u2026';
}

void show_error_report(HWND parent, const std::exception& error)
{
    const std::string text = run_time_report_text(error);
    const std::size_t gap = text.find("\n\n");
    const std::string line
        = gap == std::string::npos ? text : text.substr(0, gap) + ' ' + text.substr(gap + 2);
    std::fprintf(stderr, "movanta: %s\n", line.c_str());
    std::fflush(stderr);
    MessageBoxW(parent, report_box_text(widen(text)).c_str(), L"Movanta", MB_OK | MB_ICONERROR);
}

} // namespace win32
