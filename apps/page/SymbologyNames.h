// The symbologies by number and by name, for hosts that let people write names: the table
// that `quillax symbologies` prints, and BarcodeType given as a name on the command line and
// the web host. The object itself takes numbers only; these hosts translate before they set.
#pragma once

#include "apps/page/BarcodePage.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quillax::host {

// A width in narrow units: Wide elements of the wide-to-narrow ratio each, Narrow of one.
struct TWidthUnits {
    int Wide = 0;
    int Narrow = 0;
};

struct TSymbology {
    int Number;               // the BarcodeType value
    std::string_view Name;    // the symbology table's name
    std::string_view Aliases; // further accepted names, separated by ", "; or empty
    std::string_view Data;    // what the data may hold
    std::string_view CheckDigit;
    // At most this wide per character of data, and at most Fixed for start, stop and check
    // characters: a bound on the measured width, for a host that must know a render's size
    // before it runs (a test holds it against the component).
    TWidthUnits PerCharacter;
    TWidthUnits Fixed;
};

// The 25 symbologies, in number order.
std::span<const TSymbology> Symbologies();

// A symbology's further names, one each.
std::vector<std::string_view> SymbologyAliases(const TSymbology& symbology);

// The symbology a name stands for: its letters and digits compared without regard to case,
// everything else ignored, so "EAN13", "ean-13", "Code128B" and "code 128 b" all match.
std::optional<int> SymbologyNumber(std::string_view name);

// A BarcodeType value as a person wrote it, ready for the object: a symbology's name becomes
// its number, a number (in any form the object reads) stays as it is. Raises EUsageError
// for any other value, with the names that are accepted.
std::string BarcodeTypeValue(std::string_view value);

// The settings as written, except that BarcodeType (its name in any case) given by a
// symbology's name gets the number. Raises EUsageError as BarcodeTypeValue does.
std::vector<TPropertySetting> WithSymbologyNumbers(std::span<const TPropertySetting> settings);

// The most pixels the image of these settings can have (width x height, after rotation),
// from the symbology table's width bounds; the settings as BarcodeTypeValue's callers give
// them (names in any case, values as text). Settings that do not convert count as defaults.
double ImagePixelsBound(std::span<const TPropertySetting> settings);

// The table as `quillax symbologies` prints it: number, name, data, check digit.
std::string SymbologyTableText();

// The table as `quillax symbologies --json` prints it: an array of objects with number,
// name, aliases, data and check_digit, one object per line.
std::string SymbologyTableJson();

} // namespace quillax::host
