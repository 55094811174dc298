// SPDX-License-Identifier: MIT
// A turn of files in movanta-watch: what the record that starts a new file costs the poll
// (the old file's end and close, the new one's open, header and record, --keep's delete),
// against a record that stays in its file. Per-record times as p50/p99/max.
#include "bench_support.h"
#include "core/record_clock.h"
#include "watch/rotating_output.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <unistd.h>

using namespace core;
using namespace watch;

namespace {

constexpr std::int64_t t0 = 1'800'000'000'000'000;

void add_records(benchmark::State& state, RecordFormat format, std::uint64_t size)
{
    const auto folder = std::filesystem::temp_directory_path()
        / ("movanta-rotation-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    {
        // --keep 10: the run deletes a file at every turn once ten are there.
        RotatingOutput output({ (folder / "r.csv").string(), format, size, 0, 10 }, t0);
        std::vector<double> times;
        std::int64_t time_us = t0;
        std::uint8_t value = 0;
        for (auto _ : state) {
            const RecordEntry entry { ++value, time_us += 1000 };
            const auto start = std::chrono::steady_clock::now();
            output.add(entry);
            times.push_back(
                static_cast<double>((std::chrono::steady_clock::now() - start).count()));
        }
        output.finish();
        bench_support::report_percentiles(state, times);
    }
    std::filesystem::remove_all(folder);
}

// --rotate-size 1: every record starts a file of its own.
void BM_TurnCsv(benchmark::State& state) { add_records(state, RecordFormat::Csv, 1); }
void BM_TurnVcd(benchmark::State& state) { add_records(state, RecordFormat::Vcd, 1); }
// No turn: the cost of a record that stays in its file, for comparison.
void BM_NoTurnCsv(benchmark::State& state) { add_records(state, RecordFormat::Csv, 0); }

} // namespace

BENCHMARK(BM_TurnCsv)->Iterations(5000)->UseRealTime();
BENCHMARK(BM_TurnVcd)->Iterations(5000)->UseRealTime();
BENCHMARK(BM_NoTurnCsv)->Iterations(5000)->UseRealTime();
BENCHMARK_MAIN();
