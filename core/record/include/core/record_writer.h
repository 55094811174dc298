// SPDX-License-Identifier: MIT
// The record's file formats, written as a stream: an entry at a time, nothing of the whole
// file held in memory. The window's save and movanta-watch use these same writers.
#pragma once

#include "core/record_entry.h"

#include <memory>
#include <optional>
#include <string_view>

namespace core {

class RecordOutput;

enum class RecordFormat {
    Csv, // RFC 4180: time,elapsed_us,value,byte,bits
    Vcd, // eight 1-bit wires bit0..bit7 at 1 us
    Plain, // the entries as shown, one per line (the window's "Text (*.txt)")
    Text, // one readable line per entry: time, value, byte, bits (movanta-watch's default)
    Jsonl, // one JSON object per line with the CSV's columns as keys
};

class RecordWriter {
public:
    virtual ~RecordWriter() = default;
    // Entries come in list order; a header goes out with the first one.
    virtual void add(const RecordEntry& entry) = 0;
    // Writes what closes the file (VCD: a time one microsecond after the last entry) and
    // flushes. An empty record still gets its header where the format has one.
    virtual void finish() = 0;
};

[[nodiscard]] std::unique_ptr<RecordWriter> make_record_writer(
    RecordFormat format, RecordOutput& output);

// "csv", "vcd", "txt" (Plain) by a file name's extension, any case; nullopt for others.
[[nodiscard]] std::optional<RecordFormat> record_format_for_file(std::string_view file_name);

} // namespace core
