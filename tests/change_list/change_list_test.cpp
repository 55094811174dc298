// SPDX-License-Identifier: MIT
// The change list on its own: its entries, scrolling, keys, mouse, painting and focus.
#include "core/runtime_error.h"
#include "ui/change_list.h"
#include "ui/change_list_rows.h"

#include <QApplication>
#include <QLineEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <cstdlib>

using namespace core;
using namespace ui;

namespace {

// The list box's laid-out size: 975 x 1620 twips at 15 twips a pixel.
constexpr QSize list_size { 65, 108 };

// Long enough for the coalesced catch-up on a loaded machine; the tests do not time it.
constexpr int catch_up_wait_ms = 5000;

// Styles may tint inside a focus frame by a step or two.
::testing::AssertionResult near(QColor seen, QColor expected)
{
    const auto close = [](int a, int b) { return std::abs(a - b) <= 4; };
    if (close(seen.red(), expected.red()) && close(seen.green(), expected.green())
        && close(seen.blue(), expected.blue()))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
        << "saw " << seen.name().toStdString() << ", expected " << expected.name().toStdString();
}

// Counts the paint events a widget gets.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

class ChangeListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        list.resize(list_size);
        list.show();
        list.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&list));
    }

    // As the window adds an entry: into the record, and the list told.
    void addItem(std::uint8_t value)
    {
        record.append(value, 0);
        list.entriesAdded();
    }

    void add(std::size_t entries)
    {
        for (std::size_t row = 0; row < entries; ++row)
            addItem(static_cast<std::uint8_t>(row));
    }

    // Waits for the scroll bar to take in every entry added so far.
    [[nodiscard]] bool caughtUp()
    {
        const auto expected = static_cast<int>(
            change_list_rows::last_top_row(static_cast<std::ptrdiff_t>(list.count()), fullRows()));
        return QTest::qWaitFor(
            [&] { return list.verticalScrollBar()->maximum() == expected; }, catch_up_wait_ms);
    }

    [[nodiscard]] std::ptrdiff_t fullRows() const
    {
        return change_list_rows::full_rows(list.viewport()->height(), list.rowHeight());
    }

    [[nodiscard]] bool currentRowInView() const
    {
        return list.currentRow() >= list.topRow() && list.currentRow() < list.topRow() + fullRows();
    }

    // A point in the middle of the view's nth row.
    [[nodiscard]] QPoint inRow(int n) const
    {
        return { list.viewport()->width() / 2, n * list.rowHeight() + list.rowHeight() / 2 };
    }

    ChangeRecord record;
    ChangeList list { record };
};

TEST_F(ChangeListTest, EntriesKeepTheirOrderAndShowTheirDecimalText)
{
    for (const int value : { 0, 7, 255, 7, 128 })
        addItem(static_cast<std::uint8_t>(value));

    ASSERT_EQ(list.count(), 5u);
    const char* const texts[] = { "0", "7", "255", "7", "128" };
    for (std::size_t row = 0; row < 5; ++row)
        EXPECT_EQ(list.itemText(row), QString::fromLatin1(texts[row])) << "row " << row;
    EXPECT_EQ(list.itemText(5), QString());
}

TEST_F(ChangeListTest, ClearRemovesEntriesSelectionAndScrollPosition)
{
    add(500);
    list.setCurrentRow(400);
    ASSERT_GT(list.topRow(), 0);
    QSignalSpy changed(&list, &ChangeList::currentRowChanged);

    record.clear();
    list.recordCleared();

    EXPECT_EQ(list.count(), 0u);
    EXPECT_EQ(list.currentRow(), -1);
    EXPECT_EQ(list.topRow(), 0);
    EXPECT_EQ(list.verticalScrollBar()->maximum(), 0);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).value<std::ptrdiff_t>(), -1);

    addItem(3);
    EXPECT_EQ(list.count(), 1u);
    EXPECT_EQ(list.itemText(0), QStringLiteral("3"));
}

