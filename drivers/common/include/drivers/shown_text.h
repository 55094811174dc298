// SPDX-License-Identifier: MIT
// Text from outside (a ports file, a chip's label, a path) made safe to put in a message.
#pragma once

#include <string>
#include <string_view>

namespace drivers {

namespace shown_text {

// About a line's worth: a 1 MB label must not make a 1 MB message.
inline constexpr std::size_t most_characters = 200;

// The text as a terminal should get it: control characters (NUL included), C1 controls, the
// bidirectional controls that would reorder the rest of the line, and bytes that are not
// UTF-8 are written as \xNN or \u{NNNN}, a backslash as \\; cut after most_characters
// characters of what is shown, with "…".
[[nodiscard]] std::string plain(std::string_view text);

// The same in single quotes, for text quoted inside a sentence: 'gpiochip0'.
[[nodiscard]] std::string quoted(std::string_view text);

} // namespace shown_text

} // namespace drivers
