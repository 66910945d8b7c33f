// The hosts' own tables of the component: symbology names as people write them, the image
// formats the hosts accept, and the property list of the help held against what the built
// object reports.
#include "tests/support/BuiltComponent.h"

#include "apps/cli/PropertyHelp.h"
#include "apps/page/ComponentHost.h"
#include "apps/page/ImageFormatNames.h"
#include "apps/page/SymbologyNames.h"
#include "apps/web/WebRoutes.h"
#include "hosting/Kemrin_Quillax_TLB.h"

#include <gtest/gtest.h>

#include <set>

namespace {

using namespace quillax;
using namespace quillax::host;

TEST(SymbologyNames, NamesAsPeopleWriteThemFindTheirNumber) {
    const struct {
        const char* written;
        int number;
    } rows[] = {
        {"EAN13", 14},
        {"ean-13", 14},
        {"Ean 13", 14},
        {"Code128B", 6},
        {"code 128 b", 6},
        {"CODE_128_B", 6},
        {"2_5_interleaved", 0},
        {"Interleaved 2 of 5", 0},
        {"2-5 industrial", 1},
        {"matrix2of5", 2},
        {"Code39", 3},
        {"code 39 extended", 4},
        {"Code93", 8},
        {"Code-93 Extended", 9},
        {"msi", 10},
        {"Post.Net", 11},
        {"Codebar", 12},
        {"Codabar", 12},
        {"ITF", 0},
        {"EAN-128", 24},
        {"UCC/EAN-128", 24},
        {"EAN-8", 13},
        {"UPC-A", 15},
        {"upc e0", 16},
        {"UPC-E1", 17},
        {"UPC Supp2", 18},
        {"upc-supp-5", 19},
        {"EAN-128 A", 20},
        {"ean128b", 21},
        {"EAN 128 C", 22},
        {"Code128", 23},
        {"code 128", 23},
        {"GS1-128", 24},
        {"gs1 128", 24},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.written);
        EXPECT_EQ(row.number, SymbologyNumber(row.written));
    }
}

TEST(SymbologyNames, OtherWordsNameNoSymbology) {
    for (const char* written : {"", " ", "--", "EAN14", "EAN", "Code", "ITF14", "Code128D",
                                "ean13x", "UPC", "14", "Codabar 2", "EAN13\xC3\xA9"}) {
        SCOPED_TRACE(written);
        EXPECT_EQ(std::nullopt, SymbologyNumber(written));
    }
}

TEST(SymbologyNames, TheTableIsInNumberOrderAndEveryNameIsUnambiguous) {
    const auto table = Symbologies();
    ASSERT_EQ(25u, table.size());
    for (std::size_t i = 0; i < table.size(); ++i) {
        SCOPED_TRACE(std::string(table[i].Name));
        EXPECT_EQ(static_cast<int>(i), table[i].Number);
        EXPECT_EQ(table[i].Number, SymbologyNumber(table[i].Name));
        for (std::string_view alias : SymbologyAliases(table[i]))
            EXPECT_EQ(table[i].Number, SymbologyNumber(alias)) << alias;
        EXPECT_FALSE(table[i].Data.empty());
        EXPECT_FALSE(table[i].CheckDigit.empty());
    }
}

TEST(SymbologyNames, NumbersPassUnchangedAndUnknownNamesListTheNames) {
    for (const char* number : {"14", " 14", "&HE", "1.4e1", "25", "-1", "300"}) {
        SCOPED_TRACE(number);
        EXPECT_EQ(number, BarcodeTypeValue(number));
    }
    EXPECT_EQ("14", BarcodeTypeValue("ean-13"));
    EXPECT_EQ("0", BarcodeTypeValue("2_5_interleaved"));
    for (const char* unknown : {"EAN14", "", "fourteen"}) {
        SCOPED_TRACE(unknown);
        try {
            BarcodeTypeValue(unknown);
            ADD_FAILURE() << "no usage error";
        } catch (const EUsageError& e) {
            const std::string message = e.what();
            EXPECT_NE(std::string::npos, message.find("\"" + std::string(unknown) + "\""));
            for (const TSymbology& symbology : Symbologies())
                EXPECT_NE(std::string::npos, message.find(symbology.Name)) << symbology.Name;
        }
    }
}

