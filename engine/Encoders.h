// The engine's family encoders and check computations: free functions over the data and the
// settings that shape a symbol, changing nothing. The engine's build dispatches to the encoders
// through its symbology table; nothing outside the engine and its tests calls them directly.
#pragma once

#include "engine/BarcodeEngine.h"

#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillax::encoders {

// What an encoder reads: the data (trimmed of controls for the numeric symbologies) and the
// settings that shape the symbol.
struct TEncodeInput {
    const std::string& Text;
    TBarcodeType Typ;
    bool Checksum;
    TCheckSumMethod CheckSumMethod;
};

// An encoder returns the pattern and the text as the symbol carries it (a leading zero, a check
// digit, the GS1 label); the add-on encoder fills the segments as well.
using Encoder = TBuiltPattern (*)(const TEncodeInput& in);

// The digits with the method's check digit appended (unchanged for csmNone).
std::string ApplyCheckSum(const TEncodeInput& in, const std::string& digits);

// --- Check computations (CheckDigits.cpp) ---

// GS1 modulo 10: digits weighted 3, 1, 3, ... from the right; appends the check digit.
// A non-digit raises EConvertError "'%s' is not a valid integer value".
std::string Mod10CheckDigit(std::string_view digits);
// Add-on check: drops the last character, weights 3, 9, 3, ... from the right, appends
// the sum mod 10.
std::string AddOnCheckDigit(std::string_view digits);
// PostNet correction digit: brings the sum of all digits to a multiple of 10.
int PostNetCheckDigit(std::string_view digits);
// MSI modulo 10 over decimal digits.
int MsiCheckDigit(std::string_view digits);
// Code 93 check characters C and K over the symbol values of the data.
std::pair<int, int> Code93CheckValues(const std::vector<int>& values);
// Code 128 check symbol: values[0] is the start symbol, the others follow at positions 1, 2, ...
int Code128CheckValue(const std::vector<int>& values);

// Raises "Barcode must be numeric" at the first character that is not a decimal digit.
void RequireDigits(std::string_view text);

// "%s" in a message filled with the engine's class name (and a second argument if given).
std::string EngineMessage(const char* format, const std::string& argument = {});

// --- Family encoders ---

TBuiltPattern EncodeInterleaved2of5(const TEncodeInput& in); // TwoOfFive.cpp
TBuiltPattern EncodeIndustrial2of5(const TEncodeInput& in);
TBuiltPattern EncodeMatrix2of5(const TEncodeInput& in);

TBuiltPattern EncodeCode39(const TEncodeInput& in); // Code39.cpp
TBuiltPattern EncodeCode39Extended(const TEncodeInput& in);
// The one or two characters that spell an ASCII code in a full-ASCII form; shifts holds the
// form's four shift characters in the order $ % / +. Codes above 127 give "".
std::string FullAsciiSpelling(unsigned char code, std::string_view shifts);

TBuiltPattern
EncodeCode128(const TEncodeInput& in); // Code128.cpp: all six Code 128 / EAN-128 types
// A Code 128 symbol from its values: values[0] is the start (103-105), the others follow it;
// the check symbol and the stop are added.
std::string Code128Pattern(const std::vector<int>& values);

// Code128Auto.cpp: the code sets chosen for the shortest symbol. An item is a byte (0-255) or
// kCode128Fnc1; the values start with the start symbol.
inline constexpr int kCode128Fnc1 = 256;
std::vector<int> Code128ShortestValues(std::span<const int> items);
TBuiltPattern EncodeCode128Auto(const TEncodeInput& in);

// Gs1Ai.cpp: the GS1 application identifiers. A row covers the AIs First to Last (same
// length), each followed by a decimal-point digit 0 to Point when Point is not -1; Format
// lists the field's components (see the table).
struct Gs1Ai {
    std::string_view First;
    std::string_view Last;
    bool Predefined; // a fixed length that needs no FNC1 after the field
    std::string_view Format;
    int Point = -1;
};
struct Gs1Component {
    char Type = 'X'; // N digits, X set 82, Y set 39, Z set 64
    size_t Least = 0;
    size_t Most = 0;
    bool Optional = false;
    std::vector<std::string_view> Checks; // csum, csumalpha, yymmd0, ...
};
std::span<const Gs1Ai> Gs1ApplicationIdentifiers();
std::vector<Gs1Component> Gs1Components(std::string_view format);
// The row of an AI written as digits, or nullptr.
const Gs1Ai* FindGs1Ai(std::string_view ai);
// What is wrong with a field's value, as "is longer than 20" or "month 13"; "" when nothing.
std::string Gs1FieldFault(const Gs1Ai& row, std::string_view value);

TBuiltPattern EncodeGS1128(const TEncodeInput& in); // Gs1128.cpp: element strings, validated

TBuiltPattern EncodeCode93(const TEncodeInput& in); // Code93.cpp
TBuiltPattern EncodeCode93Extended(const TEncodeInput& in);

TBuiltPattern EncodeEAN8(const TEncodeInput& in); // EanUpc.cpp
TBuiltPattern EncodeEAN13(const TEncodeInput& in);
TBuiltPattern EncodeUPCA(const TEncodeInput& in);
TBuiltPattern EncodeUPCE(const TEncodeInput& in); // both number systems, by Typ
TBuiltPattern EncodeUPCSupp2(const TEncodeInput& in);
TBuiltPattern EncodeUPCSupp5(const TEncodeInput& in);
// "main+NN" or "main+NNNNN" for EAN-8, EAN-13, UPC-A and UPC-E: the main symbol by its own
// encoder (Checksum and the check digit's verification apply to it), the gap, then the two- or
// five-digit add-on; the segments record where each lies. The text carried is the main
// symbol's digits as its encoder returns them, "+" and the add-on.
TBuiltPattern EncodeWithAddOn(const TEncodeInput& in, Encoder encodeMain);
// The eleven digits of the UPC-A form of a UPC-E code: number system + six digits.
std::string ExpandUPCEtoUPCA(char numberSystem, std::string_view six);

TBuiltPattern EncodeMSI(const TEncodeInput& in); // MsiPostNetCodabar.cpp
TBuiltPattern EncodePostNet(const TEncodeInput& in);
TBuiltPattern EncodeCodabar(const TEncodeInput& in);

} // namespace quillax::encoders
