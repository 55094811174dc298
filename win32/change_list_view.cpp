// SPDX-License-Identifier: MIT
// The owner-data list view of the change record.
#include "change_list_view.h"

#include "decimal_text.h"
#include "record_time_text.h"
#include "wide_text.h"

#include <algorithm>
#include <climits>

namespace {

// A list view holds at most this many rows; a longer record shows its first ones.
constexpr std::size_t most_rows = 100'000'000;

void copy_text(const std::wstring& text, wchar_t* out, int size)
{
    if (out == nullptr || size <= 0)
        return;
    const std::size_t length = std::min(text.size(), static_cast<std::size_t>(size - 1));
    std::copy_n(text.data(), length, out);
    out[length] = L'\0';
}

} // namespace

ChangeListView::ChangeListView(HWND list, UINT_PTR refresh_timer)
    : list_(list)
    , refresh_timer_(refresh_timer)
{
}

void ChangeListView::add(const RecordEntry& entry)
{
    record_.add(entry);
    if (!refresh_pending_) {
        refresh_pending_ = true;
        SetTimer(GetParent(list_), refresh_timer_, refresh_ms, nullptr);
    }
}

void ChangeListView::clear()
{
    record_.clear();
    if (refresh_pending_) {
        KillTimer(GetParent(list_), refresh_timer_);
        refresh_pending_ = false;
    }
    shown_count_ = 0;
    ListView_SetItemCountEx(list_, 0, 0);
}

void ChangeListView::catch_up()
{
    if (refresh_pending_) {
        KillTimer(GetParent(list_), refresh_timer_);
        refresh_pending_ = false;
    }
    const std::size_t rows = std::min(record_.size(), most_rows);
    if (rows == shown_count_)
        return;
    shown_count_ = rows;
    ListView_SetItemCountEx(
        list_, static_cast<int>(rows), LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
}

std::ptrdiff_t ChangeListView::current_row() const noexcept
{
    return ListView_GetNextItem(list_, -1, LVNI_SELECTED);
}

std::wstring ChangeListView::item_text(std::size_t row) const
{
    if (row >= record_.size())
        return {};
    char digits[20];
    const std::size_t length = decimal_text(record_[row], digits);
    return std::wstring(digits, digits + length);
}

std::wstring ChangeListView::item_tip(std::size_t row) const
{
    if (row >= record_.size())
        return {};
    return widen(german_time_text(record_.time_us(row)));
}

bool ChangeListView::on_notify(const NMHDR& header)
{
    if (header.hwndFrom != list_)
        return false;
    if (header.code == LVN_GETDISPINFOW) {
        auto& info = reinterpret_cast<NMLVDISPINFOW&>(const_cast<NMHDR&>(header));
        if ((info.item.mask & LVIF_TEXT) != 0 && info.item.iItem >= 0) {
            const std::wstring text = item_text(static_cast<std::size_t>(info.item.iItem));
            copy_text(text, text_, static_cast<int>(std::size(text_)));
            info.item.pszText = text_;
        }
        return true;
    }
    if (header.code == LVN_GETINFOTIPW) {
        auto& tip = reinterpret_cast<NMLVGETINFOTIPW&>(const_cast<NMHDR&>(header));
        if (tip.iItem >= 0)
            copy_text(item_tip(static_cast<std::size_t>(tip.iItem)), tip.pszText, tip.cchTextMax);
        return true;
    }
    return false;
}
