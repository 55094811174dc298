// SPDX-License-Identifier: MIT
// What the window does on its five events: loading, the three buttons and the tick.
#include "ui/form1.h"

#include "core/decimal_text.h"
#include "core/round_to_long.h"
#include "core/runtime_error.h"
#include "core/text_to_number.h"
#include "core/vars.h"
#include "ui/change_list.h"
#include "ui/poll_timer.h"
#include "ui/text_from_start.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <utility>

using namespace core;
using namespace port;

namespace {

// Leaves the box alone when it already shows the digits of n, so that a selection in it
// survives polling; set_text puts them in otherwise.
template <typename SetText>
void show_text(const QLineEdit& box, std::int64_t n, SetText&& set_text)
{
    char digits[20];
    const auto length = static_cast<qsizetype>(decimal_text(n, digits));
    const QLatin1StringView text(digits, length);
    if (box.text() != text)
        set_text(text);
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
            run_.start();
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
    record_.clear();
    List1->recordCleared();
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
        if (run_.tick(port, chk_255->isChecked()))
            List1->entriesAdded();
        // At most three digits, which the box shows whole: the cursor may stay at their end.
        show_text(*txt_ausgabe, vars::out_value,
            [this](QLatin1StringView text) { txt_ausgabe->setText(text); });
        show_text(*txt_list, static_cast<std::int64_t>(record_.size()),
            [this](QLatin1StringView text) { list_text_->setText(text); });
        show_lamps(an);
    } catch (const std::exception& e) {
        // Polling stops before the report opens, so no tick runs behind it; the
        // steps before the failure keep their effect, the later ones do not happen.
        timer1->setEnabled(false);
        btn_start->setText(QStringLiteral("Start"));
        report(e);
    }
}

void Form1::addEntry(std::uint8_t value, std::int64_t time_us)
{
    record_.append(value, time_us);
    List1->entriesAdded();
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
