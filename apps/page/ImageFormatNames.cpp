// The accepted format names and extensions, and the format check of a page's settings.
#include "apps/page/ImageFormatNames.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <optional>

namespace quillax::host {

namespace {

struct TFormatName {
    std::string_view Name;      // as ImageTypeStr takes it
    std::string_view Extension; // of a file name that picks it
    int ImageType;              // the object's number of the format: names of one format share it
};

// Every name ImageTypeStr accepts, in the order help lists them.
constexpr std::array<TFormatName, 5> kFormatNames{{
    {"BMP", ".bmp", 2},
    {"PNG", ".png", 3},
    {"JPG", ".jpg", 1},
    {"JPEG", ".jpeg", 1},
    {"SVG", ".svg", 4},
}};

bool SameText(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

const TFormatName* FormatOfName(std::string_view name) {
    for (const TFormatName& row : kFormatNames)
        if (SameText(row.Name, name)) return &row;
    return nullptr;
}

// The format a file name's extension picks, or null for any other extension or none.
const TFormatName* FormatOfFile(std::string_view fileName) {
    const std::size_t slash = fileName.find_last_of('/');
    const std::string_view base = fileName.substr(slash == std::string_view::npos ? 0 : slash + 1);
    const std::size_t dot = base.find_last_of('.');
    if (dot == std::string_view::npos || dot == 0) return nullptr; // ".png" is a hidden file
    for (const TFormatName& row : kFormatNames)
        if (SameText(row.Extension, base.substr(dot))) return &row;
    return nullptr;
}

// The format an ImageType value names (the object ignores a number that names none).
std::optional<int> FormatOfImageType(std::string_view value) {
    int number = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (error != std::errc() || end != value.data() + value.size()) return std::nullopt;
    for (const TFormatName& row : kFormatNames)
        if (row.ImageType == number) return number;
    return std::nullopt;
}

} // namespace

std::string AcceptedImageFormatNames() {
    std::string names;
    for (std::size_t i = 0; i < kFormatNames.size(); ++i) {
        if (i > 0) names += i + 1 == kFormatNames.size() ? " or " : ", ";
        names += kFormatNames[i].Name;
    }
    return names;
}

std::vector<TPropertySetting> WithCheckedImageFormat(std::span<const TPropertySetting> settings,
                                                     std::string_view fileName) {
    // The last setting of the format decides, as it does on the object.
    std::optional<std::pair<int, std::string>> given; // ImageType number, the setting as written
    for (const auto& [name, value] : settings) {
        if (SameText(name, "ImageTypeStr")) {
            const TFormatName* format = FormatOfName(value);
            if (format == nullptr)
                throw EUsageError("ImageTypeStr " + value + " is not an image format: use " +
                                  AcceptedImageFormatNames() + " (any case)");
            given = {format->ImageType, name + "=" + value};
        } else if (SameText(name, "ImageType")) {
            if (const std::optional<int> number = FormatOfImageType(value))
                given = {*number, name + "=" + value};
        }
    }
    std::vector<TPropertySetting> checked(settings.begin(), settings.end());
    const TFormatName* ofFile = FormatOfFile(fileName);
    if (ofFile == nullptr) return checked;
    if (!given) {
        checked.emplace_back("ImageTypeStr", std::string(ofFile->Name));
    } else if (given->first != ofFile->ImageType) {
        throw EUsageError(given->second + " contradicts the file name " + std::string(fileName) +
                          ", which asks for " + std::string(ofFile->Name));
    }
    return checked;
}

} // namespace quillax::host
