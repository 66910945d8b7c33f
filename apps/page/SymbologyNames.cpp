// The symbology table of the hosts, and names of symbologies turned into BarcodeType numbers.
#include "apps/page/SymbologyNames.h"

#include "platform/Utf8.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <new>

namespace quillax::host {

namespace {

// By BarcodeType number; the names are the component's own, except Codabar (the component's
// table spells it "Codebar", which stays accepted). EAN-128 and UCC-128 are the former names
// of GS1-128: element strings with application identifiers, as 24 takes them; the fixed
// code sets of 20-22 keep their own names.
// A check digit "with Checksum" is added only when Checksum is set, the others always. The
// width bounds count wide elements (of the ratio's width) and narrow units per character of
// data, and for the start, stop, check and padding characters (Code 128 with code sets
// chosen may shift for every character). EAN/UPC and the add-ons pad their digits to a
// symbol of one width: the main symbol and the widest add-on with its gap (9 + 47 modules).
// clang-format off
constexpr std::array<TSymbology, 25> kSymbologies{{
    {0, "2_5_interleaved", "Interleaved 2 of 5, ITF", "digits; odd count gets a leading 0",
     "none", {2, 3}, {3, 9}},
    {1, "2_5_industrial", "Industrial 2 of 5", "digits", "none",
     {2, 8}, {4, 8}},
    {2, "2_5_matrix", "Matrix 2 of 5", "digits", "none",
     {2, 4}, {4, 8}},
    {3, "Code39", "", "0-9 A-Z space - . $ / + %", "mod 43 with Checksum",
     {3, 7}, {9, 21}},
    {4, "Code39 Extended", "", "ASCII 0-127", "mod 43 with Checksum",
     {6, 14}, {9, 21}},
    {5, "Code128A", "", "ASCII 0-95 (capitals, controls)", "mod 103",
     {0, 11}, {0, 46}},
    {6, "Code128B", "", "ASCII 32-127", "mod 103",
     {0, 11}, {0, 46}},
    {7, "Code128C", "", "digits; odd count gets a leading 0", "mod 103",
     {0, 11}, {0, 46}},
    {8, "Code93", "", "0-9 A-Z space - . $ / + %", "C and K",
     {0, 9}, {0, 37}},
    {9, "Code93 Extended", "", "ASCII 0-127", "C and K",
     {0, 18}, {0, 37}},
    {10, "MSI", "", "digits", "mod 10",
     {4, 4}, {6, 7}},
    {11, "PostNet", "", "digits", "mod 10 with Checksum",
     {5, 5}, {7, 7}},
    {12, "Codabar", "Codebar", "0-9 - $ : / . +", "none",
     {3, 5}, {6, 10}},
    {13, "EAN8", "", "up to 8 digits, 7 with Checksum; +NN or +NNNNN add-on",
     "mod 10 with Checksum", {0, 0}, {0, 123}},
    {14, "EAN13", "", "up to 13 digits, 12 with Checksum; +NN or +NNNNN add-on",
     "mod 10 with Checksum", {0, 0}, {0, 151}},
    {15, "UPC_A", "", "up to 12 digits, 11 with Checksum; +NN or +NNNNN add-on",
     "mod 10 with Checksum", {0, 0}, {0, 151}},
    {16, "UPC_E0", "", "6 digits, number system 0; +NN or +NNNNN add-on",
     "mod 10 (sets the parity)", {0, 0}, {0, 107}},
    {17, "UPC_E1", "", "6 digits, number system 1; +NN or +NNNNN add-on",
     "mod 10 (sets the parity)", {0, 0}, {0, 107}},
    {18, "UPC Supp2", "", "2 digits (add-on)", "none (parity by value mod 4)",
     {0, 0}, {0, 20}},
    {19, "UPC Supp5", "", "5 digits (add-on)", "mod 10 (sets the parity)",
     {0, 0}, {0, 47}},
    {20, "EAN128A", "", "as Code128A; digits with Checksum", "mod 103; mod 10 with Checksum",
     {0, 11}, {0, 68}},
    {21, "EAN128B", "", "as Code128B; digits with Checksum", "mod 103; mod 10 with Checksum",
     {0, 11}, {0, 68}},
    {22, "EAN128C", "", "digits; odd count gets a leading 0", "mod 103; mod 10 with Checksum",
     {0, 11}, {0, 68}},
    {23, "Code128", "", "any byte; code sets chosen", "mod 103",
     {0, 22}, {0, 46}},
    {24, "GS1-128", "EAN-128, UCC-128, UCC/EAN-128", "GS1 element string (AI)data...",
     "mod 103; GS1 check digits verified", {0, 22}, {0, 68}},
}};
// clang-format on

// A name without ASCII spaces and punctuation, its ASCII letters in lower case: the form
// names are compared in. Other bytes (letters beyond ASCII) are kept and count.
std::string Folded(std::string_view name) {
    std::string folded;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80 || std::isalnum(byte)) folded += static_cast<char>(std::tolower(byte));
    }
    return folded;
}

