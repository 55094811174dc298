// SPDX-License-Identifier: MIT
// Work over the change record (a save, a copy of it all) on a thread of its own, so that
// polling goes on; a progress dialog with "Abbrechen" comes up when it takes a while.
#pragma once

#include "core/record_save.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <atomic>
#include <exception>
#include <functional>
#include <thread>

class QProgressDialog;
class QWidget;

namespace ui {

class RecordJob : public QObject {
    Q_OBJECT

public:
    // Runs on the job's thread; returns false when keep_going stopped it.
    using Work = std::function<bool(const core::KeepGoing& keep_going)>;
    // Runs on the window's thread afterwards: failure is what the work threw (or null),
    // finished whether it ran to the end.
    using Done = std::function<void(std::exception_ptr failure, bool finished)>;

    // Milliseconds before the progress dialog shows.
    static constexpr int dialog_delay_ms = 500;

    // The progress dialog is window's child.
    RecordJob(QWidget* window, QObject* parent);
    // Cancels the work and waits for it.
    ~RecordJob() override;

    [[nodiscard]] bool busy() const noexcept { return thread_.joinable(); }
    // One job at a time: returns false, doing nothing, while one is busy.
    // label: what the progress dialog says; total: the entries the work goes through.
    bool start(const QString& label, std::size_t total, Work work, Done done);
    void cancel() noexcept { cancelled_ = true; }

private:
    void show_progress();
    void end();

    QWidget* window_;
    std::thread thread_;
    std::atomic<std::size_t> written_ { 0 };
    std::atomic<bool> cancelled_ { false };
    // Written by the job's thread before it posts end(), read after.
    std::exception_ptr failure_;
    bool finished_ = false;
    Done done_;
    std::size_t total_ = 0;
    QString label_;
    QTimer progress_timer_;
    QElapsedTimer running_;
    QPointer<QProgressDialog> dialog_;
};

} // namespace ui
