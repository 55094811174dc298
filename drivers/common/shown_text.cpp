// SPDX-License-Identifier: MIT
// Escaping and shortening outside text for messages.
#include "drivers/shown_text.h"

#include <cstdint>
#include <cstdio>

namespace drivers {

namespace {

// The length of the UTF-8 sequence at the start of text and its code point, or 0 when the
// first byte starts none (a stray, overlong or cut-off sequence, or a surrogate).
std::size_t utf8_sequence(std::string_view text, char32_t& code)
{
    const auto byte = [&](std::size_t at) { return static_cast<std::uint8_t>(text[at]); };
    const std::uint8_t first = byte(0);
    std::size_t length = 0;
    char32_t lowest = 0;
    if (first < 0x80) {
        code = first;
        return 1;
    }
    if (first >= 0xC2 && first <= 0xDF) {
        length = 2;
        code = first & 0x1Fu;
        lowest = 0x80;
    } else if (first >= 0xE0 && first <= 0xEF) {
        length = 3;
        code = first & 0x0Fu;
        lowest = 0x800;
    } else if (first >= 0xF0 && first <= 0xF4) {
        length = 4;
        code = first & 0x07u;
        lowest = 0x10000;
    } else {
        return 0;
    }
    if (text.size() < length)
        return 0;
    for (std::size_t at = 1; at < length; ++at) {
        if ((byte(at) & 0xC0u) != 0x80u)
            return 0;
        code = code << 6 | (byte(at) & 0x3Fu);
    }
    if (code < lowest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

// Controls a terminal acts on, and the marks, embeddings, overrides and isolates that turn
// the direction of what follows (U+202E shows the rest of the line backwards).
bool needs_escape(char32_t code)
{
    return code < 0x20 || (code >= 0x7F && code <= 0x9F) || code == 0x061C || code == 0x200E
        || code == 0x200F || (code >= 0x2028 && code <= 0x202E)
        || (code >= 0x2066 && code <= 0x2069);
}

} // namespace

namespace shown_text {

std::string plain(std::string_view text)
{
    std::string shown;
    std::size_t characters = 0;
    while (!text.empty()) {
        char32_t code = 0;
        std::size_t length = utf8_sequence(text, code);
        char escaped[16] = {};
        if (length == 0) {
            length = 1;
            std::snprintf(escaped, sizeof escaped, "\\x%02X", unsigned(std::uint8_t(text[0])));
        } else if (code == '\\') {
            std::snprintf(escaped, sizeof escaped, "\\\\");
        } else if (code < 0x80 && needs_escape(code)) {
            std::snprintf(escaped, sizeof escaped, "\\x%02X", unsigned(code));
        } else if (needs_escape(code)) {
            std::snprintf(escaped, sizeof escaped, "\\u{%04X}", unsigned(code));
        }
        const std::string_view piece
            = escaped[0] != '\0' ? std::string_view(escaped) : text.substr(0, length);
        const std::size_t width = escaped[0] != '\0' ? piece.size() : 1;
        if (characters + width > most_characters)
            return shown + "\u2026";
        shown += piece;
        characters += width;
        text.remove_prefix(length);
    }
    return shown;
}

std::string quoted(std::string_view text) { return "'" + plain(text) + "'"; }

} // namespace shown_text

} // namespace drivers
