// Option values read in the command's words, and failures told in them.
#include "apps/cli/CommandWords.h"

#include "apps/page/UsageError.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <filesystem>
#include <new>
#include <optional>

namespace quillax::host {

namespace {

struct TByteUnit {
    char Letter;
    unsigned Shift;
};

// The units a byte count may end in, either case.
constexpr std::array<TByteUnit, 3> kByteUnits{{{'K', 10}, {'M', 20}, {'G', 30}}};

// The shift of a byte count's unit letter, or nothing for another character.
std::optional<unsigned> UnitShift(char letter) {
    for (const TByteUnit& unit : kByteUnits)
        if (letter == unit.Letter || letter == unit.Letter - 'A' + 'a') return unit.Shift;
    return std::nullopt;
}

// Digits only (no sign, no spaces), with a unit letter at the end for a byte count.
std::optional<std::uint64_t> ReadWholeNumber(std::string_view text, bool bytes) {
    unsigned shift = 0;
    if (bytes && !text.empty()) {
        if (const std::optional<unsigned> unit = UnitShift(text.back())) {
            shift = *unit;
            text.remove_suffix(1);
        }
    }
    std::uint64_t number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    if (number > (UINT64_MAX >> shift)) return std::nullopt;
    return number << shift;
}

} // namespace

std::uint64_t WholeNumberOption(std::string_view option, std::string_view text,
                                TWholeNumberRange range) {
    const std::optional<std::uint64_t> number = ReadWholeNumber(text, range.Bytes);
    if (number && *number >= range.Least && *number <= range.Most) return *number;
    const std::string what = range.Bytes ? "a number of bytes" : "a whole number";
    const std::string units = range.Bytes ? " (or with K, M or G: 64M)" : "";
    throw EUsageError(std::string(option) + " takes " + what + " from " +
                      std::to_string(range.Least) + " to " + std::to_string(range.Most) + units +
                      ", not \"" + std::string(text) + "\"");
}

std::string ProblemText(const std::exception& failure) {
    if (dynamic_cast<const std::bad_alloc*>(&failure) != nullptr) return "out of memory";
    if (const auto* file = dynamic_cast<const std::filesystem::filesystem_error*>(&failure)) {
        const std::string path = file->path1().empty() ? "" : file->path1().string() + ": ";
        return path + file->code().message();
    }
    // A stream's failure says "basic_filebuf::underflow error" and the like; the system's
    // reason, when there is one, is in errno.
    if (dynamic_cast<const std::ios_base::failure*>(&failure) != nullptr)
        return "reading failed" +
               (errno != 0 ? ": " + std::generic_category().message(errno) : std::string());
    return failure.what();
}

} // namespace quillax::host
