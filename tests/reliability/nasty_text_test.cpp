// SPDX-License-Identifier: MIT
// Whatever lands in the port and interval boxes, typed or pasted: each text either polls or
// gives exactly one report that changes nothing, and the list keeps every entry it had.
#include "window_harness.h"

#include "core/round_to_long.h"
#include "core/text_to_number.h"

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>

#include <array>
#include <optional>

using namespace core;
using namespace port;

namespace {

// The fake port: reads give 0x00, 0x5A, 0xA5 in turn, so that every tick logs one entry.
std::vector<std::int32_t> read_ports;
std::vector<std::int32_t> written_ports;
std::size_t reads_done = 0;

std::uint8_t fake_read(std::int32_t port)
{
    constexpr std::array<std::uint8_t, 3> bytes { 0x00, 0x5A, 0xA5 };
    read_ports.push_back(port);
    return bytes[reads_done++ % bytes.size()];
}

void fake_write(std::int32_t port, std::uint8_t) { written_ports.push_back(port); }

constexpr PortAccess fake_port { &fake_read, &fake_write };

QString repeated(const char* piece, qsizetype times)
{
    return QString::fromUtf8(piece).repeated(times);
}

struct NastyText {
    const char* name;
    QString text;
    std::optional<std::int32_t> number; // none: too large for 32 bits
};

// What the box holds after setText, and the number the rule makes of it.
std::vector<NastyText> nasty_texts()
{
    constexpr qsizetype million = 1'000'000;
    return {
        { "empty", QString(), 0 },
        { "blanks only", QStringLiteral(" \t \n "), 0 },
        { "huge exponent", QStringLiteral("1e999999999"), std::nullopt },
        { "huge negative exponent", QStringLiteral("1e-999999999"), 0 },
        { "exponent of 30 digits", "1E" + repeated("9", 30), std::nullopt },
        { "huge negative number", QStringLiteral("-1D400"), std::nullopt },
        { "10,000 digits", "1" + repeated("0", 9999), std::nullopt },
        { "10,000 zeros before 888", repeated("0", 10000) + "888", 888 },
        { "10,000 decimals", "888." + repeated("4", 10000), 888 },
        { "tiny fraction", "0." + repeated("0", 10000) + "1", 0 },
        { "&H with 30 digits", "&H" + repeated("F", 30), std::nullopt },
        { "&H with 30 digits, small", "&h" + repeated("0", 27) + "378", 888 },
        { "&O with 40 digits", "&O" + repeated("7", 40), std::nullopt },
        { "&H and nothing", QStringLiteral("&H"), 0 },
        { "ampersand", QStringLiteral("&"), 0 },
        { "largest 32-bit", QStringLiteral("2147483647"), 2147483647 },
        { "one past the largest", QStringLiteral("2147483648"), std::nullopt },
        { "half past the largest", QStringLiteral("2147483647.5"), std::nullopt },
        { "half below the largest", QStringLiteral("2147483646.5"), 2147483646 },
        { "smallest 32-bit", QStringLiteral("-2147483648"), -2147483647 - 1 },
        { "one below the smallest", QStringLiteral("-2147483649"), std::nullopt },
        { "control characters first",
            QStringLiteral("\x01\x02\x1b"
                           "888"),
            0 },
        { "control characters last", QStringLiteral("888\x07\x7f"), 888 },
        { "carriage return inside", QStringLiteral("8\r88"), 8 },
        { "tab and line feed inside", QStringLiteral("8\t8\n8"), 888 },
        { "NUL inside", QStringLiteral("888") + QChar(0) + "1", 888 },
        { "Arabic-Indic digits", QStringLiteral(u"\u0668\u0668\u0668"), 0 },
        { "full-width digits", QStringLiteral(u"\uFF18\uFF18\uFF18"), 0 },
        { "Devanagari digits", QStringLiteral(u"\u096E\u096E\u096E"), 0 },
        { "right-to-left mark first", QStringLiteral(u"\u200F888"), 0 },
        { "right-to-left mark last", QStringLiteral(u"888\u200F"), 888 },
        { "right-to-left override", QStringLiteral(u"\u202E888"), 0 },
        { "zero-width space inside", QStringLiteral(u"8\u200B88"), 8 },
        { "lone surrogate", QString(QChar(0xD800)) + "888", 0 },
        { "NaN", QStringLiteral("NaN"), 0 },
        { "Infinity", QStringLiteral("-Infinity"), 0 },
        { "decimal comma", QStringLiteral("888,5"), 888 },
        { "two signs", QStringLiteral("+-888"), 0 },
        { "two periods", QStringLiteral("8.8.8"), 9 },
        // The box keeps at most maxLength() (32,767) characters of a longer text.
        { "a million eights", repeated("8", million), std::nullopt },
        { "a million blanks before 888", repeated(" ", million - 3) + "888", 0 },
        { "a million letters", repeated("x", million), 0 },
    };
}

// One key event a character, carrying the character as its text, as an input method gives
// it: QTest::keyClicks knows only the keys of a Latin-1 keyboard.
void type_text(QLineEdit* box, const QString& text)
{
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(box, &press);
        QApplication::sendEvent(box, &release);
    }
}

