// The engine object: the validation pipeline, the pattern language and
// the line widths with their bounds.
#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace quillax {
namespace {

using testing::ErrorOf;

// The numeric-only symbologies refuse anything but digits before their encoders run; the
// others leave the data to their encoders.
TEST(EnginePipeline, NumericOnlySymbologiesRefuseLetters) {
    const struct {
        const char* name;
        bool numericOnly;
    } rows[] = {
        {"2_5_interleaved", true},
        {"2_5_industrial", true},
        {"2_5_matrix", true},
        {"Code39", false},
        {"Code39 Extended", false},
        {"Code128A", false},
        {"Code128B", false},
        {"Code128C", false},
        {"Code93", false},
        {"Code93 Extended", false},
        {"MSI", true},
        {"PostNet", true},
        {"Codebar", false},
        {"EAN8", true},
        {"EAN13", true},
        {"UPC_A", true},
        {"UPC_E0", true},
        {"UPC_E1", true},
        {"UPC Supp2", true},
        {"UPC Supp5", true},
        {"EAN128A", false},
        {"EAN128B", false},
        {"EAN128C", true},
        {"Code128", false},
        {"GS1-128", false},
    };
    ASSERT_EQ(std::size(rows), SymbologyTable.size());
    for (int t = 0; t < static_cast<int>(std::size(rows)); ++t) {
        SCOPED_TRACE(rows[t].name);
        EXPECT_STREQ(SymbologyTable[t].Name, rows[t].name);
        TBarcodeEngine e;
        e.Typ = static_cast<TBarcodeType>(t);
        e.Text = "12A4";
        EXPECT_EQ(ErrorOf([&] { e.BuildPattern(); }) == "Barcode must be numeric",
                  rows[t].numericOnly);
    }
}

// Numeric-only rows are trimmed in place and checked digit by digit; the others are not.
TEST(EnginePipeline, NumericCheckAndTrimming) {
    struct Row {
        TBarcodeType Typ;
        std::string Text;
        std::string Error;     // "" when the build succeeds
        std::string TextAfter; // Text after the build
    } rows[] = {
        {bcCode_2_5_industrial, " 123 ", "", "123"},
        {bcCode_2_5_industrial, "\t\r\n123\x01 ", "", "123"},
        {bcCode_2_5_industrial, "12a4", "Barcode must be numeric", "12a4"},
        {bcCode_2_5_industrial, " 1 2 ", "Barcode must be numeric", "1 2"},
        {bcCode_2_5_industrial, " \t ", "No data", ""},
        {bcCode39, "12a4", "TBarcodeEngine:Code39 bad Data <12a4>", "12a4"},
        {bcCode39, " 12 ", "", " 12 "},
        {bcCodeEAN128C, "12A4", "Barcode must be numeric", "12A4"},
        {bcCode128C, "12A4", "TBarcodeEngine:Code128 bad Data <12A4>", "12A4"},
        {bcCodePostNet, " 12", "", "12"},
        {bcCodeMSI, "1.5", "Barcode must be numeric", "1.5"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(SymbologyTable[r.Typ].Name) + " <" + r.Text + ">");
        TBarcodeEngine e;
        e.Typ = r.Typ;
        e.Text = r.Text;
        EXPECT_EQ(ErrorOf([&] { e.BuildPattern(); }),
                  r.Error.empty() ? "(nothing raised)" : r.Error);
        EXPECT_EQ(e.Text, r.TextAfter);
    }
}

TEST(EnginePipeline, TypeOutsideTheEnumerationIsRefused) {
    for (int raw : {25, 26, 255}) {
        SCOPED_TRACE(raw);
        TBarcodeEngine e;
        e.Typ = static_cast<TBarcodeType>(raw);
        e.Text = "ab c";
        e.Ratio = 7.5;
        EXPECT_EQ(ErrorOf([&] { e.GetWidth(); }), "TBarcodeEngine: wrong BarcodeType");
        EXPECT_EQ(e.Text, "ab c"); // no numeric check, no trimming
        EXPECT_EQ(e.Ratio, 7.5);   // unbounded
    }
}

TEST(PatternLanguage, EveryCharacterDecodesToItsKindAndWidth) {
    TBarcodeEngine e;
    e.LineWidths = {1, 2, 3, 4};
    struct Row {
        char C;
        TLineKind Kind;
        int32_t Width;
    } rows[] = {
        {'0', TLineKind::lkSpace, 1},    {'1', TLineKind::lkSpace, 2},
        {'2', TLineKind::lkSpace, 3},    {'3', TLineKind::lkSpace, 4},
        {'5', TLineKind::lkBar, 1},      {'6', TLineKind::lkBar, 2},
        {'7', TLineKind::lkBar, 3},      {'8', TLineKind::lkBar, 4},
        {'A', TLineKind::lkShortBar, 1}, {'B', TLineKind::lkShortBar, 2},
        {'C', TLineKind::lkShortBar, 3}, {'D', TLineKind::lkShortBar, 4},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(1, r.C));
        int32_t width = -1;
        TLineKind kind = TLineKind::lkSpace;
        e.DecodePatternChar(r.C, width, kind);
        EXPECT_EQ(width, r.Width);
        EXPECT_EQ(kind, r.Kind);
    }
}

