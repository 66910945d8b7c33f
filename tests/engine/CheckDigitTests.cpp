// Check digits and check characters.
#include "EngineTestSupport.h"
#include "engine/Encoders.h"

#include <gtest/gtest.h>

namespace quillax {
namespace {

using testing::ErrorOf;

TEST(CheckDigits, Modulo10) {
    struct Row {
        std::string In, Out;
    } rows[] = {
        {"400638133393", "4006381333931"},
        {"123456789012", "1234567890128"},
        {"", "0"},
        {"5", "55"},
        {"0000000", "00000000"},
        {"1234567", "12345670"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.In);
        EXPECT_EQ(encoders::Mod10CheckDigit(r.In), r.Out);
    }
}

TEST(CheckDigits, Modulo10RefusesANonDigitAsAConversionError) {
    for (std::string in : {"12A4", " 1", "1-"}) {
        SCOPED_TRACE(in);
        try {
            encoders::Mod10CheckDigit(in);
            ADD_FAILURE() << "nothing raised";
        } catch (const EConvertError& e) {
            EXPECT_EQ(std::string(e.what()),
                      "'" + std::string(1, in[in.find_first_not_of("0123456789")]) +
                          "' is not a valid integer value");
        }
    }
}

TEST(CheckDigits, ApplyCheckSumFollowsTheMethod) {
    TBarcodeEngine e;
    e.CheckSumMethod = csmModulo10;
    EXPECT_EQ(e.ApplyCheckSum("400638133393"), "4006381333931");
    e.CheckSumMethod = csmNone;
    EXPECT_EQ(e.ApplyCheckSum("400638133393"), "400638133393");
}

TEST(CheckDigits, AddOn) {
    struct Row {
        std::string In, Out;
    } rows[] = {
        {"123450", "123451"}, // 3 x (1 + 3 + 5) + 9 x (2 + 4) = 81
        {"860", "860"},       // 9 x 8 + 3 x 6 = 90
        {"120", "125"},       {"0", "0"}, {"", "0"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.In);
        EXPECT_EQ(encoders::AddOnCheckDigit(r.In), r.Out);
    }
}

TEST(CheckDigits, Msi) {
    struct Row {
        std::string In;
        int Check;
    } rows[] = {
        {"1234", 4}, {"1", 8}, {"", 0}, {"0", 0}, {"55", 4}, {"80523", 4},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.In);
        EXPECT_EQ(encoders::MsiCheckDigit(r.In), r.Check);
    }
}

// Long data: the odd positions form a number far beyond 32 bits.
TEST(CheckDigits, MsiOfLongDataDoesNotOverflow) {
    const std::string nines(200, '9'); // odd: 100 x digit sum of 18 = 900; even: 900
    EXPECT_EQ(encoders::MsiCheckDigit(nines), 0);
    EXPECT_EQ(encoders::MsiCheckDigit(nines + "1"), 8); // 2 + 900 + 900
}

TEST(CheckDigits, Code93CAndK) {
    struct Row {
        std::vector<int> Values;
        int C, K;
    } rows[] = {
        {{10}, 10, 30},                  // A
        {{29, 14, 28, 29, 9, 3}, 41, 6}, // TEST93
        {{}, 0, 0},
        // 21 characters of value 1: C weights 1..20 then 1 again, K weights 2..15, 1..7
        {std::vector<int>(21, 1), (210 + 1) % 47, (119 + 1 + 27 + 211 % 47) % 47},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(i);
        const auto [c, k] = encoders::Code93CheckValues(rows[i].Values);
        EXPECT_EQ(c, rows[i].C);
        EXPECT_EQ(k, rows[i].K);
    }
}

TEST(CheckDigits, Code128) {
    EXPECT_EQ(encoders::Code128CheckValue({104}), 1);      // empty code set B
    EXPECT_EQ(encoders::Code128CheckValue({104, 33}), 34); // "A"
    EXPECT_EQ(encoders::Code128CheckValue({105, 102, 1, 23, 48}), 58);
}

} // namespace
} // namespace quillax
