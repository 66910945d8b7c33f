// Code 128 and EAN-128 in a single code set per symbol, and the symbol assembly that every
// Code 128 form shares.
#include "engine/Encoders.h"

namespace quillax::encoders {

namespace {

// Symbol character patterns of Code 128 (ISO/IEC 15417), by value: module widths of bar,
// space, bar, space, bar, space (eleven modules).
constexpr const char* kCode128Widths[] = {
    "212222", "222122", "222221", "121223", "121322", "131222", "122213", "122312", // 0
    "132212", "221213", "221312", "231212", "112232", "122132", "122231", "113222", // 8
    "123122", "123221", "223211", "221132", "221231", "213212", "223112", "312131", // 16
    "311222", "321122", "321221", "312212", "322112", "322211", "212123", "212321", // 24
    "232121", "111323", "131123", "131321", "112313", "132113", "132311", "211313", // 32
    "231113", "231311", "112133", "112331", "132131", "113123", "113321", "133121", // 40
    "313121", "211331", "231131", "213113", "213311", "213131", "311123", "311321", // 48
    "331121", "312113", "312311", "332111", "314111", "221411", "431111", "111224", // 56
    "111422", "121124", "121421", "141122", "141221", "112214", "112412", "122114", // 64
    "122411", "142112", "142211", "241211", "221114", "413111", "241112", "134111", // 72
    "111242", "121142", "121241", "114212", "124112", "124211", "411212", "421112", // 80
    "421211", "212141", "214121", "412121", "111143", "111341", "131141", "114113", // 88
    "114311", "411113", "411311", "113141", "114131", "311141", "411131",           // 96
};
constexpr int kCode128Symbols = 103;
static_assert(std::size(kCode128Widths) == kCode128Symbols);

constexpr int CODE_START_A = 103;
constexpr int CODE_START_B = 104;
constexpr int CODE_START_C = 105;
constexpr int CODE_FNC1 = 102;
constexpr const char* kStartWidths[] = {"211412", "211214", "211232"}; // A, B, C
static_assert(CODE_START_B == CODE_START_A + 1 && CODE_START_C == CODE_START_A + 2);
constexpr const char* kStopWidths = "2331112";

enum class CodeSet { A, B, C };

// The value of a character in code set A or B, or -1 when the set has none. Code set A: codes
// 32-95 are values 0-63 and the control characters 0-31 values 64-95; code set B: codes
// 32-127 are values 0-95 (DEL is 95).
int CharValue(CodeSet set, char c) {
    const auto code = static_cast<unsigned char>(c);
    if (set == CodeSet::A) {
        if (code < 32) return code + 64;
        return code <= 95 ? code - 32 : -1;
    }
    return code >= 32 && code <= 127 ? code - 32 : -1;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Whether every character of text has a value in the code set; code set C takes digits only
// (pairs, after the leading zero an odd count gets).
bool CanEncode(CodeSet set, const std::string& text) {
    for (char c : text)
        if (set == CodeSet::C ? !IsDigit(c) : CharValue(set, c) < 0) return false;
    return true;
}

// Appends the symbol values of text in one code set, padding code set C to an even length in
// text.
void AppendDataValues(std::string& text, CodeSet set, std::vector<int>& values) {
    if (set == CodeSet::C) {
        if (text.size() % 2 != 0) text = "0" + text;
        for (size_t i = 0; i < text.size(); i += 2)
            values.push_back((text[i] - '0') * 10 + (text[i + 1] - '0'));
    } else {
        for (char c : text)
            values.push_back(CharValue(set, c));
    }
}

} // namespace

// The type names the code set; a character the set cannot encode is refused with the whole
// text. EAN-128 adds FNC1 after the start and, with Checksum, the modulo-10 digit of Text as
// data. The modulo-103 symbol is always made.
TBuiltPattern EncodeCode128(const TEncodeInput& in) {
    CodeSet set;
    bool ean = false;
    switch (in.Typ) {
    case bcCodeEAN128A:
        ean = true;
        [[fallthrough]];
    case bcCode128A:
        set = CodeSet::A;
        break;
    case bcCodeEAN128B:
        ean = true;
        [[fallthrough]];
    case bcCode128B:
        set = CodeSet::B;
        break;
    case bcCodeEAN128C:
        ean = true;
        [[fallthrough]];
    case bcCode128C:
        set = CodeSet::C;
        break;
    default:
        throw Exception(EngineMessage("%s: wrong BarcodeType in Code_128"));
    }

    if (!CanEncode(set, in.Text))
        throw Exception(EngineMessage("%s:Code128 bad Data <%s>", in.Text));

    const int start = CODE_START_A + static_cast<int>(set);
    std::string text = in.Text;
    std::vector<int> values;
    values.reserve(text.size() + 3);
    values.push_back(start);
    if (ean) {
        values.push_back(CODE_FNC1);
        if (in.Checksum) text = ApplyCheckSum(in, text);
    }
    AppendDataValues(text, set, values);

    return {Code128Pattern(values), text};
}

std::string Code128Pattern(const std::vector<int>& values) {
    std::string widths;
    widths.reserve(6 * (values.size() + 1) + 7);
    widths += kStartWidths[values[0] - CODE_START_A];
    for (size_t i = 1; i < values.size(); ++i)
        widths += kCode128Widths[values[i]];
    widths += kCode128Widths[Code128CheckValue(values)];
    return TBarcodeEngine::WidthsToPattern(widths + kStopWidths);
}

} // namespace quillax::encoders