TEST(SymbologyNames, OnlyBarcodeTypeSettingsAreTranslated) {
    const std::vector<TPropertySetting> written = {
        {"barcodetype", "Code 128 B"}, {"Data", "EAN13"}, {"BARCODETYPE", "7"},
        {"BarcodeTypes", "EAN13"},     {"Height", "80"},
    };
    const std::vector<TPropertySetting> expected = {
        {"barcodetype", "6"},      {"Data", "EAN13"}, {"BARCODETYPE", "7"},
        {"BarcodeTypes", "EAN13"}, {"Height", "80"},
    };
    EXPECT_EQ(expected, WithSymbologyNumbers(written));
    EXPECT_THROW(WithSymbologyNumbers(std::vector<TPropertySetting>{{"BarcodeType", "EAN-14"}}),
                 EUsageError);
}

TEST(SymbologyNames, TheTextTableHasAHeadAndOneLinePerSymbology) {
    const std::string text = SymbologyTableText();
    std::vector<std::string> lines;
    for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
         start = end + 1)
        lines.push_back(text.substr(start, end - start));
    ASSERT_EQ(26u, lines.size());
    EXPECT_EQ(" #  Name", lines[0].substr(0, 8));
    EXPECT_EQ("14  EAN13 ", lines[15].substr(0, 10));
    EXPECT_EQ(" 0  2_5_interleaved ", lines[1].substr(0, 20));
}

// The web form offers every symbology once, by number.
TEST(SymbologyNames, TheFormOffersEverySymbology) {
    std::string_view page = web::FormPageHtml();
    page.remove_prefix(page.find("<select id=\"BarcodeType\""));
    page = page.substr(0, page.find("</select>"));
    for (const TSymbology& symbology : Symbologies()) {
        const std::string option = "<option value=\"" + std::to_string(symbology.Number) + "\"";
        SCOPED_TRACE(option);
        const std::size_t at = page.find(option);
        ASSERT_NE(std::string_view::npos, at);
        EXPECT_EQ(std::string_view::npos, page.find(option, at + 1));
        EXPECT_NE(page.find(">" + std::string(symbology.Name) + "</option>", at), page.npos);
    }
}

// The help names the formats the hosts accept, and the web form offers only those.
TEST(ImageFormatNames, TheHelpAndTheFormOfferTheAcceptedFormats) {
    const auto help = std::find_if(PropertyHelp().begin(), PropertyHelp().end(),
                                   [](const TPropertyHelp& p) { return p.Name == "ImageTypeStr"; });
    ASSERT_NE(PropertyHelp().end(), help);
    EXPECT_EQ(AcceptedImageFormatNames() + ", any case", help->Values);

    std::string_view page = web::FormPageHtml();
    page.remove_prefix(page.find("<select id=\"ImageTypeStr\""));
    page = page.substr(0, page.find("</select>"));
    int options = 0;
    constexpr std::string_view kOption = "<option value=\"";
    for (std::size_t at = page.find(kOption); at != page.npos; at = page.find(kOption, at)) {
        at += kOption.size();
        const std::string name(page.substr(at, page.find('"', at) - at));
        SCOPED_TRACE(name);
        ++options;
        EXPECT_NO_THROW(WithCheckedImageFormat({{{"ImageTypeStr", name}}}));
    }
    EXPECT_EQ(4, options);
}

const TComponentLibrary& Component() {
    return test::BuiltComponent();
}