void set_box_text(QLineEdit* box, const QString& text)
{
    box->setText(text);
    EXPECT_EQ(box->text(), text.left(box->maxLength()));
}

} // namespace

TEST(NastyText, APortTextEitherPollsItsPortOrGivesOneOverflowReport)
{
    WindowHarness window(fake_port);
    for (const NastyText& c : nasty_texts()) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(window.polling());
        const std::vector<QString> before = window.entries();
        window.reports.clear();
        read_ports.clear();
        written_ports.clear();

        set_box_text(window.form->txt_port, c.text);
        window.clickStart();
        // The port text is first looked at by the tick.
        window.expectPolling(true);
        window.tick(3);

        if (c.number) {
            EXPECT_TRUE(window.reports.empty()) << window.reports.front().text;
            window.expectPolling(true);
            EXPECT_EQ(read_ports, std::vector<std::int32_t>(3, *c.number));
            EXPECT_EQ(written_ports, read_ports);
            window.expectKept(before);
            EXPECT_EQ(window.entries().size(), before.size() + 3);
            window.clickStart();
        } else {
            ASSERT_EQ(window.reports.size(), 1u);
            EXPECT_EQ(window.reports[0].number, 6);
            window.expectPolling(false);
            EXPECT_TRUE(read_ports.empty());
            EXPECT_TRUE(written_ports.empty());
            EXPECT_EQ(window.entries(), before);
        }
        EXPECT_EQ(
            window.form->txt_list->text().toStdString(), std::to_string(window.entries().size()));
    }
    EXPECT_GT(window.entries().size(), 50u);
}

TEST(NastyText, AnIntervalTextEitherStartsPollingOrGivesOneReportAndChangesNothing)
{
    WindowHarness window(fake_port);
    for (const NastyText& c : nasty_texts()) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(window.polling());
        const std::vector<QString> before = window.entries();
        const int interval_before = window.form->timer1->interval();
        const std::string port_text_before = vars::port_text;
        window.reports.clear();

        set_box_text(window.form->txt_interval, c.text);
        window.form->txt_port->setText(QString::number(before.size()));
        window.clickStart();

        if (c.number && *c.number >= 0) {
            EXPECT_TRUE(window.reports.empty()) << window.reports.front().text;
            window.expectPolling(true);
            EXPECT_EQ(window.form->timer1->interval(), *c.number);
            window.tick(2);
            window.expectKept(before);
            EXPECT_EQ(window.entries().size(), before.size() + 2);
            window.clickStart();
            window.expectPolling(false);
            EXPECT_TRUE(window.reports.empty());
        } else {
            // Too large, or negative: the timer refuses it.
            ASSERT_EQ(window.reports.size(), 1u);
            EXPECT_EQ(window.reports[0].number, c.number ? 380 : 6);
            window.expectPolling(false);
            EXPECT_EQ(window.form->timer1->interval(), interval_before);
            EXPECT_EQ(vars::port_text, port_text_before);
            EXPECT_EQ(window.entries(), before);
        }
    }
}

// Typing goes through the box's own key handling, which drops control characters; whatever
// the box ends up holding must still poll or give exactly one report. Each text's first 300
// characters are typed: the box re-lays its whole text out at every key.
TEST(NastyText, TypedTextsPollOrReportOnceAndTheListKeepsItsEntries)
{
    WindowHarness window(fake_port);
    window.form->chk_255->setChecked(false);
    for (const NastyText& c : nasty_texts()) {
        for (QLineEdit* box : { window.form->txt_port, window.form->txt_interval }) {
            SCOPED_TRACE(std::string(c.name) + " typed into " + box->objectName().toStdString());
            const std::vector<QString> before = window.entries();
            window.reports.clear();
            window.form->txt_port->setText(QStringLiteral("888"));
            window.form->txt_interval->setText(QStringLiteral("0"));
            box->clear();
            type_text(box, c.text.left(300));
            window.clickStart();
            if (window.polling())
                window.tick(2);
            EXPECT_LE(window.reports.size(), 1u);
            if (window.reports.empty()) {
                window.expectPolling(true);
                EXPECT_EQ(window.entries().size(), before.size() + 2);
                window.expectKept(before);
                window.clickStart();
            } else {
                EXPECT_EQ(window.entries(), before);
            }
            window.expectPolling(false);
        }
    }
}

// The rule itself takes any length; the box is what cuts a pasted million characters.
TEST(NastyText, TheNumericRuleTakesAMillionCharacters)
{
    const std::string eights(1'000'000, '8');
    EXPECT_THROW((void)round_to_long(text_to_number(eights)), RuntimeError);
    EXPECT_EQ(round_to_long(text_to_number(std::string(999'997, ' ') + "888")), 888);
    EXPECT_EQ(round_to_long(text_to_number("&H" + std::string(999'990, '0') + "378")), 888);
    EXPECT_EQ(text_to_number("0." + std::string(1'000'000, '0') + "1"), 0.0);
}
