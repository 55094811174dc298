// SPDX-License-Identifier: MIT
// A record's JSON payload, made by the record's own JSONL writer.
#include "watch/record_json.h"

#include "core/record_writer.h"

using namespace core;

namespace watch {

RecordJson::RecordJson()
    : writer_(make_record_writer(RecordFormat::Jsonl, output_))
{
}

RecordJson::~RecordJson() = default;

std::string RecordJson::operator()(const RecordEntry& entry)
{
    writer_->add(entry);
    std::string line = output_.take();
    if (!line.empty() && line.back() == '\n')
        line.pop_back();
    return line;
}

} // namespace watch
