#include "form1.h"
#include "pictures.h"
#include "repaint_pacer.h"

#include <QApplication>

#include <cstdio>
#ifndef _WIN32
#include <unistd.h>
#endif
#ifdef __linux__
#include <sys/auxv.h>
#endif

int main(int argc, char* argv[])
{
#ifndef _WIN32
    // Qt refuses to run setuid and aborts; say why and end cleanly instead.
    if (geteuid() != getuid() || getegid() != getgid()) {
        std::fputs("movanta: refusing to run setuid or setgid\n", stderr);
        return 1;
    }
#endif
#ifdef __linux__
    // File capabilities raise privileges as setuid does without changing an id; Qt would
    // still load plugins and themes that the user's environment names.
    if (getauxval(AT_SECURE) != 0) {
        std::fputs("movanta: refusing to run with raised privileges (file capabilities)\n", stderr);
        return 1;
    }
#endif

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
    return QApplication::exec();
}
