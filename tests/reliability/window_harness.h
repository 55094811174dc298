#pragma once

#include "change_list.h"
#include "form1.h"
#include "poll_timer.h"
#include "runtime_error.h"
#include "vars.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

// The window on a given port, with its reports recorded instead of shown.
struct WindowHarness {
    struct Report {
        int number = 0; // the run-time error's number; 0 for an error of another type
        std::string text;
    };

    std::unique_ptr<Form1> form;
    std::vector<Report> reports;

    explicit WindowHarness(PortAccess port)
    {
        vars::reset();
        form = std::make_unique<Form1>(port);
        form->setReporter([this](QWidget*, const std::exception& error) {
            const auto* runtime = dynamic_cast<const RuntimeError*>(&error);
            reports.push_back({ runtime != nullptr ? runtime->number() : 0, error.what() });
        });
        // No tick of its own: the tests tick by hand.
        form->txt_interval->setText(QStringLiteral("0"));
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
};