// A setting's value converted as the object converts text for a property of type `type`
// (VT_I4 or VT_R8), or nothing when it would not take it.
std::optional<VARIANT> ConvertedAs(std::string_view value, VARTYPE type) {
    const std::u16string wide = Utf8ToUtf16Replacing(value);
    VARIANT text;
    VariantInit(&text);
    V_VT(&text) = VT_BSTR;
    V_BSTR(&text) = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    if (V_BSTR(&text) == nullptr) throw std::bad_alloc();
    VARIANT converted;
    VariantInit(&converted);
    const HRESULT hr = VariantChangeType(&converted, &text, 0, type);
    VariantClear(&text);
    if (FAILED(hr)) return std::nullopt;
    return converted;
}

// A setting as the object reads a number, or nothing when it would not take it as one.
std::optional<long> NumberOf(std::string_view value) {
    const std::optional<VARIANT> number = ConvertedAs(value, VT_I4);
    if (!number) return std::nullopt;
    return V_I4(&*number);
}

// Whether the object would read the value as a number (as "14", " 14", "&HE" or "1.4e1").
bool ReadsAsNumber(std::string_view value) {
    return NumberOf(value).has_value();
}

// A setting's value as the object's double properties convert it, if it does.
std::optional<double> RealOf(std::string_view value) {
    const std::optional<VARIANT> number = ConvertedAs(value, VT_R8);
    if (!number) return std::nullopt;
    return V_R8(&*number);
}

// Property names match without regard to case, as the object matches them.
bool IsBarcodeType(std::string_view name) {
    constexpr std::string_view property = "barcodetype";
    return name.size() == property.size() &&
           std::equal(name.begin(), name.end(), property.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == b;
           });
}

// The bound of a symbology the table does not list (the object draws its error image for
// it): the widest row's.
constexpr TWidthUnits kAnyPerCharacter{6, 18};
constexpr TWidthUnits kAnyFixed{9, 68};
// The standard layout's widest margins in modules beside what QuietZone gives them: a
// symbology's own quiet zones (at most 10 on each side), or an outer EAN/UPC digit's room.
constexpr double kStandardMarginModules = 24;

// The table's text as a JSON string (printable ASCII, so quotes and backslashes are all
// there is to escape).
std::string JsonString(std::string_view text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

} // namespace

double ImagePixelsBound(std::span<const TPropertySetting> settings) {
    // The page-start defaults, then each setting in order (the last one counts).
    long type = 14, narrow = 1, ratio = 1, height = 50, orientation = 0;
    long layout = 0, quietZone = -1, resolution = 0;
    double xDimension = 0;
    std::size_t characters = 0;
    const auto is = [](std::string_view name, std::string_view property) {
        return name.size() == property.size() &&
               std::equal(name.begin(), name.end(), property.begin(), [](char a, char b) {
                   return std::tolower(static_cast<unsigned char>(a)) ==
                          std::tolower(static_cast<unsigned char>(b));
               });
    };
    for (const auto& [name, value] : settings) {
        if (is(name, "Data")) {
            characters = value.size();
            continue;
        }
        if (is(name, "XDimension")) {
            xDimension = RealOf(value).value_or(xDimension);
            continue;
        }
        long* number = is(name, "BarcodeType")      ? &type
                       : is(name, "NarrowBarWidth") ? &narrow
                       : is(name, "Ratio")          ? &ratio
                       : is(name, "Height")         ? &height
                       : is(name, "Orientation")    ? &orientation
                       : is(name, "Layout")         ? &layout
                       : is(name, "QuietZone")      ? &quietZone
                       : is(name, "Resolution")     ? &resolution
                                                    : nullptr;
        if (number == nullptr) continue;
        if (const std::optional<int> named =
                number == &type ? SymbologyNumber(value) : std::nullopt)
            *number = *named;
        else if (const std::optional<long> read = NumberOf(value))
            *number = *read;
    }
    const bool listed = type >= 0 && type < static_cast<long>(kSymbologies.size());
    const TWidthUnits each = listed ? kSymbologies[type].PerCharacter : kAnyPerCharacter;
    const TWidthUnits fixed = listed ? kSymbologies[type].Fixed : kAnyFixed;
    // A ratio counts as at least 3: the engine holds Code 39 and MSI to 2-3, and where it
    // counts modules the rows have no wide elements.
    const double wide = std::max<double>(ratio, 3);
    double units = static_cast<double>(characters) * (each.Wide * wide + each.Narrow) +
                   fixed.Wide * wide + fixed.Narrow;
    // The standard layout's quiet zones, and room for an outer digit where they are narrower.
    if (layout == 1) units += 2.0 * std::max<long>(quietZone, 0) + kStandardMarginModules;
    // An X-dimension at a resolution sets the narrow bar.
    if (xDimension > 0 && resolution > 0 && resolution <= 65535)
        narrow = std::lround(std::min(xDimension * static_cast<double>(resolution) / 25.4, 1e9));
    const double w = units * std::max<double>(narrow, 1);
    const double h = std::max<double>(height, 1);
    // Upright, or turned a quarter: the same pixels; any other angle, the bounding box and a
    // pixel of rounding on each side.
    const double radians = static_cast<double>(orientation % 360) * 3.14159265358979 / 180;
    const double c = std::abs(std::cos(radians)), s = std::abs(std::sin(radians));
    if (orientation % 90 == 0) return w * h;
    return (w * c + h * s + 2) * (w * s + h * c + 2);
}

