// SPDX-License-Identifier: MIT
#include "ui/repaint_pacer.h"

#include <QElapsedTimer>
#include <QPainter>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

using namespace ui;

namespace {

// Paints its number, and remembers which number it painted last.
class Counter : public QWidget {
public:
    int value = 0;
    int painted = -1;
    int paints = 0;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter(this).drawText(rect(), QString::number(value));
        painted = value;
        ++paints;
    }
};

TEST(RepaintPacer, PaintsAtMostOncePerRefreshAndAlwaysTheLastState)
{
    Counter window;
    window.resize(100, 40);
    RepaintPacer pacer(&window);
    ASSERT_GE(pacer.refreshInterval(), 1);
    ASSERT_LE(pacer.refreshInterval(), 1000);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.painted == 0; }, 1000));

    const int paints_before = window.paints;
    QElapsedTimer elapsed;
    elapsed.start();
    constexpr int changes = 200;
    for (int i = 1; i <= changes; ++i) {
        window.value = i;
        window.update();
        QCoreApplication::processEvents();
    }
    const qint64 spent_ms = elapsed.elapsed();
    // The last change reaches the screen, however the changes fell into refreshes.
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.painted == changes; }, 1000));
    EXPECT_LE(window.paints - paints_before, spent_ms / pacer.refreshInterval() + 2);
}

} // namespace
