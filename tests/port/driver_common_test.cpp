// SPDX-License-Identifier: MIT
// What every driver shares: outside text made safe for a terminal, and no exception leaving
// an entry point.
#include "drivers/driver_status.h"
#include "drivers/shown_text.h"
#include "port/dlportio.h"

#include <functional>
#include <gtest/gtest.h>
#include <new>
#include <stdexcept>
#include <string>

using namespace drivers;

namespace {

std::string repeated(const std::string& piece, int times)
{
    std::string text;
    for (int i = 0; i < times; ++i)
        text += piece;
    return text;
}

TEST(ShownText, ControlAndDirectionCharactersAreEscapedAndLongTextIsCut)
{
    using namespace std::string_literals;
    const std::string ellipsis = "\u2026";
    struct Row {
        std::string text;
        std::string shown;
    };
    const Row rows[] = {
        { "gpiochip0", "gpiochip0" },
        { "Grüße – ☃ 𝄞", "Grüße – ☃ 𝄞" }, // printable UTF-8 stays as it is
        { "a\0b"s, "a\\x00b" }, // a NUL no longer ends the message
        { "\x1b[2J\r\n\t\x7f", "\\x1B[2J\\x0D\\x0A\\x09\\x7F" },
        { "a\u202Eb\u2066c\u200Fd\u061Ce", "a\\u{202E}b\\u{2066}c\\u{200F}d\\u{061C}e" },
        { "\u0085\u009B\u2028", "\\u{0085}\\u{009B}\\u{2028}" }, // C1 controls, line separator
        { "caf\xe9 \xc0\xaf \xed\xa0\x80 \xe2\x82",
            "caf\\xE9 \\xC0\\xAF \\xED\\xA0\\x80 \\xE2\\x82" },
        { "C:\\new", "C:\\\\new" },
        { std::string(200, 'x'), std::string(200, 'x') },
        { std::string(201, 'x'), std::string(200, 'x') + ellipsis },
        { std::string(199, 'x') + "\u00e9\u00e9", std::string(199, 'x') + "\u00e9" + ellipsis },
        // An escape is never cut in two: it counts as the characters it shows.
        { std::string(198, 'x') + "\x01", std::string(198, 'x') + ellipsis },
        { std::string(100, '\0'), repeated("\\x00", 50) + ellipsis },
    };
    for (const Row& row : rows) {
        EXPECT_EQ(shown_text::plain(row.text), row.shown) << row.shown;
        EXPECT_EQ(shown_text::quoted(row.text), "'" + row.shown + "'") << row.shown;
    }
}

TEST(DriverStatus, AnExceptionIsTheCallsFailureAndNeverLeavesIt)
{
    struct Row {
        const char* what;
        std::function<bool(std::string&)> body;
        const char* reason; // nullptr: the call succeeded
    };
    const Row rows[] = {
        { "success", [](std::string&) { return true; }, nullptr },
        { "failure with a reason",
            [](std::string& reason) {
                reason = "/dev/port: Permission denied";
                return false;
            },
            "/dev/port: Permission denied" },
        { "a runtime error",
            [](std::string&) -> bool { throw std::runtime_error("/proc: Input/output error"); },
            "/proc: Input/output error" },
        { "memory running out", [](std::string&) -> bool { throw std::bad_alloc(); },
            "std::bad_alloc" },
        { "something that is no exception", [](std::string&) -> bool { throw 42; },
            "the driver failed for a reason it cannot name" },
    };
    for (const Row& row : rows) {
        EXPECT_EQ(driver_status::run(row.body), row.reason == nullptr) << row.what;
        const char* reason = DlPortLastError();
        EXPECT_EQ(reason == nullptr ? std::string("(none)") : std::string(reason),
            row.reason == nullptr ? std::string("(none)") : std::string(row.reason))
            << row.what;
    }
}

} // namespace
