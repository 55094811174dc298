// SPDX-License-Identifier: MIT
// The port operations of the window's tick, and the port they reach through port_text.
#pragma once

#include "core/round_to_long.h"
#include "core/text_to_number.h"
#include "core/vars.h"
#include "port/port_io.h"

#include <cstdint>

namespace port {

// The two port operations the poll cycle calls. The program gives the window the
// driver library's lazily bound ones; tests give it a fake port.
struct PortAccess {
    std::uint8_t (*read)(std::int32_t port) = &port_io::read;
    void (*write)(std::int32_t port, std::uint8_t value) = &port_io::write;
};

// The port of a window's tick: port_text is turned into a number afresh at every access.
struct TextPort {
    const PortAccess& access;

    [[nodiscard]] static std::int32_t number()
    {
        return core::round_to_long(core::text_to_number(vars::port_text));
    }
    [[nodiscard]] std::uint8_t read() const { return access.read(number()); }
    void write(std::uint8_t value) const { access.write(number(), value); }
};

} // namespace port
