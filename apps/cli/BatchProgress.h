// What `quillax batch` shows while it works: a progress line for a terminal (done of total,
// rate, time left) and the closing summary.
#pragma once

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

} // namespace quillax::host