TEST(PatternLanguage, OtherCharactersAreAnInternalError) {
    TBarcodeEngine e;
    for (char c : std::string("49E 4a/\x80")) {
        SCOPED_TRACE(static_cast<int>(c));
        int32_t width = -7;
        TLineKind kind = TLineKind::lkShortBar;
        EXPECT_EQ(ErrorOf([&] { e.DecodePatternChar(c, width, kind); }),
                  "TBarcodeEngine: internal Error");
        EXPECT_EQ(width, -7); // outputs untouched
        EXPECT_EQ(kind, TLineKind::lkShortBar);
    }
}

TEST(PatternLanguage, WidthsToPatternAlternatesBarAndSpace) {
    EXPECT_EQ(TBarcodeEngine::WidthsToPattern("2122"), "6061");
    EXPECT_EQ(TBarcodeEngine::WidthsToPattern("1111411"), "5050805");
    EXPECT_EQ(TBarcodeEngine::WidthsToPattern("4321"), "8260");
    EXPECT_EQ(TBarcodeEngine::WidthsToPattern(""), "");
}

TEST(PatternLanguage, RequireRaisesItsMessageOnlyWhenFalse) {
    EXPECT_EQ(ErrorOf([] { TBarcodeEngine::Require(true, "x"); }), "(nothing raised)");
    EXPECT_EQ(ErrorOf([] { TBarcodeEngine::Require(false, "Invalid Text len (EAN8)"); }),
              "Invalid Text len (EAN8)");
}

