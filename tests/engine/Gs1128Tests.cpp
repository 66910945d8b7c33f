// GS1-128: element strings read back by zxing-cpp as GS1 data (symbology identifier ]C1, the
// group separator where FNC1 stands), never wider than Zint's; every application identifier
// of the table held against Zint's own table; each refusal with its message.
#include "OracleSupport.h"
#include "engine/Encoders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace quillax {
namespace {

using namespace oracle;
using testing::ErrorOf;

const std::string GS = "\x1D";

// The bytes zxing-cpp reads from a row, "]C1" first when it reads GS1 data.
std::string ReadGs1(const std::vector<uint8_t>& row) {
    const ZXing::Result result = ReadResult(row, ZXing::BarcodeFormat::Code128);
    if (!result.isValid()) return "(not read)";
    return result.symbologyIdentifier() + std::string(result.bytes().begin(), result.bytes().end());
}

std::vector<uint8_t> RowOfModules(const std::string& modules) {
    std::vector<uint8_t> row(kQuietZone, 255);
    for (char m : modules)
        row.insert(row.end(), kModul, m == '1' ? 0 : 255);
    return row;
}

// Zint takes square brackets, or parentheses in its parentheses mode.
std::string ZintGs1(const std::string& data) {
    return ZintModules(BARCODE_GS1_128, data, GS1_MODE | (data[0] == '(' ? GS1PARENS_MODE : 0));
}

TEST(Gs1128, ReadBackAsGs1DataAndNeverWiderThanZint) {
    const struct Row {
        std::string Data;
        std::string Read;
        std::string Label;
    } rows[] = {
        {"(01)09501101530003", "]C10109501101530003", "(01)09501101530003"},
        // predefined lengths need no separator; the last field none either
        {"[01]09501101530003[17]250101[10]AB-12",
         "]C1010950110153000317250101"
         "10AB-12",
         "(01)09501101530003(17)250101(10)AB-12"},
        {"(10)ABC(17)250100", "]C110ABC" + GS + "17250100", "(10)ABC(17)250100"},
        // fixed length, but not by its first two digits: separated
        {"(402)12345678901234560(3103)001250", "]C140212345678901234560" + GS + "3103001250",
         "(402)12345678901234560(3103)001250"},
        {"(00)095011015300000010(21)x1(91)abc",
         "]C100095011015300000010"
         "21x1" +
             GS + "91abc",
         "(00)095011015300000010(21)x1(91)abc"},
        // parentheses inside data: kept as data when they spell no AI, or in the bracket form
        {"(10)A(B)", "]C110A(B)", "(10)A(B)"},
        {"[10]AB(12)CD", "]C110AB(12)CD", "(10)AB(12)CD"},
        {"(8013)1987654Ad4X4bL5ttr2310c2K(7003)2501012359",
         "]C180131987654Ad4X4bL5ttr2310c2K" + GS + "70032501012359",
         "(8013)1987654Ad4X4bL5ttr2310c2K(7003)2501012359"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.Data);
        TBarcodeEngine e;
        testing::Configure(e, {bcCodeGS1128, r.Data, true});
        e.Modul = kModul;
        EXPECT_EQ(ReadGs1(RowOf(e)), r.Read);
        EXPECT_EQ(e.Text, r.Label);
        const std::string zint = ZintGs1(r.Data);
        if (zint.starts_with("(zint")) continue; // where Zint does not take the same string
        TBarcodeEngine fresh; // a build starts from the text the last one left: the label
        testing::Configure(fresh, {bcCodeGS1128, r.Data, true});
        EXPECT_LE(ModulesOf(fresh).size(), zint.size());
    }
}

// A value of the component's length (at most `most`) that its checks accept.
std::string SampleOf(const encoders::Gs1Component& c, size_t most) {
    const auto has = [&](std::string_view check) {
        return std::find(c.Checks.begin(), c.Checks.end(), check) != c.Checks.end();
    };
    if (has("csumalpha")) return "1987654Ad4X4bL5ttr2310c2K";
    if (has("yymmd0") || has("yymmdd")) return "250101";
    if (has("yyyymmdd")) return "20250101";
    if (has("hhmi")) return "1230";
    if (has("hh")) return "12";
    if (has("mi") || has("ss")) return "30";
    const size_t length = c.Least == c.Most ? c.Most : std::min(c.Most, most);
    return std::string(length, c.Type == 'N' ? '0' : 'A'); // zeros carry check digit 0
}

std::string SampleOf(const encoders::Gs1Ai& row, size_t most) {
    std::string sample;
    for (const encoders::Gs1Component& c : encoders::Gs1Components(row.Format))
        sample += SampleOf(c, most);
    return sample;
}

// Every AI of the table: a short value read with the separator where Zint puts one; the
// longest value accepted by both, one character more refused by both for its length. The
// AIs Zint does not know are those GS1 added after Zint's table; Zint still counts 235 among
// the predefined lengths, which GS1 no longer does.
TEST(Gs1128, EveryApplicationIdentifierAsZintHasIt) {
    std::set<std::string> unknownToZint;
    int count = 0;
    for (const encoders::Gs1Ai& row : encoders::Gs1ApplicationIdentifiers()) {
        const std::string longest = SampleOf(row, 1000);
        for (int number = std::stoi(std::string(row.First));
             number <= std::stoi(std::string(row.Last)); ++number) {
            std::string ai = std::to_string(number);
            ai.insert(0, row.First.size() - ai.size(), '0');
            for (int point = 0; point <= std::max(row.Point, 0); ++point) {
                const std::string full = row.Point < 0 ? ai : ai + std::to_string(point);
                SCOPED_TRACE(full);
                ++count;
                const std::string data = "[" + full + "]" + SampleOf(row, 8) + "[90]A";
                TBarcodeEngine e;
                testing::Configure(e, {bcCodeGS1128, data});
                e.Modul = kModul;
                const std::string zint = ZintGs1(data);
                if (zint.find("Invalid AI") != std::string::npos) {
                    unknownToZint.insert(full);
                    continue;
                }
                if (full != "235") {
                    EXPECT_EQ(ReadGs1(RowOf(e)), ReadGs1(RowOfModules(zint)));
                }

                testing::Configure(e, {bcCodeGS1128, "[" + full + "]" + longest});
                EXPECT_EQ(ErrorOf([&] { e.BuildPattern(); }), "(nothing raised)");
                EXPECT_EQ(ZintGs1(e.Text).find("Invalid data length"), std::string::npos);
                const std::string over = "[" + full + "]" + longest + "0";
                testing::Configure(e, {bcCodeGS1128, over});
                EXPECT_EQ(ErrorOf([&] { e.BuildPattern(); }), "GS1-128: AI (" + full +
                                                                  ") is longer than " +
                                                                  std::to_string(longest.size()));
                EXPECT_NE(ZintGs1(over).find("Invalid data length"), std::string::npos);
            }
        }
    }
    EXPECT_EQ(count, 536); // the AIs GS1 has assigned
    const std::set<std::string> added = {
        "03",   "4330", "4331", "4332", "4333", "7011", "7041", "716",  "7241", "7242", "7250",
        "7251", "7252", "7253", "7254", "7255", "7256", "7257", "7258", "7259", "8014", "8030"};
    EXPECT_EQ(unknownToZint, added);
}

// Each refusal names the AI and the fault; boundaries in pairs, the accepted one with "".
TEST(Gs1128, RefusalsNameTheAiAndTheFault) {
    const std::string twenty(20, 'x');
    const std::string ninety(90, 'x');
    const struct Row {
        std::string Data;
        std::string Fault; // after "GS1-128: ", or "" when accepted
    } rows[] = {
        {"01", "no application identifier"},
        {"0109501101530003", "no application identifier"},
        {"(01", "\"(\" without \")\""},
        {"[01]09501101530003[10", "\"[\" without \"]\""},
        {"(23)1", "AI (23) is not an application identifier"},
        {"(1)1", "AI (1) is not an application identifier"},
        {"(12345)1", "AI (12345) is not an application identifier"},
        {"(A1)1", "AI (A1) is not an application identifier"},
        {"(3105)123456", ""},
        {"(3106)123456", "AI (3106) is not an application identifier"},
        {"(3943)1234", ""},
        {"(3944)1234", "AI (3944) is not an application identifier"},
        {"(01)09501101530003", ""},
        {"(01)09501101530004", "AI (01) check digit 4 is wrong, 3 expected"},
        {"(01)0950110153000", "AI (01) is shorter than 14"},
        {"(01)095011015300031", "AI (01) is longer than 14"},
        {"(01)0950110153000A", "AI (01) character \"A\" is not a digit"},
        {"(10)" + twenty, ""},
        {"(10)" + twenty + "x", "AI (10) is longer than 20"},
        {"(91)" + ninety, ""},
        {"(91)" + ninety + "x", "AI (91) is longer than 90"},
        {"(10)(17)250101", "AI (10) has no data"},
        {"(10)a b", "AI (10) character 0x20 is not in set 82"},
        {"(10)a#", "AI (10) character \"#\" is not in set 82"},
        {"(10)caf\xE9", "AI (10) character 0xE9 is not in set 82"},
        {"(8010)AB-/#12", ""},
        {"(8010)ABc", "AI (8010) character \"c\" is not in set 39"},
        {"(8030)Az09-_==", ""},
        {"(8030)A=B", "AI (8030) character \"=\" is not in set 64"},
        // an element of the other bracket form is data of the one before
        {"[01]09501101530003(10)1", "AI (01) is longer than 14"},
        // dates: day 00 only where the AI allows it, leap years, months, times
        {"(17)251231", ""},
        {"(17)251301", "AI (17) month 13"},
        {"(17)250000", "AI (17) month 00"},
        {"(17)250100", ""},
        {"(7006)250100", "AI (7006) day 00"},
        {"(17)240229", ""},
        {"(17)250229", "AI (17) day 29"},
        {"(17)250431", "AI (17) day 31"},
        {"(7250)20000229", ""},
        {"(7250)19000229", "AI (7250) day 29"},
        {"(7003)2501012359", ""},
        {"(7003)2501012400", "AI (7003) hour 24"},
        {"(7003)2501011260", "AI (7003) minute 60"},
        {"(8008)250101123059", ""},
        {"(8008)250101123060", "AI (8008) second 60"},
        {"(7007)250101250131", ""},
        {"(7007)250101250", "AI (7007) cannot be 9 characters long"},
        {"(7007)250101250132", "AI (7007) day 32"},
        {"(8013)1987654Ad4X4bL5ttr2310cXK", "AI (8013) check characters XK are wrong, 2K expected"},
        {"(8013)A", "AI (8013) check characters are missing"},
        {"(253)9501101530003", ""},
        {"(253)9501101530003" + std::string(17, 'x'), ""},
        {"(253)9501101530003" + std::string(18, 'x'), "AI (253) is longer than 30"},
        {"(8003)09501101530003ab", ""},
        {"(8003)09501101530004ab", "AI (8003) check digit 4 is wrong, 3 expected"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.Data);
        TBarcodeEngine e;
        testing::Configure(e, {bcCodeGS1128, r.Data});
        const std::string error = ErrorOf([&] { e.BuildPattern(); });
        if (r.Fault.empty()) {
            EXPECT_EQ(error, "(nothing raised)");
        } else {
            EXPECT_EQ(error, "GS1-128: " + r.Fault);
            EXPECT_EQ(e.Text, r.Data); // refused, never altered
        }
    }
}

} // namespace
} // namespace quillax
