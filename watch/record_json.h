// SPDX-License-Identifier: MIT
// A record as the JSON object of the record's JSONL format, one message's payload at a time.
#pragma once

#include "record_entry.h"
#include "record_string_output.h"

#include <memory>
#include <string>

class RecordWriter;

class RecordJson {
public:
    RecordJson();
    ~RecordJson();
    RecordJson(const RecordJson&) = delete;
    RecordJson& operator=(const RecordJson&) = delete;

    // Entries in record order: the writer counts elapsed_us from the first one.
    [[nodiscard]] std::string operator()(const RecordEntry& entry);

private:
    StringRecordOutput output_;
    std::unique_ptr<RecordWriter> writer_;
};
