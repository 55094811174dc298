// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>

namespace ui {

// Row arithmetic of the change list, in rows and pixels. Rows are counted from 0;
// -1 stands for "no row".
namespace change_list_rows {

// Rows [first, end) that are at least partly visible.
struct Range {
    std::ptrdiff_t first = 0;
    std::ptrdiff_t end = 0;

    friend bool operator==(const Range&, const Range&) = default;
};

// Rows that fit wholly into a viewport; at least 1, so that a viewport lower than a row
// still pages and scrolls.
[[nodiscard]] std::ptrdiff_t full_rows(int viewport_height, int row_height) noexcept;

// The rows a viewport shows when top_row is its top row: the partly visible row at the
// bottom included, rows past the last entry left out.
[[nodiscard]] Range visible(
    std::ptrdiff_t top_row, int viewport_height, int row_height, std::ptrdiff_t count) noexcept;

// The greatest top row: the one that shows the last entry in the bottom full row.
[[nodiscard]] std::ptrdiff_t last_top_row(std::ptrdiff_t count, std::ptrdiff_t full) noexcept;

// The row under a viewport's pixel line y, or -1 when no entry is there.
[[nodiscard]] std::ptrdiff_t row_at(
    int y, std::ptrdiff_t top_row, int row_height, std::ptrdiff_t count) noexcept;

// The top row that brings row wholly into view with the least scrolling.
[[nodiscard]] std::ptrdiff_t top_row_showing(
    std::ptrdiff_t row, std::ptrdiff_t top_row, std::ptrdiff_t full) noexcept;

enum class Move { Up, Down, PageUp, PageDown, Home, End };

// The current row after a key: a page moves to the far full row of the view that shows
// the current row, or one page on from there when the current row already is that row.
// With no current row, Home and End still go to the ends, PageDown to the bottom full row
// and the others to the top row of the view. An empty list has no row to land on (-1).
[[nodiscard]] std::ptrdiff_t after_move(Move move, std::ptrdiff_t current, std::ptrdiff_t top_row,
    std::ptrdiff_t full, std::ptrdiff_t count) noexcept;

} // namespace change_list_rows

} // namespace ui
