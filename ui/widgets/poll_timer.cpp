#include "poll_timer.h"

#include "runtime_error.h"

PollTimer::PollTimer(QObject* parent)
    : QObject(parent)
{
}

PollTimer::~PollTimer() = default;

void PollTimer::setInterval(int milliseconds)
{
    if (milliseconds < 0)
        throw RuntimeError::invalid_property_value();
    interval_ = milliseconds;
}

void PollTimer::setEnabled(bool enabled) { enabled_ = enabled; }
