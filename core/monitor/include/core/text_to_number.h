// SPDX-License-Identifier: MIT
#pragma once

#include <string_view>

namespace core {

// The numeric text rule of the port and interval boxes.
//
// Blanks, tabs and line feeds anywhere in the text are ignored. Then: an optional
// sign, decimal digits with at most one period, an optional exponent (E or D in
// either case, an optional sign, digits); reading stops at the first character that
// does not fit. "&H" or "&O" (either case) at the start reads hexadecimal or octal
// digits instead. A text without a leading number gives 0. The result is the
// correctly rounded double of the digits read; too large a number gives an infinity.
//
// Independent of the locale: a comma is never a decimal point, and only the ASCII
// digits count as digits. The text is taken as bytes (UTF-8 from the window).
[[nodiscard]] double text_to_number(std::string_view text);

} // namespace core