TEST_F(ChangeListTest, ScrollRangeFollowsTheEntriesWithoutMovingTheView)
{
    add(3);
    ASSERT_TRUE(caughtUp());
    EXPECT_EQ(list.verticalScrollBar()->maximum(), 0);
    EXPECT_FALSE(list.verticalScrollBar()->isVisible());

    add(97);
    EXPECT_EQ(list.count(), 100u); // the count never waits for the view
    ASSERT_TRUE(caughtUp());
    EXPECT_EQ(list.verticalScrollBar()->maximum(), 100 - fullRows());
    EXPECT_EQ(list.verticalScrollBar()->pageStep(), fullRows());
    EXPECT_TRUE(QTest::qWaitFor([&] { return list.verticalScrollBar()->isVisible(); }));
    EXPECT_EQ(list.topRow(), 0);
    EXPECT_EQ(list.size(), list_size);

    list.scrollToBottom();
    const std::ptrdiff_t bottom = list.topRow();
    EXPECT_EQ(bottom, 100 - fullRows());
    add(10);
    ASSERT_TRUE(caughtUp());
    EXPECT_EQ(list.topRow(), bottom);
}

TEST_F(ChangeListTest, RepaintsByItselfWhenNewEntriesComeIntoView)
{
    addItem(1);
    ASSERT_TRUE(caughtUp());
    QApplication::processEvents();
    PaintCounter counter(list.viewport());

    addItem(2);
    EXPECT_TRUE(QTest::qWaitFor([&] { return counter.paints > 0; }, catch_up_wait_ms));
}

TEST_F(ChangeListTest, KeysMoveTheCurrentRowAndScrollItIntoView)
{
    add(50);
    list.setFocus();
    const std::ptrdiff_t full = fullRows();
    struct Step {
        Qt::Key key;
        std::ptrdiff_t row;
    };
    const Step steps[] = {
        { Qt::Key_Down, 0 },
        { Qt::Key_Down, 1 },
        { Qt::Key_End, 49 },
        { Qt::Key_Up, 48 },
        { Qt::Key_Home, 0 },
        { Qt::Key_PageDown, full - 1 },
        { Qt::Key_PageDown, 2 * full - 2 },
        { Qt::Key_PageUp, full - 1 },
        { Qt::Key_Right, full },
        { Qt::Key_Left, full - 1 },
    };
    for (const Step& step : steps) {
        QTest::keyClick(&list, step.key);
        EXPECT_EQ(list.currentRow(), step.row) << QTest::toString(step.key);
        EXPECT_TRUE(currentRowInView()) << QTest::toString(step.key) << ": row "
                                        << list.currentRow() << ", top " << list.topRow();
    }
}

TEST_F(ChangeListTest, ClickSelectsTheRowUnderTheMouse)
{
    add(100);
    ASSERT_TRUE(caughtUp());
    QSignalSpy changed(&list, &ChangeList::currentRowChanged);

    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, inRow(2));
    EXPECT_EQ(list.currentRow(), 2);

    list.verticalScrollBar()->setValue(40);
    EXPECT_EQ(list.rowAt(inRow(3)), 43);
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, inRow(3));
    EXPECT_EQ(list.currentRow(), 43);
    EXPECT_EQ(list.topRow(), 40);

    QTest::mouseClick(list.viewport(), Qt::RightButton, {}, inRow(1));
    EXPECT_EQ(list.currentRow(), 43);
    ASSERT_EQ(changed.count(), 2);
    EXPECT_EQ(changed.at(1).at(0).value<std::ptrdiff_t>(), 43);
}

