// SPDX-License-Identifier: MIT
// A stand-in for systemd's notification socket: binds an AF_UNIX datagram socket at PATH and
// prints each message on a line of its own (its line ends shown as blanks) until SIGTERM or
// SECONDS have passed. Usage: notify_socket_reader PATH SECONDS
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

int main(int argc, char* argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: notify_socket_reader PATH SECONDS\n");
        return 2;
    }
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, argv[1], sizeof address.sun_path - 1);
    if (fd < 0 || bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(std::atoi(argv[2]));
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        pollfd readable { fd, POLLIN, 0 };
        if (left.count() <= 0 || poll(&readable, 1, static_cast<int>(left.count())) <= 0)
            return 0;
        char message[4096];
        const ssize_t size = recv(fd, message, sizeof message, 0);
        if (size < 0)
            continue;
        std::string line(message, static_cast<std::size_t>(size));
        for (char& c : line)
            c = c == '\n' ? ' ' : c;
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    }
}
