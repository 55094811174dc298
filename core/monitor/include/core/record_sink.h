// SPDX-License-Identifier: MIT
// What receives the records of a polling run: the window's change record, the watcher's output
// writer, and whatever else is added beside them. Each gets every entry in order, between one
// start() and one finish().
#pragma once

#include "core/record_entry.h"

namespace core {

class RecordSink {
public:
    virtual ~RecordSink() = default;
    // Before the first poll. May throw: the run then ends before touching the port.
    virtual void start() { }
    // Every failure throws an exception whose what() is the line to show ("FILE: reason");
    // a std::system_error with EPIPE ends the run quietly.
    virtual void add(const RecordEntry& entry) = 0;
    // Once at the end, also after a failure, unless the output's reader has gone.
    virtual void finish() { }
};

} // namespace core
