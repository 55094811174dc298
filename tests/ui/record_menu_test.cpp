// SPDX-License-Identifier: MIT
// The change list's context menu on the real window: its items, the shortcuts, the save
// dialog, the tooltip, a failed save that leaves polling running, and the save's progress.
#include "core/record_time_text.h"
#include "core/vars.h"
#include "ui/change_list.h"
#include "ui/error_report.h"
#include "ui/form1.h"
#include "ui/poll_timer.h"
#include "ui/record_job.h"
#include "ui/record_menu.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolTip>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <optional>
#include <thread>

using namespace core;
using namespace port;
using namespace ui;

namespace {

std::uint8_t byte_read = 255;
std::uint8_t fake_read(std::int32_t) { return byte_read; }
void fake_write(std::int32_t, std::uint8_t) { }

std::int64_t wall_us()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::system_clock::now().time_since_epoch())
        .count();
}

class RecordMenuTest : public testing::Test {
protected:
    void SetUp() override
    {
        vars::reset();
        form.setReporter([this](QWidget*, const std::exception& error) {
            reports << error_report_text(error);
            if (while_reporting)
                while_reporting();
        });
        form.txt_interval->setText(QStringLiteral("100000"));
        QTest::mouseClick(form.btn_start, Qt::LeftButton);
        before_us = wall_us();
        for (const int byte : { 0x5A, 0x0F, 0xF0 })
            tick(static_cast<std::uint8_t>(byte));
        after_us = wall_us();
        form.show();
        form.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
        form.List1->setFocus();
        form.List1->setCurrentRow(1);
    }

    void tick(std::uint8_t byte)
    {
        byte_read = byte;
        Q_EMIT form.timer1->tick();
    }

    // Runs check on the modal dialog or menu that call opens, once it is open.
    static void whileOpen(
        const std::function<void()>& call, const std::function<void(QWidget*)>& check)
    {
        QTimer::singleShot(0, [check] {
            QWidget* open = QApplication::activePopupWidget();
            if (!open)
                open = QApplication::activeModalWidget();
            ASSERT_NE(open, nullptr);
            check(open);
            open->close();
        });
        call();
    }

    Form1 form { PortAccess { &fake_read, &fake_write } };
    QStringList reports;
    std::function<void()> while_reporting;
    std::int64_t before_us = 0;
    std::int64_t after_us = 0;
    QTemporaryDir folder;
};

} // namespace

TEST_F(RecordMenuTest, RightButtonMenuKeyAndShiftF10OpenTheMenu)
{
    const QStringList expected { QStringLiteral("Kopieren\tStrg+C"),
        QStringLiteral("Alles kopieren"), QStringLiteral("-"),
        QStringLiteral("Speichern unter…\tStrg+S") };
    ChangeList* list = form.List1;
    const QPoint in_list = list->viewport()->rect().center();
    const struct {
        const char* name;
        std::function<void()> call;
    } rows[] = {
        { "right button",
            [&] {
                QContextMenuEvent event(
                    QContextMenuEvent::Mouse, in_list, list->viewport()->mapToGlobal(in_list));
                QApplication::sendEvent(list->viewport(), &event);
            } },
        { "Menu key",
            [&] {
                QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(), QPoint());
                QApplication::sendEvent(list, &event);
            } },
        { "Shift+F10", [&] { QTest::keyClick(list, Qt::Key_F10, Qt::ShiftModifier); } },
    };
    for (const auto& row : rows) {
        QStringList seen;
        whileOpen(row.call, [&](QWidget* open) {
            for (const QAction* action : open->actions())
                seen << (action->isSeparator() ? QStringLiteral("-") : action->text());
        });
        EXPECT_EQ(seen, expected) << row.name;
    }
}

