// SPDX-License-Identifier: MIT
// Work over the change record (a save, a copy of it all) on a thread of its own, so that
// polling goes on; a progress dialog with "Abbrechen" comes up when it takes a while.
#pragma once

#include "core/record_save.h"

#include <windows.h>

#include <atomic>
#include <chrono>
#include <exception>
#include <functional>
#include <string>
#include <thread>

namespace win32 {

class RecordJob {
public:
    // Runs on the job's thread; returns false when keep_going stopped it.
    using Work = std::function<bool(const core::KeepGoing& keep_going)>;
    // Runs on the window's thread afterwards: failure is what the work threw (or null),
    // finished whether it ran to the end.
    using Done = std::function<void(std::exception_ptr failure, bool finished)>;

    // Milliseconds before the progress dialog shows.
    static constexpr UINT dialog_delay_ms = 500;

    // window: the progress dialog's owner, which gets done_message when the work ends and
    // WM_TIMER progress_timer while it runs; it passes them to end() and show_progress().
    RecordJob(HWND window, UINT done_message, UINT_PTR progress_timer);
    // Cancels the work and waits for it.
    ~RecordJob();
    RecordJob(const RecordJob&) = delete;
    RecordJob& operator=(const RecordJob&) = delete;

    [[nodiscard]] bool busy() const noexcept { return thread_.joinable(); }
    // One job at a time: returns false, doing nothing, while one is busy.
    // label: what the progress dialog says; total: the entries the work goes through.
    bool start(std::wstring label, std::size_t total, Work work, Done done);
    void cancel() noexcept { cancelled_ = true; }

    void show_progress();
    void end();

    // The progress dialog while it shows, for the message loop's dialog keys.
    [[nodiscard]] HWND dialog() const noexcept { return dialog_; }

private:
    void close_dialog() noexcept;

    HWND window_;
    UINT done_message_;
    UINT_PTR progress_timer_;
    std::thread thread_;
    std::atomic<std::size_t> written_ { 0 };
    std::atomic<bool> cancelled_ { false };
    // Written by the job's thread before it posts done_message, read after.
    std::exception_ptr failure_;
    bool finished_ = false;
    Done done_;
    std::size_t total_ = 0;
    std::wstring label_;
    std::chrono::steady_clock::time_point started_;
    HWND dialog_ = nullptr;
};

} // namespace win32
