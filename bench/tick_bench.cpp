// SPDX-License-Identifier: MIT
// The cost of one poll tick, painting left out, with the change list empty and full.
#include "bench_support.h"

#include "core/vars.h"
#include "ui/change_list.h"
#include "ui/form1.h"
#include "ui/poll_timer.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <chrono>
#include <cstdint>
#include <vector>

using namespace port;

namespace {

// Every read differs from the one before, so every tick logs an entry and rewrites both
// numbers. Flipping all eight bits also turns every lamp: the dearest tick there is; a
// switch on one line turns one lamp.
std::uint8_t next_value = 0x55;

std::uint8_t all_bits_read(std::int32_t)
{
    next_value = static_cast<std::uint8_t>(~next_value);
    return next_value;
}

std::uint8_t one_bit_read(std::int32_t)
{
    next_value = static_cast<std::uint8_t>(next_value ^ 1u);
    return next_value;
}

void ignored_write(std::int32_t, std::uint8_t) { }

// events_between: run the event loop after every tick, as the program does, so that the
// tick pays for posting its repaint requests to an idle loop and meets caches that painting
// has cooled; otherwise only every 1024 ticks, which measures the tick's own steps.
void run_ticks(benchmark::State& state, std::uint8_t (*read)(std::int32_t), bool events_between)
{
    vars::reset();
    Form1 form(PortAccess { read, &ignored_write });
    form.show();
    const auto prefilled = static_cast<std::size_t>(state.range(0));
    for (std::size_t i = 0; i < prefilled; ++i)
        form.addEntry(static_cast<std::uint8_t>(i));
    // A day's interval: the timer itself never ticks while this runs.
    form.txt_interval->setText(QStringLiteral("86400000"));
    form.btn_start->click();
    QApplication::processEvents();

    std::vector<double> nanoseconds;
    nanoseconds.reserve(1 << 20);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        Q_EMIT form.timer1->tick();
        const auto end = std::chrono::steady_clock::now();
        nanoseconds.push_back(std::chrono::duration<double, std::nano>(end - start).count());
        // Delivering what the tick posted, catching up the view and painting all happen
        // outside the measured time.
        if (events_between || (nanoseconds.size() & 1023u) == 0) {
            state.PauseTiming();
            QApplication::processEvents();
            state.ResumeTiming();
        }
    }
    state.counters["entries_after"] = static_cast<double>(form.record().size());
    bench_support::report_percentiles(state, nanoseconds);
}

void BM_Tick(benchmark::State& state) { run_ticks(state, &all_bits_read, false); }
void BM_TickOneBit(benchmark::State& state) { run_ticks(state, &one_bit_read, false); }
void BM_TickOneBitEventsBetween(benchmark::State& state) { run_ticks(state, &one_bit_read, true); }

// What the tick's two Qt steps cost on their own: rewriting the number in a line edit
// (a new text layout each time) and showing or hiding one lamp.
void BM_LineEditSetText(benchmark::State& state)
{
    Form1 form(PortAccess { &one_bit_read, &ignored_write });
    form.show();
    QApplication::processEvents();
    const QString texts[2] = { QStringLiteral("254"), QStringLiteral("255") };
    std::size_t i = 0;
    for (auto _ : state)
        form.txt_ausgabe->setText(texts[++i & 1u]);
}

void BM_LampShowHide(benchmark::State& state)
{
    Form1 form(PortAccess { &one_bit_read, &ignored_write });
    form.show();
    QApplication::processEvents();
    bool lit = false;
    for (auto _ : state) {
        lit = !lit;
        form.an[0]->setVisible(lit);
    }
}

} // namespace

BENCHMARK(BM_Tick)->Arg(0)->Arg(1'000'000)->Arg(10'000'000)->Iterations(200'000);
BENCHMARK(BM_TickOneBit)->Arg(0)->Arg(1'000'000)->Arg(10'000'000)->Iterations(200'000);
// Painting between ticks makes each iteration slow: fewer of them.
BENCHMARK(BM_TickOneBitEventsBetween)->Arg(0)->Arg(10'000'000)->Iterations(20'000);
// Last: the CSV output takes its counter columns from the first run.
BENCHMARK(BM_LineEditSetText);
BENCHMARK(BM_LampShowHide);
