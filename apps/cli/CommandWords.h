// The command's own words for what went wrong: option values read and checked with a message
// that says what the option takes, and failures of the system or the standard library told
// as the person at the terminal would put them, never in the library's text.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

namespace quillax::host {

// What a whole-number option takes: its bounds and whether it counts bytes (then 64K, 64M
// and 1G, powers of 1024, are read too).
struct TWholeNumberRange {
    std::uint64_t Least = 0;
    std::uint64_t Most = 0;
    bool Bytes = false;
};

// The value of option as given in text. Raises EUsageError saying what the option takes, as
// `--threads takes a whole number from 1 to 256, not "0"`.
std::uint64_t WholeNumberOption(std::string_view option, std::string_view text,
                                TWholeNumberRange range);

// A failure as the command reports it: out of memory, a file system call that failed (with
// its path and the system's reason); the component's and the hosts' own messages as they are.
std::string ProblemText(const std::exception& failure);

} // namespace quillax::host
