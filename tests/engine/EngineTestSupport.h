// Helpers shared by the engine tests: building a pattern from settings, reading a pattern
// back as module counts, and catching the engine's error messages.
#pragma once

#include "engine/BarcodeEngine.h"

#include <string>

namespace quillax::testing {

struct Settings {
    TBarcodeType Typ;
    std::string Text;
    bool Checksum = false;
    TCheckSumMethod Method = csmModulo10;
};

inline void Configure(TBarcodeEngine& engine, const Settings& s) {
    engine.Typ = s.Typ;
    engine.Text = s.Text;
    engine.Checksum = s.Checksum;
    engine.CheckSumMethod = s.Method;
}

// Each pattern character as the module count it stands for at Ratio 2 ('0'/'5'/'A' -> '1').
inline std::string ModuleCounts(const std::string& pattern) {
    std::string counts;
    for (char c : pattern) {
        if (c >= '0' && c <= '3')
            counts += static_cast<char>(c + 1);
        else if (c >= '5' && c <= '8')
            counts += static_cast<char>(c - 4);
        else if (c >= 'A' && c <= 'D')
            counts += static_cast<char>(c - 'A' + '1');
        else
            counts += '?';
    }
    return counts;
}

// EAN/UPC digits in the pattern alphabet, one set letter per digit: 'L' (odd parity, space
// first), 'G' (even parity, L's widths reversed) or 'R' (right half, L's widths bar first).
inline std::string EanDigits(const std::string& sets, const std::string& digits) {
    static const char* const kWidthsL[10] = {"3211", "2221", "2122", "1411", "1132",
                                             "1231", "1114", "1312", "1213", "3112"};
    std::string pattern;
    for (size_t i = 0; i < digits.size() && i < sets.size(); ++i) {
        std::string widths = kWidthsL[digits[i] - '0'];
        if (sets[i] == 'G') widths = std::string(widths.rbegin(), widths.rend());
        for (size_t k = 0; k < widths.size(); ++k) {
            const bool bar = (k % 2 == 0) == (sets[i] == 'R');
            pattern += static_cast<char>((bar ? '5' : '0') + (widths[k] - '1'));
        }
    }
    return pattern;
}

// The message of the Exception that f raises, or "(nothing raised)".
template <class F>
std::string ErrorOf(F&& f) {
    try {
        f();
    } catch (const Exception& e) {
        return e.what();
    }
    return "(nothing raised)";
}

} // namespace quillax::testing
