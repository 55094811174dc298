// SPDX-License-Identifier: MIT
// The record written to the output in one of the shared formats, each entry handed to the
// system as soon as it is written, so that a pipe sees it at once; a write that fails leaves
// the file with whole records only.
#pragma once

#include "record_sink.h"
#include "record_writer.h"
#include "whole_record_output.h"

#include <memory>
#include <string>
#include <system_error>
#include <utility>

class WriterSink final : public RecordSink {
public:
    // name: the output as the user knows it ("standard output", a file name), for failures.
    WriterSink(RecordFormat format, WholeRecordOutput& output, std::string name)
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
    std::unique_ptr<RecordWriter> writer_;
    std::string name_;
};
