// SPDX-License-Identifier: MIT
// The change record's background work and its progress dialog.
#include "win32/record_job.h"

#include "win32/resource_ids.h"

#include <commctrl.h>

#include <system_error>
#include <utility>

namespace win32 {

namespace {

// The progress bar's steps: per mille of the entries.
constexpr int progress_steps = 1000;
// Milliseconds between looks at the progress.
constexpr UINT progress_interval_ms = 100;

INT_PTR CALLBACK progress_dialog(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lparam);
        return TRUE;
    }
    if (message == WM_COMMAND && LOWORD(wparam) == IDCANCEL) {
        if (auto* job = reinterpret_cast<RecordJob*>(GetWindowLongPtrW(dialog, DWLP_USER)))
            job->cancel();
        EnableWindow(GetDlgItem(dialog, IDCANCEL), FALSE);
        return TRUE;
    }
    return FALSE;
}

} // namespace

RecordJob::RecordJob(HWND window, UINT done_message, UINT_PTR progress_timer)
    : window_(window)
    , done_message_(done_message)
    , progress_timer_(progress_timer)
{
}

RecordJob::~RecordJob()
{
    cancel();
    if (thread_.joinable())
        thread_.join();
    close_dialog();
}

bool RecordJob::start(std::wstring label, std::size_t total, Work work, Done done)
{
    if (busy())
        return false;
    label_ = std::move(label);
    total_ = total;
    done_ = std::move(done);
    written_ = 0;
    cancelled_ = false;
    failure_ = nullptr;
    finished_ = false;
    started_ = std::chrono::steady_clock::now();
    SetTimer(window_, progress_timer_, progress_interval_ms, nullptr);
    try {
        thread_ = std::thread([this, work = std::move(work)] {
            // The work gives way to the window's thread where both want a core, so that
            // polling keeps its pace on a busy machine.
            SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
            try {
                finished_ = work([this](std::size_t written) {
                    written_.store(written, std::memory_order_relaxed);
                    return !cancelled_.load(std::memory_order_relaxed);
                });
            } catch (...) {
                failure_ = std::current_exception();
            }
            PostMessageW(window_, done_message_, 0, 0);
        });
    } catch (const std::system_error&) {
        // No thread to be had: the failure goes where the work's would.
        KillTimer(window_, progress_timer_);
        std::exchange(done_, {})(std::current_exception(), false);
    }
    return true;
}

void RecordJob::show_progress()
{
    if (!busy())
        return;
    if (dialog_ == nullptr) {
        const auto waited = std::chrono::steady_clock::now() - started_;
        if (waited < std::chrono::milliseconds(dialog_delay_ms))
            return;
        dialog_ = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_PROGRESS),
            window_, &progress_dialog, reinterpret_cast<LPARAM>(this));
        if (dialog_ == nullptr)
            return;
        SetDlgItemTextW(dialog_, IDC_PROGRESS_LABEL, label_.c_str());
        SendDlgItemMessageW(dialog_, IDC_PROGRESS_BAR, PBM_SETRANGE32, 0, progress_steps);
        // Window-modal: the window takes no input while the dialog shows, yet polls on.
        EnableWindow(window_, FALSE);
        ShowWindow(dialog_, SW_SHOW);
    }
    const std::size_t written = written_.load(std::memory_order_relaxed);
    const int step = total_ == 0
        ? 0
        : static_cast<int>(static_cast<double>(written) / static_cast<double>(total_)
            * progress_steps);
    SendDlgItemMessageW(dialog_, IDC_PROGRESS_BAR, PBM_SETPOS, static_cast<WPARAM>(step), 0);
}

void RecordJob::end()
{
    if (!busy())
        return;
    thread_.join();
    KillTimer(window_, progress_timer_);
    close_dialog();
    // Taken out first: done may start the next job.
    Done done = std::exchange(done_, {});
    if (done)
        done(failure_, finished_);
}

void RecordJob::close_dialog() noexcept
{
    if (dialog_ == nullptr)
        return;
    EnableWindow(window_, TRUE);
    DestroyWindow(dialog_);
    dialog_ = nullptr;
}

} // namespace win32
