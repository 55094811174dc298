#pragma once

#include <cstdint>

// The port operations of the poll cycle, bound lazily to the driver library libdlportio.so
// (dlportio.dll on Windows) for the whole process. Both throw RuntimeError when the library or
// the entry point can't be found, or when the driver reports that the port could not be reached.
// The port number reaches the driver as it is, never range-checked here.
namespace port_io {

[[nodiscard]] std::uint8_t read(std::int32_t port);
void write(std::int32_t port, std::uint8_t value);

} // namespace port_io
