// SPDX-License-Identifier: MIT
// Scrolling a change list of ten million entries to its end and repainting it.
#include "bench_support.h"

#include "ui/change_list.h"
#include "ui/form1.h"

#include <QApplication>
#include <QScrollBar>

#include <chrono>
#include <cstdint>
#include <vector>

namespace {

void BM_ScrollToEndAndRepaint(benchmark::State& state)
{
    Form1 form;
    form.show();
    ChangeList* list = form.List1;
    const auto entries = static_cast<std::size_t>(state.range(0));
    for (std::size_t i = 0; i < entries; ++i)
        form.addEntry(static_cast<std::uint8_t>(i));
    QApplication::processEvents();

    std::vector<double> nanoseconds;
    for (auto _ : state) {
        // From the top, with one entry the view has not caught up with yet.
        state.PauseTiming();
        list->verticalScrollBar()->setValue(0);
        list->viewport()->repaint();
        form.addEntry(7);
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        list->scrollToBottom();
        list->viewport()->repaint();
        const auto end = std::chrono::steady_clock::now();
        nanoseconds.push_back(std::chrono::duration<double, std::nano>(end - start).count());
    }
    state.counters["top_row"] = static_cast<double>(list->topRow());
    bench_support::report_percentiles(state, nanoseconds);
}

} // namespace

BENCHMARK(BM_ScrollToEndAndRepaint)->Arg(10'000'000)->Unit(benchmark::kMicrosecond);
