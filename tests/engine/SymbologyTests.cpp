// Encoders: one row per case, the expected pattern built from named pieces (start + data +
// stop) and the Text the encoder leaves behind.
#include "EngineTestSupport.h"
#include "engine/Encoders.h"

#include <gtest/gtest.h>

namespace quillax {
namespace {

using testing::ErrorOf;
using testing::ModuleCounts;
using testing::Settings;

struct PatternRow {
    Settings In;
    std::string Pattern;
    std::string TextAfter;
};

void CheckRows(const std::vector<PatternRow>& rows) {
    for (size_t i = 0; i < rows.size(); ++i) {
        const PatternRow& r = rows[i];
        SCOPED_TRACE(::testing::Message() << "row " << i << ": " << SymbologyTable[r.In.Typ].Name
                                          << " <" << r.In.Text << "> checksum " << r.In.Checksum);
        TBarcodeEngine e;
        testing::Configure(e, r.In);
        EXPECT_EQ(e.BuildPattern(), r.Pattern);
        EXPECT_EQ(e.Text, r.TextAfter);
    }
}

// Module-width rows (Code 128, Code 93): the pattern read back as module counts.
void CheckWidthRows(const std::vector<PatternRow>& rows) {
    for (size_t i = 0; i < rows.size(); ++i) {
        const PatternRow& r = rows[i];
        SCOPED_TRACE(::testing::Message() << "row " << i << ": " << SymbologyTable[r.In.Typ].Name
                                          << " <" << r.In.Text << ">");
        TBarcodeEngine e;
        testing::Configure(e, r.In);
        const std::string pattern = e.BuildPattern();
        EXPECT_EQ(ModuleCounts(pattern), r.Pattern);
        EXPECT_EQ(TBarcodeEngine::WidthsToPattern(r.Pattern), pattern);
        EXPECT_EQ(e.Text, r.TextAfter);
    }
}

struct ErrorRow {
    Settings In;
    std::string Error;
    std::string TextAfter;
};

void CheckErrors(const std::vector<ErrorRow>& rows) {
    for (size_t i = 0; i < rows.size(); ++i) {
        const ErrorRow& r = rows[i];
        SCOPED_TRACE(::testing::Message() << "row " << i << ": " << SymbologyTable[r.In.Typ].Name
                                          << " <" << r.In.Text << ">");
        TBarcodeEngine e;
        testing::Configure(e, r.In);
        EXPECT_EQ(ErrorOf([&] { e.BuildPattern(); }), r.Error);
        EXPECT_EQ(e.Text, r.TextAfter);
    }
}

// --- Two of five ---

const std::string ITF_START = "5050", ITF_STOP = "605";
const std::string IND_START = "606050", IND_STOP = "605060";
const std::string MAT_START = "705050", MAT_STOP = "70505";

TEST(TwoOfFive, Patterns) {
    CheckRows({
        {{bcCode_2_5_interleaved, "12"}, ITF_START + "6051505061" + ITF_STOP, "12"},
        {{bcCode_2_5_interleaved, "1234"},
         ITF_START + "6051505061" + "6060515051" + ITF_STOP,
         "1234"},
        {{bcCode_2_5_interleaved, " 12 ", true}, ITF_START + "6051505061" + ITF_STOP, "12"},
        {{bcCode_2_5_industrial, "1"}, IND_START + "6050505060" + IND_STOP, "1"},
        {{bcCode_2_5_matrix, "12"}, MAT_START + "605060" + "515060" + MAT_STOP, "12"},
        {{bcCode_2_5_matrix, "7", true, csmNone}, MAT_START + "505160" + MAT_STOP, "7"},
    });
}

// An odd count gets a leading zero, kept in Text, instead of losing its last digit.
TEST(TwoOfFive, InterleavedOddLengthGetsALeadingZero) {
    CheckRows({
        {{bcCode_2_5_interleaved, "123"},
         ITF_START + "5150606051" /* 0,1 */ + "5161505060" /* 2,3 */ + ITF_STOP,
         "0123"},
        {{bcCode_2_5_interleaved, "7"}, ITF_START + "5050606151" /* 0,7 */ + ITF_STOP, "07"},
    });
}

// --- Code 39 ---

const std::string C39_STAR = "515060605", GAP = "0";
const std::string C39_A = "605051506", C39_0 = "505160605", C39_PLUS = "515051515";
const std::string C39_Z = "516060505", C39_8 = "605150605", C39_SPACE = "516050605";
const std::string C39_SLASH = "515150515", C39_M = "606050515";

TEST(Code39, Patterns) {
    CheckRows({
        {{bcCode39, "A"}, C39_STAR + GAP + C39_A + GAP + C39_STAR, "A"},
        {{bcCode39, "A", true}, C39_STAR + GAP + C39_A + GAP + C39_A + GAP + C39_STAR, "A"},
        // values 35 + 8 = 43: the check character is "0", never "*"
        {{bcCode39, "Z8", true},
         C39_STAR + GAP + C39_Z + GAP + C39_8 + GAP + C39_0 + GAP + C39_STAR,
         "Z8"},
        {{bcCode39, " A"}, C39_STAR + GAP + C39_SPACE + GAP + C39_A + GAP + C39_STAR, " A"},
        {{bcCode39Extended, "a"}, C39_STAR + GAP + C39_PLUS + GAP + C39_A + GAP + C39_STAR, "a"},
        {{bcCode39Extended, "-"}, C39_STAR + GAP + C39_SLASH + GAP + C39_M + GAP + C39_STAR, "-"},
        // DEL, the last 7-bit code, is "%T"
        {{bcCode39Extended, "\x7F"},
         C39_STAR + GAP + "505151515" /* % */ + GAP + "505060615" /* T */ + GAP + C39_STAR,
         "\x7F"},
    });
}

// Code 39 carries its 43 data characters only ("*" is the start and stop); the full-ASCII
// form carries 7-bit ASCII. Anything else is refused with the whole text, never left out.
TEST(Code39, DataOutsideTheSetIsRefused) {
    CheckErrors({
        {{bcCode39, "abc"}, "TBarcodeEngine:Code39 bad Data <abc>", "abc"},
        {{bcCode39, "*"}, "TBarcodeEngine:Code39 bad Data <*>", "*"},
        {{bcCode39, "AB*CD"}, "TBarcodeEngine:Code39 bad Data <AB*CD>", "AB*CD"},
        {{bcCode39, "A\tB", true}, "TBarcodeEngine:Code39 bad Data <A\tB>", "A\tB"},
        {{bcCode39, "CAF\xC9"}, "TBarcodeEngine:Code39 bad Data <CAF\xC9>", "CAF\xC9"},
        {{bcCode39Extended, "Caf\xE9"}, "TBarcodeEngine:Code39 bad Data <Caf\xE9>", "Caf\xE9"},
        {{bcCode39Extended, "\x80"}, "TBarcodeEngine:Code39 bad Data <\x80>", "\x80"},
    });
    CheckErrors({
        {{bcCode39, "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%", true},
         "(nothing raised)",
         "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%"},
        {{bcCode39Extended, std::string("*a\0~", 4)}, "(nothing raised)", std::string("*a\0~", 4)},
    });
}

// --- Code 128 and EAN-128, in module widths ---

const std::string START_A = "211412", START_B = "211214", START_C = "211232";
const std::string FNC1 = "411131", STOP = "2331112";

TEST(Code128, WorkedSymbols) {
    CheckWidthRows({
        {{bcCode128B, "A"}, START_B + "111323" + "131123" + STOP, "A"},
        {{bcCode128C, "12"}, START_C + "112232" + "122231" + STOP, "12"},
        {{bcCode128C, "123"}, START_C + "222122" + "312131" + "211331" + STOP, "0123"},
        {{bcCodeEAN128C, "1234", true},
         START_C + FNC1 + "222122" + "312131" + "313121" + "312311" + STOP,
         "012348"},
    });
    TBarcodeEngine e;
    e.Typ = bcCode128B;
    e.Text = "A";
    EXPECT_EQ(e.BuildPattern(), "605153"
                                "505262"
                                "525062"
                                "6270506");
}

TEST(Code128, EdgeCases) {
    CheckWidthRows({
        // code set A carries the control characters as values 64-95, code set B DEL as 95
        {{bcCode128A, "\x01"}, START_A + "121124" /* 65 */ + "121124" + STOP, "\x01"},
        {{bcCode128A, "\x1F"}, START_A + "114113" /* 95 */ + "114113" + STOP, "\x1F"},
        {{bcCode128A, std::string(1, '\0')},
         START_A + "111422" /* 64 */ + "111422" + STOP,
         std::string(1, '\0')},
        {{bcCode128B, "\x7F"}, START_B + "114113" /* 95 */ + "114311" /* 96 */ + STOP, "\x7F"},
        {{bcCodeEAN128A, "_"},
         START_A + FNC1 + "111224" /* 63 */ + "223112" /* 103 + 102 + 126 = 331 -> 22 */ + STOP,
         "_"},
        // csmNone: Text unchanged, the modulo-103 symbol still made
        {{bcCodeEAN128A, "12", true, csmNone},
         START_A + FNC1 + "123221" + "223211" + "421112" + STOP,
         "12"},
    });
}

// A character the code set cannot encode is refused with the whole text, never replaced.
TEST(Code128, Errors) {
    CheckErrors({
        {{bcCodeEAN128B, "1A", true}, "'A' is not a valid integer value", "1A"},
        {{bcCode128A, "a"}, "TBarcodeEngine:Code128 bad Data <a>", "a"},
        {{bcCode128A, "AB`"}, "TBarcodeEngine:Code128 bad Data <AB`>", "AB`"},
        {{bcCodeEAN128A, "a"}, "TBarcodeEngine:Code128 bad Data <a>", "a"},
        {{bcCode128B, "A\tB"}, "TBarcodeEngine:Code128 bad Data <A\tB>", "A\tB"},
        {{bcCode128B, "caf\xE9"}, "TBarcodeEngine:Code128 bad Data <caf\xE9>", "caf\xE9"},
        {{bcCodeEAN128B, "\x80"}, "TBarcodeEngine:Code128 bad Data <\x80>", "\x80"},
        // code set C: digits only, before any padding
        {{bcCode128C, "121A"}, "TBarcodeEngine:Code128 bad Data <121A>", "121A"},
        {{bcCode128C, "12  34"}, "TBarcodeEngine:Code128 bad Data <12  34>", "12  34"},
        {{bcCode128C, "  "}, "TBarcodeEngine:Code128 bad Data <  >", "  "},
        {{bcCode128C, "1A3"}, "TBarcodeEngine:Code128 bad Data <1A3>", "1A3"},
    });
    const std::string text = "ABC";
    EXPECT_EQ(ErrorOf([&] {
                  encoders::EncodeCode128({text, bcCode39, false, csmModulo10});
              }),
              "TBarcodeEngine: wrong BarcodeType in Code_128");
}

// --- Code 93, in module widths ---

const std::string C93_START = "111141", C93_END = "1111411";

TEST(Code93, WorkedSymbols) {
    CheckWidthRows({
        {{bcCode93, "A"},
         C93_START + "211113" + "211113" /* C: A */ + "221121" /* K: U */ + C93_END,
         "A"},
        {{bcCode93, "TEST93"},
         C93_START +
             "211221"
             "221211"
             "211122"
             "211221"
             "141111"
             "111411" +
             "113121" /* C: + */ + "121311" /* K: 6 */ + C93_END,
         "TEST93"},
        // full ASCII: "a" is (+)A
        {{bcCode93Extended, "a"},
         C93_START +
             "122211"
             "211113" +
             "131211" /* C: 8 */ + "131121" /* K: P */ + C93_END,
         "a"},
    });
    TBarcodeEngine e;
    e.Typ = bcCode93;
    e.Text = "A";
    EXPECT_EQ(e.BuildPattern(), "505080"
                                "605052"
                                "605052"
                                "615060"
                                "5050805");
}

// The shift characters "[", "]", "{", "}" belong to the full-ASCII spelling: in plain Code 93
// they are refused like any other character outside its 43, never read as shifts. The
// full-ASCII form refuses what 7-bit ASCII does not hold.
TEST(Code93, CharactersOutsideTheSetAreRefused) {
    CheckErrors({
        {{bcCode93, "AbC"}, "TBarcodeEngine:Code93 bad Data <AbC>", "AbC"},
        {{bcCode93, " x "}, "TBarcodeEngine:Code93 bad Data < x >", " x "},
        {{bcCode93, "A[B"}, "TBarcodeEngine:Code93 bad Data <A[B>", "A[B"},
        {{bcCode93, "]"}, "TBarcodeEngine:Code93 bad Data <]>", "]"},
        {{bcCode93, "{A"}, "TBarcodeEngine:Code93 bad Data <{A>", "{A"},
        {{bcCode93, "Z}"}, "TBarcodeEngine:Code93 bad Data <Z}>", "Z}"},
        {{bcCode93Extended, "Caf\xE9"}, "TBarcodeEngine:Code93 bad Data <Caf\xE9>", "Caf\xE9"},
        {{bcCode93Extended, "a\xFF"}, "TBarcodeEngine:Code93 bad Data <a\xFF>", "a\xFF"},
    });
    CheckErrors({
        {{bcCode93, "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%"},
         "(nothing raised)",
         "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%"},
        {{bcCode93Extended, "[]{}\x7F"}, "(nothing raised)", "[]{}\x7F"},
    });
}

// --- EAN / UPC ---

const std::string GUARD = "505", CENTRE = "05050", UPCE_END = "050505";

using testing::EanDigits;

// An add-on: its start, then the digits in their sets, each after the first behind a separator.
std::string AddOn(const std::string& sets, const std::string& digits) {
    std::string pattern = "506";
    for (size_t i = 0; i < digits.size(); ++i)
        pattern += (i ? "05" : "") + EanDigits(sets.substr(i, 1), digits.substr(i, 1));
    return pattern;
}

TEST(EanUpc, WorkedSymbols) {
    CheckRows({
        // the leading 4 gives the left half's sets
        {{bcCodeEAN13, "400638133393", true},
         GUARD + EanDigits("LGLLGG", "006381") + CENTRE + EanDigits("RRRRRR", "333931") + GUARD,
         "4006381333931"},
        {{bcCodeEAN8, "1234567", true},
         GUARD + EanDigits("LLLL", "1234") + CENTRE + EanDigits("RRRR", "5670") + GUARD,
         "12345670"},
        // six digits are the six data digits; the check digit 5 selects the parity
        {{bcCodeUPC_E0, "123456", true},
         GUARD + EanDigits("GLLGGL", "123456") + UPCE_END,
         "1234565"},
        // the add-ons' check digit is not a digit of the symbol, so Text does not get it
        {{bcCodeUPC_Supp5, "12345", true}, AddOn("GLGLL", "12345"), "12345"},
        {{bcCodeUPC_Supp2, "12", true}, AddOn("LL", "12"), "12"},
    });
}

TEST(EanUpc, PaddingAndCheckDigitEdges) {
    const std::string ean13Zeros =
        GUARD + EanDigits("LLLLLL", "000000") + CENTRE + EanDigits("RRRRRR", "000000") + GUARD;
    CheckRows({
        // zeros in front; the check digit of all zeros is 0
        {{bcCodeEAN13, "0", true}, ean13Zeros, "0000000000000"},
        {{bcCodeEAN13, "000000000000"}, ean13Zeros, "0000000000000"},
        {{bcCodeUPC_A, "0"}, ean13Zeros, "000000000000"},
        // two-digit add-on: parity by value mod 4 (13 -> 1 -> LG)
        {{bcCodeUPC_Supp2, "13"}, AddOn("LG", "13"), "13"},
        {{bcCodeUPC_Supp2, "3", true}, AddOn("GG", "03"), "03"},
        // 86: check 0 -> parity GGLLL
        {{bcCodeUPC_Supp5, "86", true}, AddOn("GGLLL", "00086"), "00086"},
    });
}

// Every digit given is kept. With d data digits and n in all: with Checksum, up to d digits are
// padded to d and get the check digit; without, the text is padded to n. n digits carry their
// own check digit either way. The symbol is that of the completed digits given whole, and Text
// holds them.
TEST(EanUpc, EveryGivenDigitIsKept) {
    struct Row {
        TBarcodeType Typ;
        std::string Text;
        bool Checksum;
        std::string Carried;
    } const rows[] = {
        // EAN-8: d 7, n 8
        {bcCodeEAN8, "123456", true, "01234565"},
        {bcCodeEAN8, "1234567", true, "12345670"},
        {bcCodeEAN8, "12345670", true, "12345670"},
        {bcCodeEAN8, "2345673", false, "02345673"},
        {bcCodeEAN8, "12345670", false, "12345670"},
        // EAN-13: d 12, n 13
        {bcCodeEAN13, "40063813339", true, "0400638133390"},
        {bcCodeEAN13, "400638133393", true, "4006381333931"},
        {bcCodeEAN13, "4006381333931", true, "4006381333931"},
        {bcCodeEAN13, "614141000036", false, "0614141000036"},
        {bcCodeEAN13, "4006381333931", false, "4006381333931"},
        // UPC-A: d 11, n 12
        {bcCodeUPC_A, "3600029145", true, "036000291452"},
        {bcCodeUPC_A, "03600029145", true, "036000291452"},
        {bcCodeUPC_A, "036000291452", true, "036000291452"},
        {bcCodeUPC_A, "61414100007", false, "061414100007"},
        // UPC-E: d 6, n 7; fewer than seven are padded to six either way
        {bcCodeUPC_E0, "23456", true, "0234566"},
        {bcCodeUPC_E0, "1234565", true, "1234565"},
        {bcCodeUPC_E0, "23456", false, "0234566"},
        {bcCodeUPC_E0, "123456", false, "1234565"},
        {bcCodeUPC_E1, "123456", false, "1234562"},
        {bcCodeUPC_E0, "6543208", false, "6543208"},
        // add-ons: d = n
        {bcCodeUPC_Supp5, "1234", true, "01234"},
        {bcCodeUPC_Supp5, "12345", false, "12345"},
        {bcCodeUPC_Supp2, "7", false, "07"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(::testing::Message() << SymbologyTable[r.Typ].Name << " <" << r.Text
                                          << "> checksum " << r.Checksum);
        TBarcodeEngine e;
        testing::Configure(e, {r.Typ, r.Text, r.Checksum});
        const std::string pattern = e.BuildPattern();
        EXPECT_EQ(e.Text, r.Carried);
        TBarcodeEngine whole;
        testing::Configure(whole, {r.Typ, r.Carried});
        EXPECT_EQ(pattern, whole.BuildPattern());
    }
}

// A check digit that the data carries is verified, with and without Checksum: the last of a
// full-length text, or without Checksum the last of the text padded to full length. A wrong
// one is refused and Text stays as given.
TEST(EanUpc, WrongCarriedCheckDigitsAreRefused) {
    auto wrong = [](const char* given, const char* name, char carried, char expected) {
        return std::string("Invalid check digit ") + carried + " for " + given + " (" + name +
               "): " + expected + " expected";
    };
    const struct Row {
        Settings In;
        std::string Error;
    } rows[] = {
        {{bcCodeEAN13, "4006381333932"}, wrong("4006381333932", "EAN-13", '2', '1')},
        {{bcCodeEAN13, "4006381333932", true}, wrong("4006381333932", "EAN-13", '2', '1')},
        {{bcCodeEAN13, "400638133393"}, wrong("400638133393", "EAN-13", '3', '0')},
        {{bcCodeEAN13, "5"}, wrong("5", "EAN-13", '5', '0')},
        {{bcCodeEAN8, "12345678"}, wrong("12345678", "EAN-8", '8', '0')},
        {{bcCodeEAN8, "12345678", true}, wrong("12345678", "EAN-8", '8', '0')},
        {{bcCodeUPC_A, "036000291453", false, csmNone}, wrong("036000291453", "UPC-A", '3', '2')},
        {{bcCodeUPC_A, "036000291459", true}, wrong("036000291459", "UPC-A", '9', '2')},
        {{bcCodeUPC_E0, "1234560"}, wrong("1234560", "UPC-E", '0', '5')},
        {{bcCodeUPC_E0, "6543201", false, csmNone}, wrong("6543201", "UPC-E", '1', '8')},
        {{bcCodeUPC_E1, "1234565", true}, wrong("1234565", "UPC-E", '5', '2')},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(::testing::Message() << SymbologyTable[r.In.Typ].Name << " <" << r.In.Text
                                          << "> checksum " << r.In.Checksum);
        TBarcodeEngine e;
        testing::Configure(e, r.In);
        EXPECT_EQ(ErrorOf([&] { e.BuildPattern(); }), r.Error);
        EXPECT_EQ(e.Text, r.In.Text);
    }
}

// More digits than the symbol holds are refused, with and without Checksum; so is Checksum
// without a method, which leaves no check digit. Text stays as given.
TEST(EanUpc, LengthErrors) {
    CheckErrors({
        {{bcCodeEAN8, "123456789"}, "Invalid Text len (EAN8)", "123456789"},
        {{bcCodeEAN8, "123456789", true}, "Invalid Text len (EAN8)", "123456789"},
        {{bcCodeEAN8, "1234567", true, csmNone}, "Invalid Text len (EAN8)", "1234567"},
        {{bcCodeEAN13, "12345678901234"}, "Invalid Text len (EAN13)", "12345678901234"},
        {{bcCodeEAN13, "90000000000005", true}, "Invalid Text len (EAN13)", "90000000000005"},
        {{bcCodeEAN13, "123", true, csmNone}, "Invalid Text len (EAN13)", "123"},
        {{bcCodeEAN13, "4006381333931", true, csmNone},
         "Invalid Text len (EAN13)",
         "4006381333931"},
        {{bcCodeUPC_A, "0123456789059"}, "Invalid Text len (UPCA)", "0123456789059"},
        {{bcCodeUPC_A, "01234567890123", true}, "Invalid Text len (UPCA)", "01234567890123"},
        {{bcCodeUPC_A, "01234567890", true, csmNone}, "Invalid Text len (UPCA)", "01234567890"},
        {{bcCodeUPC_E0, "12345678"}, "Invalid Text len (UPCE)", "12345678"},
        {{bcCodeUPC_E1, "12345678", true}, "Invalid Text len (UPCE)", "12345678"},
        {{bcCodeUPC_Supp5, "123456"}, "Invalid Text len (UPC5)", "123456"},
        {{bcCodeUPC_Supp5, "123456", true}, "Invalid Text len (UPC5)", "123456"},
        {{bcCodeUPC_Supp2, "123"}, "Invalid Text len (UPC2)", "123"},
        {{bcCodeUPC_Supp2, "2147483648", true}, "Invalid Text len (UPC2)", "2147483648"},
    });
    CheckErrors({
        {{bcCodeUPC_A, "012345678905", false, csmNone}, "(nothing raised)", "012345678905"},
        {{bcCodeUPC_E0, "1234565", true, csmNone}, "(nothing raised)", "1234565"},
    });
}

// "main+addon": the main symbol as it is alone (Checksum and the carried check digit apply to
// it), the gap of nine modules, the add-on as it is alone. Text keeps both parts, the main one
// completed, however often the pattern is built; Segments says where each part lies.
TEST(EanUpc, AddOnFollowsItsMainSymbol) {
    const struct Row {
        Settings In;
        std::string Main, AddOn; // the parts as the symbol carries them
    } rows[] = {
        {{bcCodeEAN13, " 978030640615+51299 ", true}, "9780306406157", "51299"},
        {{bcCodeUPC_A, "036000291452+12", true}, "036000291452", "12"},
        {{bcCodeUPC_E1, "123456+07"}, "1234562", "07"},
        {{bcCodeEAN8, "1234567+00086", true}, "12345670", "00086"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(::testing::Message() << SymbologyTable[r.In.Typ].Name << " <" << r.In.Text
                                          << "> checksum " << r.In.Checksum);
        TBarcodeEngine e, main, addOn;
        testing::Configure(e, r.In);
        testing::Configure(main, {r.In.Typ, r.Main});
        testing::Configure(addOn,
                           {r.AddOn.size() == 2 ? bcCodeUPC_Supp2 : bcCodeUPC_Supp5, r.AddOn});
        const std::string mainPattern = main.BuildPattern();
        e.BuildPattern();
        EXPECT_EQ(e.BuildPattern(), mainPattern + "330" + addOn.BuildPattern());
        EXPECT_EQ(e.Text, r.Main + "+" + r.AddOn);
        EXPECT_EQ(e.Segments().MainLength, mainPattern.size());
        EXPECT_EQ(e.Segments().AddOnStart, mainPattern.size() + 3);
        EXPECT_EQ(e.Segments().AddOnText, r.AddOn);
    }
}

// An add-on has two or five digits, nothing is padded; one "+" joins it to a main symbol of
// digits, whose own refusals stand. Text stays as given (trimmed).
TEST(EanUpc, AddOnRefusals) {
    auto length = [](const std::string& addOn, const char* name) {
        return "Invalid add-on <" + addOn + "> (" + name + "): 2 or 5 digits expected";
    };
    const std::string numeric = "Barcode must be numeric";
    CheckErrors({
        {{bcCodeEAN13, "590123412345+1", true}, length("1", "EAN-13"), "590123412345+1"},
        {{bcCodeUPC_A, "03600029145+123", true}, length("123", "UPC-A"), "03600029145+123"},
        {{bcCodeUPC_E0, "123456+1234"}, length("1234", "UPC-E"), "123456+1234"},
        {{bcCodeEAN8, "1234567+123456", true}, length("123456", "EAN-8"), "1234567+123456"},
        {{bcCodeEAN13, "590123412345+ "}, length("", "EAN-13"), "590123412345+"},
        {{bcCodeEAN13, "590123412345+1A", true}, numeric, "590123412345+1A"},
        {{bcCodeEAN13, "59012341234A+12", true}, numeric, "59012341234A+12"},
        {{bcCodeEAN13, "5901234123457+12+34"}, numeric, "5901234123457+12+34"},
        {{bcCodeEAN13, "5901234123457 +12"}, numeric, "5901234123457 +12"},
        {{bcCodeEAN13, "+12"}, "No data", "+12"},
        {{bcCodeEAN13, "5901234123458+12"},
         "Invalid check digit 8 for 5901234123458 (EAN-13): 7 expected",
         "5901234123458+12"},
        {{bcCodeUPC_A, "03600029145+12", true, csmNone},
         "Invalid Text len (UPCA)",
         "03600029145+12"},
        // the add-ons alone take no add-on
        {{bcCodeUPC_Supp5, "12345+12"}, numeric, "12345+12"},
    });
}

// The parity digit is the standard check digit of the UPC-A expansion of number system and
// six digits; rows cover each expansion rule and number system 1, where the digit of the six
// digits alone would differ.
TEST(EanUpc, UpcECheckDigitComesFromTheUpcAExpansion) {
    struct Row {
        TBarcodeType Typ;
        std::string Six;
        std::string Expansion; // number system + the ten digits of the UPC-A form
        char Check;
        std::string Digits; // the six digits in their parity sets
    } rows[] = {
        {bcCodeUPC_E0, "654320", "06500000432", '8',
         "3505"
         "0625"
         "1705"
         "0805"
         "1516"
         "0517"},
        {bcCodeUPC_E0, "123451", "01210000345", '4',
         "0616"
         "1516"
         "0535"
         "1705"
         "0625"
         "1615"},
        {bcCodeUPC_E0, "987652", "09820000765", '3',
         "1507"
         "2515"
         "0706"
         "0508"
         "0625"
         "1606"},
        {bcCodeUPC_E0, "425003", "04250000000", '5',
         "1705"
         "1516"
         "0625"
         "0517"
         "0517"
         "0805"},
        {bcCodeUPC_E0, "135794", "01357000009", '7',
         "0616"
         "0805"
         "0715"
         "0706"
         "1507"
         "0526"},
        {bcCodeUPC_E0, "123456", "01234500006", '5',
         "0616"
         "1516"
         "0805"
         "1705"
         "0715"
         "0508"},
        {bcCodeUPC_E1, "123456", "11234500006", '2',
         "1615"
         "1516"
         "0535"
         "1705"
         "0625"
         "3505"},
        {bcCodeUPC_E1, "654320", "16500000432", '5',
         "0508"
         "0715"
         "1705"
         "0805"
         "1516"
         "0517"},
        {bcCodeUPC_E1, "012345", "10123400005", '4',
         "2605"
         "0616"
         "1516"
         "0805"
         "1705"
         "0715"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(::testing::Message() << SymbologyTable[r.Typ].Name << " " << r.Six);
        EXPECT_EQ(encoders::ExpandUPCEtoUPCA(r.Typ == bcCodeUPC_E1 ? '1' : '0', r.Six),
                  r.Expansion);
        for (TCheckSumMethod method : {csmModulo10, csmNone}) {
            TBarcodeEngine e;
            testing::Configure(e, {r.Typ, r.Six, true, method});
            EXPECT_EQ(e.BuildPattern(), GUARD + r.Digits + UPCE_END);
            EXPECT_EQ(e.Text, r.Six + r.Check);
        }
    }
}

// --- MSI, PostNet, Codabar ---

const std::string MSI_START = "60", MSI_STOP = "515";
const std::string POSTNET_FRAME = "51", POSTNET_END = "5";
const std::string CODABAR_A = "5061515", CODABAR_B = "5151506";

TEST(MsiPostNetCodabar, Patterns) {
    CheckRows({
        {{bcCodeMSI, "1234"},
         MSI_START +
             "51515160"
             "51516051"
             "51516060"
             "51605151" +
             "51605151" /* check 4 */ + MSI_STOP,
         "1234"},
        {{bcCodeMSI, "1", true, csmNone},
         MSI_START + "51515160" + "60515151" /* 8 */ + MSI_STOP,
         "1"},
        {{bcCodePostNet, "12"},
         POSTNET_FRAME +
             "A1A1A15151"
             "A1A151A151" +
             POSTNET_END,
         "12"},
        // with Checksum the correction digit brings the sum to a multiple of 10, whatever
        // the method
        {{bcCodePostNet, "12", true},
         POSTNET_FRAME +
             "A1A1A15151"
             "A1A151A151"
             "51A1A1A151" /* 7 */
             + POSTNET_END,
         "127"},
        {{bcCodePostNet, "55", true, csmNone},
         POSTNET_FRAME +
             "A151A151A1"
             "A151A151A1"
             "5151A1A1A1" /* 0 */
             + POSTNET_END,
         "550"},
        {{bcCodeCodabar, "12"},
         CODABAR_A + GAP + "5050615" + GAP + "5051506" + GAP + CODABAR_B,
         "12"},
        {{bcCodeCodabar, "-$:/.+"},
         CODABAR_A + GAP + "5051605" + GAP + "5061505" + GAP + "6050606" + GAP + "6060506" + GAP +
             "6060605" + GAP + "5060606" + GAP + CODABAR_B,
         "-$:/.+"},
    });
}

// Characters outside the Codabar data characters are refused with the whole text.
TEST(MsiPostNetCodabar, CodabarBadDataIsRefused) {
    CheckErrors({
        {{bcCodeCodabar, "12a"}, "TBarcodeEngine:Codabar bad Data <12a>", "12a"},
        {{bcCodeCodabar, " 12"}, "TBarcodeEngine:Codabar bad Data < 12>", " 12"},
        {{bcCodeCodabar, "1*2"}, "TBarcodeEngine:Codabar bad Data <1*2>", "1*2"},
        // the start and stop letters are the encoder's own
        {{bcCodeCodabar, "A12B"}, "TBarcodeEngine:Codabar bad Data <A12B>", "A12B"},
        {{bcCodeCodabar, "1C"}, "TBarcodeEngine:Codabar bad Data <1C>", "1C"},
        {{bcCodeCodabar, "D"}, "TBarcodeEngine:Codabar bad Data <D>", "D"},
    });
}

// Checksum and method play no part in these symbologies.
TEST(MsiPostNetCodabar, ChecksumSettingsChangeNothing) {
    for (TBarcodeType typ : {bcCode_2_5_interleaved, bcCode_2_5_industrial, bcCode_2_5_matrix,
                             bcCodeMSI, bcCodeCodabar, bcCode93}) {
        SCOPED_TRACE(SymbologyTable[typ].Name);
        TBarcodeEngine plain, checked;
        testing::Configure(plain, {typ, "1234"});
        testing::Configure(checked, {typ, "1234", true, csmNone});
        EXPECT_EQ(plain.BuildPattern(), checked.BuildPattern());
        EXPECT_EQ(checked.Text, "1234");
    }
}

// Empty data would come out as a valid-looking symbol of zeros, or of no data at all: every
// symbology refuses it, with and without Checksum, as do numeric ones left empty by trimming.
TEST(AllSymbologies, EmptyDataIsRefused) {
    for (int typ = 0; typ < kBarcodeTypeCount; ++typ)
        for (const char* text : {"", " \t"}) {
            const bool numeric = SymbologyTable[typ].NumericOnly;
            if (*text && !numeric) continue; // blanks are data there
            CheckErrors({
                {{TBarcodeType(typ), text}, "No data", numeric ? "" : text},
                {{TBarcodeType(typ), text, true}, "No data", numeric ? "" : text},
            });
        }
}

} // namespace
} // namespace quillax