TEST_F(ChangeListTest, DraggingWithTheButtonHeldSelectsTheRowUnderTheMouse)
{
    add(100);
    QTest::mousePress(list.viewport(), Qt::LeftButton, {}, inRow(1));
    QTest::mouseMove(list.viewport(), inRow(3));
    EXPECT_EQ(list.currentRow(), 3);
    QTest::mouseMove(list.viewport(), { inRow(0).x(), list.viewport()->height() + 5 });
    EXPECT_EQ(list.currentRow(), fullRows());
    EXPECT_EQ(list.topRow(), 1);
    QTest::mouseRelease(list.viewport(), Qt::LeftButton, {}, inRow(2));
    QTest::mouseMove(list.viewport(), inRow(0));
    EXPECT_EQ(list.currentRow(), fullRows());
}

TEST_F(ChangeListTest, ClickBelowTheLastEntryChangesNothing)
{
    add(2);
    list.setCurrentRow(1);
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, inRow(4));
    EXPECT_EQ(list.currentRow(), 1);
    EXPECT_EQ(list.rowAt(inRow(4)), -1);
}

TEST_F(ChangeListTest, WheelScrollsTheView)
{
    add(100);
    ASSERT_TRUE(caughtUp());
    const QPoint at = inRow(1);
    QWheelEvent down(at, list.viewport()->mapToGlobal(at), {}, { 0, -120 }, Qt::NoButton,
        Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(list.viewport(), &down);

    EXPECT_GT(list.topRow(), 0);
    EXPECT_LE(list.topRow(), fullRows());
    EXPECT_EQ(list.currentRow(), -1);
}

TEST_F(ChangeListTest, SetCurrentRowRefusesRowsOutsideTheEntries)
{
    add(10);
    list.setCurrentRow(4);
    for (const std::ptrdiff_t row : { std::ptrdiff_t { -2 }, std::ptrdiff_t { 10 } }) {
        EXPECT_THROW(list.setCurrentRow(row), RuntimeError) << "row " << row;
        EXPECT_EQ(list.currentRow(), 4);
    }
    list.setCurrentRow(-1);
    EXPECT_EQ(list.currentRow(), -1);
}

TEST_F(ChangeListTest, PaintsTheCurrentRowInTheHighlightColour)
{
    add(100);
    list.setCurrentRow(99);
    ASSERT_EQ(list.topRow(), 100 - fullRows());
    const QImage picture = list.viewport()->grab().toImage();
    // Near the right end a row is background: the text starts at the left, and the
    // focus frame lies on the row's edge.
    const int x = picture.width() - 4;
    const int bottom_row = static_cast<int>(fullRows()) - 1;
    const QPalette& colours = list.palette();
    EXPECT_TRUE(near(picture.pixelColor(x, inRow(bottom_row).y()),
        colours.color(QPalette::Active, QPalette::Highlight)));
    EXPECT_TRUE(
        near(picture.pixelColor(x, inRow(0).y()), colours.color(QPalette::Active, QPalette::Base)));
}

TEST_F(ChangeListTest, TakesAMillionEntries)
{
    const std::size_t entries = 1'000'000;
    for (std::size_t row = 0; row < entries; ++row)
        addItem(static_cast<std::uint8_t>(row % 251));

    EXPECT_EQ(list.count(), entries);
    EXPECT_EQ(list.itemText(entries - 1), QString::number((entries - 1) % 251));
    EXPECT_EQ(list.itemText(0), QStringLiteral("0"));
    list.scrollToBottom();
    EXPECT_EQ(list.topRow(), static_cast<std::ptrdiff_t>(entries) - fullRows());
    EXPECT_EQ(list.rowAt(inRow(static_cast<int>(fullRows()) - 1)),
        static_cast<std::ptrdiff_t>(entries - 1));
}

TEST(ChangeListFocus, TabReachesTheList)
{
    const ChangeRecord record; // outlives the list
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* before = new QLineEdit(&window);
    auto* list = new ChangeList(record, &window);
    layout->addWidget(before);
    layout->addWidget(list);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    before->setFocus();

    QTest::keyClick(before, Qt::Key_Tab);
    EXPECT_TRUE(list->hasFocus());
}

} // namespace
