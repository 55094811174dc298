// SPDX-License-Identifier: MIT
#include "core/runtime_error.h"
#include "core/vars.h"
#include "ui/change_list.h"
#include "ui/error_report.h"
#include "ui/form1.h"
#include "ui/poll_timer.h"
#include "window_harness.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

using namespace core;
using namespace port;
using namespace ui;

namespace {

// One access the window made to the port: 'W' (always 255) or 'R'.
struct Access {
    char op;
    std::int32_t port;
    bool operator==(const Access&) const = default;
};

// The port the window sees in these tests; plain functions over one global, as the
// window takes function pointers.
struct FakePort {
    std::uint8_t byte = 255; // what a read returns
    std::vector<Access> log;
    std::optional<RuntimeError> write_error;
    std::optional<RuntimeError> read_error;
    int reads_before_error = 0; // reads that still succeed once read_error is set
};
FakePort fake;

void fake_write(std::int32_t port, std::uint8_t value)
{
    if (fake.write_error)
        throw *fake.write_error;
    EXPECT_EQ(value, 255);
    fake.log.push_back({ 'W', port });
}

std::uint8_t fake_read(std::int32_t port)
{
    if (fake.read_error && fake.reads_before_error-- <= 0)
        throw *fake.read_error;
    fake.log.push_back({ 'R', port });
    return fake.byte;
}

const RuntimeError missing_library
    = RuntimeError::library_not_found("libdlportio.so", "cannot open shared object file");
const RuntimeError port_failure = RuntimeError::port_access_failed("EIO");

const QString overflow_report = QStringLiteral("Laufzeitfehler '6':\n\nÜberlauf");
const QString refused_report
    = QStringLiteral("Laufzeitfehler '380':\n\nUngültiger Eigenschaftswert");
const QString missing_library_report
    = QStringLiteral("Laufzeitfehler '53':\n\nDatei nicht gefunden: libdlportio.so (cannot open "
                     "shared object file)");
const QString port_failure_report
    = QStringLiteral("Laufzeitfehler '57':\n\nPortzugriff fehlgeschlagen (EIO)");

// The window over the fake port; its interval is long enough that only the test ticks it.
class HandlerTest : public testing::Test, protected WindowHarness {
protected:
    HandlerTest()
        : WindowHarness(PortAccess { &fake_read, &fake_write }, QStringLiteral("100000"))
    {
    }
    void SetUp() override { renew(); }

    // Back to a just-started program: fresh state, port and window.
    void renew()
    {
        fake = FakePort {};
        WindowHarness::renew();
    }

    static void click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
    void start_stop() { click(form->btn_start); }
    // One tick reading byte, whether polling is on or not.
    void tick(std::uint8_t byte)
    {
        fake.byte = byte;
        Q_EMIT form->timer1->tick();
    }

