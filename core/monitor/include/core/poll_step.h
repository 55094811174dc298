// SPDX-License-Identifier: MIT
// The steps of one poll that do not touch a widget, shared by the window's tick and
// movanta-watch: write 255 when asked, read, out_value = 255 - byte, compare with last_value,
// record a change, umrechnen, last_value. Each front end only shows what it left in vars.
#pragma once

#include "core/algo_umrechnen.h"
#include "core/vars.h"

#include <array>
#include <cstdint>

namespace core {

// A value counts as changed only after `debounce` equal samples in a row (1: at once, as the
// window has it); a value that turns back before that is a glitch, counted and not recorded.
// With record_first, the first sample is recorded whatever last_value holds (movanta-watch's
// record starts with the value at start); the window records only a change from last_value.
class PollStep {
public:
    explicit PollStep(unsigned debounce = 1, bool record_first = false) noexcept
        : debounce_(debounce < 1 ? 1 : debounce)
        , first_(record_first)
    {
    }

    // Port: read() -> byte and write(byte), both throwing on failure; each may turn its port
    // text into a number afresh. Record: called with out_value when the value changed; it may
    // throw, and then last_value and bits keep what they had. Returns whether it recorded.
    template <typename Port, typename Record>
    bool operator()(Port& port, bool write_255, Record&& record)
    {
        if (write_255)
            port.write(255);
        const std::uint8_t byte = port.read();
        vars::out_value = static_cast<std::uint8_t>(255 - byte);
        const bool changed = settled(vars::out_value);
        if (changed) {
            record(vars::out_value);
            first_ = false;
        }
        split_bits();
        if (changed || debounce_ == 1)
            vars::last_value = vars::out_value;
        return changed;
    }

    [[nodiscard]] std::uint64_t glitches() const noexcept { return glitches_; }

private:
    // umrechnen only when out_value or bits differ from what its last call left: a steady
    // value free-running costs a byte and 16 bytes compared instead of eight floor() pairs.
    // Comparing bits too keeps anyone else's writes to them (vars::reset) from lasting.
    void split_bits()
    {
        if (split_ && vars::out_value == split_value_ && vars::bits == split_bits_)
            return;
        algo_umrechnen::umrechnen(vars::out_value);
        split_ = true;
        split_value_ = vars::out_value;
        split_bits_ = vars::bits;
    }

    // Whether value is a new value that has now been seen debounce_ times in a row.
    bool settled(std::uint8_t value) noexcept
    {
        if (first_)
            return true;
        if (value == vars::last_value) {
            if (seen_ > 0)
                ++glitches_;
            seen_ = 0;
            return false;
        }
        if (seen_ > 0 && value != candidate_)
            ++glitches_;
        if (seen_ == 0 || value != candidate_) {
            candidate_ = value;
            seen_ = 0;
        }
        if (++seen_ < debounce_)
            return false;
        seen_ = 0;
        return true;
    }

    unsigned debounce_;
    bool first_;
    unsigned seen_ = 0;
    std::uint8_t candidate_ = 0;
    std::uint64_t glitches_ = 0;
    bool split_ = false;
    std::uint8_t split_value_ = 0;
    std::array<truth, 8> split_bits_ {};
};

} // namespace core