TEST_F(RecordMenuTest, CopiesTheEntryAndSavesWhatAllIsCopied)
{
    QTest::keyClick(form.List1, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("240"));

    form.list_menu->copyAllAction->trigger();
    ASSERT_TRUE(
        QTest::qWaitFor([] { return QApplication::clipboard()->text().startsWith("time,"); }));
    const QString all = QApplication::clipboard()->text();
    EXPECT_EQ(all.count(QLatin1Char('\n')), 4);

    const QString path = folder.filePath(QStringLiteral("liste.csv"));
    whileOpen([&] { QTest::keyClick(form.List1, Qt::Key_S, Qt::ControlModifier); },
        [&](QWidget* open) {
            auto* dialog = qobject_cast<QFileDialog*>(open);
            ASSERT_NE(dialog, nullptr);
            EXPECT_EQ(dialog->nameFilters(),
                QStringList({ "CSV (*.csv)", "VCD (*.vcd)", "Text (*.txt)" }));
            EXPECT_TRUE(QRegularExpression(QStringLiteral("/movanta-\\d{8}-\\d{6}\\.csv$"))
                            .match(dialog->selectedFiles().value(0))
                            .hasMatch())
                << dialog->selectedFiles().value(0).toStdString();
            dialog->selectFile(path);
            static_cast<QDialog*>(dialog)->accept();
        });
    QFile saved(path);
    ASSERT_TRUE(QTest::qWaitFor([&] { return saved.exists(); }));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(saved.readAll()), all);
}

TEST_F(RecordMenuTest, TheTooltipTellsWhenTheValueWasRead)
{
    const std::int64_t time = form.record().time_us(0);
    EXPECT_GE(time, before_us);
    EXPECT_LE(time, after_us);
    const QPoint at(5, form.List1->rowHeight() / 2);
    QHelpEvent event(QEvent::ToolTip, at, form.List1->viewport()->mapToGlobal(at));
    QApplication::sendEvent(form.List1->viewport(), &event);
    EXPECT_EQ(QToolTip::text(), QString::fromStdString(german_time_text(time)));
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d,\\d{6}$"))
            .match(QToolTip::text())
            .hasMatch());
}

TEST_F(RecordMenuTest, AFailedSaveIsReportedAndPollingGoesOn)
{
    while_reporting = [this] { tick(0x00); };
    const QString path = folder.filePath(QStringLiteral("fehlt/liste.csv"));
    form.list_menu->saveTo(path);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !reports.isEmpty(); }));
    EXPECT_EQ(reports,
        QStringList(QStringLiteral("Laufzeitfehler '75':\n\nFehler beim Zugriff auf Pfad/Datei: ")
            + path + QStringLiteral(" (No such file or directory)")));
    EXPECT_EQ(form.List1->count(), 4U);
    EXPECT_TRUE(form.timer1->isEnabled());
}

// Work that runs until cancelled: the dialog comes up after a while and "Abbrechen" stops it.
TEST(RecordJob, ShowsProgressAndCancels)
{
    QWidget window;
    window.show();
    RecordJob job(&window, &window);
    std::optional<bool> finished;
    ASSERT_TRUE(job.start(
        QStringLiteral("Liste wird gespeichert …"), 100,
        [](const KeepGoing& keep_going) {
            for (std::size_t written = 0; keep_going(written % 100); ++written)
                std::this_thread::yield();
            return false;
        },
        [&](std::exception_ptr failure, bool done) {
            EXPECT_FALSE(failure);
            finished = done;
        }));
    EXPECT_FALSE(job.start(QString(), 0, {}, {})) << "a second job while one runs";
    QProgressDialog* dialog = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (dialog = window.findChild<QProgressDialog*>()); }));
    EXPECT_EQ(dialog->labelText(), QStringLiteral("Liste wird gespeichert …"));
    auto* cancel = dialog->findChild<QPushButton*>();
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(cancel->text(), QStringLiteral("Abbrechen"));
    QTest::mouseClick(cancel, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.has_value(); }));
    EXPECT_FALSE(*finished);
    EXPECT_FALSE(job.busy());
}
