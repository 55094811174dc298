// SPDX-License-Identifier: MIT
#include "ui/repaint_pacer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QScreen>
#include <QTimerEvent>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace ui {

namespace {

constexpr double fallback_refresh_hz = 60.0;

} // namespace

RepaintPacer::RepaintPacer(QWidget* window)
    : QObject(window)
    , window_(window)
{
    const QScreen* screen = window->screen();
    const double hz = screen != nullptr && screen->refreshRate() >= 1.0
        ? static_cast<double>(screen->refreshRate())
        : fallback_refresh_hz;
    // Rounded down, so that a paint never waits past the refresh it belongs to.
    interval_ms_ = std::max(1, static_cast<int>(std::floor(1000.0 / hz)));
    window->installEventFilter(this);
}

bool RepaintPacer::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != window_ || event->type() != QEvent::UpdateRequest || passing_)
        return QObject::eventFilter(watched, event);
    if (next_paint_.isActive())
        return true; // already due at the next refresh
    if (!last_paint_.isValid() || last_paint_.elapsed() >= interval_ms_) {
        last_paint_.start();
        return false;
    }
    next_paint_.start(static_cast<int>(interval_ms_ - last_paint_.elapsed()), Qt::PreciseTimer, this);
    return true;
}

void RepaintPacer::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != next_paint_.timerId()) {
        QObject::timerEvent(event);
        return;
    }
    next_paint_.stop();
    last_paint_.start();
    // The window's repaint manager posts no new request while it thinks one is on its
    // way, so the held one is sent now.
    QEvent request(QEvent::UpdateRequest);
    passing_ = true;
    QCoreApplication::sendEvent(window_, &request);
    passing_ = false;
}

} // namespace ui
