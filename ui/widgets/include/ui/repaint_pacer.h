// SPDX-License-Identifier: MIT
#pragma once

#include <QBasicTimer>
#include <QElapsedTimer>
#include <QObject>

class QWidget;

namespace ui {

// Paints a window at most once per screen refresh. A window whose controls change on
// every 1 ms tick would otherwise repaint a thousand times a second, far more often than
// any screen shows. The first change after a quiet spell paints at once; later ones wait
// for the next refresh, and whatever is pending then is painted, so the last state always
// reaches the screen within one refresh. Only painting waits: the widgets' state changes
// at once. A QWidget::repaint() inside a refresh waits too, like an update().
class RepaintPacer : public QObject {
    Q_OBJECT

public:
    // Paces window (a top-level widget) for as long as both live.
    explicit RepaintPacer(QWidget* window);

    // Milliseconds between paints: one refresh of the window's screen (60 Hz when the
    // screen does not say).
    [[nodiscard]] int refreshInterval() const noexcept { return interval_ms_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    QWidget* window_;
    int interval_ms_ = 16;
    QElapsedTimer last_paint_;
    QBasicTimer next_paint_;
    bool passing_ = false;
};

} // namespace ui
