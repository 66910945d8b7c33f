// EAN-8, EAN-13, UPC-A, UPC-E and the two- and five-digit add-ons.
#include "engine/Encoders.h"

namespace quillax::encoders {

namespace {

// Number sets A (odd parity), B (even parity) and C (right half) of ISO/IEC 15420, as
// pattern characters: four elements, seven modules per digit.
constexpr const char* kSetA[10] = {"2605", "1615", "1516", "0805", "0526",
                                   "0625", "0508", "0706", "0607", "2506"};
constexpr const char* kSetB[10] = {"0517", "0616", "1606", "0535", "1705",
                                   "0715", "3505", "1525", "2515", "1507"};
constexpr const char* kSetC[10] = {"7150", "6160", "6061", "5350", "5071",
                                   "5170", "5053", "5251", "5152", "7051"};

// EAN-13 left-half sets by the first digit (ISO/IEC 15420).
constexpr const char* kEan13Parity[10] = {"AAAAAA", "AABABB", "AABBAB", "AABBBA", "ABAABB",
                                          "ABBAAB", "ABBBAA", "ABABAB", "ABABBA", "ABBABA"};

// UPC-E number system 0 parity by check digit (E even, o odd); letters 2-6 of a row are the
// five-digit add-on parity of that check digit.
constexpr const char* kUpcEParity[10] = {"EEEooo", "EEoEoo", "EEooEo", "EEoooE", "EoEEoo",
                                         "EooEEo", "EoooEE", "EoEoEo", "EoEooE", "EooEoE"};

constexpr const char* kGuard = "505";
constexpr const char* kCentre = "05050";
constexpr const char* kUpcEEnd = "050505";
constexpr const char* kAddOnStart = "506";
constexpr const char* kAddOnSeparator = "05";
// The gap between a main symbol and its add-on: 9 modules (4 + 4 + 1) of the 7 to 12 that
// EAN/UPC allow, the right quiet zone UPC-A needs and room for the check digit that the
// UPC-A and UPC-E labels print right of their bars.
constexpr const char* kAddOnGap = "330";

// Two-digit add-on parity by the value mod 4 (E even, o odd).
constexpr const char* kAddOn2Parity[4] = {"oo", "oE", "Eo", "EE"};

int Digit(char c) {
    return c - '0';
}

// Text preceded by zeros up to n characters; never cut.
std::string ZeroPad(const std::string& text, size_t n) {
    return text.size() >= n ? text : std::string(n - text.size(), '0') + text;
}

// Refuses digits whose last is not the check digit that `expected` ends in, naming the data as
// given: a symbol with a wrong check digit is one that no reader accepts.
void RequireCheckDigit(const std::string& given, char carried, char expected, const char* name) {
    if (carried == expected) return;
    throw Exception("Invalid check digit " + std::string(1, carried) + " for " + given + " (" +
                    name + "): " + std::string(1, expected) + " expected");
}

// The digits of a symbol of `full` digits whose last is the check digit of the `data` digits
// before it; every digit given is kept. A full-length text carries its own check digit, which
// is verified (with Checksum against the method's digit). Otherwise, with Checksum the text is
// padded to the data digits and gets the computed check digit; without, it is padded to full
// length and its last digit, the check digit, is verified. More digits than the symbol holds,
// or Checksum without a method to compute the digit, raise lengthError.
std::string CompletedDigits(const TEncodeInput& in, size_t data, size_t full,
                            const char* lengthError, const char* name) {
    const std::string& text = in.Text;
    TBarcodeEngine::Require(text.size() <= full, lengthError);
    if (!in.Checksum) {
        const std::string digits = ZeroPad(text, full);
        RequireCheckDigit(text, digits.back(), Mod10CheckDigit(digits.substr(0, data)).back(),
                          name);
        return digits;
    }
    const bool carried = text.size() == full;
    std::string completed = ApplyCheckSum(in, carried ? text.substr(0, data) : ZeroPad(text, data));
    TBarcodeEngine::Require(completed.size() == full, lengthError); // no method, no check digit
    if (carried) RequireCheckDigit(text, text.back(), completed.back(), name);
    return completed;
}

// Even parity takes set B, odd parity set A.
const char* ByParity(char letter, char digit) {
    return letter == 'E' ? kSetB[Digit(digit)] : kSetA[Digit(digit)];
}

// Guard, left half, centre, right half in set C, guard.
std::string EanSymbol(const std::string& leftHalf, std::string_view rightDigits) {
    std::string pattern;
    pattern.reserve(16 + leftHalf.size() + 4 * rightDigits.size());
    pattern += kGuard;
    pattern += leftHalf;
    pattern += kCentre;
    for (char c : rightDigits)
        pattern += kSetC[Digit(c)];
    pattern += kGuard;
    return pattern;
}

// The five-digit add-on: parity by its check digit, which the symbol does not carry.
std::string AddOn5Pattern(std::string_view digits) {
    const char check = AddOnCheckDigit(std::string(digits) + "0").back();
    const char* parity = kUpcEParity[Digit(check)] + 1;
    std::string pattern = kAddOnStart;
    for (size_t i = 0; i < 5; ++i) {
        if (i > 0) pattern += kAddOnSeparator;
        pattern += ByParity(parity[i], digits[i]);
    }
    return pattern;
}

// The two-digit add-on: parity by the value mod 4.
std::string AddOn2Pattern(std::string_view digits) {
    const char* parity = kAddOn2Parity[(Digit(digits[0]) * 10 + Digit(digits[1])) % 4];
    return kAddOnStart + std::string(ByParity(parity[0], digits[0])) + kAddOnSeparator +
           ByParity(parity[1], digits[1]);
}

// The name the messages give the main symbols that take an add-on.
const char* MainSymbolName(TBarcodeType typ) {
    switch (typ) {
    case bcCodeEAN8:
        return "EAN-8";
    case bcCodeEAN13:
        return "EAN-13";
    case bcCodeUPC_A:
        return "UPC-A";
    default:
        return "UPC-E";
    }
}

} // namespace

TBuiltPattern EncodeEAN8(const TEncodeInput& in) {
    std::string d = CompletedDigits(in, 7, 8, "Invalid Text len (EAN8)", "EAN-8");
    std::string left;
    for (int i = 0; i < 4; ++i)
        left += kSetA[Digit(d[i])];
    return {EanSymbol(left, std::string_view(d).substr(4)), std::move(d)};
}

TBuiltPattern EncodeEAN13(const TEncodeInput& in) {
    std::string d = CompletedDigits(in, 12, 13, "Invalid Text len (EAN13)", "EAN-13");
    const char* parity = kEan13Parity[Digit(d[0])];
    std::string left;
    for (int i = 0; i < 6; ++i)
        left += (parity[i] == 'A' ? kSetA : kSetB)[Digit(d[i + 1])];
    return {EanSymbol(left, std::string_view(d).substr(7)), std::move(d)};
}

TBuiltPattern EncodeUPCA(const TEncodeInput& in) {
    std::string d = CompletedDigits(in, 11, 12, "Invalid Text len (UPCA)", "UPC-A");
    std::string left;
    for (int i = 0; i < 6; ++i)
        left += kSetA[Digit(d[i])];
    return {EanSymbol(left, std::string_view(d).substr(6, 6)), std::move(d)};
}

// The standard expansion by the last of the six digits: 0-2 manufacturer ends in it, 3 and 4
// shorten the manufacturer, 5-9 keep the item digit.
std::string ExpandUPCEtoUPCA(char numberSystem, std::string_view six) {
    const std::string s(six.substr(0, 6));
    std::string a(1, numberSystem);
    switch (s[5]) {
    case '0':
    case '1':
    case '2':
        a += s.substr(0, 2) + s[5] + "0000" + s.substr(2, 3);
        break;
    case '3':
        a += s.substr(0, 3) + "00000" + s.substr(3, 2);
        break;
    case '4':
        a += s.substr(0, 4) + "00000" + s[4];
        break;
    default:
        a += s.substr(0, 5) + "0000" + s[5];
        break;
    }
    return a;
}

// The six digits are the first of a full seven, or the text padded to six; the check digit is
// that of the UPC-A expansion, whatever the method, and selects the parity (number system 1
// inverts the parity of number system 0). A full seven carry their own check digit, which is
// verified. The text carried ends in the check digit.
TBuiltPattern EncodeUPCE(const TEncodeInput& in) {
    TBarcodeEngine::Require(in.Text.size() <= 7, "Invalid Text len (UPCE)");
    const bool full = in.Text.size() == 7;
    const std::string six = full ? in.Text.substr(0, 6) : ZeroPad(in.Text, 6);
    const char numberSystem = in.Typ == bcCodeUPC_E1 ? '1' : '0';
    const char check = Mod10CheckDigit(ExpandUPCEtoUPCA(numberSystem, six)).back();
    if (full) RequireCheckDigit(in.Text, in.Text.back(), check, "UPC-E");
    const char* parity = kUpcEParity[Digit(check)];
    std::string pattern = kGuard;
    for (int i = 0; i < 6; ++i) {
        const bool even = (parity[i] == 'E') == (numberSystem == '0');
        pattern += (even ? kSetB : kSetA)[Digit(six[i])];
    }
    return {pattern + kUpcEEnd, six + check};
}

// The add-on check digit only selects the parity: Text keeps the five digits the symbol
// carries, with or without Checksum, so the label shows no digit that the bars lack.
TBuiltPattern EncodeUPCSupp5(const TEncodeInput& in) {
    TBarcodeEngine::Require(in.Text.size() <= 5, "Invalid Text len (UPC5)");
    std::string digits = ZeroPad(in.Text, 5);
    return {AddOn5Pattern(digits), std::move(digits)};
}

// The add-on check digit plays no part, and Text keeps the two digits the symbol carries.
TBuiltPattern EncodeUPCSupp2(const TEncodeInput& in) {
    TBarcodeEngine::Require(in.Text.size() <= 2, "Invalid Text len (UPC2)");
    std::string digits = ZeroPad(in.Text, 2);
    return {AddOn2Pattern(digits), std::move(digits)};
}

// The add-on must be complete: a reader finds two or five digits or none, so nothing is padded.
TBuiltPattern EncodeWithAddOn(const TEncodeInput& in, Encoder encodeMain) {
    const std::string& given = in.Text;
    const size_t plus = given.find('+');
    const std::string addOn = given.substr(plus + 1);
    RequireDigits(std::string_view(given).substr(0, plus));
    RequireDigits(addOn); // a second "+" too
    TBarcodeEngine::Require(plus > 0, "No data");
    TBarcodeEngine::Require(addOn.size() == 2 || addOn.size() == 5,
                            "Invalid add-on <" + addOn + "> (" + MainSymbolName(in.Typ) +
                                "): 2 or 5 digits expected");
    const std::string mainText = given.substr(0, plus);
    TBuiltPattern built = encodeMain({mainText, in.Typ, in.Checksum, in.CheckSumMethod});
    TPatternSegments& segments = built.Segments;
    segments.MainLength = built.Pattern.size();
    built.Pattern += kAddOnGap;
    segments.AddOnStart = built.Pattern.size();
    built.Pattern += addOn.size() == 2 ? AddOn2Pattern(addOn) : AddOn5Pattern(addOn);
    segments.AddOnText = addOn;
    built.Text += '+' + addOn;
    return built;
}

} // namespace quillax::encoders
