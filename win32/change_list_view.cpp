// SPDX-License-Identifier: MIT
// The owner-data list view of the change record.
#include "win32/change_list_view.h"

#include "core/decimal_text.h"
#include "core/record_time_text.h"
#include "wide_text.h"

#include <algorithm>
#include <climits>

using namespace core;

namespace win32 {

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
    const HWND parent = GetParent(list_);
    tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
        WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
        CW_USEDEFAULT, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (tooltip_ != nullptr) {
        // The whole list is one tool; its text is asked for (TTN_GETDISPINFO to the parent)
        // each time the tip shows, and the tip starts anew when the mouse changes rows.
        TOOLINFOW tool {};
        tool.cbSize = sizeof tool;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = parent;
        tool.uId = reinterpret_cast<UINT_PTR>(list_);
        tool.lpszText = LPSTR_TEXTCALLBACKW;
        SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    SetWindowSubclass(list_, &ChangeListView::list_proc, 1, reinterpret_cast<DWORD_PTR>(this));
}

ChangeListView::~ChangeListView()
{
    RemoveWindowSubclass(list_, &ChangeListView::list_proc, 1);
    if (tooltip_ != nullptr)
        DestroyWindow(tooltip_);
}

LRESULT CALLBACK ChangeListView::list_proc(
    HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR, DWORD_PTR self)
{
    if (message == WM_MOUSEMOVE)
        reinterpret_cast<ChangeListView*>(self)->follow_mouse(lparam);
    return DefSubclassProc(hwnd, message, wparam, lparam);
}

void ChangeListView::follow_mouse(LPARAM position)
{
    LVHITTESTINFO hit {};
    hit.pt = { static_cast<short>(LOWORD(position)), static_cast<short>(HIWORD(position)) };
    const int row = ListView_HitTest(list_, &hit);
    const std::ptrdiff_t under = (hit.flags & LVHT_ONITEM) != 0 ? row : -1;
    if (under == tip_row_)
        return;
    tip_row_ = under;
    if (tooltip_ != nullptr)
        SendMessageW(tooltip_, TTM_POP, 0, 0);
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
    if (tooltip_ != nullptr && header.hwndFrom == tooltip_ && header.code == TTN_GETDISPINFOW) {
        auto& tip = reinterpret_cast<NMTTDISPINFOW&>(const_cast<NMHDR&>(header));
        tip_text_ = tip_row_ >= 0 ? item_tip(static_cast<std::size_t>(tip_row_)) : std::wstring();
        tip.lpszText = tip_text_.data();
        tip.hinst = nullptr;
        return true;
    }
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
    return false;
}

} // namespace win32
