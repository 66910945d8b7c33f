// The ratio table after the console report.
#include "RatioReporter.h"

#include <cstdio>

namespace quillax::bench {

void TRatioReporter::ReportRuns(const std::vector<Run>& runs) {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
        if (run.error_occurred || run.iterations == 0) continue;
        const std::string name = run.run_name.str();
        const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
        if (run.run_type == Run::RT_Aggregate && !median) continue;
        if (fromMedian_[name] && !median) continue;
        cpu_[name] = run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
        fromMedian_[name] = median;
    }
}

void TRatioReporter::Finalize() {
    ConsoleReporter::Finalize();
    std::printf("\n%-40s %10s   %-36s %10s %7s %12s\n", "ratio of CPU times", "us", "over", "us",
                "ratio", "target");
    for (const TRatio& ratio : ratios_) {
        const auto top = cpu_.find(ratio.Numerator), bottom = cpu_.find(ratio.Denominator);
        if (top == cpu_.end() || bottom == cpu_.end() || bottom->second <= 0) continue;
        const double value = top->second / bottom->second;
        char target[32] = "";
        if (ratio.Target > 0)
            std::snprintf(target, sizeof target, "%.2f %s", ratio.Target,
                          value <= ratio.Target ? "met" : "MISSED");
        std::printf("%-40s %10.1f   %-36s %10.1f %7.2f %12s\n", ratio.Numerator.c_str(),
                    top->second * 1e6, ratio.Denominator.c_str(), bottom->second * 1e6, value,
                    target);
    }
    std::fflush(stdout);
}

} // namespace quillax::bench
