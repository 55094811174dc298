#pragma once

#include <QObject>

// The window's poll timer. Laid out disabled with an interval of 10 ms.
// Ticks arrive as ordinary events on the thread that owns the timer.
// An interval of 0 means enabled but no tick ever comes; a negative interval is
// refused with RuntimeError::invalid_property_value().
class PollTimer : public QObject {
    Q_OBJECT

public:
    explicit PollTimer(QObject* parent = nullptr);
    ~PollTimer() override;

    // Milliseconds. Throws RuntimeError::invalid_property_value() below 0 and leaves
    // the timer as it was. Setting it while enabled starts a new period.
    void setInterval(int milliseconds);
    [[nodiscard]] int interval() const noexcept { return interval_; }

    void setEnabled(bool enabled);
    [[nodiscard]] bool isEnabled() const noexcept { return enabled_; }

Q_SIGNALS:
    void tick();

private:
    int interval_ = 10;
    bool enabled_ = false;
};
