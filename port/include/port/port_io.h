// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace port {

class PortBinding;

// The port operations of the poll cycle, bound lazily to the driver library libdlportio.so
// (dlportio.dll on Windows) for the whole process. Both throw RuntimeError when the library or
// the entry point can't be found, or when the driver reports that the port could not be reached.
// The port number reaches the driver as it is, never range-checked here.
namespace port_io {

[[nodiscard]] std::uint8_t read(std::int32_t port);
void write(std::int32_t port, std::uint8_t value);

// The binding behind read and write, for a caller that polls in a tight loop and would
// otherwise look it up at every access. Nothing is loaded before its first read or write.
[[nodiscard]] PortBinding& binding();

} // namespace port_io

} // namespace port
