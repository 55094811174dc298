// SPDX-License-Identifier: MIT
#include "port/port_io.h"

#include "dynamic_library.h"
#include "port/port_binding.h"

namespace port {

namespace {

PortBinding& driver()
{
    static PortBinding binding(dynamic_library::driver_file_name());
    return binding;
}

} // namespace

namespace port_io {

std::uint8_t read(std::int32_t port) { return driver().read(port); }

void write(std::int32_t port, std::uint8_t value) { driver().write(port, value); }

PortBinding& binding() { return driver(); }

} // namespace port_io

} // namespace port
