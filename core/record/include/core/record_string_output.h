// SPDX-License-Identifier: MIT
// A record output into a string: for a clipboard, a message payload or a test.
#pragma once

#include "core/record_output.h"

#include <string>

namespace core {

class StringRecordOutput final : public RecordOutput {
public:
    void write(std::string_view bytes) override { text_ += bytes; }
    void flush() override { }

    [[nodiscard]] const std::string& text() const noexcept { return text_; }
    [[nodiscard]] std::string take() noexcept { return std::move(text_); }

private:
    std::string text_;
};

} // namespace core
