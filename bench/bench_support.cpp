// SPDX-License-Identifier: MIT
#include "bench_support.h"

#include <algorithm>
#include <cstdio>
#include <malloc.h>
#include <unistd.h>

namespace bench_support {

std::size_t resident_bytes()
{
    malloc_trim(0);
    unsigned long size_pages = 0;
    unsigned long resident_pages = 0;
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm == nullptr)
        return 0;
    if (std::fscanf(statm, "%lu %lu", &size_pages, &resident_pages) != 2)
        resident_pages = 0;
    std::fclose(statm);
    return resident_pages * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

void report_percentiles(benchmark::State& state, std::vector<double>& nanoseconds)
{
    if (nanoseconds.empty())
        return;
    const auto at = [&](double fraction) {
        const auto index = static_cast<std::size_t>(fraction * static_cast<double>(nanoseconds.size() - 1));
        std::nth_element(nanoseconds.begin(), nanoseconds.begin() + static_cast<std::ptrdiff_t>(index),
            nanoseconds.end());
        return nanoseconds[index] / 1000.0;
    };
    state.counters["p50_us"] = at(0.50);
    state.counters["p99_us"] = at(0.99);
    state.counters["max_us"] = *std::max_element(nanoseconds.begin(), nanoseconds.end()) / 1000.0;
}

} // namespace bench_support
