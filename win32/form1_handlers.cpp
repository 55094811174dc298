// SPDX-License-Identifier: MIT
// What the window does on its five events: loading, the three buttons and the tick.
#include "win32/form1.h"

#include "core/decimal_text.h"
#include "core/round_to_long.h"
#include "core/text_to_number.h"
#include "core/vars.h"
#include "wide_text.h"

#include <stdexcept>
#include <string>
#include <utility>

using namespace core;
using namespace port;
using namespace win32;

namespace {

std::wstring text_of(HWND control)
{
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return text;
}

// Leaves the box alone when it already shows the number, so that a selection in it
// survives polling.
void show_number(HWND box, std::int64_t n)
{
    char digits[20];
    const std::size_t length = decimal_text(n, digits);
    wchar_t text[21];
    for (std::size_t i = 0; i < length; ++i)
        text[i] = static_cast<wchar_t>(digits[i]);
    text[length] = L'\0';
    wchar_t shown[22];
    const int shown_length = GetWindowTextW(box, shown, static_cast<int>(std::size(shown)));
    if (static_cast<std::size_t>(shown_length) != length
        || std::wstring_view(shown, length) != std::wstring_view(text, length))
        SetWindowTextW(box, text);
}

void show_lamps(const std::array<HWND, 8>& an)
{
    for (std::size_t k = 0; k < an.size(); ++k) {
        const bool lit = vars::bits[k] == truth_true;
        // Its own flag, not IsWindowVisible(): the start-up work runs while the window is hidden.
        const bool shown = (GetWindowLongPtrW(an[k], GWL_STYLE) & WS_VISIBLE) != 0;
        if (shown != lit)
            ShowWindow(an[k], lit ? SW_SHOWNA : SW_HIDE);
    }
}

} // namespace

void Form1::Form_Load()
{
    vars::bits.fill(truth_false);
    show_lamps(an);
}

void Form1::btn_start_Click()
{
    try {
        timer1->set_interval(round_to_long(text_to_number(narrow(text_of(txt_interval)))));
        if (!timer1->enabled()) {
            vars::port_text = narrow(text_of(txt_port));
            run_.start();
            SetWindowTextW(btn_start, L"Stop");
            timer1->set_enabled(true);
        } else {
            SetWindowTextW(btn_start, L"Start");
            timer1->set_enabled(false);
        }
    } catch (const std::exception& e) {
        report(e);
    }
}

void Form1::btn_list_Click()
{
    SetWindowTextW(txt_list, L"");
    list->clear();
}

void Form1::btn_ende_Click()
{
    timer1->set_enabled(false);
    DestroyWindow(window);
}

void Form1::timer1_Timer()
{
    if (polling_paused_)
        return;
    try {
        const TextPort port { port_ };
        run_.tick(port, SendMessageW(chk_255, BM_GETCHECK, 0, 0) == BST_CHECKED);
        show_number(txt_ausgabe, vars::out_value);
        show_number(txt_list, static_cast<std::int64_t>(list->count()));
        show_lamps(an);
    } catch (const std::exception& e) {
        // Polling stops before the report opens, so no tick runs behind it; the steps
        // before the failure keep their effect, the later ones do not happen.
        timer1->set_enabled(false);
        SetWindowTextW(btn_start, L"Start");
        report(e);
    }
}

void Form1::report(const std::exception& error, bool pause_polling)
{
    // One report at a time; while it is open no tick runs, unless it is a save's.
    if (reporting_) {
        if (!polling_paused_ && !pending_report_)
            pending_report_ = std::current_exception() != nullptr
                ? std::current_exception()
                : std::make_exception_ptr(std::runtime_error(error.what()));
        return;
    }
    reporting_ = true;
    polling_paused_ = pause_polling;
    {
        const TickPacer::Modal box(*timer1);
        reporter_(window, error);
    }
    reporting_ = false;
    polling_paused_ = false;
    if (const std::exception_ptr pending = std::exchange(pending_report_, nullptr)) {
        try {
            std::rethrow_exception(pending);
        } catch (const std::exception& next) {
            report(next);
        }
    }
}
