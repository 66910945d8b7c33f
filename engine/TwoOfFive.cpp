// Interleaved, industrial and matrix two of five.
#include "engine/Encoders.h"

namespace quillax::encoders {

namespace {

// Wide-element flags per digit, shared by the family (ISO/IEC 16390 digit table).
constexpr const char* kTwoOfFive[10] = {"00110", "10001", "01001", "11000", "00101",
                                        "10100", "01100", "00011", "10010", "01010"};

constexpr const char* kInterleavedStart = "5050";
constexpr const char* kInterleavedStop = "605";
constexpr const char* kIndustrialStart = "606050";
constexpr const char* kIndustrialStop = "605060";
constexpr const char* kMatrixStart = "705050";
constexpr const char* kMatrixStop = "70505";

const char* Flags(char digit) {
    return kTwoOfFive[digit - '0'];
}
char Bar(char flag) {
    return flag == '1' ? '6' : '5';
}
char Space(char flag) {
    return flag == '1' ? '1' : '0';
}

} // namespace

// Digits in pairs, the first in the bars and the second in the spaces; an odd count gets a
// leading zero, kept in Text so that the label shows what is encoded.
TBuiltPattern EncodeInterleaved2of5(const TEncodeInput& in) {
    const std::string text = in.Text.size() % 2 != 0 ? "0" + in.Text : in.Text;
    std::string pattern = kInterleavedStart;
    for (size_t k = 0; k + 1 < text.size(); k += 2) {
        const char* bars = Flags(text[k]);
        const char* spaces = Flags(text[k + 1]);
        for (int j = 0; j < 5; ++j) {
            pattern += Bar(bars[j]);
            pattern += Space(spaces[j]);
        }
    }
    return {pattern + kInterleavedStop, text};
}

// Information in the bars only, every bar followed by a narrow space.
TBuiltPattern EncodeIndustrial2of5(const TEncodeInput& in) {
    std::string pattern = kIndustrialStart;
    for (char c : in.Text) {
        for (const char* f = Flags(c); *f; ++f) {
            pattern += Bar(*f);
            pattern += '0';
        }
    }
    return {pattern + kIndustrialStop, in.Text};
}

// Bar, space, bar, space, bar per digit, then a narrow separating space.
TBuiltPattern EncodeMatrix2of5(const TEncodeInput& in) {
    std::string pattern = kMatrixStart;
    for (char c : in.Text) {
        const char* flags = Flags(c);
        for (int j = 0; j < 5; ++j)
            pattern += j % 2 == 0 ? Bar(flags[j]) : Space(flags[j]);
        pattern += '0';
    }
    return {pattern + kMatrixStop, in.Text};
}

} // namespace quillax::encoders
