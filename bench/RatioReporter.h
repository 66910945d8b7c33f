// The console report followed by a table of ratios between benchmarks of the same run: each
// render against its encoder's floor, the labelled render against the same render without
// its label, and the peer library against our own renders.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace quillax::bench {

// One ratio: numerator / denominator (benchmark names), at most target when target > 0.
struct TRatio {
    std::string Numerator;
    std::string Denominator;
    double Target = 0;
};

class TRatioReporter : public benchmark::ConsoleReporter {
public:
    TRatioReporter(std::vector<TRatio> ratios, OutputOptions options)
        : ConsoleReporter(options), ratios_(std::move(ratios)) {}
    void ReportRuns(const std::vector<Run>& runs) override;
    void Finalize() override;

private:
    std::vector<TRatio> ratios_;
    // CPU seconds per iteration by benchmark name: the median of repetitions where there
    // are repetitions, else the single run's.
    std::map<std::string, double> cpu_;
    std::map<std::string, bool> fromMedian_;
};

} // namespace quillax::bench
