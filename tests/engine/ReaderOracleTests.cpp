// An independent reader (zxing-cpp) decodes the symbols that the encoders describe: the
// pattern is drawn one pixel row per line width, with quiet zones, and read back.
#include "EngineTestSupport.h"

#define ZX_USE_UTF8 // text() as UTF-8
#include <ZXing/ReadBarcode.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace quillax {
namespace {

constexpr int kModul = 2;
constexpr int kQuietZone = 24; // pixels on each side
constexpr int kRows = 40;

// One row of pixels (0 black, 255 white) for the engine's pattern.
std::vector<uint8_t> RowOf(TBarcodeEngine& e) {
    const std::string pattern = e.BuildPattern();
    std::vector<uint8_t> row(kQuietZone, 255);
    for (char c : pattern) {
        int32_t width;
        TLineKind kind;
        e.DecodePatternChar(c, width, kind);
        row.insert(row.end(), width, kind == TLineKind::lkSpace ? 255 : 0);
    }
    return row;
}

std::string Read(std::vector<uint8_t> row, ZXing::BarcodeFormat format,
                 ZXing::DecodeHints hints = {}) {
    row.insert(row.end(), kQuietZone, 255);
    std::vector<uint8_t> image;
    for (int y = 0; y < kRows; ++y)
        image.insert(image.end(), row.begin(), row.end());
    hints.setFormats(format);
    const ZXing::ImageView view(image.data(), static_cast<int>(row.size()), kRows,
                                ZXing::ImageFormat::Lum);
    const ZXing::Result result = ZXing::ReadBarcode(view, hints);
    return result.isValid() ? result.text() : "(not read)";
}

struct OracleRow {
    testing::Settings In;
    ZXing::BarcodeFormat Format;
    std::string Decoded;
};

TEST(ReaderOracle, IndependentReaderDecodesTheSymbols) {
    using F = ZXing::BarcodeFormat;
    const OracleRow rows[] = {
        {{bcCodeEAN13, "400638133393", true}, F::EAN13, "4006381333931"},
        {{bcCodeEAN13, "590123412345", true}, F::EAN13, "5901234123457"},
        {{bcCodeEAN8, "1234567", true}, F::EAN8, "12345670"},
        // every digit given is carried; with Checksum a full-length text gets the right check
        {{bcCodeUPC_A, "12345678901", true}, F::UPCA, "123456789012"},
        {{bcCodeUPC_A, "03600029145", true}, F::UPCA, "036000291452"},
        {{bcCodeEAN8, "12345670", true}, F::EAN8, "12345670"},
        {{bcCodeEAN13, "4006381333930", true}, F::EAN13, "4006381333931"},
        // UPC-E: each expansion rule, both number systems
        {{bcCodeUPC_E0, "6543200", true}, F::UPCE, "06543208"},
        {{bcCodeUPC_E0, "1234510", true}, F::UPCE, "01234514"},
        {{bcCodeUPC_E0, "9876520", true}, F::UPCE, "09876523"},
        {{bcCodeUPC_E0, "4250030", true}, F::UPCE, "04250035"},
        {{bcCodeUPC_E0, "1357940", true}, F::UPCE, "01357947"},
        {{bcCodeUPC_E0, "1234560", true}, F::UPCE, "01234565"},
        {{bcCodeUPC_E1, "1234560", true}, F::UPCE, "11234562"},
        {{bcCodeUPC_E1, "123456", true}, F::UPCE, "11234562"},
        {{bcCodeUPC_E0, "123456", false}, F::UPCE, "01234565"},
        {{bcCodeUPC_E0, "23456", true}, F::UPCE, "00234566"},
        {{bcCodeUPC_E1, "6543200", false, csmNone}, F::UPCE, "16543205"},
        {{bcCode128A, "HELLO-128"}, F::Code128, "HELLO-128"},
        {{bcCode128A, "A\001B\037C"}, F::Code128, "A\001B\037C"},
        {{bcCode128B, "del\x7F"}, F::Code128, "del\x7F"},
        {{bcCodeEAN128A, "10AB\03521"}, F::Code128, "10AB\03521"},
        {{bcCode128B, "Quillax 2026, barcode!"}, F::Code128, "Quillax 2026, barcode!"},
        {{bcCode128C, "123"}, F::Code128, "0123"},
        {{bcCodeEAN128C, "1234", true}, F::Code128, "012348"},
        {{bcCode39, "CODE-39 $/+%"}, F::Code39, "CODE-39 $/+%"},
        {{bcCode93, "TEST93"}, F::Code93, "TEST93"},
        {{bcCode93, "ABCDEFGHIJKLMNOPQRSTUVWXYZ"}, F::Code93, "ABCDEFGHIJKLMNOPQRSTUVWXYZ"},
        {{bcCode93Extended, "Hello, world 1.5!"}, F::Code93, "Hello, world 1.5!"},
        // every shift: ($) for controls, (%) for "@" and the brackets, (/) and (+)
        {{bcCode93Extended, "Tab\there@[x]{}\x7F"}, F::Code93, "Tab\there@[x]{}\x7F"},
        {{bcCodeCodabar, "12-34$5"}, F::Codabar, "A12-34$5B"},
        {{bcCode_2_5_interleaved, "12345"}, F::ITF, "012345"},
        {{bcCode_2_5_interleaved, "12345678901234"}, F::ITF, "12345678901234"},
    };
    for (const OracleRow& r : rows) {
        SCOPED_TRACE(::testing::Message()
                     << SymbologyTable[r.In.Typ].Name << " <" << r.In.Text << ">");
        TBarcodeEngine e;
        testing::Configure(e, r.In);
        e.Modul = kModul;
        ZXing::DecodeHints hints;
        hints.setReturnCodabarStartEnd(true);
        EXPECT_EQ(Read(RowOf(e), r.Format, hints), r.Decoded);
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

// Add-ons are read beside a main symbol, separated by a nine-module space.
TEST(ReaderOracle, AddOnsBesideAMainSymbol) {
    struct Row {
        std::string AddOn;
        TBarcodeType Typ;
        std::string Decoded;
    } rows[] = {
        {"12", bcCodeUPC_Supp2, "12"},       {"13", bcCodeUPC_Supp2, "13"},
        {"02", bcCodeUPC_Supp2, "02"},       {"99", bcCodeUPC_Supp2, "99"},
        {"12345", bcCodeUPC_Supp5, "12345"}, {"00086", bcCodeUPC_Supp5, "00086"},
        {"52495", bcCodeUPC_Supp5, "52495"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.AddOn);
        TBarcodeEngine main;
        testing::Configure(main, {bcCodeEAN13, "400638133393", true});
        main.Modul = kModul;
        std::vector<uint8_t> row = RowOf(main);
        row.resize(row.size() + 9 * kModul, 255);
        TBarcodeEngine addOn;
        testing::Configure(addOn, {r.Typ, r.AddOn});
        addOn.Modul = kModul;
        const std::vector<uint8_t> addOnRow = RowOf(addOn);
        row.insert(row.end(), addOnRow.begin() + kQuietZone, addOnRow.end());
        ZXing::DecodeHints hints;
        hints.setEanAddOnSymbol(ZXing::EanAddOnSymbol::Require);
        EXPECT_EQ(Read(row, ZXing::BarcodeFormat::EAN13, hints), "4006381333931 " + r.Decoded);
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
