// SPDX-License-Identifier: MIT
// Memory per entry of the change list, and of a plain QListWidget for comparison.
#include "bench_support.h"

#include "ui/change_list.h"

#include <QListWidget>

#include <cstdint>
#include <memory>

using namespace core;

namespace {

void report(benchmark::State& state, std::size_t before, std::size_t after, std::size_t entries)
{
    state.counters["entries"] = static_cast<double>(entries);
    state.counters["bytes_per_entry"]
        = (static_cast<double>(after) - static_cast<double>(before)) / static_cast<double>(entries);
}

void BM_ChangeListMemory(benchmark::State& state)
{
    const auto entries = static_cast<std::size_t>(state.range(0));
    for (auto _ : state) {
        // Made first, so that the style and fonts it loads count as the widget's, not the
        // entries'.
        auto record = std::make_unique<ChangeRecord>();
        auto list = std::make_unique<ChangeList>(*record);
        const std::size_t before = bench_support::resident_bytes();
        // With their times, one millisecond apart, as the window adds them.
        for (std::size_t i = 0; i < entries; ++i) {
            record->append(static_cast<std::uint8_t>(i * 7),
                1'800'000'000'000'000 + static_cast<std::int64_t>(i) * 1000);
            list->entriesAdded();
        }
        const std::size_t after = bench_support::resident_bytes();
        report(state, before, after, entries);
        list.reset();
        record.reset();
    }
}

void BM_QListWidgetMemory(benchmark::State& state)
{
    const auto entries = static_cast<std::size_t>(state.range(0));
    for (auto _ : state) {
        auto list = std::make_unique<QListWidget>();
        list->setUniformItemSizes(true);
        const std::size_t before = bench_support::resident_bytes();
        for (std::size_t i = 0; i < entries; ++i)
            list->addItem(QString::number(static_cast<std::uint8_t>(i * 7)));
        const std::size_t after = bench_support::resident_bytes();
        report(state, before, after, entries);
        list.reset();
    }
}

} // namespace

BENCHMARK(BM_ChangeListMemory)->Arg(1'000'000)->Arg(10'000'000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QListWidgetMemory)->Arg(1'000'000)->Iterations(1)->Unit(benchmark::kMillisecond);
