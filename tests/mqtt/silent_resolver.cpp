// SPDX-License-Identifier: MIT
// A name server that never answers: a UDP socket bound to ADDRESS:53 that takes every query
// and replies to none. Says "ready" on standard output once bound; runs until killed.
#include "core/unique_fd.h"

#include <arpa/inet.h>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace core;

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s IPV4-ADDRESS\n", argv[0]);
        return 2;
    }
    const UniqueFd socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(53);
    if (!socket || ::inet_pton(AF_INET, argv[1], &address.sin_addr) != 1
        || ::bind(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        std::perror("silent_resolver");
        return 1;
    }
    std::puts("ready");
    std::fflush(stdout);
    for (;;)
        ::pause();
}
