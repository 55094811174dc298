// SPDX-License-Identifier: MIT
// The poll timer: a timerfd on Linux, a precise QTimer elsewhere.
#include "ui/poll_timer.h"

#include "core/runtime_error.h"

#include <QSocketNotifier>
#include <QTimer>

#ifdef MOVANTA_HAVE_TIMERFD
#include "poll_timer_timerfd.h"
#endif

using namespace core;

namespace ui {

PollTimer::PollTimer(QObject* parent)
    : QObject(parent)
{
#ifdef MOVANTA_HAVE_TIMERFD
    timer_fd_ = timerfd_pacing::open_fd();
    if (timer_fd_) {
        notifier_ = new QSocketNotifier(
            static_cast<qintptr>(timer_fd_.get()), QSocketNotifier::Read, this);
        notifier_->setEnabled(false);
        connect(notifier_, &QSocketNotifier::activated, this, &PollTimer::on_timerfd_readable);
        return;
    }
#endif
    // Out of descriptors (or not on Linux): a QTimer, made at the first start, paces
    // the ticks instead.
}

PollTimer::~PollTimer()
{
    if (destroyed_during_tick_)
        *destroyed_during_tick_ = true;
#ifdef MOVANTA_HAVE_TIMERFD
    // The notifier goes before the descriptor it watches, which timer_fd_ closes after.
    delete notifier_;
#endif
}

void PollTimer::setInterval(int milliseconds)
{
    if (milliseconds < 0)
        throw RuntimeError::invalid_property_value();
    interval_ = milliseconds;
    if (enabled_)
        start_period();
}

void PollTimer::setEnabled(bool enabled)
{
    if (enabled == enabled_)
        return;
    enabled_ = enabled;
    if (enabled_)
        start_period();
    else
        stop_period();
}

void PollTimer::start_period()
{
    // 0 means no tick ever comes; QTimer's own 0 would fire continuously.
    if (interval_ == 0) {
        stop_period();
        return;
    }
#ifdef MOVANTA_HAVE_TIMERFD
    if (notifier_) {
        if (timerfd_pacing::arm(timer_fd_.get(), interval_)) {
            notifier_->setEnabled(true);
            return;
        }
        // The kernel refused the timer: QTimer paces from now on. The notifier may be
        // the one whose tick is running.
        notifier_->setEnabled(false);
        notifier_->deleteLater();
        notifier_ = nullptr;
        timer_fd_.reset();
    }
#endif
    if (!qtimer_) {
        qtimer_ = new QTimer(this);
        qtimer_->setTimerType(Qt::PreciseTimer);
        connect(qtimer_, &QTimer::timeout, this, &PollTimer::on_qtimer_timeout);
    }
    qtimer_->start(interval_);
}

void PollTimer::stop_period()
{
#ifdef MOVANTA_HAVE_TIMERFD
    if (notifier_) {
        // Disarming also drops the expirations not yet read.
        notifier_->setEnabled(false);
        timerfd_pacing::disarm(timer_fd_.get());
        return;
    }
#endif
    if (qtimer_)
        qtimer_->stop();
}

void PollTimer::on_timerfd_readable()
{
#ifdef MOVANTA_HAVE_TIMERFD
    // One read takes all the expirations since the last: late ticks make one tick.
    if (!timerfd_pacing::consume(timer_fd_.get()))
        return;
#endif
    if (enabled_ && !in_tick_)
        emit_tick();
}

void PollTimer::on_qtimer_timeout()
{
    if (enabled_ && !in_tick_)
        emit_tick();
}

void PollTimer::emit_tick()
{
    struct TickScope {
        PollTimer* timer;
        bool destroyed = false;
        explicit TickScope(PollTimer* t)
            : timer(t)
        {
            timer->in_tick_ = true;
            timer->destroyed_during_tick_ = &destroyed;
        }
        TickScope(const TickScope&) = delete;
        TickScope& operator=(const TickScope&) = delete;
        ~TickScope()
        {
            if (destroyed)
                return;
            timer->in_tick_ = false;
            timer->destroyed_during_tick_ = nullptr;
        }
    };
    const TickScope scope(this);
    Q_EMIT tick();
}

} // namespace ui
