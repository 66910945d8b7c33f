// TBarcodeEngine: settings, the symbology table, the pattern language and measurement.
#include "engine/BarcodeEngine.h"

#include "engine/Encoders.h"

#include <cmath>
#include <cstdio>
#include <limits>

namespace quillax {

namespace {

using encoders::Encoder;

// Bounds of the wide-to-narrow ratio for one symbology; unbounded rows keep Ratio as set.
struct RatioBounds {
    bool Bounded;
    double Lower;
    double Upper;
};

constexpr RatioBounds kNarrowWide{true, 2.0, 3.0}; // narrow/wide codes
constexpr RatioBounds kMatrix{true, 2.25, 3.0};    // matrix 2 of 5
constexpr RatioBounds kModules{true, 2.0, 2.0};    // 1-4 module elements: widths 1, 2, 3, 4
constexpr RatioBounds kUnbounded{false, 0.0, 0.0}; // PostNet

struct SymbologyRow {
    TBCdata Data;
    RatioBounds Ratio;
    Encoder Encode;
    bool TakesAddOn = false; // "main+addon" joins a two- or five-digit add-on to the symbol
};

// One row per TBarcodeType, in enumeration order.
constexpr std::array<SymbologyRow, kBarcodeTypeCount> kSymbologies{{
    // 0-2: two of five
    {{"2_5_interleaved", true}, kNarrowWide, encoders::EncodeInterleaved2of5},
    {{"2_5_industrial", true}, kNarrowWide, encoders::EncodeIndustrial2of5},
    {{"2_5_matrix", true}, kMatrix, encoders::EncodeMatrix2of5},
    // 3-4: Code 39
    {{"Code39", false}, kNarrowWide, encoders::EncodeCode39},
    {{"Code39 Extended", false}, kNarrowWide, encoders::EncodeCode39Extended},
    // 5-7: Code 128
    {{"Code128A", false}, kModules, encoders::EncodeCode128},
    {{"Code128B", false}, kModules, encoders::EncodeCode128},
    {{"Code128C", false}, kModules, encoders::EncodeCode128},
    // 8-9: Code 93
    {{"Code93", false}, kModules, encoders::EncodeCode93},
    {{"Code93 Extended", false}, kModules, encoders::EncodeCode93Extended},
    // 10-12: MSI, PostNet, Codabar
    {{"MSI", true}, kNarrowWide, encoders::EncodeMSI},
    {{"PostNet", true}, kUnbounded, encoders::EncodePostNet},
    {{"Codebar", false}, kNarrowWide, encoders::EncodeCodabar},
    // 13-19: EAN / UPC and the add-ons
    {{"EAN8", true}, kModules, encoders::EncodeEAN8, true},
    {{"EAN13", true}, kModules, encoders::EncodeEAN13, true},
    {{"UPC_A", true}, kModules, encoders::EncodeUPCA, true},
    {{"UPC_E0", true}, kModules, encoders::EncodeUPCE, true},
    {{"UPC_E1", true}, kModules, encoders::EncodeUPCE, true},
    {{"UPC Supp2", true}, kModules, encoders::EncodeUPCSupp2},
    {{"UPC Supp5", true}, kModules, encoders::EncodeUPCSupp5},
    // 20-22: EAN-128
    {{"EAN128A", false}, kModules, encoders::EncodeCode128},
    {{"EAN128B", false}, kModules, encoders::EncodeCode128},
    {{"EAN128C", true}, kModules, encoders::EncodeCode128},
    // 23-24: Code 128 with automatic code sets, GS1-128
    {{"Code128", false}, kModules, encoders::EncodeCode128Auto},
    {{"GS1-128", false}, kModules, encoders::EncodeGS1128},
}};
static_assert(kSymbologies.size() == bcCodeGS1128 + 1);

bool IsKnownType(TBarcodeType typ) {
    return static_cast<int>(typ) < kBarcodeTypeCount;
}

// Removes leading and trailing characters of codes 0 to 32.
std::string TrimControls(const std::string& s) {
    auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    size_t first = 0;
    size_t last = s.size();
    while (first < last && isBlank(s[first]))
        ++first;
    while (last > first && isBlank(s[last - 1]))
        --last;
    return s.substr(first, last - first);
}

} // namespace

// Constant-initialised, so other static initialisers may read it.
constinit const std::array<TBCdata, kBarcodeTypeCount> SymbologyTable = [] {
    std::array<TBCdata, kBarcodeTypeCount> table{};
    for (size_t i = 0; i < table.size(); ++i)
        table[i] = kSymbologies[i].Data;
    return table;
}();

namespace encoders {

std::string ApplyCheckSum(const TEncodeInput& in, const std::string& digits) {
    if (in.CheckSumMethod == csmModulo10) return Mod10CheckDigit(digits);
    return digits;
}

void RequireDigits(std::string_view text) {
    for (char c : text)
        TBarcodeEngine::Require(c >= '0' && c <= '9', "Barcode must be numeric");
}

std::string EngineMessage(const char* format, const std::string& argument) {
    std::string message;
    bool classNameDone = false;
    for (const char* p = format; *p; ++p) {
        if (p[0] == '%' && p[1] == 's') {
            message += classNameDone ? argument : TBarcodeEngine::ClassName;
            classNameDone = true;
            ++p;
        } else {
            message += *p;
        }
    }
    return message;
}

} // namespace encoders

TBarcodeEngine::TBarcodeEngine() = default;

void TBarcodeEngine::Require(bool condition, const std::string& message) {
    if (!condition) throw Exception(message);
}

// Bounds Ratio in place for the symbology, then derives the four widths; widths that do not
// fit 8 signed bits, or a negative one, are refused rather than wrapped.
void TBarcodeEngine::ComputeLineWidths() {
    if (IsKnownType(Typ)) {
        const RatioBounds& bounds = kSymbologies[Typ].Ratio;
        if (bounds.Bounded) {
            if (Ratio < bounds.Lower) Ratio = bounds.Lower;
            if (Ratio > bounds.Upper) Ratio = bounds.Upper;
        }
    }

    constexpr int kMaxWide = std::numeric_limits<int8_t>::max() / 2; // twice it must fit
    if (Modul < 0)
        throw Exception(
            encoders::EngineMessage("%s: Modul must not be negative (%s)", std::to_string(Modul)));
    const double wide = std::nearbyint(static_cast<double>(Modul) * Ratio);
    if (Modul > std::numeric_limits<int8_t>::max() || !(wide >= 0 && wide <= kMaxWide)) {
        char detail[64];
        std::snprintf(detail, sizeof detail, "Modul %d, Ratio %g", Modul, Ratio);
        throw Exception(encoders::EngineMessage(
            "%s: line widths out of range (%s): the narrow width must be 0 to 127 and the wide "
            "width 0 to 63",
            detail));
    }
    const auto narrowWidth = static_cast<int8_t>(Modul);
    const auto wideWidth = static_cast<int8_t>(wide);
    LineWidths[0] = narrowWidth;
    LineWidths[1] = wideWidth;
    LineWidths[2] = static_cast<int8_t>(wideWidth * 3 / 2);
    LineWidths[3] = static_cast<int8_t>(wideWidth * 2);
}

TBuiltPattern TBarcodeEngine::Encode() {
    ComputeLineWidths();
    if (!IsKnownType(Typ)) throw Exception(encoders::EngineMessage("%s: wrong BarcodeType"));
    const SymbologyRow& row = kSymbologies[Typ];
    const std::string text = row.Data.NumericOnly ? TrimControls(Text) : Text;
    const encoders::TEncodeInput input{text, Typ, Checksum, CheckSumMethod};
    if (row.TakesAddOn && text.find('+') != std::string::npos)
        return encoders::EncodeWithAddOn(input, row.Encode);
    if (row.Data.NumericOnly) encoders::RequireDigits(text);
    // An empty text would come out as a valid-looking symbol of zeros, or of nothing.
    Require(!text.empty(), "No data");
    TBuiltPattern built = row.Encode(input);
    built.Segments.MainLength = built.Segments.AddOnStart = built.Pattern.size();
    return built;
}

TBuiltPattern TBarcodeEngine::Build() {
    segments_ = {};
    if (IsKnownType(Typ) && kSymbologies[Typ].Data.NumericOnly) Text = TrimControls(Text);
    TBuiltPattern built = Encode();
    Text = built.Text;
    segments_ = built.Segments;
    return built;
}

void TBarcodeEngine::DecodePatternChar(char c, int32_t& width, TLineKind& kind) const {
    int index;
    if (c >= '0' && c <= '3') {
        index = c - '0';
        kind = TLineKind::lkSpace;
    } else if (c >= '5' && c <= '8') {
        index = c - '5';
        kind = TLineKind::lkBar;
    } else if (c >= 'A' && c <= 'D') {
        index = c - 'A';
        kind = TLineKind::lkShortBar;
    } else {
        throw Exception(encoders::EngineMessage("%s: internal Error"));
    }
    width = LineWidths[index];
}

std::string TBarcodeEngine::ApplyCheckSum(const std::string& digits) const {
    return encoders::ApplyCheckSum({Text, Typ, Checksum, CheckSumMethod}, digits);
}

// Module counts '1'-'4' alternating bar, space, ... become pattern characters.
std::string TBarcodeEngine::WidthsToPattern(const std::string& moduleCounts) {
    std::string pattern = moduleCounts;
    for (size_t i = 0; i < pattern.size(); ++i)
        pattern[i] = static_cast<char>(i % 2 == 0 ? pattern[i] + 4 : pattern[i] - 1);
    return pattern;
}

// The summed widths of a run of pattern characters, in drawing units.
int64_t TBarcodeEngine::PatternUnits(std::string_view pattern) const {
    int64_t total = 0;
    for (char c : pattern) {
        int32_t width;
        TLineKind kind;
        DecodePatternChar(c, width, kind);
        total += width;
    }
    return total;
}

int32_t TBarcodeEngine::PatternWidth(std::string_view pattern) const {
    const int64_t total = PatternUnits(pattern);
    if (total > std::numeric_limits<int32_t>::max())
        throw Exception(encoders::EngineMessage("%s: barcode too wide"));
    return static_cast<int32_t>(total);
}

// Length of the bars-and-spaces run in drawing units.
int32_t TBarcodeEngine::GetWidth() {
    return PatternWidth(Encode().Pattern);
}

} // namespace quillax
