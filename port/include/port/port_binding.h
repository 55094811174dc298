// SPDX-License-Identifier: MIT
// The port operations bound lazily to a driver library.
#pragma once

#include "port/dlportio.h"

#include <cstdint>
#include <string>

namespace port {

// The two port operations, bound lazily to a driver library: the first call of an entry point
// loads the library (once) and looks that entry point up; later calls go straight to it. The
// library stays loaded until the process ends. One thread calls it, the one that polls (the
// window's user-interface thread, or movanta-watch's poll thread); after binding a call takes
// no lock, allocates nothing and builds no text unless it fails.
class PortBinding {
public:
    // file_name goes to the system's library search as it is: a bare name or a path.
    explicit PortBinding(std::string file_name);

    PortBinding(const PortBinding&) = delete;
    PortBinding& operator=(const PortBinding&) = delete;

    // Throws RuntimeError: library or entry point not found, or the driver reports that the
    // port could not be reached.
    [[nodiscard]] std::uint8_t read(std::int32_t port);
    void write(std::int32_t port, std::uint8_t value);

private:
    void* library();
    void* entry_point(const char* name);
    void check_last_error() const;

    std::string file_name_;
    void* library_ = nullptr;
    DlPortReadPortUcharFn read_ = nullptr;
    DlPortWritePortUcharFn write_ = nullptr;
    DlPortLastErrorFn last_error_ = nullptr; // absent from third-party libraries
};

} // namespace port
