// SPDX-License-Identifier: MIT
// What the Windows window's tests share: a fake port, the window with recorded reports, and
// running the window's messages until a condition holds.
#pragma once

#include "core/vars.h"
#include "win32/form1.h"

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace win32_test {

// The port the window reads: every read gives value; writes are counted.
struct FakePort {
    static inline std::uint8_t value = 0;
    static inline int reads = 0;
    static inline int writes = 0;
    static inline std::int32_t last_port = -1;

    static std::uint8_t read(std::int32_t port)
    {
        last_port = port;
        ++reads;
        return value;
    }
    static void write(std::int32_t port, std::uint8_t)
    {
        last_port = port;
        ++writes;
    }
    static void reset()
    {
        value = 0;
        reads = writes = 0;
        last_port = -1;
    }
};

inline std::wstring text_of(HWND control)
{
    wchar_t text[256] {};
    GetWindowTextW(control, text, 256);
    return text;
}

inline void set_text(HWND control, const wchar_t* text) { SetWindowTextW(control, text); }

// Runs the window's message loop until done() holds or the time is up; returns done().
template <typename Done>
bool run_until(Form1& form, Done done, std::chrono::milliseconds most = std::chrono::seconds(10))
{
    const auto until = std::chrono::steady_clock::now() + most;
    while (!done()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        form.pump(10);
    }
    return true;
}

// The window over the fake port, its reports kept as their texts.
struct Window {
    std::unique_ptr<Form1> form;
    std::vector<std::string> reports;

    Window()
    {
        vars::reset();
        FakePort::reset();
        form = std::make_unique<Form1>(port::PortAccess { &FakePort::read, &FakePort::write });
        form->set_reporter([this](HWND, const std::exception& error) {
            reports.emplace_back(error.what());
        });
    }

    void click(HWND button) const
    {
        SendMessageW(form->window, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
            reinterpret_cast<LPARAM>(button));
    }
    void set_checked(bool checked) const
    {
        SendMessageW(form->chk_255, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    [[nodiscard]] bool lit(std::size_t k) const
    {
        return (GetWindowLongPtrW(form->an[k], GWL_STYLE) & WS_VISIBLE) != 0;
    }
};

} // namespace win32_test
