// SPDX-License-Identifier: MIT
#pragma once

#include "core/runtime_error.h"
#include "core/vars.h"
#include "ui/change_list.h"
#include "ui/error_report.h"
#include "ui/form1.h"
#include "ui/poll_timer.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// The window on a given port, with its reports recorded instead of shown. The widget tests
// of the handlers and the reliability tests share it.
struct WindowHarness {
    struct Report {
        int number = 0; // the run-time error's number; 0 for an error of another type
        std::string text;
        QString shown; // as the report shows it, e.g. "Laufzeitfehler '6':\n\nÜberlauf"
    };

    std::unique_ptr<Form1> form;
    std::vector<Report> reports;
    // Runs inside each report, as while its box is open.
    std::function<void()> while_reporting;

    // interval: the text in txt_interval; "0" gives no tick of its own, so that only the
    // test ticks.
    explicit WindowHarness(port::PortAccess port, QString interval = QStringLiteral("0"))
        : port_(port)
        , interval_(std::move(interval))
    {
        renew();
    }

    // Back to a just-started program: fresh state and window, no reports.
    void renew()
    {
        vars::reset();
        reports.clear();
        form = std::make_unique<Form1>(port_);
        form->setReporter([this](QWidget*, const std::exception& error) {
            const auto* runtime = dynamic_cast<const core::RuntimeError*>(&error);
            reports.push_back({ runtime != nullptr ? runtime->number() : 0, error.what(),
                ui::error_report_text(error) });
            if (while_reporting)
                while_reporting();
        });
        form->txt_interval->setText(interval_);
    }

    [[nodiscard]] QStringList shownReports() const
    {
        QStringList shown;
        for (const Report& report : reports)
            shown << report.shown;
        return shown;
    }

    void clickStart() const { QTest::mouseClick(form->btn_start, Qt::LeftButton); }

    // Ticks as the timer gives them: none once polling has stopped.
    void tick(int times = 1) const
    {
        for (int i = 0; i < times && polling(); ++i)
            Q_EMIT form->timer1->tick();
    }

    [[nodiscard]] bool polling() const { return form->timer1->isEnabled(); }

    // Polling as the button says it is: the caption follows the timer.
    void expectPolling(bool on) const
    {
        EXPECT_EQ(form->timer1->isEnabled(), on);
        EXPECT_EQ(form->btn_start->text(), on ? "Stop" : "Start");
    }

    [[nodiscard]] std::vector<QString> entries() const
    {
        std::vector<QString> texts;
        for (std::size_t row = 0; row < form->List1->count(); ++row)
            texts.push_back(form->List1->itemText(row));
        return texts;
    }

    // The list still begins with everything it held before.
    void expectKept(const std::vector<QString>& before) const
    {
        const std::vector<QString> now = entries();
        ASSERT_GE(now.size(), before.size());
        EXPECT_TRUE(std::equal(before.begin(), before.end(), now.begin()));
    }

private:
    port::PortAccess port_;
    QString interval_;
};
