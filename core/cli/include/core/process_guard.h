// SPDX-License-Identifier: MIT
// What every program of ours does first in main, before it opens any file.
#pragma once

namespace core {

namespace process_guard {

// Opens /dev/null onto standard input, output and error where they are closed: a file opened
// later (a Qt program's X connection) would otherwise land in that slot and take stray output.
void ensure_standard_descriptors() noexcept;

// A write to a pipe whose reader has gone then fails with EPIPE instead of killing us.
void ignore_sigpipe() noexcept;

// nullptr when the process runs with the user's own privileges; otherwise why it does not,
// to follow "refusing to run " ("setuid or setgid", "with raised privileges (...)").
[[nodiscard]] const char* raised_privileges() noexcept;

} // namespace process_guard

} // namespace core
