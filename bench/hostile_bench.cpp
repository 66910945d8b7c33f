// Hostile renders timed through the built command, one process per render: each case's
// wall-clock time and peak memory, against the bounds of one second and 300 MB per render.
// The "within" counter is 1 when every repetition stayed inside both. To run:
//   build/bin/hostile_bench [--benchmark_filter=REGEX]
#include "tests/apps/HostileRenders.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <unistd.h>

#ifndef QUILLAX_COMMAND_PATH
#define QUILLAX_COMMAND_PATH "build/quillax" // from the repository's top folder
#endif

namespace {

constexpr double kSecondsBound = 1.0;
constexpr double kMemoryBoundMiB = 300;
constexpr int kCpuSecondsLimit = 60;

void Render(benchmark::State& state, const quillax::hostile::THostileCase& c) {
    const std::string output = (std::filesystem::temp_directory_path() /
                                ("quillax-hostile-bench-" + std::to_string(getpid())))
                                   .string();
    double peakMiB = 0, slowest = 0, cpu = 0;
    for (auto _ : state) {
        const auto outcome =
            quillax::hostile::RunRender(QUILLAX_COMMAND_PATH, c, output, kCpuSecondsLimit);
        state.SetIterationTime(outcome.Seconds);
        peakMiB = std::max(peakMiB, outcome.PeakKiB / 1024.0);
        slowest = std::max(slowest, outcome.Seconds);
        cpu = std::max(cpu, outcome.CpuSeconds);
        if (outcome.Status < 0) state.SkipWithError("the render did not finish");
    }
    std::filesystem::remove(output);
    state.counters["peak_MiB"] = peakMiB;
    state.counters["cpu_s"] = cpu; // on a shared machine, steadier than the wall clock
    state.counters["within"] = slowest < kSecondsBound && peakMiB < kMemoryBoundMiB;
}

} // namespace

int main(int argc, char** argv) {
    for (const auto& c : quillax::hostile::HostileCases())
        benchmark::RegisterBenchmark(c.Name.c_str(), Render, c)
            ->UseManualTime()
            ->Iterations(1)
            ->Repetitions(3)
            ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}
