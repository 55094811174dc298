// SPDX-License-Identifier: MIT
// A record as the JSON object of the record's JSONL format, one message's payload at a time.
#pragma once

#include "core/record_entry.h"
#include "core/record_string_output.h"

#include <memory>
#include <string>

namespace core { class RecordWriter; }

namespace watch {

class RecordJson {
public:
    RecordJson();
    ~RecordJson();
    RecordJson(const RecordJson&) = delete;
    RecordJson& operator=(const RecordJson&) = delete;

    // Entries in record order: the writer counts elapsed_us from the first one.
    [[nodiscard]] std::string operator()(const core::RecordEntry& entry);

private:
    core::StringRecordOutput output_;
    std::unique_ptr<core::RecordWriter> writer_;
};

} // namespace watch
