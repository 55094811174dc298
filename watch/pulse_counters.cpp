// SPDX-License-Identifier: MIT
// Counting rising edges per bit, and the thread that keeps the counters file.
#include "watch/pulse_counters.h"

#include <bit>
#include <stdexcept>
#include <utility>

using namespace core;

namespace watch {

namespace {
// At most this much counting is lost when the process is killed outright.
constexpr std::chrono::seconds write_every { 1 };
} // namespace

PulseCounters::PulseCounters(Totals start, std::string file, Complaint complain)
    : file_(std::move(file))
    , complain_(std::move(complain))
    , totals_(start)
{
    if (!file_.empty())
        keeper_ = std::thread([this] { keep(); });
}

void PulseCounters::report_to(Report report)
{
    report_ = std::move(report);
    if (report_)
        report_(totals());
}

PulseCounters::~PulseCounters() { (void)close(); }

void PulseCounters::add(const RecordEntry& entry)
{
    const auto rose = static_cast<std::uint8_t>(entry.value & ~previous_);
    const bool counts = have_previous_ && rose != 0;
    have_previous_ = true;
    previous_ = entry.value;
    if (!counts)
        return;
    Totals totals;
    bool wake = false;
    {
        const std::lock_guard lock(mutex_);
        for (unsigned bits = rose; bits != 0; bits &= bits - 1)
            ++totals_[static_cast<std::size_t>(std::countr_zero(bits))];
        totals = totals_;
        wake = !changed_;
        changed_ = true;
    }
    if (wake)
        wake_.notify_one();
    if (report_)
        report_(totals);
}

std::optional<std::string> PulseCounters::close()
{
    std::unique_lock lock(mutex_);
    if (closing_)
        return std::nullopt;
    closing_ = true;
    lock.unlock();
    wake_.notify_one();
    if (keeper_.joinable())
        keeper_.join();
    lock.lock();
    if (file_.empty() || !changed_)
        return std::nullopt;
    return write(lock);
}

void PulseCounters::keep()
{
    std::unique_lock lock(mutex_);
    while (!closing_) {
        if (!changed_) {
            wake_.wait(lock);
            continue;
        }
        const auto due = last_write_ + write_every;
        if (Clock::now() < due) {
            wake_.wait_until(lock, due);
            continue;
        }
        if (auto failure = write(lock); failure && !failing_) {
            failing_ = true;
            complain_(*failure);
        } else if (!failure) {
            failing_ = false;
        }
    }
}

std::optional<std::string> PulseCounters::write(std::unique_lock<std::mutex>& lock)
{
    const Totals totals = totals_;
    changed_ = false;
    last_write_ = Clock::now();
    lock.unlock();
    std::optional<std::string> failure;
    try {
        counters_file::save(file_, totals);
    } catch (const std::exception& error) {
        failure = error.what();
    }
    lock.lock();
    if (failure)
        changed_ = true; // tried again a second later
    return failure;
}

PulseCounters::Totals PulseCounters::totals() const
{
    const std::lock_guard lock(mutex_);
    return totals_;
}

std::string PulseCounters::stats_suffix() const
{
    std::string text = " rising=";
    const Totals totals = this->totals();
    for (std::size_t bit = 0; bit < totals.size(); ++bit) {
        if (bit != 0)
            text += ',';
        text += std::to_string(totals[bit]);
    }
    return text;
}

} // namespace watch
