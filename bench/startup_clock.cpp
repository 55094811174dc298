// SPDX-License-Identifier: MIT
// startup_clock PROGRAM [ARGS...]: starts the program and prints the microseconds from
// its exec until its first top-level window is mapped on the X server ($DISPLAY), then
// ends it. Meant for a bare X server without a window manager, where nothing else maps
// windows.
#include <X11/Xlib.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int timeout_ms = 20'000;

} // namespace

int main(int argc, char* argv[])
{
    if (argc < 2) {
        std::fputs("usage: startup_clock PROGRAM [ARGS...]\n", stderr);
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fputs("startup_clock: cannot open the display\n", stderr);
        return 1;
    }
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, False);

    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child < 0) {
        std::perror("startup_clock: fork");
        return 1;
    }
    if (child == 0) {
        execvp(argv[1], argv + 1);
        std::perror("startup_clock: exec");
        _exit(127);
    }

    bool mapped = false;
    std::chrono::steady_clock::time_point shown;
    pollfd connection { ConnectionNumber(display), POLLIN, 0 };
    while (!mapped) {
        while (!mapped && XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify && !event.xmap.override_redirect) {
                shown = std::chrono::steady_clock::now();
                mapped = true;
            }
        }
        if (mapped)
            break;
        const int ready = poll(&connection, 1,
            timeout_ms - static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - start).count()));
        if (ready <= 0)
            break;
        if (waitpid(child, nullptr, WNOHANG) == child) {
            std::fputs("startup_clock: the program ended before showing a window\n", stderr);
            return 1;
        }
    }
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    XCloseDisplay(display);
    if (!mapped) {
        std::fputs("startup_clock: no window within 20 s\n", stderr);
        return 1;
    }
    std::printf("%lld\n",
        static_cast<long long>(
            std::chrono::duration_cast<std::chrono::microseconds>(shown - start).count()));
    return 0;
}
