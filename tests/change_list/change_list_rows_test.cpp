// SPDX-License-Identifier: MIT
#include "ui/change_list_rows.h"

#include <gtest/gtest.h>

using namespace ui;

namespace {

using namespace change_list_rows;

TEST(ChangeListRows, FullRowsFitWhollyAndAreNeverFewerThanOne)
{
    struct Case {
        int viewport_height, row_height;
        std::ptrdiff_t full;
    };
    for (const Case c : { Case { 65, 10, 6 }, { 60, 10, 6 }, { 104, 13, 8 }, { 5, 10, 1 },
             { 0, 10, 1 }, { 65, 0, 1 }, { 65, -3, 1 } })
        EXPECT_EQ(full_rows(c.viewport_height, c.row_height), c.full)
            << c.viewport_height << " px / " << c.row_height << " px";
}

TEST(ChangeListRows, VisibleRowsFollowTheTopRow)
{
    struct Case {
        std::ptrdiff_t top;
        int viewport_height, row_height;
        std::ptrdiff_t count;
        Range rows;
    };
    const Case cases[] = {
        { 0, 65, 10, 0, { 0, 0 } }, // empty list
        { 0, 65, 10, 3, { 0, 3 } }, // fewer entries than rows
        { 0, 65, 10, 100, { 0, 7 } }, // the partly visible seventh row is painted
        { 0, 60, 10, 100, { 0, 6 } }, // no partial row
        { 94, 65, 10, 100, { 94, 100 } }, // scrolled to the end
        { 9'999'994, 65, 10, 10'000'000, { 9'999'994, 10'000'000 } },
        { 5'000'000, 104, 13, 10'000'000, { 5'000'000, 5'000'008 } },
        { 120, 65, 10, 100, { 100, 100 } }, // a stale top row past the end shows nothing
        { -4, 65, 10, 100, { 0, 7 } },
        { 0, 0, 10, 100, { 0, 0 } }, // no viewport
        { 0, 65, 0, 100, { 0, 0 } },
    };
    for (const Case& c : cases) {
        const Range rows = visible(c.top, c.viewport_height, c.row_height, c.count);
        EXPECT_EQ(rows, c.rows) << "top " << c.top << ", " << c.count << " entries: [" << rows.first
                                << ", " << rows.end << ")";
    }
}

TEST(ChangeListRows, LastTopRowShowsTheLastEntryInTheBottomFullRow)
{
    EXPECT_EQ(last_top_row(0, 6), 0);
    EXPECT_EQ(last_top_row(6, 6), 0);
    EXPECT_EQ(last_top_row(7, 6), 1);
    EXPECT_EQ(last_top_row(10'000'000, 6), 9'999'994);
    EXPECT_EQ(last_top_row(10, 0), 9);
}

TEST(ChangeListRows, RowAtMapsAPixelLineToAnEntry)
{
    struct Case {
        int y;
        std::ptrdiff_t top, count, row;
    };
    for (const Case c :
        { Case { 0, 0, 100, 0 }, { 9, 0, 100, 0 }, { 10, 0, 100, 1 }, { 64, 0, 100, 6 },
            { 25, 40, 100, 42 }, { 35, 0, 3, -1 }, { -1, 0, 100, -1 }, { 0, 0, 0, -1 } })
        EXPECT_EQ(row_at(c.y, c.top, 10, c.count), c.row) << "y " << c.y << ", top " << c.top;
}

TEST(ChangeListRows, TopRowShowingScrollsAsLittleAsPossible)
{
    struct Case {
        std::ptrdiff_t row, top, full, new_top;
    };
    for (const Case c : { Case { 3, 0, 6, 0 }, { 5, 0, 6, 0 }, { 6, 0, 6, 1 }, { 50, 0, 6, 45 },
             { 9, 10, 6, 9 }, { 0, 10, 6, 0 }, { 12, 10, 6, 10 } })
        EXPECT_EQ(top_row_showing(c.row, c.top, c.full), c.new_top)
            << "row " << c.row << ", top " << c.top;
}

TEST(ChangeListRows, KeysMoveTheCurrentRowLikeAListBox)
{
    struct Case {
        Move move;
        std::ptrdiff_t current, top, count, row;
    };
    // Six full rows in view throughout.
    const Case cases[] = {
        { Move::Down, 3, 0, 100, 4 },
        { Move::Up, 3, 0, 100, 2 },
        { Move::Up, 0, 0, 100, 0 }, // stays at the first entry
        { Move::Down, 99, 94, 100, 99 }, // stays at the last entry
        { Move::Home, 50, 45, 100, 0 },
        { Move::End, 3, 0, 100, 99 },
        { Move::PageDown, 2, 0, 100, 5 }, // to the bottom full row
        { Move::PageDown, 5, 0, 100, 10 }, // already there: one page on
        { Move::PageDown, 97, 94, 100, 99 },
        { Move::PageUp, 8, 5, 100, 5 }, // to the top row
        { Move::PageUp, 5, 5, 100, 0 }, // already there: one page back
        { Move::PageUp, 2, 0, 100, 0 },
        { Move::PageDown, 3, 50, 100, 8 }, // pages count from the view showing the row
        // No current row yet.
        { Move::Down, -1, 20, 100, 20 },
        { Move::Up, -1, 20, 100, 20 },
        { Move::PageDown, -1, 20, 100, 25 },
        { Move::Home, -1, 20, 100, 0 },
        { Move::End, -1, 0, 100, 99 },
        { Move::PageDown, -1, 0, 3, 2 },
        // An empty list has nowhere to go.
        { Move::Down, -1, 0, 0, -1 },
        { Move::End, -1, 0, 0, -1 },
    };
    for (const Case& c : cases)
        EXPECT_EQ(after_move(c.move, c.current, c.top, 6, c.count), c.row)
            << "move " << static_cast<int>(c.move) << " from " << c.current << ", top " << c.top
            << ", " << c.count << " entries";
}

} // namespace
