// SPDX-License-Identifier: MIT
// The change list's context menu and its shortcuts: copy the selected entry ("Kopieren",
// Strg+C), copy the whole record as CSV ("Alles kopieren"), save it to a file
// ("Speichern unter…", Strg+S).
#pragma once

#include "win32/record_job.h"
#include "win32/tick_pacer.h"

#include <windows.h>

#include <exception>
#include <functional>
#include <string>

namespace win32 {

class ChangeListView;

class RecordMenu {
public:
    using Report = std::function<void(const std::exception& error)>;

    // window: the owner of the menu, the dialogs and the job's messages (see RecordJob);
    // report shows a failure of a save or a copy.
    // The menu and the save dialog run loops of their own: ticks then come through pacer.
    RecordMenu(HWND window, ChangeListView& list, TickPacer& pacer, Report report,
        UINT done_message, UINT_PTR progress_timer);

    // The menu at a point on the screen; from the keyboard (x and y -1) under the selected
    // row, or the list's corner.
    void show(POINT screen);
    // A key pressed in the list: Strg+C copies, Strg+S saves. Returns whether it was one.
    bool on_key(WORD key);

    void copy();
    void copy_all();
    void save_as();
    // Saves the record as it is now to path, in the format of its extension, or of the save
    // dialog's filter (0 to 2) when it has none of ours; in the background.
    void save_to(const std::wstring& path, int filter_index = 0);

    // movanta-YYYYMMDD-HHMMSS.csv (local time) in the user's documents folder.
    [[nodiscard]] static std::wstring proposed_file_name();

    [[nodiscard]] RecordJob& job() noexcept { return job_; }

private:
    void report_failure(std::exception_ptr failure);

    HWND window_;
    ChangeListView& list_;
    TickPacer& pacer_;
    Report report_;
    RecordJob job_;
};

} // namespace win32
