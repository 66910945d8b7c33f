// Code 93 and its full-ASCII form.
#include "engine/Encoders.h"

namespace quillax::encoders {

namespace {

// Code 93 character set (AIM USS Code 93); "[", "]", "{", "}" stand for the shift characters
// ($), (%), (/), (+). The position is the character's value.
constexpr std::string_view kCode93Alphabet = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%[]{}";
// Module widths: bar, space, bar, space, bar, space (nine modules).
constexpr const char* kCode93Widths[] = {
    "131112", "111213", "111312", "111411", "121113", // 0-4
    "121212", "121311", "111114", "131211", "141111", // 5-9
    "211113", "211212", "211311", "221112", "221211", // A-E
    "231111", "112113", "112212", "112311", "122112", // F-J
    "132111", "111123", "111222", "111321", "121122", // K-O
    "131121", "212112", "212211", "211122", "211221", // P-T
    "221121", "222111", "112122", "112221", "122121", // U-Y
    "123111", "121131", "311112", "311211", "321111", // Z - . blank $
    "112131", "113121", "211131", "121221", "312111", // / + % ($) (%)
    "311121", "122211",                               // (/) (+)
};
static_assert(std::size(kCode93Widths) == kCode93Alphabet.size());

constexpr const char* kCode93Start = "111141";
constexpr const char* kCode93End = "1111411"; // stop and termination bar
// Values 43-46 are the shift characters; data characters lie below them.
constexpr size_t kFirstShift = kCode93Alphabet.find('[');
static_assert(kFirstShift == 43);

// Start, the characters of symbols (any of the 47, shifts included), the check characters
// C and K, end.
std::string Code93Pattern(std::string_view symbols) {
    std::string widths = kCode93Start;
    std::vector<int> values;
    values.reserve(symbols.size());
    for (char c : symbols) {
        const size_t value = kCode93Alphabet.find(c);
        widths += kCode93Widths[value];
        values.push_back(static_cast<int>(value));
    }
    const auto [c, k] = Code93CheckValues(values);
    widths += kCode93Widths[c];
    widths += kCode93Widths[k];
    return TBarcodeEngine::WidthsToPattern(widths + kCode93End);
}

[[noreturn]] void RaiseBadData(const std::string& text) {
    throw Exception(EngineMessage("%s:Code93 bad Data <%s>", text));
}

} // namespace

// Every character must be one of the 43 data characters; the shift characters "[", "]", "{"
// and "}" belong to the full-ASCII spelling and are refused like any character outside the
// set.
TBuiltPattern EncodeCode93(const TEncodeInput& in) {
    for (char c : in.Text)
        if (kCode93Alphabet.find(c) >= kFirstShift) RaiseBadData(in.Text);
    return {Code93Pattern(in.Text), in.Text};
}

// Text spelled in the Code 93 set with the shift characters; a character beyond 7-bit ASCII
// is refused with the whole text.
TBuiltPattern EncodeCode93Extended(const TEncodeInput& in) {
    std::string spelled;
    for (char c : in.Text) {
        if (static_cast<unsigned char>(c) > 127) RaiseBadData(in.Text);
        spelled += FullAsciiSpelling(static_cast<unsigned char>(c), "[]{}");
    }
    return {Code93Pattern(spelled), in.Text};
}

} // namespace quillax::encoders