// The width table: Modul and Ratio to the four widths, rounding halves to even.
TEST(LineWidths, FromModulAndRatio) {
    struct Row {
        TBarcodeType Typ;
        int32_t Modul;
        double Ratio;
        std::array<int8_t, 4> Widths;
    } rows[] = {
        {bcCode39, 1, 2.0, {1, 2, 3, 4}},
        {bcCode39, 2, 2.0, {2, 4, 6, 8}},
        {bcCode39, 1, 2.5, {1, 2, 3, 4}},   // 2.5 rounds to 2
        {bcCode39, 3, 2.5, {3, 8, 12, 16}}, // 7.5 rounds to 8
        {bcCode39, 1, 3.0, {1, 3, 4, 6}},
        {bcCode_2_5_matrix, 2, 2.25, {2, 4, 6, 8}}, // 4.5 rounds to 4
        {bcCode_2_5_matrix, 4, 2.25, {4, 9, 13, 18}},
        {bcCodePostNet, 1, 1.0, {1, 1, 1, 2}}, // unbounded
        {bcCode39, 0, 2.0, {0, 0, 0, 0}},
        {bcCode39, 31, 2.0, {31, 62, 93, 124}}, // the largest at Ratio 2
        {bcCode39, 21, 3.0, {21, 63, 94, 126}}, // the largest wide width
        {bcCodePostNet, 127, 0.4, {127, 51, 76, 102}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(::testing::Message() << "Modul " << r.Modul << " Ratio " << r.Ratio);
        TBarcodeEngine e;
        e.Typ = r.Typ;
        e.Modul = r.Modul;
        e.Ratio = r.Ratio;
        e.ComputeLineWidths();
        EXPECT_EQ(e.LineWidths, r.Widths);
    }
}

// Ratio is bounded in place per symbology; module-based codes are held at exactly 2 so that
// every element is a whole number of modules, and MSI is held to 2-3.
TEST(LineWidths, RatioIsBoundedInPlace) {
    struct Row {
        TBarcodeType Typ;
        double Ratio;
        double After;
    } rows[] = {
        {bcCode_2_5_matrix, 2.0, 2.25},
        {bcCode_2_5_matrix, 3.5, 3.0},
        {bcCode_2_5_interleaved, 1.0, 2.0},
        {bcCode39, 5.0, 3.0},
        {bcCode39Extended, 2.7, 2.7},
        {bcCodeCodabar, 1.0, 2.0},
        {bcCodePostNet, 5.0, 5.0},
        {bcCodePostNet, 1.0, 1.0},
        {bcCodeMSI, 1.0, 2.0},
        {bcCodeMSI, 5.0, 3.0},
        {bcCodeMSI, 2.5, 2.5},
        {bcCode128A, 1.0, 2.0},
        {bcCode128B, 5.0, 2.0},
        {bcCode128C, 2.5, 2.0},
        {bcCodeEAN128B, 1.0, 2.0},
        {bcCode93, 1.0, 2.0},
        {bcCode93Extended, 3.0, 2.0},
        {bcCodeEAN8, 3.0, 2.0},
        {bcCodeEAN13, 1.5, 2.0},
        {bcCodeEAN13, 3.0, 2.0},
        {bcCodeUPC_A, 2.9, 2.0},
        {bcCodeUPC_E0, 1.0, 2.0},
        {bcCodeUPC_E1, 3.0, 2.0},
        {bcCodeUPC_Supp2, 2.5, 2.0},
        {bcCodeUPC_Supp5, 1.0, 2.0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(::testing::Message() << SymbologyTable[r.Typ].Name << " Ratio " << r.Ratio);
        TBarcodeEngine e;
        e.Typ = r.Typ;
        e.Ratio = r.Ratio;
        e.Text = "12";
        e.Checksum = true;
        e.GetWidth();
        EXPECT_EQ(e.Ratio, r.After);
    }
}

// The page-start Ratio of 1 must not draw Code 128 with widths 1, 1, 1, 2.
TEST(LineWidths, ModuleCodesAtRatioOneStillDrawWholeModules) {
    TBarcodeEngine e;
    e.Typ = bcCode128B;
    e.Ratio = 1.0;
    e.Modul = 3;
    e.Text = "A";
    EXPECT_EQ(e.GetWidth(), 3 * (11 + 11 + 11 + 13));
    EXPECT_EQ(e.LineWidths, (std::array<int8_t, 4>{3, 6, 9, 12}));
}

// Widths that do not fit the 8-bit model, or are negative, are refused where they are computed.
TEST(LineWidths, OutOfRangeWidthsAreRefused) {
    const std::string tooWide = ": the narrow width must be 0 to 127 and the wide width 0 to 63";
    struct Row {
        TBarcodeType Typ;
        int32_t Modul;
        double Ratio;
        std::string Error;
    } rows[] = {
        {bcCode39, -1, 2.0, "TBarcodeEngine: Modul must not be negative (-1)"},
        {bcCodeEAN13, std::numeric_limits<int32_t>::min(), 2.0,
         "TBarcodeEngine: Modul must not be negative (-2147483648)"},
        {bcCodePostNet, 128, 0.1,
         "TBarcodeEngine: line widths out of range (Modul 128, Ratio 0.1)" + tooWide},
        {bcCodeEAN13, 32, 2.0,
         "TBarcodeEngine: line widths out of range (Modul 32, Ratio 2)" + tooWide},
        {bcCode39, 22, 3.0,
         "TBarcodeEngine: line widths out of range (Modul 22, Ratio 3)" + tooWide},
        {bcCodePostNet, 1, -1.0,
         "TBarcodeEngine: line widths out of range (Modul 1, Ratio -1)" + tooWide},
        {bcCodePostNet, 1, std::nan(""),
         "TBarcodeEngine: line widths out of range (Modul 1, Ratio nan)" + tooWide},
        {bcCodePostNet, 2, 1e300,
         "TBarcodeEngine: line widths out of range (Modul 2, Ratio 1e+300)" + tooWide},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(::testing::Message() << "Modul " << r.Modul << " Ratio " << r.Ratio);
        TBarcodeEngine e;
        e.Typ = r.Typ;
        e.Modul = r.Modul;
        e.Ratio = r.Ratio;
        e.Text = "1";
        EXPECT_EQ(ErrorOf([&] { e.GetWidth(); }), r.Error);
    }
}

TEST(Measuring, WidthIsTheSumOfTheRun) {
    struct Row {
        TBarcodeType Typ;
        std::string Text;
        int32_t Modul;
        int32_t Width;
    } rows[] = {
        {bcCodeEAN13, "4006381333931", 1, 95},
        {bcCodeEAN13, "4006381333931", 2, 190},
        {bcCodeEAN8, "12345670", 1, 67},
        {bcCodeUPC_A, "012345678905", 1, 95},
        {bcCodeUPC_E0, "0123457", 1, 51},
        {bcCodeUPC_Supp5, "12345", 1, 47},
        {bcCodeUPC_Supp2, "12", 1, 20},
        {bcCode128B, "A", 1, 46},
        {bcCode93, "A", 1, 46},
        {bcCodeEAN13, "0", 0, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(::testing::Message() << SymbologyTable[r.Typ].Name << " " << r.Text);
        TBarcodeEngine e;
        e.Typ = r.Typ;
        e.Text = r.Text;
        e.Modul = r.Modul;
        EXPECT_EQ(e.Width(), r.Width);
    }
}

// A run longer than 32 bits can count is refused instead of wrapping around.
TEST(Measuring, RunTooLongForThirtyTwoBitsIsRefused) {
    TBarcodeEngine e;
    e.Typ = bcCode128B;
    e.Modul = 31;
    e.Text.assign(6'300'000, 'A'); // 11 modules of 31 units each per character
    EXPECT_EQ(ErrorOf([&] { e.GetWidth(); }), "TBarcodeEngine: barcode too wide");
}

// Whatever the text, every symbology either raises the engine's error or returns a pattern
// made only of the twelve pattern characters.
TEST(EnginePipeline, AnyTextGivesAValidPatternOrAnError) {
    const std::string texts[] = {"",         " ",           std::string("1\0 2", 4),
                                 "\xFF\x80", "a",           "0",
                                 "  ",       "[]{}*%$",     "ABCD",
                                 "-1",       "99999999999", "12345678901234567890123"};
    for (int typ = 0; typ < kBarcodeTypeCount; ++typ) {
        for (const std::string& text : texts) {
            for (bool checksum : {false, true}) {
                for (TCheckSumMethod method : {csmNone, csmModulo10}) {
                    SCOPED_TRACE(::testing::Message() << SymbologyTable[typ].Name << " <" << text
                                                      << "> " << checksum << method);
                    TBarcodeEngine e;
                    e.Typ = static_cast<TBarcodeType>(typ);
                    e.Text = text;
                    e.Checksum = checksum;
                    e.CheckSumMethod = method;
                    try {
                        const std::string pattern = e.BuildPattern();
                        EXPECT_NE(pattern.find_first_of("01235678ABCD"), std::string::npos);
                        EXPECT_EQ(pattern.find_first_not_of("01235678ABCD"), std::string::npos);
                    } catch (const Exception&) {
                    }
                }
            }
        }
    }
}

} // namespace
} // namespace quillax
