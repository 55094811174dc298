// SPDX-License-Identifier: MIT
// List1 on Windows: an owner-data list view over the change record. It holds no item per
// entry: it asks for the text of the rows it shows, so ten million entries cost what ten
// do. As a sink of the polling run it keeps every record; the list view learns of new
// entries at most once per screen refresh.
#pragma once

#include "core/change_record.h"

#include <windows.h>

#include <commctrl.h>

#include <cstddef>
#include <string>

namespace win32 {

class ChangeListView final : public core::RecordSink {
public:
    // Milliseconds between catch-ups of the view while entries come: one screen refresh.
    static constexpr UINT refresh_ms = 16;

    // list: the list view (LVS_OWNERDATA); refresh_timer: the id of a timer on its parent
    // whose WM_TIMER the parent passes to catch_up().
    ChangeListView(HWND list, UINT_PTR refresh_timer);
    ~ChangeListView() override;
    ChangeListView(const ChangeListView&) = delete;
    ChangeListView& operator=(const ChangeListView&) = delete;

    void add(const core::RecordEntry& entry) override;

    [[nodiscard]] HWND hwnd() const noexcept { return list_; }
    [[nodiscard]] const core::ChangeRecord& record() const noexcept { return record_; }
    // The number of entries, always current.
    [[nodiscard]] std::size_t count() const noexcept { return record_.size(); }
    // Removes every entry, gives their memory back, leaves no selected row.
    void clear();
    // Tells the list view of the entries it does not know of yet; the top row stays.
    void catch_up();
    // The entries the list view knows of.
    [[nodiscard]] std::size_t shown_count() const noexcept { return shown_count_; }

    // The selected row, -1 for none.
    [[nodiscard]] std::ptrdiff_t current_row() const noexcept;
    // An entry's text ("0" to "255"); empty past the entries.
    [[nodiscard]] std::wstring item_text(std::size_t row) const;
    // An entry's tooltip: its time, "08.12.2026 10:15:02,123456"; empty past the entries.
    [[nodiscard]] std::wstring item_tip(std::size_t row) const;

    // The tooltip control, and the entry under the mouse it tells of (-1 for none).
    [[nodiscard]] HWND tooltip() const noexcept { return tooltip_; }
    [[nodiscard]] std::ptrdiff_t tip_row() const noexcept { return tip_row_; }

    // The list view's and the tooltip's notifications to the parent (LVN_GETDISPINFO,
    // TTN_GETDISPINFO); false for others.
    bool on_notify(const NMHDR& header);

private:
    static LRESULT CALLBACK list_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
        UINT_PTR id, DWORD_PTR self);
    void follow_mouse(LPARAM position);

    HWND list_;
    UINT_PTR refresh_timer_;
    core::ChangeRecord record_;
    std::size_t shown_count_ = 0;
    bool refresh_pending_ = false;
    wchar_t text_[24] = {};
    HWND tooltip_ = nullptr;
    std::ptrdiff_t tip_row_ = -1;
    std::wstring tip_text_;
};

} // namespace win32
