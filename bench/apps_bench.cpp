// Batch rendering as `quillax batch` does it: 10,000 EAN-13 rows to PNG files through the
// component, on 1 and 2 threads, into a folder on disk (each image is written durably, so
// the disk's flush time counts) and into one in memory (/dev/shm, the render path alone).
// Reported as rows per second of wall time. QUILLAX_BATCH_ROWS changes the row count.
#include "apps/cli/BatchRender.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <sstream>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace quillax::host;

std::size_t Rows() {
    const char* rows = std::getenv("QUILLAX_BATCH_ROWS");
    return rows != nullptr && std::atoi(rows) > 0 ? std::atoi(rows) : 10'000;
}

// Twelve random digits per row; the check digit is the component's to add.
const std::string& Csv() {
    static const std::string csv = [] {
        std::mt19937_64 random(12);
        std::string text = "BarcodeType,Data,Checksum,ShowText,ImageTypeStr\n";
        for (std::size_t i = 0; i < Rows(); ++i)
            text += "EAN13," + std::to_string(100000000000 + random() % 900000000000) +
                    ",true,true,PNG\n";
        return text;
    }();
    return csv;
}

const TComponentLibrary& Component() {
    static const TComponentLibrary library(QUILLAX_COMPONENT_PATH);
    return library;
}

class TCountingObserver final : public TBatchObserver {
public:
    void RowDone(const TRowOutcome& outcome) override { failed += outcome.Failed(); }
    std::size_t failed = 0;
};

void BM_Batch(benchmark::State& state, bool inMemory) {
    const unsigned threads = static_cast<unsigned>(state.range(0));
    const fs::path base = inMemory ? fs::path("/dev/shm") : fs::temp_directory_path();
    if (!fs::is_directory(base)) {
        state.SkipWithError("no such folder");
        return;
    }
    const fs::path folder = base / ("quillax-batch-bench-" + std::to_string(getpid()));
    for (auto _ : state) {
        fs::remove_all(folder);
        std::istringstream in(Csv());
        TCountingObserver observer;
        const TBatchSummary summary =
            RenderBatch(Component(), in, {folder.string(), threads}, observer);
        if (summary.Failed != 0) state.SkipWithError("rows failed");
    }
    fs::remove_all(folder);
    state.counters["rows/s"] = benchmark::Counter(static_cast<double>(Rows()),
                                                  benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK_CAPTURE(BM_Batch, disk, false)
    ->Arg(1)
    ->Arg(2)
    ->Iterations(1)
    ->Repetitions(3)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_Batch, memory, true)
    ->Arg(1)
    ->Arg(2)
    ->Iterations(1)
    ->Repetitions(3)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
