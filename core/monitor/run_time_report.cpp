// SPDX-License-Identifier: MIT
// The run-time error report's number and text.
#include "core/run_time_report.h"

#include "core/runtime_error.h"

#include <new>

namespace core {

int run_time_error_number(const std::exception& error) noexcept
{
    if (const auto* runtime = dynamic_cast<const RuntimeError*>(&error))
        return runtime->number();
    if (dynamic_cast<const std::bad_alloc*>(&error))
        return 7; // out of memory
    return 0;
}

std::string run_time_report_text(const std::exception& error)
{
    const char* message = dynamic_cast<const std::bad_alloc*>(&error) != nullptr
        ? "Nicht genügend Speicher"
        : error.what();
    return "Laufzeitfehler '" + std::to_string(run_time_error_number(error)) + "':\n\n" + message;
}

} // namespace core
