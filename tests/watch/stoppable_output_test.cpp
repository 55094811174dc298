// SPDX-License-Identifier: MIT
// The output's wait for room: a full pipe gives way to a stop request, a pipe with room or a
// regular file goes straight to the write.
#include "watch/stoppable_output.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <unistd.h>

using namespace core;
using namespace watch;

namespace {

struct CountingOutput final : RecordOutput {
    int flushes = 0;
    void write(std::string_view) override { }
    void flush() override { ++flushes; }
};

void fill(int fd)
{
    const std::string page(4096, 'x');
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    while (write(fd, page.data(), page.size()) > 0) { }
    ASSERT_EQ(errno, EAGAIN);
}

TEST(StoppableOutput, WaitsForRoomOnlyUntilAStop)
{
    struct Row {
        const char* what;
        bool regular_file;
        bool full;
        bool stopped; // expected: OutputStopped instead of a flush
    };
    const Row rows[] = {
        { "pipe with room", false, false, false },
        { "full pipe", false, true, true },
        { "regular file", true, false, false },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        int output[2];
        int stop[2];
        ASSERT_EQ(pipe(output), 0);
        ASSERT_EQ(pipe(stop), 0);
        std::FILE* file = row.regular_file ? std::tmpfile() : nullptr;
        const int fd = file != nullptr ? fileno(file) : output[1];
        if (row.full)
            fill(fd);
        // The stop is requested before the flush in every row.
        ASSERT_EQ(write(stop[1], "s", 1), 1);

        CountingOutput inner;
        StoppableOutput out(inner, fd, stop[0]);
        if (row.stopped) {
            EXPECT_THROW(out.flush(), OutputStopped);
            EXPECT_EQ(inner.flushes, 0);
        } else {
            out.flush();
            EXPECT_EQ(inner.flushes, 1);
        }
        if (file != nullptr)
            std::fclose(file);
        for (int d : { output[0], output[1], stop[0], stop[1] })
            close(d);
    }
}

} // namespace
