// "#RRGGBB" and "0xRRGGBB" turned into the object's colour numbers.
#include "apps/page/ColourValues.h"

#include "apps/page/UsageError.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace quillax::host {

namespace {

bool SameName(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

// The digits after a prefix (either case), or nothing when value does not start with it.
std::optional<std::string_view> After(std::string_view value, std::string_view prefix) {
    if (value.size() < prefix.size() || !SameName(value.substr(0, prefix.size()), prefix))
        return std::nullopt;
    return value.substr(prefix.size());
}

// Hexadecimal digits of red, green and blue as one number, or nothing for other text.
std::optional<unsigned long> RedGreenBlue(std::string_view digits, std::size_t fewest) {
    if (digits.size() < fewest || digits.size() > 6) return std::nullopt;
    unsigned long rgb = 0;
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), rgb, 16);
    if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return rgb;
}

} // namespace

bool IsColourProperty(std::string_view name) {
    return SameName(name, "BGColor") || SameName(name, "BarColor");
}

std::string ColourValue(std::string_view property, std::string_view value) {
    std::optional<std::string_view> digits = After(value, "#");
    std::size_t fewest = 6;
    if (!digits) {
        digits = After(value, "0x");
        fewest = 1;
    }
    if (!digits) return std::string(value);
    const std::optional<unsigned long> rgb = RedGreenBlue(*digits, fewest);
    if (!rgb)
        throw EUsageError("value " + std::string(value) + " does not convert for property " +
                          std::string(property) +
                          ": a colour is #RRGGBB, 0xRRGGBB, &HBBGGRR or a number");
    // The object keeps red in the lowest byte.
    const unsigned long red = *rgb >> 16, green = (*rgb >> 8) & 0xFF, blue = *rgb & 0xFF;
    return std::to_string(blue << 16 | green << 8 | red);
}

} // namespace quillax::host
