// The progress and summary lines of `quillax batch`.
#include "apps/cli/BatchProgress.h"

#include <sys/ioctl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace quillax::host {

namespace {

constexpr int kBarWidth = 24;

// Set by the signal handler when the terminal's size changed.
volatile std::sig_atomic_t terminalResized = 1;

void NoteResize(int) {
    terminalResized = 1;
}

// Rows per second, with a decimal below ten.
std::string Rate(std::size_t rows, double seconds) {
    const double rate = rows / seconds;
    char text[32];
    if (rate < 9.95)
        std::snprintf(text, sizeof text, "%.1f rows/s", rate);
    else
        std::snprintf(text, sizeof text, "%lld rows/s", std::llround(rate));
    return text;
}

} // namespace

std::string ClockTime(double seconds) {
    const long long whole = std::llround(std::max(0.0, seconds));
    char text[32];
    if (whole >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60,
                      whole % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
    return text;
}

std::string ProgressLine(std::size_t done, std::optional<std::size_t> total, double seconds) {
    const bool rated = seconds >= 1.0 && done > 0;
    if (!total) {
        std::string line = std::to_string(done) + " rows";
        if (rated) line += "  " + Rate(done, seconds);
        return line;
    }
    const std::size_t all = std::max(*total, done);
    const double share = all == 0 ? 1.0 : static_cast<double>(done) / all;
    const int filled = static_cast<int>(share * kBarWidth);
    std::string bar(kBarWidth, ' ');
    for (int i = 0; i < filled; ++i)
        bar[i] = '=';
    if (filled < kBarWidth && done > 0) bar[filled] = '>';
    const std::string count = std::to_string(all);
    std::string doneText = std::to_string(done);
    doneText.insert(0, count.size() - doneText.size(), ' ');
    std::string line = "[" + bar + "] " + doneText + "/" + count + "  " +
                       std::to_string(static_cast<int>(share * 100)) + "%";
    if (rated) {
        const double perSecond = done / seconds;
        line += "  " + Rate(done, seconds) + "  " + ClockTime((all - done) / perSecond) + " left";
    }
    return line;
}

std::string FitToWidth(std::string line, std::size_t columns) {
    // The last column is left free: a character there moves some terminals to the next line.
    if (columns > 0 && line.size() >= columns) {
        line.resize(columns - 1);
        line.erase(line.find_last_not_of(' ') + 1);
    }
    return line;
}

TTerminalWidth::TTerminalWidth(int fd) : fd_(fd) {
    struct sigaction action {};
    action.sa_handler = NoteResize;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGWINCH, &action, &previous_);
    terminalResized = 1;
}

TTerminalWidth::~TTerminalWidth() {
    sigaction(SIGWINCH, &previous_, nullptr);
}

std::size_t TTerminalWidth::Columns() {
    if (terminalResized) {
        terminalResized = 0;
        struct winsize size {};
        columns_ = ioctl(fd_, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
    }
    return columns_;
}

std::string SummaryLine(std::size_t rows, std::size_t failed, double seconds) {
    char time[32];
    std::snprintf(time, sizeof time, "%.1f s", seconds);
    std::string line = std::to_string(rows) + (rows == 1 ? " row" : " rows") + " in " + time;
    if (seconds > 0 && rows > 0) line += " (" + Rate(rows, seconds) + ")";
    return line + ": " + std::to_string(rows - failed) + " written, " + std::to_string(failed) +
           " failed";
}

} // namespace quillax::host
