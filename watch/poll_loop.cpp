// SPDX-License-Identifier: MIT
// The poll loop of movanta-watch.
#include "poll_loop.h"

#include "core/record_clock.h"
#include "port/port_binding.h"
#include "port/port_io.h"
#include "watch/pacer.h"

using namespace core;
using namespace port;

namespace watch {

namespace {

// Free-running, the clock and the stop and output descriptors are looked at once per this
// many samples (about 1 ms on the simulator): the samples themselves take no clock. The end
// asked for by the waiting thread is a flag, looked at after every sample.
constexpr std::uint64_t free_running_check_every = 4096;

} // namespace

struct PollLoop::WatchPort {
    PortBinding& driver;
    std::int32_t port;
    [[nodiscard]] std::uint8_t read() const { return driver.read(port); }
    void write(std::uint8_t value) const { driver.write(port, value); }
};

namespace {

PollLoop::End end_for(Pacer::Wake wake)
{
    switch (wake) {
    case Pacer::Wake::Stop:
        return PollLoop::End::Stopped;
    case Pacer::Wake::ReaderGone:
        return PollLoop::End::ReaderGone;
    case Pacer::Wake::Deadline:
        return PollLoop::End::Deadline;
    case Pacer::Wake::Poll:
        break;
    }
    return PollLoop::End::Done;
}

} // namespace

PollLoop::PollLoop(const WatchOptions& options, SinkGate& gate, int stop_fd, int output_fd)
    : options_(options)
    , gate_(gate)
    , binding_(port_io::binding())
    , run_(options.debounce, true)
    , stop_fd_(stop_fd)
    , output_fd_(output_fd)
{
    run_.set_sinks({ &gate_ });
}

void PollLoop::start() noexcept
{
    run_.start();
    start_ns_ = monotonic_ns();
    if (options_.timeout_ns > 0)
        deadline_ns_ = start_ns_ + options_.timeout_ns;
}

PollLoop::End PollLoop::run() { return options_.interval_ns == 0 ? free_running() : paced(); }

WatchStats PollLoop::stats(std::int64_t stopped_ns) const noexcept
{
    return { samples_.get(), records_.get(), late_.get(), glitches_.get(),
        stopped_ns - start_ns_ };
}

bool PollLoop::sample()
{
    WatchPort port { binding_, options_.port };
    const bool recorded = run_.tick(port, options_.write_255);
    samples_.add();
    glitches_.set(run_.glitches());
    const std::uint8_t value = vars::out_value;
    gate_.polled(value, recorded);
    if (!recorded)
        return false;
    records_.add();
    return (options_.count != 0 && records_.get() >= options_.count)
        || (options_.until && (value & options_.until->mask) == options_.until->value);
}

PollLoop::End PollLoop::free_running()
{
    for (;;) {
        if (sample())
            return End::Done;
        if (ended_.load(std::memory_order_relaxed))
            return End::Stopped;
        if (samples_.get() % free_running_check_every == 0) {
            if (const auto wake = check_stop(stop_fd_, output_fd_); wake != Pacer::Wake::Poll)
                return end_for(wake);
            if (monotonic_ns() >= deadline_ns_)
                return End::Deadline;
        }
    }
}

PollLoop::End PollLoop::paced()
{
    Pacer pacer(options_.interval_ns, start_ns_, stop_fd_, output_fd_);
    for (;;) {
        if (sample())
            return End::Done;
        if (ended_.load(std::memory_order_relaxed))
            return End::Stopped;
        const Pacer::Wake wake = pacer.wait(deadline_ns_);
        late_.set(pacer.late());
        if (wake != Pacer::Wake::Poll)
            return end_for(wake);
    }
}

} // namespace watch
