// SPDX-License-Identifier: MIT
// UTF-8 (the core's text) to UTF-16 (Windows' text) and back.
#pragma once

#include <string>
#include <string_view>

namespace win32 {

[[nodiscard]] std::wstring widen(std::string_view utf8);
[[nodiscard]] std::string narrow(std::wstring_view utf16);

} // namespace win32
