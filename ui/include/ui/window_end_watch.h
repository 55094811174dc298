// SPDX-License-Identifier: MIT
// Ends the program when another X client destroys the main window outright.
#pragma once

#include <QAbstractNativeEventFilter>
#include <QWidget>

namespace ui {

// A window manager asks a window to close (WM_DELETE_WINDOW), and the window ends the
// program itself; XDestroyWindow from any client just takes the window away. Without this
// watch the process would run on with nothing to show or to end it by. Elsewhere than on
// X11 it does nothing.
class WindowEndWatch final : public QAbstractNativeEventFilter {
public:
    // window: shown already, so that it has its native window.
    explicit WindowEndWatch(const QWidget& window);
    ~WindowEndWatch() override;
    WindowEndWatch(const WindowEndWatch&) = delete;
    WindowEndWatch& operator=(const WindowEndWatch&) = delete;

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr* result) override;

private:
    WId window_;
};

} // namespace ui
