// SPDX-License-Identifier: MIT
// The record as a Value Change Dump: eight 1-bit wires, one time block per entry.
#include "core/record_output.h"
#include "core/record_time_text.h"
#include "core/record_writer_kinds.h"

#include <string>

namespace core {

namespace {

using namespace record_text;

// Scalar wires only: Debian 12's sigrok reads no vector variables at all.
constexpr std::string_view header_tail = "$version Movanta $end\n"
                                         "$timescale 1 us $end\n"
                                         "$scope module movanta $end\n"
                                         "$var wire 1 a bit0 $end\n"
                                         "$var wire 1 b bit1 $end\n"
                                         "$var wire 1 c bit2 $end\n"
                                         "$var wire 1 d bit3 $end\n"
                                         "$var wire 1 e bit4 $end\n"
                                         "$var wire 1 f bit5 $end\n"
                                         "$var wire 1 g bit6 $end\n"
                                         "$var wire 1 h bit7 $end\n"
                                         "$upscope $end\n"
                                         "$enddefinitions $end\n";

// VCD time must rise strictly, the record's need not: two entries may share a microsecond,
// and a run started after the wall clock was set back begins before the last one ended.
// An entry at or before the previous one's VCD time goes 1 us after it; a step back in the
// record's time also moves every later entry by as much, so that the new run keeps its own
// spacing. Everywhere else the VCD time is the microseconds since the first entry; the CSV
// keeps the true times.
class VcdWriter final : public RecordWriter {
public:
    explicit VcdWriter(RecordOutput& output)
        : output_(output)
    {
    }

    void add(const RecordEntry& entry) override
    {
        // A time and eight value changes.
        char block[64];
        char* at = block;
        if (!started_) {
            write_header(&entry);
            first_us_ = entry.time_us;
            at = put(at, "#0\n");
            at = put_changes(at, entry.value, static_cast<std::uint8_t>(~entry.value));
        } else {
            std::int64_t t = entry.time_us - first_us_ + shift_us_;
            if (entry.time_us < last_entry_us_) {
                shift_us_ += vcd_now_ + 1 - t;
                t = vcd_now_ + 1;
            } else if (t <= vcd_now_) {
                t = vcd_now_ + 1;
            }
            vcd_now_ = t;
            *at++ = '#';
            at = put_number(at, t);
            *at++ = '\n';
            at = put_changes(at, entry.value, last_value_);
        }
        last_value_ = entry.value;
        last_entry_us_ = entry.time_us;
        output_.write({ block, static_cast<std::size_t>(at - block) });
    }

    void finish() override
    {
        if (!started_) {
            write_header(nullptr);
        } else {
            // sigrok takes the samples up to the last time it reads.
            char end[24];
            char* at = end;
            *at++ = '#';
            at = put_number(at, vcd_now_ + 1);
            *at++ = '\n';
            output_.write({ end, static_cast<std::size_t>(at - end) });
        }
        output_.flush();
    }

private:
    void write_header(const RecordEntry* first)
    {
        started_ = true;
        if (first) {
            std::string date = "$date ";
            date += IsoTimeText()(first->time_us);
            date += " $end\n";
            output_.write(date);
        }
        output_.write(header_tail);
    }

    // "0a" … "1h" for each bit that differs between value and before.
    static char* put_changes(char* at, std::uint8_t value, std::uint8_t before) noexcept
    {
        const auto changed = static_cast<std::uint8_t>(value ^ before);
        for (int bit = 0; bit < 8; ++bit) {
            if (!((changed >> bit) & 1))
                continue;
            *at++ = (value >> bit) & 1 ? '1' : '0';
            *at++ = static_cast<char>('a' + bit);
            *at++ = '\n';
        }
        return at;
    }

    RecordOutput& output_;
    std::int64_t first_us_ = 0;
    std::int64_t last_entry_us_ = 0;
    std::int64_t shift_us_ = 0;
    std::int64_t vcd_now_ = 0;
    std::uint8_t last_value_ = 0;
    bool started_ = false;
};

} // namespace

std::unique_ptr<RecordWriter> make_vcd_writer(RecordOutput& output)
{
    return std::make_unique<VcdWriter>(output);
}

} // namespace core
