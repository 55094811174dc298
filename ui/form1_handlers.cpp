// SPDX-License-Identifier: MIT
// What the window does on its five events: loading, the three buttons and the tick.
#include "form1.h"

#include "change_list.h"
#include "decimal_text.h"
#include "poll_step.h"
#include "poll_timer.h"
#include "round_to_long.h"
#include "runtime_error.h"
#include "text_to_number.h"
#include "vars.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <utility>

namespace {

// Leaves the box alone when it already shows the text, so that a selection in it
// survives polling.
void show_text(QLineEdit* box, std::int64_t n)
{
    char digits[20];
    const auto length = static_cast<qsizetype>(decimal_text(n, digits));
    const QLatin1StringView text(digits, length);
    if (box->text() != text) {
        box->setText(text);
        // A box too narrow for its text shows the start, as a text box does whose text is
        // set: a count of 123121 reads "12312", not "23121".
        box->setCursorPosition(0);
    }
}

void show_lamps(const std::array<QLabel*, 8>& an)
{
    for (std::size_t k = 0; k < an.size(); ++k) {
        const bool lit = vars::bits[k] == truth_true;
        if (an[k]->isHidden() == lit)
            an[k]->setVisible(lit);
    }
}

} // namespace

void Form1::Form_Load()
{
    vars::bits.fill(truth_false);
    show_lamps(an);
}

void Form1::btn_start_Click()
{
    try {
        timer1->setInterval(round_to_long(text_to_number(txt_interval->text().toStdString())));
        if (!timer1->isEnabled()) {
            vars::port_text = txt_port->text().toStdString();
            clock_ = RecordClock::start();
            btn_start->setText(QStringLiteral("Stop"));
            timer1->setEnabled(true);
        } else {
            btn_start->setText(QStringLiteral("Start"));
            timer1->setEnabled(false);
        }
    } catch (const std::exception& e) {
        report(e);
    }
}

void Form1::btn_list_Click()
{
    txt_list->setText(QString());
    List1->clear();
}

void Form1::btn_ende_Click()
{
    timer1->setEnabled(false);
    hide();
    QCoreApplication::exit(0);
}

void Form1::timer1_Timer()
{
    if (polling_paused_)
        return;
    try {
        const TextPort port { port_ };
        // The clock is read only when the value changed.
        step_(port, chk_255->isChecked(),
            [this](std::uint8_t value) { List1->addItem(value, clock_.wall_us(monotonic_us())); });
        show_text(txt_ausgabe, vars::out_value);
        show_text(txt_list, static_cast<std::int64_t>(List1->count()));
        show_lamps(an);
    } catch (const std::exception& e) {
        // Polling stops before the report opens, so no tick runs behind it; the
        // steps before the failure keep their effect, the later ones do not happen.
        timer1->setEnabled(false);
        btn_start->setText(QStringLiteral("Start"));
        report(e);
    }
}

void Form1::report(const std::exception& error, bool pause_polling)
{
    // One report at a time; while it is open no tick runs, unless it is a save's.
    if (reporting_) {
        if (!polling_paused_ && !pending_report_)
            pending_report_ = std::current_exception();
        return;
    }
    reporting_ = true;
    polling_paused_ = pause_polling;
    reporter_(this, error);
    reporting_ = false;
    polling_paused_ = false;
    if (const std::exception_ptr pending = std::exchange(pending_report_, nullptr)) {
        try {
            std::rethrow_exception(pending);
        } catch (const std::exception& next) {
            report(next);
        }
    }
}
