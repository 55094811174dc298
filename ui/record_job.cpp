// SPDX-License-Identifier: MIT
// The change record's background work and its progress dialog.
#include "ui/record_job.h"

#include <QProgressDialog>
#include <QWidget>

#include <system_error>
#include <utility>

#ifdef Q_OS_LINUX
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace ui {

namespace {

// The progress bar's steps: per mille of the entries.
constexpr int progress_steps = 1000;
// Milliseconds between looks at the progress.
constexpr int progress_interval_ms = 100;

// The work gives way to the window's thread where both want a core, so that polling keeps
// its pace on a busy machine. Linux only: elsewhere the priority is the whole process's.
void yield_to_polling() noexcept
{
#ifdef Q_OS_LINUX
    setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), 10);
#endif
}

} // namespace

RecordJob::RecordJob(QWidget* window, QObject* parent)
    : QObject(parent)
    , window_(window)
{
    progress_timer_.setInterval(progress_interval_ms);
    connect(&progress_timer_, &QTimer::timeout, this, &RecordJob::show_progress);
}

RecordJob::~RecordJob()
{
    cancel();
    if (thread_.joinable())
        thread_.join();
}

bool RecordJob::start(const QString& label, std::size_t total, Work work, Done done)
{
    if (busy())
        return false;
    label_ = label;
    total_ = total;
    done_ = std::move(done);
    written_ = 0;
    cancelled_ = false;
    failure_ = nullptr;
    finished_ = false;
    running_.start();
    progress_timer_.start();
    try {
        thread_ = std::thread([this, work = std::move(work)] {
            yield_to_polling();
            try {
                finished_ = work([this](std::size_t written) {
                    written_.store(written, std::memory_order_relaxed);
                    return !cancelled_.load(std::memory_order_relaxed);
                });
            } catch (...) {
                failure_ = std::current_exception();
            }
            // Dropped by Qt when the job is gone by then; the destructor joins instead.
            QMetaObject::invokeMethod(this, &RecordJob::end, Qt::QueuedConnection);
        });
    } catch (const std::system_error&) {
        // No thread to be had: the failure goes where the work's would.
        progress_timer_.stop();
        std::exchange(done_, {})(std::current_exception(), false);
    }
    return true;
}

void RecordJob::show_progress()
{
    if (!dialog_) {
        if (running_.elapsed() < dialog_delay_ms)
            return;
        dialog_
            = new QProgressDialog(label_, QStringLiteral("Abbrechen"), 0, progress_steps, window_);
        dialog_->setWindowTitle(QStringLiteral("Movanta"));
        dialog_->setWindowModality(Qt::WindowModal);
        dialog_->setAutoReset(false);
        dialog_->setAutoClose(false);
        dialog_->setMinimumDuration(0);
        connect(dialog_, &QProgressDialog::canceled, this, &RecordJob::cancel);
        dialog_->show();
    }
    const std::size_t written = written_.load(std::memory_order_relaxed);
    dialog_->setValue(total_ == 0 ? 0
                                  : static_cast<int>(static_cast<double>(written)
                                      / static_cast<double>(total_) * progress_steps));
}

void RecordJob::end()
{
    thread_.join();
    progress_timer_.stop();
    if (dialog_)
        dialog_->deleteLater();
    dialog_ = nullptr;
    // Taken out first: done may start the next job.
    Done done = std::move(done_);
    done(failure_, finished_);
}

} // namespace ui