// The bound that admits renders holds the widest data of each symbology (for EAN/UPC, which
// pad their digits, the shortest with the longest add-on), at the ratio the bound assumes and
// wider, upright and turned.
TEST(SymbologyNames, ThePixelBoundHoldsEveryRenderedImage) {
    static constexpr const char* kData[] = {"1234567",
                                            "1234567",
                                            "1234567",
                                            "CODE39-X",
                                            "lower~",
                                            "ABC12",
                                            "Quillax~",
                                            "12345",
                                            "CODE93",
                                            "lower~",
                                            "1234567",
                                            "12345",
                                            "123-$:/.+",
                                            "1+12345",
                                            "5+51299",
                                            "1+12345",
                                            "1+12345",
                                            "1+12",
                                            "1",
                                            "1",
                                            "12345",
                                            "12345",
                                            "12345",
                                            "Quillax \xC3\xA9 1234567890",
                                            "(01)09501101530003(10)AB12"};
    static_assert(std::size(kData) == 25);
    // Classic; standard; standard without quiet zones (an outer digit's room); the narrow bar
    // of an X-dimension.
    const std::vector<std::vector<TPropertySetting>> layouts = {
        {},
        {{"Layout", "1"}},
        {{"Layout", "1"}, {"QuietZone", "0"}, {"Height", "60"}},
        {{"Layout", "1"}, {"Resolution", "300"}, {"XDimension", "0.34"}, {"Height", "120"}}};
    for (int type = 0; type < 25; ++type) {
        for (const char* ratio : {"2", "3", "7"}) {
            for (const char* orientation : {"0", "90", "30"}) {
                for (size_t layout = 0; layout < layouts.size(); ++layout) {
                    SCOPED_TRACE(std::to_string(type) + " ratio " + ratio + " at " + orientation +
                                 " layout " + std::to_string(layout));
                    std::vector<TPropertySetting> settings = {{"BarcodeType", std::to_string(type)},
                                                              {"Data", kData[type]},
                                                              {"Checksum", "True"},
                                                              {"ShowText", "True"},
                                                              {"Ratio", ratio},
                                                              {"NarrowBarWidth", "2"},
                                                              {"Height", "40"},
                                                              {"Orientation", orientation}};
                    settings.insert(settings.end(), layouts[layout].begin(), layouts[layout].end());
                    quillax::test::TBodySink sink;
                    const TRenderOutcome outcome = RunBarcodePage(Component(), settings, sink);
                    ASSERT_GE(sink.body.size(), 26u);
                    const auto word = [&](std::size_t at) {
                        return static_cast<double>(static_cast<unsigned char>(sink.body[at]) |
                                                   static_cast<unsigned char>(sink.body[at + 1])
                                                       << 8);
                    };
                    EXPECT_EQ(0, outcome.Result) << outcome.Error;
                    EXPECT_LE(word(18) * word(22), ImagePixelsBound(settings));
                }
            }
        }
    }
}

TEST(PropertyHelp, DefaultsAreWhatTheObjectReportsAfterAPageStart) {
    ComPtr<IDispatch> barcode = Component().CreateObject(CLSID_Quillax);
    StartPage(barcode.Get(), nullptr);
    for (const TPropertyHelp& property : PropertyHelp()) {
        SCOPED_TRACE(std::string(property.Name));
        EXPECT_EQ(property.Default, GetPropertyText(barcode.Get(), property.Name));
    }
}

TEST(PropertyHelp, ListsEveryPropertyOfTheObjectOnce) {
    ComPtr<IDispatch> barcode = Component().CreateObject(CLSID_Quillax);
    const std::vector<std::string> names = PropertyNames(barcode.Get());
    const std::set<std::string> properties(names.begin(), names.end());
    EXPECT_EQ(17u, properties.size());
    EXPECT_EQ(1u, properties.count("BarcodeType"));
    EXPECT_EQ(0u, properties.count("ShowBarcode")); // a method

    // The page seam puts the same properties, in the object's order, through its function table.
    const std::span<const std::string_view> put = PagePropertyNames();
    EXPECT_EQ(names, std::vector<std::string>(put.begin(), put.end()));

    std::set<std::string> listed;
    for (const TPropertyHelp& property : PropertyHelp())
        EXPECT_TRUE(listed.insert(std::string(property.Name)).second) << property.Name;
    EXPECT_EQ(properties, listed);
}

} // namespace
