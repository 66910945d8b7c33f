// Code 39 and its full-ASCII form; the full-ASCII spelling is shared with Code 93.
#include "engine/Encoders.h"

namespace quillax::encoders {

namespace {

// Code 39 character set (ISO/IEC 16388), in lookup order; the position in this alphabet
// selects the row of kCode39Flags.
constexpr std::string_view kCode39Alphabet = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. *$/+%";
// Nine elements, bar first; 1 marks a wide element.
constexpr const char* kCode39Flags[] = {
    "000110100", "100100001", "001100001", "101100000", "000110001", // 0-4
    "100110000", "001110000", "000100101", "100100100", "001100100", // 5-9
    "100001001", "001001001", "101001000", "000011001", "100011000", // A-E
    "001011000", "000001101", "100001100", "001001100", "000011100", // F-J
    "100000011", "001000011", "101000010", "000010011", "100010010", // K-O
    "001010010", "000000111", "100000110", "001000110", "000010110", // P-T
    "110000001", "011000001", "111000000", "010010001", "110010000", // U-Y
    "011010000", "010000101", "110000100", "011000100", "010010100", // Z - . blank *
    "010101000", "010100010", "010001010", "000101010",              // $ / + %
};
static_assert(std::size(kCode39Flags) == kCode39Alphabet.size());

constexpr size_t kStartStop = kCode39Alphabet.find('*');

// Check value of a row: its position, except "*" (0) and the four signs after it.
int Code39Value(size_t row) {
    if (row < kStartStop) return static_cast<int>(row);
    return row == kStartStop ? 0 : static_cast<int>(row) - 1;
}

// The row whose check value is v (the first in table order).
size_t Code39Row(int value) {
    return value < static_cast<int>(kStartStop) ? value : value + 1;
}

// Appends the nine elements of a row: narrow bar "5", wide bar "6", narrow space "0", wide "1".
void AppendCode39(std::string& pattern, size_t row) {
    const char* flags = kCode39Flags[row];
    for (int i = 0; i < 9; ++i)
        pattern += i % 2 == 0 ? (flags[i] == '1' ? '6' : '5') : (flags[i] == '1' ? '1' : '0');
}

// Full-ASCII spelling by ranges of codes: each range is spelled as one shift character and
// a letter counted from its first code, or as the characters themselves (shift 0).
struct FullAsciiRange {
    unsigned char First;
    unsigned char Last;
    int Shift; // index into the shift characters: 0 "$", 1 "%", 2 "/", 3 "+"; -1 none
    char Letter;
};
constexpr FullAsciiRange kFullAscii[] = {
    {0, 0, 1, 'U'},    {1, 26, 0, 'A'},  {27, 31, 1, 'A'},  {32, 32, -1, ' '},  {33, 47, 2, 'A'},
    {48, 57, -1, '0'}, {58, 58, 2, 'Z'}, {59, 63, 1, 'F'},  {64, 64, 1, 'V'},   {65, 90, -1, 'A'},
    {91, 95, 1, 'K'},  {96, 96, 1, 'W'}, {97, 122, 3, 'A'}, {123, 127, 1, 'P'},
};

// The 43 data characters: the set without "*", which is the encoder's own start and stop.
bool IsCode39Data(char c) {
    return c != '*' && kCode39Alphabet.find(c) != std::string_view::npos;
}

// Start, each character of text with its gap, the optional modulo-43 character, stop. Every
// character of text is one of the data characters.
std::string Code39Pattern(std::string_view text, bool checksum) {
    std::string pattern;
    pattern.reserve(10 * (text.size() + 3));
    AppendCode39(pattern, kStartStop);
    pattern += '0';
    int sum = 0;
    for (char c : text) {
        const size_t row = kCode39Alphabet.find(c);
        AppendCode39(pattern, row);
        pattern += '0';
        sum = (sum + Code39Value(row)) % 43;
    }
    if (checksum) {
        AppendCode39(pattern, Code39Row(sum));
        pattern += '0';
    }
    AppendCode39(pattern, kStartStop);
    return pattern;
}

[[noreturn]] void RaiseBadData(const std::string& text) {
    throw Exception(EngineMessage("%s:Code39 bad Data <%s>", text));
}

} // namespace

std::string FullAsciiSpelling(unsigned char code, std::string_view shifts) {
    for (const FullAsciiRange& range : kFullAscii) {
        if (code < range.First || code > range.Last) continue;
        const char letter = static_cast<char>(range.Letter + (code - range.First));
        if (range.Shift < 0) return std::string(1, letter);
        return std::string{shifts[range.Shift], letter};
    }
    return {}; // codes above 127 have no spelling
}

// A character outside the 43 data characters ("*" and lower case included) is refused with
// the whole text.
TBuiltPattern EncodeCode39(const TEncodeInput& in) {
    for (char c : in.Text)
        if (!IsCode39Data(c)) RaiseBadData(in.Text);
    return {Code39Pattern(in.Text, in.Checksum), in.Text};
}

// Text spelled in the Code 39 set; a character beyond 7-bit ASCII is refused with the whole
// text.
TBuiltPattern EncodeCode39Extended(const TEncodeInput& in) {
    std::string spelled;
    for (char c : in.Text) {
        if (static_cast<unsigned char>(c) > 127) RaiseBadData(in.Text);
        spelled += FullAsciiSpelling(static_cast<unsigned char>(c), "$%/+");
    }
    return {Code39Pattern(spelled, in.Checksum), in.Text};
}

} // namespace quillax::encoders
