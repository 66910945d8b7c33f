// Code 128 with its code sets chosen: the symbol values for the rules that decide them, and
// for a table of mixed data, read back by zxing-cpp and never wider than Zint's Code 128.
#include "OracleSupport.h"
#include "engine/Encoders.h"

#include <gtest/gtest.h>

namespace quillax {
namespace {

using namespace oracle;

// Named symbol values of Code 128.
constexpr int START_A = 103, START_B = 104, START_C = 105, CODE_A = 101, CODE_B = 100, CODE_C = 99,
              SHIFT = 98, FNC1 = 102, FNC4_A = 101, FNC4_B = 100;

// A byte's value in code set B (32-127 as 0-95) and in code set A for a control (0-31 as
// 64-95); bytes above 127 by their lower seven bits.
constexpr int B(char c) {
    return (static_cast<unsigned char>(c) & 0x7F) - 32;
}
constexpr int A(char c) {
    return (static_cast<unsigned char>(c) & 0x7F) + 64;
}

std::vector<int> ValuesOf(const std::string& text) {
    std::vector<int> items;
    for (char c : text)
        items.push_back(c == '~' ? encoders::kCode128Fnc1 : static_cast<unsigned char>(c));
    return encoders::Code128ShortestValues(items);
}

// "~" stands for FNC1 in the text.
TEST(Code128Auto, ValuesFollowTheShortestChoice) {
    const struct Row {
        std::string Text;
        std::vector<int> Values;
    } rows[] = {
        // code set C for four leading digits, for two digits alone, for an even run at the end
        {"1234ABC", {START_C, 12, 34, CODE_B, B('A'), B('B'), B('C')}},
        {"12", {START_C, 12}},
        {"AB1234", {START_B, B('A'), B('B'), CODE_C, 12, 34}},
        // the odd digit stays in B before the switch
        {"ABC123456789", {START_B, B('A'), B('B'), B('C'), B('1'), CODE_C, 23, 45, 67, 89}},
        // no gain from C: stay in B (three leading digits; four digits inside)
        {"123ABC", {START_B, B('1'), B('2'), B('3'), B('A'), B('B'), B('C')}},
        {"AB1234CD", {START_B, B('A'), B('B'), B('1'), B('2'), B('3'), B('4'), B('C'), B('D')}},
        {"AB123456CD", {START_B, B('A'), B('B'), CODE_C, 12, 34, 56, CODE_B, B('C'), B('D')}},
        // a single control shifts, a run of them starts or switches to A
        {"a\tb", {START_B, B('a'), SHIFT, A('\t'), B('b')}},
        {"\t\nab", {START_A, A('\t'), A('\n'), CODE_B, B('a'), B('b')}},
        // bytes above 127: FNC4 each, or a double FNC4 around a run
        {"Gr\xF6\xDF"
         "e",
         {START_B, B('G'), B('r'), FNC4_B, B('\xF6'), FNC4_B, B('\xDF'), B('e')}},
        {"\xC0\xC9\xCE\xD5\xDC",
         {START_B, FNC4_B, FNC4_B, B('\xC0'), B('\xC9'), B('\xCE'), B('\xD5'), B('\xDC')}},
        {"\x81", {START_A, FNC4_A, A('\x81')}},
        {"x\x81", {START_B, B('x'), FNC4_B, SHIFT, A('\x81')}},
        // FNC1 in any code set, code set C on both sides
        {"~0123~45", {START_C, FNC1, 1, 23, FNC1, 45}},
        {"", {START_B}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.Text);
        EXPECT_EQ(ValuesOf(r.Text), r.Values);
    }
}

std::string Digits(int n) {
    return std::string("12345678").substr(0, n);
}

// Digit runs of every length from 1 to 8 at the start, in the middle and at the end, letters,
// controls and bytes above 127: zxing-cpp reads the bytes back, and the symbol is never wider
// than Zint's.
TEST(Code128Auto, ReadBackAndNeverWiderThanZint) {
    std::vector<std::string> texts = {"Quillax",
                                      "code 128 AUTO",
                                      "Tab\there\r\n",
                                      "A\x01"
                                      "b\x02"
                                      "C",
                                      "Gr\xF6\xDF"
                                      "e 42",
                                      "\xC0\xC9\xCE\xD5\xDC"
                                      "123456",
                                      "caf\xE9\x80\x9F\xFF\x7F",
                                      "\x81\x82\x83\x84\x85\x86",
                                      "1A2B3C4D5E6F"};
    for (int n = 1; n <= 8; ++n) {
        texts.push_back(Digits(n) + "Ab");
        texts.push_back("Ab" + Digits(n) + "cD");
        texts.push_back("ab" + Digits(n));
        texts.push_back("\x01" + Digits(n) + "\x02");
    }
    for (const std::string& text : texts) {
        SCOPED_TRACE(::testing::PrintToString(text));
        TBarcodeEngine e;
        testing::Configure(e, {bcCode128, text});
        e.Modul = kModul;
        EXPECT_EQ(ReadBytes(RowOf(e), ZXing::BarcodeFormat::Code128), text);
        EXPECT_LE(ModulesOf(e).size(), ZintModules(BARCODE_CODE128, text).size());
        EXPECT_EQ(e.Text, text);
    }
}

} // namespace
} // namespace quillax
