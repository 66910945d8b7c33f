// The symbologies by number and by name, for hosts that let people write names: the table
// that `quillax symbologies` prints, and BarcodeType given as a name on the command line and
// the web host. The object itself takes numbers only; these hosts translate before they set.
#pragma once

#include "apps/ComponentHost.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quillax::host {

struct TSymbology {
    int Number;             // the BarcodeType value
    std::string_view Name;  // the symbology table's name
    std::string_view Alias; // a further accepted name, or empty
    std::string_view Data;  // what the data may hold
    std::string_view CheckDigit;
};

// The 25 symbologies, in number order.
std::span<const TSymbology> Symbologies();

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

// The table as `quillax symbologies` prints it: number, name, data, check digit.
std::string SymbologyTableText();

} // namespace quillax::host
