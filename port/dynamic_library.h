// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace port {

// The platform's library loader, kept to these three calls.
namespace dynamic_library {

// The driver library's file name on this platform, found through the system's ordinary search.
[[nodiscard]] const char* driver_file_name() noexcept;

// Loads the library and keeps it loaded for the rest of the run (there is no unload).
// Returns nullptr and sets reason to what the system said when it can't be loaded.
[[nodiscard]] void* load(const std::string& file_name, std::string& reason);

// The address of an exported function, or nullptr.
[[nodiscard]] void* symbol(void* library, const char* name) noexcept;

} // namespace dynamic_library

} // namespace port
