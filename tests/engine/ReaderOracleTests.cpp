// An independent reader (zxing-cpp) decodes the symbols that the encoders describe: the
// pattern is drawn one pixel row per line width, with quiet zones, and read back. Where
// Zint, an independent encoder, has the symbology, the modules must be its modules too.
#include "OracleSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace quillax {
namespace {

using namespace oracle;

struct OracleRow {
    testing::Settings In;
    ZXing::BarcodeFormat Format;
    std::string Decoded;
    int Zint = 0; // Zint's symbology for the same symbol, 0 where it has none
};

std::string Printable(int first, int last) {
    std::string text;
    for (int c = first; c <= last; ++c)
        text += static_cast<char>(c);
    return text;
}

std::string EveryPairOfDigits() {
    std::string text;
    for (int i = 0; i < 100; ++i)
        text += std::to_string(i / 10) + std::to_string(i % 10);
    return text;
}

const std::string kCode39Set = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%";

// Every value of Code 39, Code 93 and Code 128, every EAN-13 parity row (by leading digit)
// and every UPC-E parity row (by number system and check digit), besides the rules of
// carrying digits and check characters.
std::vector<OracleRow> OracleRows() {
    using F = ZXing::BarcodeFormat;
    std::vector<OracleRow> rows = {
        {{bcCodeEAN8, "1234567", true}, F::EAN8, "12345670", BARCODE_EANX},
        // every digit given is carried; a full-length text carries its own check digit
        {{bcCodeUPC_A, "12345678901", true}, F::UPCA, "123456789012", BARCODE_UPCA},
        {{bcCodeUPC_A, "03600029145", true}, F::UPCA, "036000291452", BARCODE_UPCA},
        {{bcCodeEAN8, "12345670", true}, F::EAN8, "12345670"},
        {{bcCodeEAN13, "4006381333931", true}, F::EAN13, "4006381333931"},
        // UPC-E: each expansion rule, both number systems
        {{bcCodeUPC_E0, "654320", true}, F::UPCE, "06543208"},
        {{bcCodeUPC_E0, "123451", true}, F::UPCE, "01234514"},
        {{bcCodeUPC_E0, "987652", true}, F::UPCE, "09876523"},
        {{bcCodeUPC_E0, "425003", true}, F::UPCE, "04250035"},
        {{bcCodeUPC_E0, "135794", true}, F::UPCE, "01357947"},
        {{bcCodeUPC_E0, "123456", true}, F::UPCE, "01234565"},
        {{bcCodeUPC_E1, "123456", true}, F::UPCE, "11234562"},
        {{bcCodeUPC_E0, "123456", false}, F::UPCE, "01234565"},
        {{bcCodeUPC_E0, "23456", true}, F::UPCE, "00234566"},
        {{bcCodeUPC_E1, "6543205", false, csmNone}, F::UPCE, "16543205"},
        {{bcCode128A, Printable(0, 95)}, F::Code128, Printable(0, 95)},
        {{bcCode128B, Printable(32, 79)}, F::Code128, Printable(32, 79), BARCODE_CODE128B},
        {{bcCode128B, Printable(80, 127)}, F::Code128, Printable(80, 127), BARCODE_CODE128B},
        {{bcCode128C, EveryPairOfDigits()}, F::Code128, EveryPairOfDigits()},
        {{bcCodeEAN128A, "10AB\03521"}, F::Code128, "10AB\03521"},
        {{bcCode128C, "123"}, F::Code128, "0123"},
        {{bcCodeEAN128C, "1234", true}, F::Code128, "012348"},
        {{bcCode39, kCode39Set}, F::Code39, kCode39Set, BARCODE_CODE39},
        {{bcCode93, kCode39Set}, F::Code93, kCode39Set, BARCODE_CODE93},
        {{bcCode93Extended, "Hello, world 1.5!"}, F::Code93, "Hello, world 1.5!"},
        // every shift: ($) for controls, (%) for "@" and the brackets, (/) and (+)
        {{bcCode93Extended, "Tab\there@[x]{}\x7F"}, F::Code93, "Tab\there@[x]{}\x7F"},
        {{bcCodeCodabar, "12-34$5"}, F::Codabar, "A12-34$5B"},
        {{bcCode_2_5_interleaved, "12345"}, F::ITF, "012345"},
        {{bcCode_2_5_interleaved, "12345678901234"}, F::ITF, "12345678901234"},
    };
    // The leading digit picks the parity of the left half: 1123456789011 ... 9123456789013.
    const char* const checks = "2109876543";
    for (char first = '0'; first <= '9'; ++first) {
        const std::string digits = first + std::string("12345678901");
        rows.push_back(
            {{bcCodeEAN13, digits, true}, F::EAN13, digits + checks[first - '0'], BARCODE_EANX});
    }
    // The number system and the check digit pick the parity: payloads whose check is 0 to 9.
    const char* const upcE[2][10] = {{"123477", "123467", "123457", "123476", "123466", "123456",
                                      "123459", "123465", "123455", "123458"},
                                     {"123476", "123466", "123456", "123459", "123465", "123455",
                                      "123458", "123477", "123467", "123457"}};
    for (int system = 0; system < 2; ++system)
        for (int check = 0; check < 10; ++check) {
            const std::string payload = std::to_string(system) + upcE[system][check];
            rows.push_back({{system == 0 ? bcCodeUPC_E0 : bcCodeUPC_E1, upcE[system][check], true},
                            F::UPCE,
                            payload + std::to_string(check),
                            BARCODE_UPCE});
        }
    return rows;
}

TEST(ReaderOracle, IndependentReaderDecodesTheSymbols) {
    for (const OracleRow& r : OracleRows()) {
        SCOPED_TRACE(::testing::Message()
                     << SymbologyTable[r.In.Typ].Name << " <" << r.In.Text << ">");
        TBarcodeEngine e;
        testing::Configure(e, r.In);
        e.Modul = kModul;
        ZXing::DecodeHints hints;
        hints.setReturnCodabarStartEnd(true);
        EXPECT_EQ(Read(RowOf(e), r.Format, hints), r.Decoded);
        // Zint is given the text as read (UPC-A and EAN-13 without their check digit).
        if (r.Zint == 0) continue;
        const bool dropCheck = r.Zint == BARCODE_EANX || r.Zint == BARCODE_UPCA;
        EXPECT_EQ(
            ModulesOf(e),
            ZintModules(r.Zint, dropCheck ? r.Decoded.substr(0, r.Decoded.size() - 1) : r.Decoded));
    }
}

TEST(ReaderOracle, Code39CheckCharacterAndFullAscii) {
    TBarcodeEngine e;
    testing::Configure(e, {bcCode39, "CODE 39", true});
    e.Modul = kModul;
    ZXing::DecodeHints hints;
    hints.setValidateCode39CheckSum(true);
    EXPECT_EQ(Read(RowOf(e), ZXing::BarcodeFormat::Code39, hints), "CODE 39");

    testing::Configure(e, {bcCode39Extended, "Quillax-1.0 {ok}"});
    ZXing::DecodeHints extended;
    extended.setTryCode39ExtendedMode(true);
    EXPECT_EQ(Read(RowOf(e), ZXing::BarcodeFormat::Code39, extended), "Quillax-1.0 {ok}");
}

// "main+addon": the main symbol, the nine-module gap and the add-on read together, and drawn
// as Zint draws them with the same gap.
TEST(ReaderOracle, AddOnsWithTheirMainSymbol) {
    using F = ZXing::BarcodeFormat;
    struct Row {
        testing::Settings In;
        F Format;
        std::string Decoded;
        int Zint;
        std::string ZintText;
    };
    std::vector<Row> rows = {
        {{bcCodeUPC_A, "03600029145+12345", true},
         F::UPCA,
         "036000291452 12345",
         BARCODE_UPCA,
         "03600029145+12345"},
        {{bcCodeUPC_E0, "123456+12", true}, F::UPCE, "01234565 12", BARCODE_UPCE, "123456+12"},
        {{bcCodeUPC_E1, "123456+02", true}, F::UPCE, "11234562 02", BARCODE_UPCE, "1123456+02"},
        {{bcCodeEAN8, "1234567+00037", true},
         F::EAN8,
         "12345670 00037",
         BARCODE_EANX,
         "1234567+00037"},
    };
    // the two-digit parity by value modulo 4, the five-digit one by its check 0 to 9
    for (const char* addOn : {"12", "13", "02", "99", "00000", "01073", "00370", "00148", "01036",
                              "00074", "01184", "00481", "00037", "01147"}) {
        const std::string data = std::string("400638133393+") + addOn;
        rows.push_back({{bcCodeEAN13, data, true},
                        F::EAN13,
                        std::string("4006381333931 ") + addOn,
                        BARCODE_EANX,
                        data});
    }
    for (const Row& r : rows) {
        SCOPED_TRACE(::testing::Message()
                     << SymbologyTable[r.In.Typ].Name << " <" << r.In.Text << ">");
        TBarcodeEngine e;
        testing::Configure(e, r.In);
        e.Modul = kModul;
        ZXing::DecodeHints hints;
        hints.setEanAddOnSymbol(ZXing::EanAddOnSymbol::Require);
        EXPECT_EQ(Read(RowOf(e), r.Format, hints), r.Decoded);
        EXPECT_EQ(ModulesOf(e), ZintModules(r.Zint, r.ZintText, 0, 9));
    }
}

// Module-based codes set at Ratio 1 (the page-start default) still read.
TEST(ReaderOracle, ModuleCodesAtRatioOneStillRead) {
    TBarcodeEngine e;
    testing::Configure(e, {bcCode128B, "Ratio one"});
    e.Ratio = 1.0;
    e.Modul = kModul;
    EXPECT_EQ(Read(RowOf(e), ZXing::BarcodeFormat::Code128), "Ratio one");
    testing::Configure(e, {bcCodeEAN13, "400638133393", true});
    e.Ratio = 3.0;
    EXPECT_EQ(Read(RowOf(e), ZXing::BarcodeFormat::EAN13), "4006381333931");
}

} // namespace
} // namespace quillax
