// SPDX-License-Identifier: MIT
// Texts longer than their place: a report's box and the count box.
#include "error_report.h"
#include "form1.h"
#include "poll_timer.h"
#include "vars.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

TEST(LongText, AReportBoxShowsAtMostAThousandCharactersAndTwentyLines)
{
    const QString ellipsis(QChar(0x2026));
    const QString emoji = QString::fromUtf8("\xF0\x9F\x94\x8C"); // two UTF-16 units
    struct Row {
        const char* what;
        QString text;
        QString shown;
    };
    const Row rows[] = {
        { "short", QStringLiteral("Portzugriff fehlgeschlagen"),
            QStringLiteral("Portzugriff fehlgeschlagen") },
        { "exactly 1,000", QString(1000, u'x'), QString(1000, u'x') },
        { "a megabyte", QString(1 << 20, u'x'), QString(1000, u'x') + ellipsis },
        { "a thousand lines", QString(1000, u'\n'), QString(19, u'\n') + ellipsis },
        { "a pair cut in two", QString(999, u'x') + emoji, QString(999, u'x') + ellipsis },
    };
    for (const Row& row : rows)
        EXPECT_EQ(report_box_text(row.text), row.shown) << row.what;
}

TEST(LongText, TheCountAndOutputBoxesShowTheirTextFromItsStart)
{
    // Past 99,999 the count is wider than its box; shown from the end, 123121 read "23121".
    vars::reset();
    Form1 form(PortAccess {
        [](std::int32_t) { return std::uint8_t { 0 }; }, [](std::int32_t, std::uint8_t) {} });
    form.txt_interval->setText(QStringLiteral("100000"));
    QTest::mouseClick(form.btn_start, Qt::LeftButton);
    Q_EMIT form.timer1->tick();
    ASSERT_EQ(form.txt_list->text(), "1");
    EXPECT_EQ(form.txt_list->cursorPosition(), 0);
    EXPECT_EQ(form.txt_ausgabe->cursorPosition(), 0);
}
