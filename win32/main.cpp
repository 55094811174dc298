// SPDX-License-Identifier: MIT
// Movanta.exe: the window on Windows and its message loop.
#include "win32/error_report.h"
#include "win32/form1.h"

#include <windows.h>

#include <exception>

using namespace win32;

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show)
{
    try {
        Form1 form;
        ShowWindow(form.window, show);
        UpdateWindow(form.window);
        while (form.pump(INFINITE)) {
        }
        return form.exit_code();
    } catch (const std::exception& error) {
        // The window or its timer could not be made: nothing to run.
        show_error_report(nullptr, error);
        return 1;
    }
}
