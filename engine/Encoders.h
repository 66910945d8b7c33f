// The engine's family encoders and check computations: free functions over the settings of
// one engine. BuildPattern dispatches to the encoders through its symbology table; nothing
// outside the engine and its tests calls them directly.
#pragma once

#include "engine/BarcodeEngine.h"

#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillax::encoders {

// An encoder reads (and may normalise) the engine's Text and returns its pattern.
using Encoder = std::string (*)(TBarcodeEngine& engine);

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

std::string EncodeInterleaved2of5(TBarcodeEngine& engine); // TwoOfFive.cpp
std::string EncodeIndustrial2of5(TBarcodeEngine& engine);
std::string EncodeMatrix2of5(TBarcodeEngine& engine);

std::string EncodeCode39(TBarcodeEngine& engine); // Code39.cpp
std::string EncodeCode39Extended(TBarcodeEngine& engine);
// The one or two characters that spell an ASCII code in a full-ASCII form; shifts holds the
// form's four shift characters in the order $ % / +. Codes above 127 give "".
std::string FullAsciiSpelling(unsigned char code, std::string_view shifts);

std::string EncodeCode128(TBarcodeEngine& engine); // Code128.cpp: all six Code 128 / EAN-128 types
// A Code 128 symbol from its values: values[0] is the start (103-105), the others follow it;
// the check symbol and the stop are added.
std::string Code128Pattern(const std::vector<int>& values);

// Code128Auto.cpp: the code sets chosen for the shortest symbol. An item is a byte (0-255) or
// kCode128Fnc1; the values start with the start symbol.
inline constexpr int kCode128Fnc1 = 256;
std::vector<int> Code128ShortestValues(std::span<const int> items);
std::string EncodeCode128Auto(TBarcodeEngine& engine);

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

std::string EncodeGS1128(TBarcodeEngine& engine); // Gs1128.cpp: element strings, validated

std::string EncodeCode93(TBarcodeEngine& engine); // Code93.cpp
std::string EncodeCode93Extended(TBarcodeEngine& engine);

std::string EncodeEAN8(TBarcodeEngine& engine); // EanUpc.cpp
std::string EncodeEAN13(TBarcodeEngine& engine);
std::string EncodeUPCA(TBarcodeEngine& engine);
std::string EncodeUPCE(TBarcodeEngine& engine); // both number systems, by Typ
std::string EncodeUPCSupp2(TBarcodeEngine& engine);
std::string EncodeUPCSupp5(TBarcodeEngine& engine);
// "main+NN" or "main+NNNNN" for EAN-8, EAN-13, UPC-A and UPC-E: the main symbol by its own
// encoder (Checksum and the check digit's verification apply to it), the gap, then the two- or
// five-digit add-on; segments records where each lies. Text becomes the main symbol's digits as
// its encoder leaves them, "+" and the add-on; on a refusal it stays as given.
std::string EncodeWithAddOn(TBarcodeEngine& engine, Encoder encodeMain, TPatternSegments& segments);
// The eleven digits of the UPC-A form of a UPC-E code: number system + six digits.
std::string ExpandUPCEtoUPCA(char numberSystem, std::string_view six);

std::string EncodeMSI(TBarcodeEngine& engine); // MsiPostNetCodabar.cpp
std::string EncodePostNet(TBarcodeEngine& engine);
std::string EncodeCodabar(TBarcodeEngine& engine);

} // namespace quillax::encoders
