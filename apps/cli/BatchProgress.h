// What `quillax batch` shows while it works: a progress line for a terminal (done of total,
// rate, time left) and the closing summary.
#pragma once

#include <csignal>
#include <cstddef>
#include <optional>
#include <string>

namespace quillax::host {

// "[=======>      ]  4711/10000  47%  823 rows/s  0:06 left"; without a total (rows from a
// pipe), "4711 rows  823 rows/s". No rate or time left before the first second's worth.
std::string ProgressLine(std::size_t done, std::optional<std::size_t> total, double seconds);

// "10000 rows in 12.2 s (823 rows/s): 9998 written, 2 failed".
std::string SummaryLine(std::size_t rows, std::size_t failed, double seconds);

// Seconds as "m:ss", or "h:mm:ss" from an hour on.
std::string ClockTime(double seconds);

// The line cut to fit a terminal `columns` wide without wrapping onto a second line, which a
// redraw in place would leave behind; columns 0 (unknown) leaves it whole.
std::string FitToWidth(std::string line, std::size_t columns);

// The width of the terminal on a descriptor, read again after the terminal tells of a new
// size (SIGWINCH). It holds that signal's handler while it lives: one at a time.
class TTerminalWidth {
public:
    explicit TTerminalWidth(int fd);
    ~TTerminalWidth();
    TTerminalWidth(const TTerminalWidth&) = delete;
    TTerminalWidth& operator=(const TTerminalWidth&) = delete;

    // In columns; 0 when the descriptor is no terminal.
    std::size_t Columns();

private:
    int fd_;
    std::size_t columns_ = 0;
    struct sigaction previous_;
};

} // namespace quillax::host
