// SPDX-License-Identifier: MIT
// The main window, Form1.
#pragma once

#include "core/change_record.h"
#include "core/poll_run.h"
#include "port/port_access.h"

#include <QWidget>

#include <array>
#include <cstdint>
#include <exception>
#include <functional>

class ChangeList;
namespace ui { class PollTimer; }
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
namespace ui { class RecordMenu; }
namespace ui { class TextFromStart; }

// The main window, the program's only one. It owns its controls and the timer
// for the whole run, and the polling run with the change record it fills, which List1
// shows; the controls keep the names and places of the window's
// layout (layout.h) and are never created, moved or resized after this.
// At creation every lamp is visible; the start-up work then hides the on-lamps
// before the window is first shown. The handlers live in form1_handlers.cpp.
class Form1 : public QWidget {
    Q_OBJECT

public:
    explicit Form1(QWidget* parent = nullptr);
    // port: the operations each tick uses (the driver library's by default).
    explicit Form1(port::PortAccess port, QWidget* parent = nullptr);
    ~Form1() override;

    // How a run-time error is reported: by default a modal message box and a line on
    // standard error. Tests record the reports instead.
    using Reporter = std::function<void(QWidget* parent, const std::exception& error)>;
    void setReporter(Reporter reporter);

    // The changes the ticks recorded, with their times: what List1 shows and its menu
    // copies and saves.
    [[nodiscard]] const core::ChangeRecord& record() const noexcept { return record_; }
    // Adds an entry to the record as a tick that saw a change does, without the port or the
    // clock: fills the record for tests and benchmarks. time_us: wall-clock microseconds.
    void addEntry(std::uint8_t value, std::int64_t time_us = 0);

    QGroupBox* Frame1 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QGroupBox* Frame3 = nullptr;
    QGroupBox* Frame4 = nullptr;
    QGroupBox* Frame5 = nullptr;
    QGroupBox* Frame6 = nullptr;

    QLineEdit* txt_port = nullptr;
    QLineEdit* txt_ausgabe = nullptr; // read-only, yet focusable and selectable
    QLineEdit* txt_list = nullptr;
    QLineEdit* txt_interval = nullptr;

    ChangeList* List1 = nullptr; // a child of the window lying over Frame3, not Frame3's
    QCheckBox* chk_255 = nullptr;

    QPushButton* btn_start = nullptr;
    QPushButton* btn_list = nullptr;
    QPushButton* btn_ende = nullptr;

    ui::PollTimer* timer1 = nullptr; // disabled, 10 ms
    ui::RecordMenu* list_menu = nullptr; // List1's context menu: copying and saving

    // The lamps of bits 0 to 7: an[0] is an1 (bit 0, rightmost), an[7] is an8.
    // Each on-lamp an[k] lies exactly over its off-lamp aus[k].
    std::array<QLabel*, 8> an {};
    std::array<QLabel*, 8> aus {};

private:
    // The window's five events.
    void Form_Load();
    void btn_start_Click();
    void btn_list_Click();
    void btn_ende_Click();
    void timer1_Timer();

    // Reports a run-time error; the program goes on. While a report is open no tick
    // runs and no second report opens. A failed save is no failed tick: its report
    // (pause_polling false) lets the ticks go on, and a tick's report that comes while it
    // is open follows when it closes.
    void report(const std::exception& error, bool pause_polling = true);

    port::PortAccess port_;
    // Made before the controls and kept until List1 and its menu, which read it, are gone.
    core::ChangeRecord record_;
    // The poll step and the clock pair, taken anew at each Start; record_ is its one sink.
    core::PollRun run_;
    // The count into txt_list, shown from its start however long it grows.
    ui::TextFromStart* list_text_ = nullptr;
    Reporter reporter_;
    bool reporting_ = false;
    bool polling_paused_ = false;
    std::exception_ptr pending_report_;
};
