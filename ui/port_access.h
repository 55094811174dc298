// SPDX-License-Identifier: MIT
#pragma once

#include "port/port_io.h"

#include <cstdint>

// The two port operations the poll cycle calls. The program gives the window the
// driver library's lazily bound ones; tests give it a fake port.
struct PortAccess {
    std::uint8_t (*read)(std::int32_t port) = &port_io::read;
    void (*write)(std::int32_t port, std::uint8_t value) = &port_io::write;
};
