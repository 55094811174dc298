// SPDX-License-Identifier: MIT
// The record written to the output in one of the shared formats, each entry handed to the
// system as soon as it is written, so that a pipe sees it at once; a write that fails leaves
// the file with whole records only.
#pragma once

#include "core/record_sink.h"
#include "core/record_writer.h"
#include "watch/whole_record_output.h"

#include <memory>
#include <string>
#include <system_error>
#include <utility>

namespace watch {

class WriterSink final : public core::RecordSink {
public:
    // name: the output as the user knows it ("standard output", a file name), for failures.
    WriterSink(core::RecordFormat format, WholeRecordOutput& output, std::string name)
        : output_(output)
        , writer_(core::make_record_writer(format, output))
        , name_(std::move(name))
    {
    }

    void add(const core::RecordEntry& entry) override
    {
        try {
            writer_->add(entry);
            output_.flush();
            output_.mark_whole();
        } catch (const std::system_error& error) {
            output_.cut_back();
            throw std::system_error(error.code(), name_);
        } catch (...) {
            output_.cut_back();
            throw;
        }
    }

    void finish() override
    {
        try {
            writer_->finish();
            output_.mark_whole();
        } catch (const std::system_error& error) {
            output_.cut_back();
            throw std::system_error(error.code(), name_);
        } catch (...) {
            output_.cut_back();
            throw;
        }
    }

private:
    WholeRecordOutput& output_;
    std::unique_ptr<core::RecordWriter> writer_;
    std::string name_;
};

} // namespace watch
