// MSI (Plessey), PostNet and Codabar.
#include "engine/Encoders.h"

namespace quillax::encoders {

namespace {

// MSI: each digit as four binary digits, most significant first; 0 is "51", 1 is "60".
constexpr const char* kMsiDigits[10] = {"51515151", "51515160", "51516051", "51516060", "51605151",
                                        "51605160", "51606051", "51606060", "60515151", "60515160"};
constexpr const char* kMsiStart = "60";
constexpr const char* kMsiStop = "515";

// USPS POSTNET: five bars per digit, two of them full height ("5"), the others short ("A"),
// each followed by a wide space.
constexpr const char* kPostNetDigits[10] = {"5151A1A1A1", "A1A1A15151", "A1A151A151", "A1A15151A1",
                                            "A151A1A151", "A151A151A1", "A15151A1A1", "51A1A1A151",
                                            "51A1A151A1", "51A151A1A1"};
constexpr const char* kPostNetStart = "51"; // frame bar and its space
constexpr const char* kPostNetStop = "5";   // frame bar

// Codabar character set (EN 798), in lookup order; seven elements, bar first.
constexpr std::string_view kCodabarAlphabet = "1234567890-$:/.+ABCD";
constexpr const char* kCodabarPatterns[] = {
    "5050615", "5051506", "6150505", "5060515", "6050515", // 1-5
    "5150506", "5150605", "5160505", "6051505", "5050516", // 6-9, 0
    "5051605", "5061505", "6050606", "6060506", "6060605", // - $ : / .
    "5060606", "5061515", "5151506", "5051516", "5051615", // + A B C D
};
static_assert(std::size(kCodabarPatterns) == kCodabarAlphabet.size());

// "A" to "D" are start and stop characters, which the encoder sets itself; data is the 16
// characters before them.
constexpr std::string_view kCodabarData = kCodabarAlphabet.substr(0, kCodabarAlphabet.find('A'));
static_assert(kCodabarData.size() == 16);

const char* CodabarPattern(char c) {
    return kCodabarPatterns[kCodabarAlphabet.find(c)];
}

} // namespace

// The MSI modulo-10 digit always precedes the stop.
TBuiltPattern EncodeMSI(const TEncodeInput& in) {
    std::string pattern = kMsiStart;
    for (char c : in.Text)
        pattern += kMsiDigits[c - '0'];
    pattern += kMsiDigits[MsiCheckDigit(in.Text)];
    return {pattern + kMsiStop, in.Text};
}

// With Checksum the correction digit is appended to Text, so the label shows it too.
TBuiltPattern EncodePostNet(const TEncodeInput& in) {
    std::string text = in.Text;
    if (in.Checksum) text += static_cast<char>('0' + PostNetCheckDigit(text));
    std::string pattern = kPostNetStart;
    for (char c : text)
        pattern += kPostNetDigits[c - '0'];
    return {pattern + kPostNetStop, text};
}

// Fixed start "A" and stop "B"; a character outside the data characters (a start or stop
// letter included) is refused with the whole text.
TBuiltPattern EncodeCodabar(const TEncodeInput& in) {
    std::string pattern = CodabarPattern('A') + std::string("0");
    for (char c : in.Text) {
        if (kCodabarData.find(c) == std::string_view::npos)
            throw Exception(EngineMessage("%s:Codabar bad Data <%s>", in.Text));
        pattern += CodabarPattern(c);
        pattern += '0';
    }
    return {pattern + CodabarPattern('B'), in.Text};
}

} // namespace quillax::encoders
