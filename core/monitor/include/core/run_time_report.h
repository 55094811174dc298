// SPDX-License-Identifier: MIT
// The text of the run-time error report, the same in every window: "Laufzeitfehler 'N':" and
// the error's own text, in UTF-8.
#pragma once

#include <exception>
#include <string>

namespace core {

// The number the report gives an error: RuntimeError's own, 7 for running out of memory,
// 0 for any other.
[[nodiscard]] int run_time_error_number(const std::exception& error) noexcept;

// E.g. "Laufzeitfehler '6':\n\nÜberlauf".
[[nodiscard]] std::string run_time_report_text(const std::exception& error);

} // namespace core
