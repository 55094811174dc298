// SPDX-License-Identifier: MIT
#pragma once

#include <benchmark/benchmark.h>

#include <cstddef>
#include <vector>

// Helpers shared by the benchmarks.
namespace bench_support {

// Resident memory of this process in bytes, after handing freed heap back to the system.
[[nodiscard]] std::size_t resident_bytes();

// Reports the median, 99th percentile and maximum of per-iteration times (nanoseconds)
// as counters in microseconds: p50_us, p99_us, max_us.
void report_percentiles(benchmark::State& state, std::vector<double>& nanoseconds);

} // namespace bench_support
