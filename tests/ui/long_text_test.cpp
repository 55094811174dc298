// SPDX-License-Identifier: MIT
// Texts longer than their place: a report's box and the count box.
#include "core/vars.h"
#include "ui/error_report.h"
#include "ui/form1.h"
#include "ui/poll_timer.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace port;
using namespace ui;

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

namespace {

// Whether box looks as a box like it does that shows its text from the start.
bool showsFromStart(QLineEdit* box)
{
    QLineEdit reference(box->text(), box->parentWidget());
    reference.setGeometry(box->geometry());
    reference.setReadOnly(box->isReadOnly());
    reference.setCursorPosition(0);
    return box->grab().toImage() == reference.grab().toImage();
}

} // namespace

TEST(LongText, TheCountAndOutputBoxesShowTheirTextFromItsStart)
{
    // Past 99,999 the count is wider than its box; shown from the end, 123121 read "23121".
    struct Row {
        const char* what;
        std::size_t entries_before;
        QLineEdit* Form1::*box;
        const char* text;
    };
    const Row rows[] = {
        { "a count that fits", 0, &Form1::txt_list, "1" },
        { "the output", 0, &Form1::txt_ausgabe, "255" },
        { "a count wider than its box", 123'120, &Form1::txt_list, "123121" },
    };
    for (const Row& row : rows) {
        vars::reset();
        Form1 form(PortAccess {
            [](std::int32_t) { return std::uint8_t { 0 }; }, [](std::int32_t, std::uint8_t) {} });
        for (std::size_t i = 0; i < row.entries_before; ++i)
            form.addEntry(0);
        form.txt_interval->setText(QStringLiteral("100000"));
        QTest::mouseClick(form.btn_start, Qt::LeftButton);
        Q_EMIT form.timer1->tick();
        QLineEdit* box = form.*row.box;
        ASSERT_EQ(box->text(), row.text) << row.what;
        EXPECT_TRUE(showsFromStart(box)) << row.what;
    }
}
