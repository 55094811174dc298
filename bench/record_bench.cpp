// SPDX-License-Identifier: MIT
// The change record: what a tick pays to keep an entry with its time, and saving 10 M entries
// one millisecond apart as CSV and as VCD, through the same temporary file, fsync and rename
// as the window's save.
#include "core/change_record.h"
#include "core/record_clock.h"
#include "core/record_save.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <unistd.h>

using namespace core;

namespace {

constexpr std::int64_t t0 = 1'800'000'000'000'000;

// One bit turning on each entry, as a switch does; 1 ms apart.
ChangeRecord filled(std::size_t entries)
{
    ChangeRecord record;
    for (std::size_t i = 0; i < entries; ++i)
        record.append(static_cast<std::uint8_t>(i & 1), t0 + static_cast<std::int64_t>(i) * 1000);
    return record;
}

void save(benchmark::State& state, RecordFormat format, const char* name)
{
    const ChangeRecord record = filled(static_cast<std::size_t>(state.range(0)));
    const RecordSnapshot snapshot = record.snapshot();
    const auto path = std::filesystem::temp_directory_path()
        / ("movanta-bench-" + std::to_string(::getpid()) + "-" + name);
    for (auto _ : state)
        save_record(snapshot, format, path.string(), {});
    state.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
    std::filesystem::remove(path);
}

// The tick's share: the monotonic clock read, turned into wall-clock time and stored with the
// value. The record is emptied every 10 M entries, so that memory stays bounded.
void BM_AppendWithTime(benchmark::State& state)
{
    const RecordClock clock = RecordClock::start();
    ChangeRecord record;
    std::uint8_t value = 0;
    for (auto _ : state) {
        record.append(++value, clock.wall_us(monotonic_us()));
        if (record.size() == 10'000'000) {
            state.PauseTiming();
            record.clear();
            state.ResumeTiming();
        }
    }
}

void BM_SaveCsv(benchmark::State& state) { save(state, RecordFormat::Csv, "save.csv"); }
void BM_SaveVcd(benchmark::State& state) { save(state, RecordFormat::Vcd, "save.vcd"); }

} // namespace

BENCHMARK(BM_SaveCsv)->Arg(10'000'000)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SaveVcd)->Arg(10'000'000)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
// Last: the CSV output takes its counter columns from the first run.
BENCHMARK(BM_AppendWithTime);
BENCHMARK_MAIN();
