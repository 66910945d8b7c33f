// Every byte of a broad, fixed set of renders, held against digests committed beside this
// file: optimisations must leave each output as it was, and a deliberate change of output
// shows up as exactly the lines of RenderDigests.txt that it changes.
//
// To record the digests anew after a deliberate change of output:
//   QUILLAX_WRITE_DIGESTS=tests/object/RenderDigests.txt build/bin/object_tests
//       --gtest_filter='RenderDigests.*'
// (one command line, run from the repository's top folder).
#include "ObjectTestSupport.h"
#include "tests/support/RenderTables.h"

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <utility>
#include <vector>

namespace quillax::test {
namespace {

constexpr int32_t kOrientations[] = {0, 90, 180, 270, 33};

// One render: the properties a page sets after its page start.
struct TDigestCase {
    std::string Name;
    LONG BarcodeType = 14;
    std::string Data;
    bool Checksum = true;
    bool ShowText = false;
    LONG NarrowBarWidth = 1;
    LONG Ratio = 2;
    LONG Height = 50;
    INT Orientation = 0;
    LONG BGColor = 0xFFFFFF;
    LONG BarColor = 0;
    std::string ImageTypeStr = "BMP";
    bool PageStart = true;
    // The print settings; the values below leave them unset.
    LONG Layout = 0;
    LONG QuietZone = -1;
    LONG Resolution = 0;
    DOUBLE XDimension = 0;
};

std::string CaseName(const TDigestCase& c) {
    std::ostringstream name;
    name << "t" << c.BarcodeType << "/" << c.ImageTypeStr << "/" << (c.ShowText ? "text" : "bars")
         << "/m" << c.NarrowBarWidth << "/r" << c.Ratio << "/o" << c.Orientation;
    return name.str();
}

// Every symbology in every format, with and without the label, at narrow widths 1 to 3,
// ratios 2 and 3 and five orientations.
void AddSymbologyGrid(std::vector<TDigestCase>& cases) {
    for (LONG type = 0; type < kBarcodeTypeCount; ++type)
        for (const char* format : kFormats)
            for (bool text : {false, true})
                for (LONG modul = 1; modul <= 3; ++modul)
                    for (LONG ratio : {2, 3})
                        for (INT orientation : kOrientations) {
                            TDigestCase c;
                            c.BarcodeType = type;
                            c.Data = kDataByType[type];
                            c.ImageTypeStr = format;
                            c.ShowText = text;
                            c.NarrowBarWidth = modul;
                            c.Ratio = ratio;
                            c.Orientation = orientation;
                            c.Name = CaseName(c);
                            cases.push_back(c);
                        }
}

// Colours (explicit and a system colour), other heights, and check digits off.
void AddVariations(std::vector<TDigestCase>& cases) {
    struct TColours {
        const char* Name;
        LONG Background;
        LONG Bars;
    };
    const TColours colours[] = {
        {"yellow-on-navy", 0x00FFFF, 0x800000},
        {"system-window-on-red", static_cast<LONG>(0x80000005u), 0x0000FF},
        {"grey-on-green", 0x808080, 0x00A000},
    };
    for (LONG type : {3, 6, 11, 14, 15})
        for (const TColours& colour : colours)
            for (const char* format : kFormats)
                for (INT orientation : {0, 33}) {
                    TDigestCase c;
                    c.BarcodeType = type;
                    c.Data = kDataByType[type];
                    c.ShowText = true;
                    c.BGColor = colour.Background;
                    c.BarColor = colour.Bars;
                    c.ImageTypeStr = format;
                    c.Orientation = orientation;
                    c.Name = CaseName(c) + "/" + colour.Name;
                    cases.push_back(c);
                }
    for (LONG type : {0, 3, 6, 13, 14, 16, 19})
        for (LONG height : {1, 7, 17, 23, 200})
            for (const char* format : kFormats) {
                TDigestCase c;
                c.BarcodeType = type;
                c.Data = kDataByType[type];
                c.ShowText = true;
                c.Height = height;
                c.ImageTypeStr = format;
                c.Name = CaseName(c) + "/h" + std::to_string(height);
                cases.push_back(c);
            }
    for (LONG type = 0; type < kBarcodeTypeCount; ++type)
        for (bool text : {false, true}) {
            TDigestCase c;
            c.BarcodeType = type;
            c.Data = type == bcCodeEAN128A   ? "EAN128A"
                     : type == bcCodeEAN128B ? "Ean128b"
                                             : kDataByType[type];
            c.Checksum = false;
            c.ShowText = text;
            c.ImageTypeStr = "PNG";
            c.Name = CaseName(c) + "/no-checksum";
            cases.push_back(c);
        }
}

// Renders that fail a step, or that the writers meet at their edges.
void AddErrorsAndEdges(std::vector<TDigestCase>& cases) {
    struct TEdge {
        const char* Name;
        LONG BarcodeType;
        const char* Data;
        LONG NarrowBarWidth;
        LONG Height;
        INT Orientation;
        bool ShowText;
    };
    const TEdge edges[] = {
        {"letters-in-numeric", 14, "12a4", 1, 50, 0, true},
        {"unknown-type", 25, "1234", 1, 50, 0, false},
        {"narrow-width-0", 6, "ABC", 0, 50, 0, false},
        {"narrow-width-200", 6, "ABC", 200, 50, 0, false},
        {"height-0", 14, "590123412345", 1, 0, 0, false},
        {"height-negative", 14, "590123412345", 1, -5, 0, true},
        {"code93-bad-data", 8, "abc", 1, 50, 0, true},
        {"ean13-too-long", 14, "12345678901234", 1, 50, 0, true},
        {"orientation-360", 14, "590123412345", 1, 50, 360, true},
        {"orientation-minus-90", 14, "590123412345", 1, 50, -90, true},
        {"orientation-450", 6, "ABC", 1, 50, 450, true},
        {"empty-data", 6, "", 1, 50, 0, true},
        {"wide-code128", 6, "QUILLAX-2024-0001234-QUILLAX-2024", 2, 60, 0, true},
    };
    for (const TEdge& edge : edges)
        for (const char* format : kFormats) {
            TDigestCase c;
            c.BarcodeType = edge.BarcodeType;
            c.Data = edge.Data;
            c.NarrowBarWidth = edge.NarrowBarWidth;
            c.Height = edge.Height;
            c.Orientation = edge.Orientation;
            c.ShowText = edge.ShowText;
            c.ImageTypeStr = format;
            c.Name = std::string("edge/") + edge.Name + "/" + format;
            cases.push_back(c);
        }
    const std::pair<const char*, const char*> names[] = {
        {"GIF", "GIF"}, {"png", "lower-png"}, {" PNG", "blank-PNG"}};
    for (const auto& [format, name] : names) {
        TDigestCase c;
        c.Data = kDataByType[14];
        c.ImageTypeStr = format;
        c.Name = std::string("format-name/") + name;
        cases.push_back(c);
    }
    TDigestCase fresh; // an object that never saw a page start: zero properties
    fresh.PageStart = false;
    fresh.Data = "1234";
    fresh.Name = "no-page-start";
    cases.push_back(fresh);
}

// The print settings: both layouts with add-ons, SVG, quiet zones, resolution, X-dimension.
void AddPrintSettings(std::vector<TDigestCase>& cases) {
    const std::pair<LONG, const char*> data[] = {
        {0, kDataByType[0]},   {3, kDataByType[3]},     {6, kDataByType[6]},
        {11, kDataByType[11]}, {12, kDataByType[12]},   {13, kDataByType[13]},
        {14, kDataByType[14]}, {15, kDataByType[15]},   {16, kDataByType[16]},
        {18, kDataByType[18]}, {23, kDataByType[23]},   {24, kDataByType[24]},
        {13, "1234567+12"},    {14, "590123412345+12"}, {15, "03600029145+12345"},
        {17, "123456+12345"},
    };
    for (size_t row = 0; row < std::size(data); ++row)
        for (LONG layout : {0, 1})
            for (const char* format : {"BMP", "PNG", "JPEG", "SVG"})
                for (bool showText : {false, true})
                    for (INT orientation : {0, 90, 33}) {
                        TDigestCase c;
                        c.BarcodeType = data[row].first;
                        c.Data = data[row].second;
                        c.ShowText = showText;
                        c.Layout = layout;
                        c.ImageTypeStr = format;
                        c.Orientation = orientation;
                        c.Name = "print/" + CaseName(c) + "/l" + std::to_string(layout) + "/d" +
                                 std::to_string(row);
                        cases.push_back(c);
                    }
    struct TPrint {
        const char* Name;
        LONG QuietZone;
        LONG Resolution;
        DOUBLE XDimension;
        LONG NarrowBarWidth;
    };
    const TPrint prints[] = {
        {"quiet-0", 0, 0, 0, 2},
        {"quiet-25", 25, 0, 0, 1},
        {"dpi-300", -1, 300, 0, 3},
        {"x-0.25mm-at-300", -1, 300, 0.25, 1},
    };
    for (const TPrint& print : prints)
        for (LONG type : {6, 14, 23})
            for (const char* format : {"BMP", "PNG", "JPEG", "SVG"}) {
                TDigestCase c;
                c.BarcodeType = type;
                c.Data = kDataByType[type];
                c.ShowText = true;
                c.Layout = 1;
                c.QuietZone = print.QuietZone;
                c.Resolution = print.Resolution;
                c.XDimension = print.XDimension;
                c.NarrowBarWidth = print.NarrowBarWidth;
                c.ImageTypeStr = format;
                c.Name = "print/" + CaseName(c) + "/" + print.Name;
                cases.push_back(c);
            }
}

std::vector<TDigestCase> AllCases() {
    std::vector<TDigestCase> cases;
    AddSymbologyGrid(cases);
    AddVariations(cases);
    AddErrorsAndEdges(cases);
    AddPrintSettings(cases);
    return cases;
}

// 64-bit FNV-1a over the bytes, with their count.
std::string DigestOf(std::span<const uint8_t> bytes) {
    uint64_t hash = 0xcbf29ce484222325ull;
    for (uint8_t b : bytes)
        hash = (hash ^ b) * 0x100000001b3ull;
    char text[48];
    std::snprintf(text, sizeof text, "%016llx:%zu", static_cast<unsigned long long>(hash),
                  bytes.size());
    return text;
}

// The image bytes and the failed step of one render, as ShowBarcode and SaveBarcode make them.
std::string Render(const TDigestCase& c) {
    TQuillax object;
    if (c.PageStart) {
        EXPECT_HR(S_OK, object.OnStartPage(nullptr));
        object.put_BarcodeType(c.BarcodeType);
        object.put_Checksum(c.Checksum ? VARIANT_TRUE : VARIANT_FALSE);
        object.put_ShowText(c.ShowText ? VARIANT_TRUE : VARIANT_FALSE);
        object.put_NarrowBarWidth(c.NarrowBarWidth);
        object.put_Ratio(c.Ratio);
        object.put_Height(c.Height);
        object.put_Orientation(c.Orientation);
        object.put_BGColor(c.BGColor);
        object.put_BarColor(c.BarColor);
        object.put_ImageTypeStr(MakeBstr(c.ImageTypeStr).get());
        if (c.Layout != 0) object.put_Layout(c.Layout);
        if (c.QuietZone != -1) object.put_QuietZone(c.QuietZone);
        if (c.Resolution != 0) object.put_Resolution(c.Resolution);
        if (c.XDimension != 0) object.put_XDimension(c.XDimension);
    }
    object.put_Data(MakeBstr(c.Data).get());
    const TEncodedBarcode encoded = object.EncodeBarcode();
    return DigestOf(encoded.Image.Bytes()) + " step" +
           std::to_string(static_cast<int>(encoded.FailedStep));
}

std::string DigestFilePath() {
    return std::string(QUILLAX_TEST_SOURCE_DIR) + "/RenderDigests.txt";
}

std::map<std::string, std::string> ReadDigests(const std::string& path) {
    std::map<std::string, std::string> digests;
    std::ifstream in(path);
    std::string name, digest, step;
    while (in >> name >> digest >> step)
        digests[name] = digest + " " + step;
    return digests;
}

TEST(RenderDigests, EveryOutputIsByteForByteTheRecordedOne) {
    const std::vector<TDigestCase> cases = AllCases();
    if (const char* out = std::getenv("QUILLAX_WRITE_DIGESTS")) {
        std::ofstream file(out);
        for (const TDigestCase& c : cases)
            file << c.Name << " " << Render(c) << "\n";
        GTEST_SKIP() << "recorded " << cases.size() << " digests into " << out;
    }
    const auto recorded = ReadDigests(DigestFilePath());
    ASSERT_EQ(cases.size(), recorded.size()) << "digest file " << DigestFilePath();
    size_t differing = 0;
    for (const TDigestCase& c : cases) {
        const auto found = recorded.find(c.Name);
        ASSERT_NE(found, recorded.end()) << "no digest recorded for " << c.Name;
        const std::string actual = Render(c);
        if (actual != found->second && ++differing <= 20)
            ADD_FAILURE() << c.Name << ": recorded " << found->second << ", now " << actual;
    }
    EXPECT_EQ(0u, differing) << "renders differ from the recorded digests";
}

} // namespace
} // namespace quillax::test
