// SPDX-License-Identifier: MIT
// The main window on Windows, the program's only one, in plain Win32 controls. It owns its
// controls and the timer for the whole run; the controls keep the names and places of the
// window's layout (ui/layout.h) and are never created, moved or resized after this. The
// handlers live in form1_handlers.cpp.
#pragma once

#include "core/poll_run.h"
#include "port/port_access.h"
#include "win32/change_list_view.h"
#include "win32/record_menu.h"
#include "win32/tick_pacer.h"

#include <windows.h>

#include <array>
#include <exception>
#include <functional>
#include <memory>

class Form1 {
public:
    static constexpr const wchar_t* title = L"Movanta - Quendel - BETA";

    // How a run-time error is reported: by default a modal message box and a line on
    // standard error. Tests record the reports instead.
    using Reporter = std::function<void(HWND parent, const std::exception& error)>;

    // Creates the window hidden, with the start-up work done; port: the operations each
    // tick uses (the driver library's by default). Throws std::system_error when Windows
    // refuses the window or its timer.
    explicit Form1(port::PortAccess port = {});
    ~Form1();
    Form1(const Form1&) = delete;
    Form1& operator=(const Form1&) = delete;

    void set_reporter(Reporter reporter) { reporter_ = std::move(reporter); }

    // The message loop: waits up to timeout_ms for a tick or a message, runs the tick, then
    // delivers the messages waiting. Returns false once WM_QUIT came; its code is exit_code().
    bool pump(DWORD timeout_ms);
    [[nodiscard]] int exit_code() const noexcept { return exit_code_; }

    // The message loop's part: Tab and the arrow keys move between the controls, Enter and
    // Escape click no button. Returns whether msg was taken.
    bool translate(MSG& msg);

    HWND window = nullptr; // Form1 itself

    HWND Frame1 = nullptr;
    HWND Frame2 = nullptr;
    HWND Frame3 = nullptr;
    HWND Frame4 = nullptr;
    HWND Frame5 = nullptr;
    HWND Frame6 = nullptr;

    HWND txt_port = nullptr;
    HWND txt_ausgabe = nullptr; // read-only, yet focusable and selectable
    HWND txt_list = nullptr;
    HWND txt_interval = nullptr;

    HWND List1 = nullptr; // lies over Frame3, with a tab stop of its own
    HWND chk_255 = nullptr;

    HWND btn_start = nullptr;
    HWND btn_list = nullptr;
    HWND btn_ende = nullptr;

    // The lamps of bits 0 to 7: an[0] is an1 (bit 0, rightmost), an[7] is an8.
    // Each on-lamp an[k] lies exactly over its off-lamp aus[k].
    std::array<HWND, 8> an {};
    std::array<HWND, 8> aus {};

    std::unique_ptr<win32::TickPacer> timer1; // disabled, 10 ms
    std::unique_ptr<win32::ChangeListView> list; // List1's entries
    std::unique_ptr<win32::RecordMenu> list_menu; // List1's context menu: copying and saving

    // The window's five events; the buttons' clicks arrive as WM_COMMAND too.
    void Form_Load();
    void btn_start_Click();
    void btn_list_Click();
    void btn_ende_Click();
    void timer1_Timer();

private:
    static LRESULT CALLBACK window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT handle(UINT message, WPARAM wparam, LPARAM lparam);
    void create_controls();
    void on_command(WORD id, WORD code);
    LRESULT on_notify(const NMHDR& header);

    // Reports a run-time error; the program goes on. While a report is open no tick runs
    // and no second report opens. A failed save is no failed tick: its report (pause_polling
    // false) lets the ticks go on, and a tick's report that comes while it is open follows
    // when it closes.
    void report(const std::exception& error, bool pause_polling = true);

    port::PortAccess port_;
    core::PollRun run_;
    Reporter reporter_;
    HFONT font_ = nullptr;
    HBITMAP lit_ = nullptr;
    HBITMAP unlit_ = nullptr;
    HWND focus_ = nullptr; // the control that had the focus when the window was left
    bool destroying_ = false; // by the destructor: the program goes on
    int exit_code_ = 0;
    // While Windows runs a menu's or a move's loop of its own.
    std::unique_ptr<win32::TickPacer::Modal> menu_loop_;
    std::unique_ptr<win32::TickPacer::Modal> move_loop_;
    bool reporting_ = false;
    bool polling_paused_ = false;
    std::exception_ptr pending_report_;
};
