// SPDX-License-Identifier: MIT
// Puts a movanta-watch run together and reports how it ended.
#include "watch/watch_program.h"

#include "core/record_fd_output.h"
#include "core/record_sink.h"
#include "mqtt_sink.h"
#include "watch/mqtt_ha_remove.h"
#include "watch/mqtt_options.h"
#include "watch/pulse_counters.h"
#include "watch/service_parts.h"
#include "watch/stop_signals.h"
#include "watch/stoppable_output.h"
#include "watch/watch_options.h"
#include "watch/whole_record_output.h"
#include "watch_run.h"
#include "writer_sink.h"

#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#ifdef _WIN32
#include <io.h>
#include <sys/stat.h>
#else
#include <unistd.h>
#endif

using namespace core;

namespace watch {

namespace {

void complain(const std::string& text)
{
    std::fprintf(stderr, "movanta-watch: %s\n", text.c_str());
}

// The output descriptor: standard output, or the file opened (created, emptied); -1 when it
// could not be opened, after saying why, or when a stop signal came while a FIFO waited for
// its reader (stopped is then set).
int open_output(const std::string& file_name, bool standard_output_closed, bool& stopped)
{
    if (file_name.empty() || file_name == "-") {
        if (!standard_output_closed)
            return STDOUT_FILENO;
        complain("standard output: " + std::string(std::strerror(EBADF)));
        return -1;
    }
#ifdef _WIN32
    // No FIFO waits for a reader here. Binary: the records' bytes as on Linux.
    (void)stopped;
    const int fd = _open(file_name.c_str(),
        _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
    if (fd >= 0)
        return fd;
#else
    constexpr int flags = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC;
    // Without waiting first: a file is there however early a stop signal comes. Only a FIFO
    // without a reader refuses that (ENXIO); its wait for a reader is then a stop signal's to
    // end.
    int fd = open(file_name.c_str(), flags | O_NONBLOCK, 0666);
    if (fd >= 0) {
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        return fd;
    }
    if (errno == ENXIO) {
        catch_stop_signals_early();
        if (!stop_signal_caught())
            fd = open(file_name.c_str(), flags, 0666);
        stopped = stop_signal_caught();
        if (fd >= 0 || stopped)
            return fd;
    }
#endif
    const int error = errno; // before anything else can change it
    complain("cannot open " + file_name + ": " + std::strerror(error));
    return -1;
}

// The publisher's settings when --mqtt asks for one; nullopt when not. A setting that cannot
// work is said on standard error and sets status 2, before a file or the port is touched.
std::optional<MqttSettings> publisher_settings(const WatchOptions& options, int& status)
{
    if (!options.mqtt.broker)
        return std::nullopt;
    try {
        std::string warning;
        MqttSettings settings = mqtt_settings(options.mqtt, options.port, host_name(), warning);
        if (!warning.empty())
            complain("warning: " + warning);
        return settings;
    } catch (const std::exception& error) {
        complain(error.what());
        status = 2;
        return std::nullopt;
    }
}

std::unique_ptr<MqttPublisher> start_publisher(
    MqttSettings settings, StopSignals& stop, int& status)
{
    try {
        // The run waits on the stop signals: a refused login ends it as a stop does, through
        // the run's own channel, whatever the signals' action.
        return std::make_unique<MqttPublisher>(
            std::move(settings), [](const std::string& line) { complain(line); },
            [&stop] { stop.request(); });
    } catch (const std::exception& error) {
        complain(error.what());
        status = 2;
        return nullptr;
    }
}

// The program after its command line; left_behind as WatchResult has it.
int run_program(const WatchOptions& options, bool standard_output_closed, bool& left_behind)
{
    int status = 0;
    std::optional<MqttSettings> settings = publisher_settings(options, status);
    if (status != 0)
        return status;
    // Only the broker: the port is not touched.
    if (options.mqtt.ha_remove)
        return remove_ha_discovery(*settings, [](const std::string& line) { complain(line); });
    // Counters file and the first turning file: refused before the output or the port is touched.
    const std::unique_ptr<ServiceParts> service
        = ServiceParts::prepare(options, [](const std::string& line) { complain(line); });
    if (!service)
        return 1;
    // With --mqtt, standard output stays silent unless -o names it or a file; turning files
    // are the service's.
    const bool to_output = (!settings || !options.output.empty()) && !options.rotating();
    // Opening a FIFO waits for a reader: a stop signal then ends the wait, and the program with
    // status 0.
    bool stopped = false;
    const int fd = to_output ? open_output(options.output, standard_output_closed, stopped) : -1;
    if (to_output && fd == -1)
        return stopped ? 0 : 1;
    // Blocked before the publisher starts its thread, so that every thread leaves them to us.
    StopSignals stop;
    const std::unique_ptr<MqttPublisher> publisher
        = settings ? start_publisher(std::move(*settings), stop, status) : nullptr;
    if (status != 0) {
        if (fd >= 0 && fd != STDOUT_FILENO)
            close(fd);
        return status;
    }

    service->start([&publisher] { return publisher ? publisher->waiting() : std::size_t { 0 }; });
    if (publisher) {
        service->pulse_counters().report_to([&publisher](const PulseCounters::Totals& totals) {
            publisher->publish_counts(totals);
        });
    }
    if (const auto warning = service->watchdog_warning(options.interval_ns))
        complain(*warning);

    {
        FdRecordOutput fd_output(fd);
        StoppableOutput stoppable(fd_output, fd, stop.fd());
        WholeRecordOutput output(stoppable, fd);
        std::optional<WriterSink> writer;
        std::optional<MqttSink> mqtt;
        std::vector<RecordSink*> sinks { service->counters() };
        if (RecordSink* rotating = service->rotating())
            sinks.push_back(rotating);
        if (to_output)
            sinks.push_back(&writer.emplace(options.format, output,
                fd == STDOUT_FILENO ? std::string("standard output") : options.output));
        if (publisher)
            sinks.push_back(&mqtt.emplace(*publisher));
        if (RecordSink* exec = service->exec())
            sinks.push_back(exec);
        const WatchResult result = run_watch(options, sinks, stop, fd, service->hooks());
        left_behind = result.left_behind;
        const bool service_closed = service->close();

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
        case WatchEnd::OutputFailed:
            complain(result.reason);
            status = 1;
            break;
        }
        if (publisher) {
            // A refused login stopped the run: the reason, not a quiet stop.
            publisher->stop();
            if (const auto refusal = publisher->refusal()) {
                complain(*refusal);
                status = 1;
            }
        }
        if (!service_closed)
            status = 1;
        if (options.stats)
            std::fprintf(stderr, "%s%s\n", stats_line(result.stats).c_str(),
                service->stats_suffix().c_str());
    }
    if (fd >= 0 && fd != STDOUT_FILENO && close(fd) == -1 && status == 0) {
        const int error = errno;
        complain(options.output + ": " + std::strerror(error));
        status = 1;
    }
    return status;
}

} // namespace

int run_watch_program(const WatchOptions& options, bool standard_output_closed)
{
    bool left_behind = false;
    const int status = run_program(options, standard_output_closed, left_behind);
    if (left_behind) {
        // A driver call that has not returned still runs on the poll thread: nothing it may
        // touch is torn down, and the process ends here.
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}

} // namespace watch