    [[nodiscard]] QStringList entries() const
    {
        const std::vector<QString> texts = WindowHarness::entries();
        return QStringList(texts.begin(), texts.end());
    }
    // Bit k set when an(k+1) is shown.
    [[nodiscard]] unsigned lit_lamps() const
    {
        unsigned lit = 0;
        for (std::size_t k = 0; k < 8; ++k)
            lit |= form->an[k]->isHidden() ? 0U : 1U << k;
        return lit;
    }
};

// The poll cycle

TEST_F(HandlerTest, FirstTickLogsEveryValueBut255AndLightsItsBits)
{
    struct Case {
        std::uint8_t byte;
        const char* shown;
        QStringList logged;
        unsigned lamps;
    };
    for (const Case& c : { Case { 255, "0", {}, 0x00 }, Case { 0, "255", { "255" }, 0xFF },
             Case { 254, "1", { "1" }, 0x01 }, Case { 127, "128", { "128" }, 0x80 },
             Case { 240, "15", { "15" }, 0x0F }, Case { 15, "240", { "240" }, 0xF0 } }) {
        SCOPED_TRACE(int(c.byte));
        renew();
        start_stop();
        tick(c.byte);
        EXPECT_EQ(form->txt_ausgabe->text(), c.shown);
        EXPECT_EQ(entries(), c.logged);
        EXPECT_EQ(form->txt_list->text(), QString::number(c.logged.size()));
        EXPECT_EQ(lit_lamps(), c.lamps);
        EXPECT_EQ(vars::last_value, 255 - c.byte);
    }
}

TEST_F(HandlerTest, EachChangeIsLoggedOnceAndClearingTheListKeepsLastValue)
{
    start_stop();
    for (int byte : { 10, 10, 20, 20, 20, 10 })
        tick(static_cast<std::uint8_t>(byte));
    EXPECT_EQ(entries(), QStringList({ "245", "235", "245" }));
    EXPECT_EQ(form->txt_list->text(), "3");

    click(form->btn_list);
    EXPECT_EQ(form->txt_list->text(), "");
    EXPECT_EQ(form->List1->count(), 0U);
    EXPECT_EQ(vars::last_value, 245);

    tick(10); // unchanged: counted, not logged
    EXPECT_EQ(form->txt_list->text(), "0");
    tick(11);
    EXPECT_EQ(entries(), QStringList({ "244" }));
    EXPECT_EQ(form->txt_list->text(), "1");

    start_stop(); // cleared while off: stays empty, no tick comes
    click(form->btn_list);
    EXPECT_EQ(form->txt_list->text(), "");
    EXPECT_EQ(form->txt_ausgabe->text(), "244");
}

TEST_F(HandlerTest, WritesBeforeEveryReadWhileTickedAndStopsAtTheNextTickWhenUnticked)
{
    start_stop();
    tick(0);
    tick(0);
    EXPECT_EQ(
        fake.log, (std::vector<Access> { { 'W', 888 }, { 'R', 888 }, { 'W', 888 }, { 'R', 888 } }));

    fake.log.clear();
    form->chk_255->setChecked(false);
    tick(0);
    form->chk_255->setChecked(true);
    tick(0);
    EXPECT_EQ(fake.log, (std::vector<Access> { { 'R', 888 }, { 'W', 888 }, { 'R', 888 } }));
}

TEST_F(HandlerTest, PortTextIsTurnedIntoThePortNumberAtEachAccess)
{
    struct Case {
        const char* text;
        std::int32_t port;
    };
    for (const Case& c :
        { Case { "888", 888 }, Case { "888.5", 888 }, Case { "889.5", 890 }, Case { "888abc", 888 },
            Case { "&H378", 888 }, Case { "&O1570", 888 }, Case { " 8 8\t8", 888 }, Case { "", 0 },
            Case { "abc", 0 }, Case { "-1", -1 }, Case { "70000", 70000 } }) {
        SCOPED_TRACE(c.text);
        fake.log.clear();
        form->txt_port->setText(QString::fromUtf8(c.text));
        start_stop();
        tick(0);
        start_stop();
        EXPECT_EQ(fake.log, (std::vector<Access> { { 'W', c.port }, { 'R', c.port } }));
    }
    EXPECT_TRUE(reports.empty());
}

TEST_F(HandlerTest, SelectionInAusgabeSurvivesAnUnchangedValueAndTypedCountIsOverwritten)
{
    start_stop();
    tick(0);
    form->txt_ausgabe->selectAll();
    tick(0);
    EXPECT_EQ(form->txt_ausgabe->selectedText(), "255");
    tick(1);
    EXPECT_EQ(form->txt_ausgabe->text(), "254");

    form->txt_list->clear();
    QTest::keyClicks(form->txt_list, "99");
    tick(1);
    EXPECT_EQ(form->txt_list->text(), "2");
}

TEST_F(HandlerTest, CountShowsTheTrueNumberOfEntriesPast32767)
{
    start_stop();
    for (int i = 0; i < 40'000; ++i)
        tick(static_cast<std::uint8_t>(i % 2));
    EXPECT_EQ(form->List1->count(), 40'000U);
    EXPECT_EQ(form->txt_list->text(), "40000");
    EXPECT_EQ(form->List1->itemText(39'999), "254");
}

TEST_F(HandlerTest, PortTextIsCapturedAtStartAndStopKeepsWhatTheLastTickShowed)
{
    form->chk_255->setChecked(false);
    start_stop();
    tick(0x5A);
    form->txt_port->clear();
    QTest::keyClicks(form->txt_port, "889"); // no effect until the next Start
    tick(0x5A);
    start_stop();
    EXPECT_EQ(vars::port_text, "888");
    EXPECT_EQ(form->txt_ausgabe->text(), "165");
    EXPECT_EQ(entries(), QStringList({ "165" }));
    EXPECT_EQ(form->txt_list->text(), "1");
    EXPECT_EQ(lit_lamps(), 0xA5U);

    start_stop();
    tick(0x5A); // the new port shows the old port's value: not logged again
    tick(0xA5);
    EXPECT_EQ(entries(), QStringList({ "165", "90" }));
    EXPECT_EQ(
        fake.log, (std::vector<Access> { { 'R', 888 }, { 'R', 888 }, { 'R', 889 }, { 'R', 889 } }));
}

// Start/Stop, clear list and end

TEST_F(HandlerTest, StartStopTogglesPollingAndSetsTheIntervalOnEveryClick)
{
    struct Case {
        const char* text;
        int interval;
    };
    for (const Case& c : { Case { "0", 0 }, Case { "", 0 }, Case { "abc", 0 }, Case { "12.5", 12 },
             Case { "13.5", 14 }, Case { "50ms", 50 }, Case { "-0.5", 0 },
             Case { "2147483647", INT_MAX } }) {
        SCOPED_TRACE(c.text);
        form->txt_interval->setText(QString::fromUtf8(c.text));
        start_stop();
        EXPECT_EQ(form->timer1->interval(), c.interval);
        EXPECT_TRUE(form->timer1->isEnabled());
        EXPECT_EQ(form->btn_start->text(), "Stop");
        if (c.interval == 0) {
            QSignalSpy ticks(form->timer1, &PollTimer::tick);
            QTest::qWait(20); // 0: enabled, yet no tick ever comes
            EXPECT_EQ(ticks.count(), 0);
        }
        form->txt_interval->setText(QStringLiteral("100000"));
        start_stop(); // stopping reads the interval too
        EXPECT_EQ(form->timer1->interval(), 100000);
        EXPECT_FALSE(form->timer1->isEnabled());
        EXPECT_EQ(form->btn_start->text(), "Start");
    }
    EXPECT_TRUE(fake.log.empty());
    EXPECT_TRUE(reports.empty());
}

TEST_F(HandlerTest, RefusedIntervalIsReportedAndTheClickChangesNothing)
{
    struct Case {
        const char* text;
        const QString& report;
    };
    for (bool polling : { false, true }) {
        for (const Case& c : { Case { "-1", refused_report }, Case { "-0.6", refused_report },
                 Case { "2147483648", overflow_report }, Case { "1E10", overflow_report },
                 Case { "-2147483649", overflow_report } }) {
            SCOPED_TRACE(std::string(c.text) + (polling ? " while polling" : " while off"));
            renew();
            if (polling)
                start_stop();
            form->txt_port->setText(QStringLiteral("956"));
            form->txt_interval->setText(QString::fromUtf8(c.text));
            start_stop();
            EXPECT_EQ(shownReports(), QStringList { c.report });
            EXPECT_EQ(form->timer1->isEnabled(), polling);
            EXPECT_EQ(form->btn_start->text(), polling ? "Stop" : "Start");
            EXPECT_EQ(form->timer1->interval(), polling ? 100000 : 10);
            EXPECT_EQ(vars::port_text, polling ? "888" : "");

            form->txt_interval->setText(QStringLiteral("100000")); // the program goes on
            start_stop();
            EXPECT_EQ(form->timer1->isEnabled(), !polling);
        }
    }
}

TEST_F(HandlerTest, EndeStopsTheTimerHidesTheWindowAndEndsTheEventLoop)
{
    form->show();
    start_stop();
    // Inside the program's own event loop, as in the program: exit() outside it would
    // also make every later modal loop (the report) return at once.
    QTimer::singleShot(0, form.get(), [this] { click(form->btn_ende); });
    const QObject watchdog;
    QTimer::singleShot(5000, &watchdog, [] { QCoreApplication::exit(1); });
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_FALSE(form->timer1->isEnabled());
    EXPECT_TRUE(form->isHidden());
}

// Failures in a tick

TEST_F(HandlerTest, TickFailureBeforeTheReadStopsPollingAndIsReported)
{
    struct Case {
        const char* port_text;
        std::optional<RuntimeError> error; // from both port operations
        QString report;
    };
    for (bool write_first : { true, false }) {
        for (const Case& c : { Case { "2147483648", {}, overflow_report },
                 Case { "888", missing_library, missing_library_report },
                 Case { "888", port_failure, port_failure_report } }) {
            SCOPED_TRACE(c.report.toStdString() + (write_first ? ", 255 setzen" : ", read only"));
            renew();
            fake.write_error = fake.read_error = c.error;
            form->chk_255->setChecked(write_first);
            form->txt_port->setText(QString::fromUtf8(c.port_text));
            start_stop();
            tick(0);
            EXPECT_EQ(shownReports(), QStringList { c.report });
            EXPECT_TRUE(fake.log.empty());
            EXPECT_FALSE(form->timer1->isEnabled());
            EXPECT_EQ(form->btn_start->text(), "Start");
            EXPECT_EQ(form->txt_ausgabe->text(), "0");
            EXPECT_EQ(form->txt_list->text(), "");
            EXPECT_EQ(lit_lamps(), 0U);

            fake = FakePort {}; // the program goes on
            form->txt_port->setText(QStringLiteral("888"));
            start_stop();
            tick(0);
            EXPECT_EQ(form->txt_ausgabe->text(), "255");
        }
    }
}

TEST_F(HandlerTest, FailedWriteOrReadLeavesDisplayAndLastValueAsTheyWere)
{
    start_stop();
    tick(10);
    fake.write_error = port_failure;
    tick(20);
    EXPECT_EQ(shownReports(), QStringList { port_failure_report });
    EXPECT_EQ(fake.log, (std::vector<Access> { { 'W', 888 }, { 'R', 888 } }));
    EXPECT_EQ(form->txt_ausgabe->text(), "245");
    EXPECT_EQ(vars::last_value, 245);

    fake.write_error.reset();
    fake.read_error = port_failure;
    fake.reads_before_error = 1;
    start_stop();
    tick(30);
    tick(40);
    EXPECT_EQ(reports.size(), 2);
    EXPECT_FALSE(form->timer1->isEnabled());
    EXPECT_EQ(form->txt_ausgabe->text(), "225");
    EXPECT_EQ(entries(), QStringList({ "245", "225" }));
    EXPECT_EQ(form->txt_list->text(), "2");
    EXPECT_EQ(lit_lamps(), 225U);
    EXPECT_EQ(vars::out_value, 225);
    EXPECT_EQ(vars::last_value, 225);
}

TEST_F(HandlerTest, NoTickRunsAndNoSecondReportOpensWhileAReportIsOpen)
{
    fake.read_error = port_failure;
    form->chk_255->setChecked(false);
    while_reporting = [this] {
        fake.read_error.reset();
        start_stop(); // the user cannot reach the window, but a tick still could come
        tick(0);
        form->txt_interval->setText(QStringLiteral("-1"));
        start_stop();
    };
    start_stop();
    tick(0);
    EXPECT_EQ(reports.size(), 1);
    EXPECT_TRUE(fake.log.empty());

    while_reporting = nullptr;
    form->txt_interval->setText(QStringLiteral("100000"));
    start_stop();
    start_stop();
    tick(0);
    EXPECT_EQ(fake.log, (std::vector<Access> { { 'R', 888 } }));
}

TEST_F(HandlerTest, DefaultReportIsAModalMessageBoxTitledMovanta)
{
    auto real = std::make_unique<Form1>(PortAccess { &fake_read, &fake_write });
    real->txt_interval->setText(QStringLiteral("100000"));
    fake.write_error = missing_library;

    QString title;
    QString text;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, &closer, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            title = box->windowTitle();
            text = box->text();
            box->close();
        }
    });
    closer.start(10);

    testing::internal::CaptureStderr();
    click(real->btn_start);
    Q_EMIT real->timer1->tick();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(title, "Movanta");
    EXPECT_EQ(text, missing_library_report);
    EXPECT_NE(err.find("movanta: Laufzeitfehler '53': Datei nicht gefunden: libdlportio.so (cannot "
                       "open shared object file)\n"),
        std::string::npos)
        << err;
    EXPECT_FALSE(real->timer1->isEnabled());
}

TEST_F(HandlerTest, RealTimerTicksPollUntilStopped)
{
    form->txt_interval->setText(QStringLiteral("5"));
    form->chk_255->setChecked(false);
    start_stop();
    EXPECT_TRUE(QTest::qWaitFor([] { return fake.log.size() >= 3; }, 5000));
    start_stop();
    const std::size_t reads = fake.log.size();
    QTest::qWait(30);
    EXPECT_EQ(fake.log.size(), reads);
    EXPECT_EQ(form->txt_ausgabe->text(), "0");
}

} // namespace
