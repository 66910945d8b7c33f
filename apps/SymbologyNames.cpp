// The symbology table of the hosts, and names of symbologies turned into BarcodeType numbers.
#include "apps/SymbologyNames.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <new>

namespace quillax::host {

namespace {

// By BarcodeType number; the names are the component's own (Codabar is spelt "Codebar").
// A check digit "with Checksum" is added only when Checksum is set, the others always.
constexpr std::array<TSymbology, 25> kSymbologies{{
    {0, "2_5_interleaved", "Interleaved 2 of 5", "digits; odd count gets a leading 0", "none"},
    {1, "2_5_industrial", "Industrial 2 of 5", "digits", "none"},
    {2, "2_5_matrix", "Matrix 2 of 5", "digits", "none"},
    {3, "Code39", "", "0-9 A-Z space - . $ / + %", "mod 43 with Checksum"},
    {4, "Code39 Extended", "", "ASCII 0-127", "mod 43 with Checksum"},
    {5, "Code128A", "", "ASCII 0-95 (capitals, controls)", "mod 103"},
    {6, "Code128B", "", "ASCII 32-127", "mod 103"},
    {7, "Code128C", "", "digits; odd count gets a leading 0", "mod 103"},
    {8, "Code93", "", "0-9 A-Z space - . $ / + %", "C and K"},
    {9, "Code93 Extended", "", "ASCII 0-127", "C and K"},
    {10, "MSI", "", "digits", "mod 10"},
    {11, "PostNet", "", "digits", "mod 10 with Checksum"},
    {12, "Codebar", "Codabar", "0-9 - $ : / . +", "none"},
    {13, "EAN8", "", "up to 8 digits, 7 with Checksum", "mod 10 with Checksum"},
    {14, "EAN13", "", "up to 13 digits, 12 with Checksum", "mod 10 with Checksum"},
    {15, "UPC_A", "", "up to 12 digits, 11 with Checksum", "mod 10 with Checksum"},
    {16, "UPC_E0", "", "6 digits, number system 0", "mod 10 (sets the parity)"},
    {17, "UPC_E1", "", "6 digits, number system 1", "mod 10 (sets the parity)"},
    {18, "UPC Supp2", "", "2 digits (add-on)", "none (parity by value mod 4)"},
    {19, "UPC Supp5", "", "5 digits (add-on)", "mod 10 (sets the parity)"},
    {20, "EAN128A", "", "as Code128A; digits with Checksum", "mod 103; mod 10 with Checksum"},
    {21, "EAN128B", "", "as Code128B; digits with Checksum", "mod 103; mod 10 with Checksum"},
    {22, "EAN128C", "", "digits; odd count gets a leading 0", "mod 103; mod 10 with Checksum"},
    {23, "Code128", "", "any byte; code sets chosen", "mod 103"},
    {24, "GS1-128", "", "GS1 element string (AI)data...", "mod 103; GS1 check digits verified"},
}};

// A name without ASCII spaces and punctuation, its ASCII letters in lower case: the form
// names are compared in. Other bytes (letters beyond ASCII) are kept and count.
std::string Folded(std::string_view name) {
    std::string folded;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80 || std::isalnum(byte)) folded += static_cast<char>(std::tolower(byte));
    }
    return folded;
}

// Whether the object would read the value as a number (as "14", " 14", "&HE" or "1.4e1").
bool ReadsAsNumber(std::string_view value) {
    const std::u16string wide = Utf8ToWide(value);
    VARIANT text;
    VariantInit(&text);
    V_VT(&text) = VT_BSTR;
    V_BSTR(&text) = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    if (V_BSTR(&text) == nullptr) throw std::bad_alloc();
    VARIANT number;
    VariantInit(&number);
    const HRESULT hr = VariantChangeType(&number, &text, 0, VT_I4);
    VariantClear(&text);
    VariantClear(&number);
    return SUCCEEDED(hr);
}

// Property names match without regard to case, as the object matches them.
bool IsBarcodeType(std::string_view name) {
    constexpr std::string_view property = "barcodetype";
    return name.size() == property.size() &&
           std::equal(name.begin(), name.end(), property.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == b;
           });
}

} // namespace

std::span<const TSymbology> Symbologies() {
    return kSymbologies;
}

std::optional<int> SymbologyNumber(std::string_view name) {
    const std::string folded = Folded(name);
    if (folded.empty()) return std::nullopt;
    for (const TSymbology& symbology : kSymbologies) {
        if (folded == Folded(symbology.Name) ||
            (!symbology.Alias.empty() && folded == Folded(symbology.Alias)))
            return symbology.Number;
    }
    return std::nullopt;
}

std::string BarcodeTypeValue(std::string_view value) {
    if (const std::optional<int> number = SymbologyNumber(value)) return std::to_string(*number);
    if (ReadsAsNumber(value)) return std::string(value);
    std::string names;
    for (const TSymbology& symbology : kSymbologies)
        names += (names.empty() ? "" : ", ") + std::string(symbology.Name);
    throw EUsageError("unknown symbology \"" + std::string(value) +
                      "\" for BarcodeType: give a number from 0 to " +
                      std::to_string(kSymbologies.size() - 1) + " or one of the names " + names +
                      " (case, spaces and punctuation do not matter)");
}

std::vector<TPropertySetting> WithSymbologyNumbers(std::span<const TPropertySetting> settings) {
    std::vector<TPropertySetting> translated(settings.begin(), settings.end());
    for (auto& [name, value] : translated) {
        if (IsBarcodeType(name)) value = BarcodeTypeValue(value);
    }
    return translated;
}

std::string SymbologyTableText() {
    std::size_t nameWidth = 4;
    std::size_t dataWidth = 4;
    for (const TSymbology& symbology : kSymbologies) {
        nameWidth = std::max(nameWidth, symbology.Name.size());
        dataWidth = std::max(dataWidth, symbology.Data.size());
    }
    const auto row = [&](std::string number, std::string_view name, std::string_view data,
                         std::string_view check) {
        number.insert(0, 2 - std::min<std::size_t>(2, number.size()), ' ');
        std::string line = number + "  " + std::string(name);
        line.append(nameWidth - name.size() + 2, ' ');
        line += data;
        line.append(dataWidth - data.size() + 2, ' ');
        return line + std::string(check) + "\n";
    };
    std::string text = row("#", "Name", "Data", "Check digit");
    for (const TSymbology& symbology : kSymbologies)
        text += row(std::to_string(symbology.Number), symbology.Name, symbology.Data,
                    symbology.CheckDigit);
    return text;
}

} // namespace quillax::host
