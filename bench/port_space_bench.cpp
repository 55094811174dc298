// SPDX-License-Identifier: MIT
// The simulator's cost per port access, the floor under every read rate on the simulator.
#include "drivers/port_space.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <unistd.h>

using namespace drivers;

namespace {

// A port space file of its own in a fresh folder, removed afterwards.
class ScratchSpace {
public:
    ScratchSpace()
    {
        std::string pattern
            = (std::filesystem::temp_directory_path() / "movanta-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            std::abort();
        folder_ = pattern;
        space_.emplace(folder_ / "ports");
    }
    ~ScratchSpace()
    {
        space_.reset();
        std::filesystem::remove_all(folder_);
    }
    ScratchSpace(const ScratchSpace&) = delete;
    ScratchSpace& operator=(const ScratchSpace&) = delete;
    PortSpace& space() { return *space_; }

private:
    std::filesystem::path folder_;
    std::optional<PortSpace> space_;
};

void BM_Read(benchmark::State& state)
{
    ScratchSpace scratch;
    for (auto _ : state)
        benchmark::DoNotOptimize(scratch.space().read(888));
}
BENCHMARK(BM_Read);

void BM_Write(benchmark::State& state)
{
    ScratchSpace scratch;
    std::uint8_t value = 0;
    for (auto _ : state)
        scratch.space().write(888, value++);
}
BENCHMARK(BM_Write);

// Two threads logging into one ring, as two processes on one file do.
void BM_ReadTwoWriters(benchmark::State& state)
{
    static ScratchSpace* shared = nullptr;
    if (state.thread_index() == 0)
        shared = new ScratchSpace;
    for (auto _ : state)
        benchmark::DoNotOptimize(shared->space().read(888));
    if (state.thread_index() == 0) {
        delete shared;
        shared = nullptr;
    }
}
BENCHMARK(BM_ReadTwoWriters)->Threads(2);

} // namespace

BENCHMARK_MAIN();
