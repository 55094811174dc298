// SPDX-License-Identifier: MIT
// The output of a run, waiting for room in a pipe, socket or terminal only while no stop is
// requested: a reader that stops reading must not keep SIGTERM from ending the program, and
// the stop signals are blocked (taken by a signalfd) while a write waits.
#pragma once

#include "core/record_output.h"

#include <exception>

namespace watch {

// Thrown when a stop was requested while the output had no room.
class OutputStopped : public std::exception {
public:
    [[nodiscard]] const char* what() const noexcept override
    {
        return "stopped while the output was full";
    }
};

class StoppableOutput final : public core::RecordOutput {
public:
    // Bytes go to inner, whose descriptor is fd; stop_fd becomes readable on a stop request.
    StoppableOutput(core::RecordOutput& inner, int fd, int stop_fd) noexcept;

    void write(std::string_view bytes) override { inner_.write(bytes); }
    // Waits until fd has room or a stop is requested (then throws OutputStopped).
    void flush() override;

private:
    core::RecordOutput& inner_;
    int fd_;
    int stop_fd_;
    bool may_block_; // a regular file or a disk never keeps a write waiting for a reader
};

} // namespace watch
