// SPDX-License-Identifier: MIT
#include "core/process_guard.h"
#include "ui/form1.h"
#include "ui/pictures.h"
#include "ui/repaint_pacer.h"
#include "ui/window_end_watch.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace core;
using namespace ui;

namespace {

bool is_set(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// Qt aborts with a core dump when it finds no display; a user without one is told so
// instead. A platform named by QT_QPA_PLATFORM or -platform is Qt's to open.
bool has_display(int argc, char* argv[])
{
#if defined(_WIN32) || defined(__APPLE__)
    (void)argc;
    (void)argv;
    return true;
#else
    if (is_set("DISPLAY") || is_set("WAYLAND_DISPLAY") || is_set("QT_QPA_PLATFORM"))
        return true;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return true;
    }
    return false;
#endif
}

} // namespace

int main(int argc, char* argv[])
{
    // Before anything opens a file: the X connection must not become standard error.
    process_guard::ensure_standard_descriptors();
    // A report on a standard error whose reader has gone is lost, not the end of the program.
    process_guard::ignore_sigpipe();
    // Qt refuses to run setuid and aborts; file capabilities raise privileges as setuid does
    // and Qt would still load plugins and themes that the user's environment names. Say why
    // and end cleanly instead.
    if (const char* why = process_guard::raised_privileges()) {
        std::fprintf(stderr, "movanta: refusing to run %s\n", why);
        return 1;
    }
    if (!has_display(argc, argv)) {
        std::fputs("movanta: no display to open the window on (DISPLAY and WAYLAND_DISPLAY are "
                   "unset)\n",
            stderr);
        return 1;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Movanta"));
    QApplication::setApplicationVersion(QStringLiteral(MOVANTA_DISPLAY_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("movanta"));
    QApplication::setWindowIcon(movanta_icon());

    Form1 form;
    // Polling at 1 ms changes the controls a thousand times a second; the screen shows
    // sixty.
    RepaintPacer pacer(&form);
    form.show();
    // Another X client may destroy the window outright: the program ends as Ende ends it.
    WindowEndWatch end_watch(form);
    return QApplication::exec();
}
