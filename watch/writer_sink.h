// SPDX-License-Identifier: MIT
// The record written to the output in one of the shared formats, each entry handed to the
// system as soon as it is written, so that a pipe sees it at once.
#pragma once

#include "record_output.h"
#include "record_sink.h"
#include "record_writer.h"

#include <memory>

class WriterSink final : public RecordSink {
public:
    WriterSink(RecordFormat format, RecordOutput& output)
        : output_(output)
        , writer_(make_record_writer(format, output))
    {
    }

    void add(const RecordEntry& entry) override
    {
        writer_->add(entry);
        output_.flush();
    }

    void finish() override { writer_->finish(); }

private:
    RecordOutput& output_;
    std::unique_ptr<RecordWriter> writer_;
};