std::span<const TSymbology> Symbologies() {
    return kSymbologies;
}

std::vector<std::string_view> SymbologyAliases(const TSymbology& symbology) {
    constexpr std::string_view separator = ", ";
    std::vector<std::string_view> aliases;
    for (std::string_view rest = symbology.Aliases; !rest.empty();) {
        const std::size_t end = rest.find(separator);
        aliases.push_back(rest.substr(0, end));
        rest = end == rest.npos ? std::string_view() : rest.substr(end + separator.size());
    }
    return aliases;
}

std::optional<int> SymbologyNumber(std::string_view name) {
    // Each name and alias folded once per process.
    static const std::vector<std::pair<std::string, int>> folded = [] {
        std::vector<std::pair<std::string, int>> names;
        for (const TSymbology& symbology : kSymbologies) {
            names.emplace_back(Folded(symbology.Name), symbology.Number);
            for (std::string_view alias : SymbologyAliases(symbology))
                names.emplace_back(Folded(alias), symbology.Number);
        }
        return names;
    }();
    const std::string written = Folded(name);
    if (written.empty()) return std::nullopt;
    for (const auto& [candidate, number] : folded)
        if (written == candidate) return number;
    return std::nullopt;
}

std::string BarcodeTypeValue(std::string_view value) {
    if (const std::optional<int> number = SymbologyNumber(value)) return std::to_string(*number);
    if (ReadsAsNumber(value)) return std::string(value);
    std::string names;
    for (const TSymbology& symbology : kSymbologies)
        names += (names.empty() ? "" : ", ") + std::string(symbology.Name);
    throw EUsageError("unknown symbology \"" + std::string(value) +
                      "\" for BarcodeType: give a number from 0 to " +
                      std::to_string(kSymbologies.size() - 1) + " or one of the names " + names +
                      " (case, spaces and punctuation do not matter)");
}

std::vector<TPropertySetting> WithSymbologyNumbers(std::span<const TPropertySetting> settings) {
    std::vector<TPropertySetting> translated(settings.begin(), settings.end());
    for (auto& [name, value] : translated) {
        if (IsBarcodeType(name)) value = BarcodeTypeValue(value);
    }
    return translated;
}

std::string SymbologyTableText() {
    std::size_t nameWidth = 4;
    std::size_t dataWidth = 4;
    for (const TSymbology& symbology : kSymbologies) {
        nameWidth = std::max(nameWidth, symbology.Name.size());
        dataWidth = std::max(dataWidth, symbology.Data.size());
    }
    const auto row = [&](std::string number, std::string_view name, std::string_view data,
                         std::string_view check) {
        number.insert(0, 2 - std::min<std::size_t>(2, number.size()), ' ');
        std::string line = number + "  " + std::string(name);
        line.append(nameWidth - name.size() + 2, ' ');
        line += data;
        line.append(dataWidth - data.size() + 2, ' ');
        return line + std::string(check) + "\n";
    };
    std::string text = row("#", "Name", "Data", "Check digit");
    for (const TSymbology& symbology : kSymbologies)
        text += row(std::to_string(symbology.Number), symbology.Name, symbology.Data,
                    symbology.CheckDigit);
    return text;
}

std::string SymbologyTableJson() {
    std::string json = "[\n";
    for (const TSymbology& symbology : kSymbologies) {
        std::string aliases;
        for (std::string_view alias : SymbologyAliases(symbology))
            aliases += (aliases.empty() ? "" : ", ") + JsonString(alias);
        json += "  {\"number\": " + std::to_string(symbology.Number) +
                ", \"name\": " + JsonString(symbology.Name) + ", \"aliases\": [" + aliases +
                "], \"data\": " + JsonString(symbology.Data) +
                ", \"check_digit\": " + JsonString(symbology.CheckDigit) + "}" +
                (symbology.Number + 1 < static_cast<int>(kSymbologies.size()) ? ",\n" : "\n");
    }
    return json + "]\n";
}

} // namespace quillax::host
