// SPDX-License-Identifier: MIT
// Polling at 1 ms while the window saves 10 M entries: the real Form1, its poll timer and
// its save, offscreen; reads per second counted at the fake port for as long as the save runs.
#include "bench_support.h"

#include "core/vars.h"
#include "ui/change_list.h"
#include "ui/form1.h"
#include "ui/poll_timer.h"
#include "ui/record_menu.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <cstdint>
#include <vector>

using namespace port;

namespace {

// Nanoseconds of each read since the measured span began.
std::vector<std::int64_t> reads;
QElapsedTimer running;

// Steady input: a value that changed would add entries and the save would not see them.
std::uint8_t counted_read(std::int32_t)
{
    reads.push_back(running.nsecsElapsed());
    return 0x5A;
}

// Reads per second between the span's first and last read, so that where the span's
// edges fall between two ticks does not count.
double read_rate()
{
    if (reads.size() < 2)
        return 0;
    return static_cast<double>(reads.size() - 1) * 1e9
        / static_cast<double>(reads.back() - reads.front());
}

void ignored_write(std::int32_t, std::uint8_t) { }

void save_while_polling(benchmark::State& state, const char* name)
{
    vars::reset();
    Form1 form(PortAccess { &counted_read, &ignored_write });
    form.show();
    const std::int64_t t0 = 1'800'000'000'000'000;
    for (std::size_t i = 0; i < static_cast<std::size_t>(state.range(0)); ++i)
        form.addEntry(static_cast<std::uint8_t>(i & 1), t0 + static_cast<std::int64_t>(i) * 1000);
    form.txt_interval->setText(QStringLiteral("1"));
    form.btn_start->click();
    QTemporaryDir folder;
    for (auto _ : state) {
        const QString path = folder.filePath(QString::fromLatin1(name));
        QFile::remove(path);
        reads.clear();
        running.start();
        form.list_menu->saveTo(path);
        while (!QFile::exists(path))
            QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const double seconds = static_cast<double>(running.nsecsElapsed()) / 1e9;
        state.SetIterationTime(seconds);
        state.counters["save_s"] = seconds;
        state.counters["reads_per_s"] = read_rate();
        // The job ends a moment after the rename: let it go before the next save.
        QApplication::processEvents();
    }
}

// The same window polling for as long, with no save: what the machine gives anyway.
void BM_PollingAlone(benchmark::State& state)
{
    vars::reset();
    Form1 form(PortAccess { &counted_read, &ignored_write });
    form.show();
    form.txt_interval->setText(QStringLiteral("1"));
    form.btn_start->click();
    for (auto _ : state) {
        reads.clear();
        running.start();
        while (running.elapsed() < state.range(0))
            QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        state.SetIterationTime(static_cast<double>(running.nsecsElapsed()) / 1e9);
        state.counters["reads_per_s"] = read_rate();
    }
}

void BM_SaveCsvWhilePolling(benchmark::State& state) { save_while_polling(state, "liste.csv"); }
void BM_SaveVcdWhilePolling(benchmark::State& state) { save_while_polling(state, "liste.vcd"); }

} // namespace

BENCHMARK(BM_SaveCsvWhilePolling)
    ->Arg(10'000'000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveVcdWhilePolling)
    ->Arg(10'000'000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
// Last: the CSV output takes its counter columns from the first run.
BENCHMARK(BM_PollingAlone)
    ->Arg(2000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
