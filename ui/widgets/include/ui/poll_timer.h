// SPDX-License-Identifier: MIT
// The window's poll timer.
#pragma once

#include "core/unique_fd.h"

#include <QObject>

class QSocketNotifier;
class QTimer;

namespace ui {

// The window's poll timer. Laid out disabled with an interval of 10 ms.
// Ticks arrive as ordinary events on the thread that owns the timer, one at a time: a
// tick that falls due while a tick's handler still runs (in a nested event loop, say)
// is dropped, and ticks that could not run in time make one tick, not several.
// An interval of 0 means enabled but no tick ever comes; a negative interval is
// refused with RuntimeError::invalid_property_value().
// On Linux a periodic timerfd paces the ticks, so that they keep to the interval on
// average even at 1 ms; elsewhere, or when no timerfd can be had, a precise QTimer.
class PollTimer : public QObject {
    Q_OBJECT

public:
    explicit PollTimer(QObject* parent = nullptr);
    ~PollTimer() override;

    // Milliseconds. Throws RuntimeError::invalid_property_value() below 0 and leaves
    // the timer as it was. Setting it while enabled starts a new period.
    void setInterval(int milliseconds);
    [[nodiscard]] int interval() const noexcept { return interval_; }

    // Enabling an enabled timer changes nothing; disabling drops any tick already due.
    void setEnabled(bool enabled);
    [[nodiscard]] bool isEnabled() const noexcept { return enabled_; }

Q_SIGNALS:
    void tick();

private:
    void start_period();
    void stop_period();
    void on_timerfd_readable();
    void on_qtimer_timeout();
    void emit_tick();

    int interval_ = 10;
    bool enabled_ = false;
    bool in_tick_ = false;
    // Points at a flag of the running emit_tick(), so that it learns when a handler
    // deleted the timer.
    bool* destroyed_during_tick_ = nullptr;
    core::UniqueFd timer_fd_;
    QSocketNotifier* notifier_ = nullptr;
    QTimer* qtimer_ = nullptr;
};

} // namespace ui
