// SPDX-License-Identifier: MIT
// Puts a movanta-watch run together and reports how it ended.
#include "watch_program.h"

#include "record_fd_output.h"
#include "record_sink.h"
#include "stop_signals.h"
#include "watch_options.h"
#include "watch_run.h"
#include "writer_sink.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

void complain(const std::string& text)
{
    std::fprintf(stderr, "movanta-watch: %s\n", text.c_str());
}

// The output descriptor: standard output, or the file opened (created, emptied); -1 when it
// could not be opened, after saying why.
int open_output(const std::string& file_name)
{
    if (file_name.empty())
        return STDOUT_FILENO;
    const int fd = open(file_name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd == -1)
        complain("cannot open " + file_name + ": " + std::strerror(errno));
    return fd;
}

} // namespace

int run_watch_program(const WatchOptions& options)
{
    // Blocked before anything else can start a thread, so that every thread leaves them to us.
    StopSignals stop;
    const int fd = open_output(options.output);
    if (fd == -1)
        return 1;

    int status = 0;
    {
        FdRecordOutput output(fd);
        WriterSink writer(options.format, output);
        const std::vector<RecordSink*> sinks { &writer };
        const WatchResult result = run_watch(options, sinks, stop, fd);

        switch (result.end) {
        case WatchEnd::Done:
        case WatchEnd::Stopped:
        case WatchEnd::ReaderGone:
            break;
        case WatchEnd::Timeout:
            complain("timed out");
            status = 3;
            break;
        case WatchEnd::PortFailed:
            complain(result.reason);
            status = 1;
            break;
        case WatchEnd::OutputFailed:
            complain((options.output.empty() ? std::string("standard output") : options.output)
                + ": " + result.reason);
            status = 1;
            break;
        }
        if (options.stats)
            std::fprintf(stderr, "%s\n", stats_line(result.stats).c_str());
    }
    if (fd != STDOUT_FILENO && close(fd) == -1 && status == 0) {
        complain(options.output + ": " + std::strerror(errno));
        status = 1;
    }
    return status;
}
