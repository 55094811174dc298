// SPDX-License-Identifier: MIT
// The record written to the output in one of the shared formats, each entry handed to the
// system as soon as it is written, so that a pipe sees it at once.
#pragma once

#include "record_output.h"
#include "record_sink.h"
#include "record_writer.h"

#include <memory>
#include <string>
#include <system_error>
#include <utility>

class WriterSink final : public RecordSink {
public:
    // name: the output as the user knows it ("standard output", a file name), for failures.
    WriterSink(RecordFormat format, RecordOutput& output, std::string name)
        : output_(output)
        , writer_(make_record_writer(format, output))
        , name_(std::move(name))
    {
    }

    void add(const RecordEntry& entry) override
    {
        try {
            writer_->add(entry);
            output_.flush();
        } catch (const std::system_error& error) {
            throw std::system_error(error.code(), name_);
        }
    }

    void finish() override
    {
        try {
            writer_->finish();
        } catch (const std::system_error& error) {
            throw std::system_error(error.code(), name_);
        }
    }

private:
    RecordOutput& output_;
    std::unique_ptr<RecordWriter> writer_;
    std::string name_;
};
