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
        cpu_[name] = run.GetAdjustedCPUTime();
        fromMedian_[name] = median;
    }
}

void TRatioReporter::Finalize() {
    ConsoleReporter::Finalize();
    std::printf("\n%-44s %-36s %8s %8s\n", "ratio (CPU time)", "over", "value", "target");
    for (const TRatio& ratio : ratios_) {
        const auto top = cpu_.find(ratio.Numerator), bottom = cpu_.find(ratio.Denominator);
        if (top == cpu_.end() || bottom == cpu_.end() || bottom->second <= 0) continue;
        const double value = top->second / bottom->second;
        char target[32] = "";
        if (ratio.Target > 0)
            std::snprintf(target, sizeof target, "%.2f %s", ratio.Target,
                          value <= ratio.Target ? "met" : "MISSED");
        std::printf("%-44s %-36s %8.2f %8s\n", ratio.Numerator.c_str(), ratio.Denominator.c_str(),
                    value, target);
    }
    std::fflush(stdout);
}

} // namespace quillax::bench
