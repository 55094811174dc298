// SPDX-License-Identifier: MIT
// close_window [--destroy] WINDOW: asks an X window to close the way a window manager's
// close button does, with a WM_DELETE_WINDOW message; with --destroy, destroys it outright as
// any X client may. The end-to-end tests run without a window manager.
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    const bool destroy = argc == 3 && std::strcmp(argv[1], "--destroy") == 0;
    char* end = nullptr;
    const unsigned long window = argc == 2 || destroy ? std::strtoul(argv[argc - 1], &end, 0) : 0;
    if (window == 0 || *end != '\0') {
        std::fputs(
            "usage: close_window [--destroy] WINDOW (an X window id, decimal or 0x hex)\n", stderr);
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fputs("close_window: cannot open the X display\n", stderr);
        return 1;
    }
    if (destroy) {
        XDestroyWindow(display, window);
        XCloseDisplay(display);
        return 0;
    }
    XEvent event {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    // Closing the connection sends what is queued; an unknown window ends in an X error.
    XCloseDisplay(display);
    return 0;
}
