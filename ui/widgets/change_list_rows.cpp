// SPDX-License-Identifier: MIT
#include "ui/change_list_rows.h"

#include <algorithm>

namespace ui {

namespace change_list_rows {

std::ptrdiff_t full_rows(int viewport_height, int row_height) noexcept
{
    if (row_height <= 0)
        return 1;
    return std::max<std::ptrdiff_t>(1, viewport_height / row_height);
}

Range visible(
    std::ptrdiff_t top_row, int viewport_height, int row_height, std::ptrdiff_t count) noexcept
{
    if (row_height <= 0 || viewport_height <= 0 || count <= 0)
        return {};
    const std::ptrdiff_t first = std::clamp<std::ptrdiff_t>(top_row, 0, count);
    const std::ptrdiff_t shown = (viewport_height + row_height - 1) / row_height;
    return { first, std::min(count, first + shown) };
}

std::ptrdiff_t last_top_row(std::ptrdiff_t count, std::ptrdiff_t full) noexcept
{
    return std::max<std::ptrdiff_t>(0, count - std::max<std::ptrdiff_t>(1, full));
}

std::ptrdiff_t row_at(int y, std::ptrdiff_t top_row, int row_height, std::ptrdiff_t count) noexcept
{
    if (y < 0 || row_height <= 0)
        return -1;
    const std::ptrdiff_t row = top_row + y / row_height;
    return row < count ? row : -1;
}

std::ptrdiff_t top_row_showing(
    std::ptrdiff_t row, std::ptrdiff_t top_row, std::ptrdiff_t full) noexcept
{
    if (row < top_row)
        return row;
    if (row >= top_row + full)
        return row - full + 1;
    return top_row;
}

std::ptrdiff_t after_move(Move move, std::ptrdiff_t current, std::ptrdiff_t top_row,
    std::ptrdiff_t full, std::ptrdiff_t count) noexcept
{
    if (count <= 0)
        return -1;
    const std::ptrdiff_t last = count - 1;
    full = std::max<std::ptrdiff_t>(1, full);
    if (move == Move::Home)
        return 0;
    if (move == Move::End)
        return last;
    if (current < 0 || current > last) {
        const std::ptrdiff_t top = std::clamp<std::ptrdiff_t>(top_row, 0, last);
        return move == Move::PageDown ? std::min(last, top + full - 1) : top;
    }
    // Pages count from the view that shows the current row, wherever the user scrolled.
    const std::ptrdiff_t top = top_row_showing(current, top_row, full);
    const std::ptrdiff_t bottom = top + full - 1;
    const std::ptrdiff_t page = std::max<std::ptrdiff_t>(1, full - 1);
    std::ptrdiff_t row = current;
    switch (move) {
    case Move::Up:
        row = current - 1;
        break;
    case Move::Down:
        row = current + 1;
        break;
    case Move::PageUp:
        row = current > top ? top : current - page;
        break;
    case Move::PageDown:
        row = current < bottom ? bottom : current + page;
        break;
    case Move::Home:
    case Move::End:
        break;
    }
    return std::clamp<std::ptrdiff_t>(row, 0, last);
}

} // namespace change_list_rows

} // namespace ui
