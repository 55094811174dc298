// SPDX-License-Identifier: MIT
// The record formats of one line per entry: CSV, the list's text, the watcher's readable
// lines and JSON Lines.
#include "core/record_output.h"
#include "core/record_time_text.h"
#include "core/record_writer_kinds.h"

namespace core {

namespace {

using namespace record_text;

constexpr std::string_view csv_header = "time,elapsed_us,value,byte,bits\n";

class LineWriter final : public RecordWriter {
public:
    LineWriter(RecordFormat format, RecordOutput& output)
        : format_(format)
        , output_(output)
    {
    }

    void add(const RecordEntry& entry) override
    {
        if (!started_) {
            start();
            first_us_ = entry.time_us;
        }
        // The longest line, JSON's, takes 119 characters with its line end.
        char line[160];
        char* at = line;
        const auto byte = static_cast<std::uint8_t>(255 - entry.value);
        switch (format_) {
        case RecordFormat::Csv:
            at = put(at, time_text_(entry.time_us));
            *at++ = ',';
            at = put_number(at, entry.time_us - first_us_);
            *at++ = ',';
            at = put_number(at, entry.value);
            *at++ = ',';
            at = put_number(at, byte);
            *at++ = ',';
            at = put_bits(at, entry.value);
            break;
        case RecordFormat::Text:
            at = put(at, time_text_(entry.time_us));
            at = put(at, " value=");
            at = put_number(at, entry.value);
            at = put(at, " byte=");
            at = put_number(at, byte);
            at = put(at, " bits=");
            at = put_bits(at, entry.value);
            break;
        case RecordFormat::Jsonl:
            at = put(at, R"({"time":")");
            at = put(at, time_text_(entry.time_us));
            at = put(at, R"(","elapsed_us":)");
            at = put_number(at, entry.time_us - first_us_);
            at = put(at, R"(,"value":)");
            at = put_number(at, entry.value);
            at = put(at, R"(,"byte":)");
            at = put_number(at, byte);
            at = put(at, R"(,"bits":")");
            at = put_bits(at, entry.value);
            at = put(at, R"("})");
            break;
        case RecordFormat::Plain:
        case RecordFormat::Vcd:
            at = put_number(at, entry.value);
            break;
        }
        *at++ = '\n';
        output_.write({ line, static_cast<std::size_t>(at - line) });
    }

    void finish() override
    {
        if (!started_)
            start();
        output_.flush();
    }

private:
    void start()
    {
        started_ = true;
        if (format_ == RecordFormat::Csv)
            output_.write(csv_header);
    }

    RecordFormat format_;
    RecordOutput& output_;
    IsoTimeText time_text_;
    std::int64_t first_us_ = 0;
    bool started_ = false;
};

} // namespace

std::unique_ptr<RecordWriter> make_line_writer(RecordFormat format, RecordOutput& output)
{
    return std::make_unique<LineWriter>(format, output);
}

} // namespace core
