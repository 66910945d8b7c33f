// The batch command: input, threads, the console while rows finish, and the exit status.
#include "apps/cli/BatchCommand.h"

#include "apps/cli/BatchProgress.h"
#include "apps/cli/BatchRender.h"
#include "apps/cli/CommandWords.h"
#include "apps/cli/Csv.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <iostream>
#include <thread>

namespace quillax::host {

namespace {

constexpr int ExitSuccess = 0;
constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;

using Clock = std::chrono::steady_clock;

// Standard error while rows finish: each failed row on a line of its own and, on a terminal,
// the progress line redrawn in place at most ten times a second, cut to the terminal's width.
class TBatchConsole final : public TBatchObserver {
public:
    TBatchConsole(bool terminal, std::optional<std::size_t> total)
        : total_(total),
          width_(terminal ? std::make_optional<TTerminalWidth>(STDERR_FILENO) : std::nullopt) {}

    void RowDone(const TRowOutcome& outcome) override {
        ++done_;
        if (outcome.Failed()) {
            Show(Cleared() + "quillax batch: line " + std::to_string(outcome.Line) + ": " +
                 outcome.Problem + "\n");
            lastDraw_ = {};
        }
        if (width_ && Clock::now() - lastDraw_ >= std::chrono::milliseconds(100)) {
            lastDraw_ = Clock::now();
            Show("\r" + FitToWidth(ProgressLine(done_, total_, Seconds()), width_->Columns()) +
                 "\x1b[K");
            drawn_ = true;
        }
    }

    void Finish(const TBatchSummary& summary) {
        if (!width_) return;
        Show(Cleared() + SummaryLine(summary.Rows, summary.Failed, Seconds()) + "\n");
    }

private:
    double Seconds() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }
    // What takes the progress line off the screen, when one is there.
    std::string Cleared() {
        const bool was = drawn_;
        drawn_ = false;
        return was ? "\r\x1b[K" : "";
    }
    // In one write, so the terminal never shows half a redraw.
    static void Show(const std::string& text) { std::cerr << text << std::flush; }

    const std::optional<std::size_t> total_;
    std::optional<TTerminalWidth> width_; // on a terminal only
    const Clock::time_point start_ = Clock::now();
    Clock::time_point lastDraw_{};
    std::size_t done_ = 0;
    bool drawn_ = false;
};

bool IsRegularFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool IsFolder(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

int Run(const TBatchCommandOptions& options) {
    const unsigned threads =
        options.Threads != 0 ? options.Threads : std::max(1u, std::thread::hardware_concurrency());
    const bool fromStdin = options.Input == "-";
    std::ifstream file;
    std::optional<std::size_t> total;
    if (!fromStdin) {
        if (IsFolder(options.Input)) {
            std::cerr << "quillax batch: cannot read " << options.Input
                      << ": it is a folder; give a CSV file, or - for standard input\n";
            return ExitFailure;
        }
        file.open(options.Input, std::ios::binary);
        if (!file) {
            std::cerr << "quillax batch: cannot read " << options.Input << ": "
                      << std::strerror(errno) << '\n';
            return ExitFailure;
        }
        // A file is read twice: first for the total the progress line counts towards.
        if (IsRegularFile(options.Input)) {
            const std::size_t records = CountCsvRecords(file);
            total = records > 0 ? records - 1 : 0;
            file.clear();
            file.seekg(0);
        }
    }
    TComponentLibrary component(TComponentLibrary::DefaultPath());
    TBatchConsole console(isatty(STDERR_FILENO) == 1, total);
    const TBatchSummary summary =
        RenderBatch(component, fromStdin ? std::cin : file, {options.Folder, threads}, console);
    console.Finish(summary);
    return summary.Failed == 0 ? ExitSuccess : ExitFailure;
}

} // namespace

int RunBatchCommand(const TBatchCommandOptions& options) {
    try {
        return Run(options);
    } catch (const EUsageError& e) {
        std::cerr << "quillax batch: " << e.what() << '\n';
        return ExitUsage;
    } catch (const std::ios_base::failure&) {
        std::cerr << "quillax batch: cannot read "
                  << (options.Input == "-" ? "standard input" : options.Input)
                  << (errno != 0 ? std::string(": ") + std::strerror(errno) : std::string())
                  << '\n';
        return ExitFailure;
    } catch (const std::exception& e) {
        std::cerr << "quillax batch: " << ProblemText(e) << '\n';
        return ExitFailure;
    }
}

} // namespace quillax::host
