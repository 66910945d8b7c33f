// The standard layout and the print settings through the object: quiet zones that let a
// reader find the symbol on a dark page, the human-readable line where the symbology prints
// it, text that grows with the module, the resolution recorded in every format, the narrow bar
// of an X-dimension, the settings a render refuses, and SVG.
#include "ObjectTestSupport.h"

#include "tests/support/ImageFiles.h"

#include <ZXing/ReadBarcode.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace quillax::test {
namespace {

using ZXing::BarcodeFormat;

TEncodedBarcode Render(const TBarcodeSetup& setup) {
    TQuillax object;
    Apply(object, setup);
    return object.EncodeBarcode();
}

// The image of a render that must succeed.
TRgbImage Image(TBarcodeSetup setup) {
    setup.ImageTypeStr = "PNG";
    const TEncodedBarcode encoded = Render(setup);
    EXPECT_EQ(TRenderStep::rsNone, encoded.FailedStep) << encoded.FailedMessage;
    return DecodePng(encoded.Image.Bytes());
}

std::string Read(const TRgbImage& image, BarcodeFormat format,
                 ZXing::EanAddOnSymbol addOn = ZXing::EanAddOnSymbol::Ignore) {
    const std::vector<uint8_t> gray = image.Gray();
    ZXing::ImageView view(gray.data(), image.Width, image.Height, ZXing::ImageFormat::Lum);
    ZXing::DecodeHints hints;
    hints.setFormats(format).setTryHarder(true).setTryRotate(false).setEanAddOnSymbol(addOn);
    const ZXing::Result result = ZXing::ReadBarcode(view, hints);
    return result.isValid() ? result.text() : "<not read>";
}

// The image as it lies on a page printed dark around it.
TRgbImage InBlackFrame(const TRgbImage& image) {
    return image.Padded(10, 0);
}

bool Dark(const TRgbImage& image, int x, int y) {
    return image.Luminance(x, y) < 128;
}

int FirstDarkColumn(const TRgbImage& image, int y) {
    for (int x = 0; x < image.Width; ++x)
        if (Dark(image, x, y)) return x;
    return -1;
}

int LastDarkRow(const TRgbImage& image, int x) {
    for (int y = image.Height - 1; y >= 0; --y)
        if (Dark(image, x, y)) return y;
    return -1;
}

// The boxes of the ink in rows top to bottom, one per run of columns that hold ink.
struct TBox {
    int Left, Right, Top, Bottom;
};
std::vector<TBox> InkBoxes(const TRgbImage& image, int top, int bottom) {
    std::vector<TBox> boxes;
    for (int x = 0; x < image.Width; ++x) {
        std::optional<TBox> column;
        for (int y = top; y <= bottom; ++y) {
            if (!Dark(image, x, y)) continue;
            if (!column) column = TBox{x, x, y, y};
            column->Bottom = y;
        }
        if (!column) continue;
        if (!boxes.empty() && boxes.back().Right == x - 1) {
            TBox& box = boxes.back();
            box.Right = x;
            box.Top = std::min(box.Top, column->Top);
            box.Bottom = std::max(box.Bottom, column->Bottom);
        } else {
            boxes.push_back(*column);
        }
    }
    return boxes;
}

struct TSymbolRow {
    const char* Name;
    LONG Type;
    const char* Data;
    int Before; // quiet zones, modules
    int After;
    BarcodeFormat Format; // None: no reader knows it alone
    const char* Carried;
};

const TSymbolRow kSymbols[] = {
    {"EAN-13", bcCodeEAN13, "5901234123457", 11, 7, BarcodeFormat::EAN13, "5901234123457"},
    {"EAN-8", bcCodeEAN8, "96385074", 7, 7, BarcodeFormat::EAN8, "96385074"},
    {"UPC-A", bcCodeUPC_A, "036000291452", 9, 9, BarcodeFormat::UPCA, "036000291452"},
    {"UPC-E0", bcCodeUPC_E0, "123456", 9, 7, BarcodeFormat::UPCE, "01234565"},
    {"UPC-E1", bcCodeUPC_E1, "123456", 9, 7, BarcodeFormat::UPCE, "11234562"},
    {"Code 39", bcCode39, "CODE-39", 10, 10, BarcodeFormat::Code39, "CODE-39"},
    {"Code 128 B", bcCode128B, "Quillax 18", 10, 10, BarcodeFormat::Code128, "Quillax 18"},
    {"Code 128", bcCode128, "ABC123456789", 10, 10, BarcodeFormat::Code128, "ABC123456789"},
    {"GS1-128", bcCodeGS1128, "(01)09501101530003", 10, 10, BarcodeFormat::Code128,
     "0109501101530003"},
    {"Code 93", bcCode93, "CODE93", 10, 10, BarcodeFormat::Code93, "CODE93"},
    {"Interleaved 2 of 5", bcCode_2_5_interleaved, "12345678", 10, 10, BarcodeFormat::ITF,
     "12345678"},
    {"Codabar", bcCodeCodabar, "123456", 10, 10, BarcodeFormat::Codabar, "123456"},
    {"Industrial 2 of 5", bcCode_2_5_industrial, "12345", 10, 10, BarcodeFormat::None, ""},
    {"Matrix 2 of 5", bcCode_2_5_matrix, "12345", 10, 10, BarcodeFormat::None, ""},
    {"MSI", bcCodeMSI, "1234", 10, 10, BarcodeFormat::None, ""},
    {"PostNet", bcCodePostNet, "12345", 7, 7, BarcodeFormat::None, ""},
    {"Add-on 2", bcCodeUPC_Supp2, "12", 7, 5, BarcodeFormat::None, ""},
    {"Add-on 5", bcCodeUPC_Supp5, "52495", 7, 5, BarcodeFormat::None, ""},
};

// The run with its quiet zones, with or without text, and a reader finds the symbol on a dark
// page, where the classic image, bars to the edge, is lost.
TEST(StandardLayout, QuietZonesBesideTheRunLetAReaderFindItInABlackFrame) {
    for (const TSymbolRow& row : kSymbols) {
        for (LONG narrow : {1, 2}) {
            SCOPED_TRACE(std::string(row.Name) + " at " + std::to_string(narrow));
            TBarcodeSetup setup{.BarcodeType = row.Type,
                                .Data = row.Data,
                                .NarrowBarWidth = narrow,
                                .Ratio = 3,
                                .Height = 80};
            const int run = Image(setup).Width;
            setup.Layout = 1;
            EXPECT_EQ(Image(setup).Width, run + (row.Before + row.After) * narrow);
            setup.ShowText = true;
            const TRgbImage image = Image(setup);
            EXPECT_EQ(image.Width, run + (row.Before + row.After) * narrow);
            if (row.Format != BarcodeFormat::None) {
                EXPECT_EQ(row.Carried, Read(InBlackFrame(image), row.Format));
            }
        }
    }
    const TRgbImage classic = Image({.Data = "5901234123457", .NarrowBarWidth = 2});
    EXPECT_EQ("<not read>", Read(InBlackFrame(classic), BarcodeFormat::EAN13));
}

// The outer digits stand in the quiet zones, clear of the guards, and the text grows with
// the module.
TEST(StandardLayout, OuterDigitsStandOutsideTheGuardsAndTheTextFollowsTheModule) {
    struct Row {
        LONG Type;
        const char* Data;
        int Before;
        int Run; // modules
        bool DigitAfter;
    };
    const Row rows[] = {
        {bcCodeEAN13, "5901234123457", 11, 95, false},
        {bcCodeUPC_A, "036000291452", 9, 95, true},
        {bcCodeUPC_E0, "123456", 9, 51, true},
    };
    for (const Row& row : rows) {
        std::vector<int> heights;
        for (LONG narrow : {1, 3}) {
            SCOPED_TRACE(std::string(SymbologyTable[row.Type].Name) + " at " +
                         std::to_string(narrow));
            const TRgbImage image = Image({.BarcodeType = row.Type,
                                           .Data = row.Data,
                                           .NarrowBarWidth = narrow,
                                           .Height = 40 * narrow,
                                           .ShowText = true,
                                           .Layout = 1});
            const int startGuard = row.Before * narrow;
            const int endGuard = startGuard + row.Run * narrow - 1;
            ASSERT_EQ(startGuard, FirstDarkColumn(image, 0));
            // Below the guards only the digits have ink.
            const int guardBottom = LastDarkRow(image, startGuard);
            ASSERT_LT(guardBottom, image.Height - 1);
            const std::vector<TBox> glyphs = InkBoxes(image, guardBottom + 1, image.Height - 1);
            ASSERT_GE(glyphs.size(), 3u);
            EXPECT_LT(glyphs.front().Right, startGuard);
            if (row.DigitAfter) {
                EXPECT_GT(glyphs.back().Left, endGuard);
            }
            // The outer digit's whole height: nothing else has ink in its columns.
            const std::vector<TBox> lead = InkBoxes(image, 0, image.Height - 1);
            heights.push_back(lead.front().Bottom - lead.front().Top + 1);
        }
        EXPECT_GE(heights[0], 6);
        EXPECT_NEAR(heights[1], 3 * heights[0], 3);
    }
}

// Other symbologies' text is centred under the bars, the code sets chosen and the GS1 element
// string as well, and grows with the module; without text the bars take the whole height.
TEST(StandardLayout, CentredTextFollowsTheModuleAndNoTextLeavesNoBand) {
    const struct {
        LONG Type;
        const char* Data;
    } rows[] = {
        {bcCode39, "CODE-39"},
        {bcCode128, "ABC123456789"},
        {bcCodeGS1128, "(01)09501101530003(10)AB12"},
    };
    for (const auto& row : rows) {
        std::vector<int> heights;
        for (LONG narrow : {1, 3}) {
            SCOPED_TRACE(std::string(row.Data) + " at " + std::to_string(narrow));
            TBarcodeSetup setup{.BarcodeType = row.Type,
                                .Data = row.Data,
                                .NarrowBarWidth = narrow,
                                .Height = 40 * narrow,
                                .ShowText = true,
                                .Layout = 1};
            TRgbImage image = Image(setup);
            const int first = FirstDarkColumn(image, 0), barBottom = LastDarkRow(image, first);
            const std::vector<TBox> bars = InkBoxes(image, 0, 0);
            const std::vector<TBox> text = InkBoxes(image, barBottom + 1, image.Height - 1);
            ASSERT_FALSE(text.empty());
            EXPECT_NEAR(text.front().Left + text.back().Right,
                        bars.front().Left + bars.back().Right, 3)
                << "centred under the run";
            int top = image.Height, bottom = 0;
            for (const TBox& box : text) {
                top = std::min(top, box.Top);
                bottom = std::max(bottom, box.Bottom);
            }
            heights.push_back(bottom - top + 1);

            setup.ShowText = false;
            image = Image(setup);
            EXPECT_EQ(image.Height - 1, LastDarkRow(image, FirstDarkColumn(image, 0)));
        }
        EXPECT_GE(heights[0], 6);
        EXPECT_NEAR(heights[1], 3 * heights[0], 3);
    }
}

// A main symbol with its add-on as books, magazines and UPC labels print it: both read (by
// zxing-cpp on a dark page); the gap of 9 modules and the add-on's quiet zone of 5; the add-on's
// digits over its bars, one over each character; the UPC check digit between the end guard and the
// add-on.
TEST(StandardLayout, AnAddOnFollowsItsMainSymbolWithItsDigitsOverItsBars) {
    const struct {
        LONG Type;
        const char* Data;
        int Before, Main; // modules
        BarcodeFormat Format;
        const char* Zxing;
        const char* Zbar;
    } rows[] = {
        {bcCodeEAN13, "590123412345+12", 11, 95, BarcodeFormat::EAN13, "5901234123457 12",
         "EAN-13:5901234123457 EAN-2:12"},
        {bcCodeEAN13, "978030640615+51299", 11, 95, BarcodeFormat::EAN13, "9780306406157 51299",
         "EAN-13:9780306406157 EAN-5:51299"},
        {bcCodeUPC_A, "03600029145+00481", 9, 95, BarcodeFormat::UPCA, "036000291452 00481",
         "EAN-5:00481 UPC-A:036000291452"},
        {bcCodeUPC_E0, "123456+12", 9, 51, BarcodeFormat::UPCE, "01234565 12",
         "EAN-2:12 UPC-E:01234565"},
        {bcCodeEAN8, "1234567+01", 7, 67, BarcodeFormat::EAN8, "12345670 01",
         "EAN-2:01 EAN-8:12345670"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Data);
        constexpr int m = 2;
        const TRgbImage image = Image({.BarcodeType = row.Type,
                                       .Data = row.Data,
                                       .Checksum = true,
                                       .NarrowBarWidth = m,
                                       .Height = 80,
                                       .ShowText = true,
                                       .Layout = 1});
        const std::string data = row.Data;
        const int addOnDigits = int(data.size() - data.find('+') - 1);
        const int addOnModules = addOnDigits == 2 ? 20 : 47;
        EXPECT_EQ(image.Width, (row.Before + row.Main + 9 + addOnModules + 5) * m);
        // zbar wants more than the add-on's 5 modules after it before anything dark.
        EXPECT_EQ(row.Zbar, ReadWithZbar(image.Padded(2 * m)));
        EXPECT_EQ(row.Zxing, Read(InBlackFrame(image), row.Format, ZXing::EanAddOnSymbol::Require));

        const int mainEnd = (row.Before + row.Main) * m - 1, addOnLeft = mainEnd + 1 + 9 * m;
        const int addOnTop = [&] {
            for (int y = 0; y < image.Height; ++y)
                if (Dark(image, addOnLeft, y)) return y;
            return -1;
        }();
        ASSERT_GT(addOnTop, 0);
        EXPECT_EQ(LastDarkRow(image, addOnLeft), LastDarkRow(image, row.Before * m))
            << "the add-on's bars end with the guards";
        std::vector<TBox> over;
        for (const TBox& box : InkBoxes(image, 0, addOnTop - 1))
            if (box.Left > mainEnd) over.push_back(box);
        ASSERT_EQ(size_t(addOnDigits), over.size());
        for (int i = 0; i < addOnDigits; ++i) {
            const int character = addOnLeft + (4 + 9 * i) * m; // 7 modules wide
            EXPECT_GE(over[i].Left + over[i].Right, 2 * character) << i;
            EXPECT_LE(over[i].Left + over[i].Right, 2 * (character + 7 * m)) << i;
        }
        // Between the end guard and the add-on only the UPC check digit has ink.
        std::vector<TBox> gap;
        for (const TBox& box : InkBoxes(image, 0, image.Height - 1))
            if (box.Left > mainEnd && box.Right < addOnLeft) gap.push_back(box);
        const bool upc = row.Type == bcCodeUPC_A || row.Type == bcCodeUPC_E0;
        EXPECT_EQ(upc ? 1u : 0u, gap.size());
    }
    // A bad add-on is refused in this layout as in the classic one.
    const TEncodedBarcode classic = Render({.Data = "978030640615+123", .Checksum = true});
    const TEncodedBarcode standard =
        Render({.Data = "978030640615+123", .Checksum = true, .Layout = 1});
    EXPECT_NE(TRenderStep::rsNone, standard.FailedStep);
    EXPECT_EQ(classic.FailedMessage, standard.FailedMessage);
}

// --- Print settings ---------------------------------------------------------------------------

uint32_t BigEndian(std::span<const uint8_t> b, size_t at, size_t size) {
    uint32_t v = 0;
    for (size_t i = 0; i < size; ++i)
        v = v << 8 | b[at + i];
    return v;
}

uint32_t LittleEndian(std::span<const uint8_t> b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}

// The dots per inch a file records, read from its own header: BMP pixels per metre, the PNG
// pHYs chunk, the JFIF density, the SVG's millimetres.
double RecordedDpi(const std::string& format, std::span<const uint8_t> b) {
    if (format == "BMP") return LittleEndian(b, 38) * 0.0254;
    if (format == "PNG") {
        const std::string text(b.begin(), b.end());
        const size_t at = text.find("pHYs");
        if (at == std::string::npos || b[at + 12] != 1) return 0;
        return BigEndian(b, at + 4, 4) * 0.0254;
    }
    if (format == "JPEG") return b[13] == 1 ? BigEndian(b, 14, 2) : 0;
    const std::string svg(b.begin(), b.end());
    const size_t width = svg.find("width=\""), box = svg.find("viewBox=\"0 0 ");
    const double millimetres = std::stod(svg.substr(width + 7));
    return std::stod(svg.substr(box + 13)) * 25.4 / millimetres;
}

TEST(PrintSettings, TheResolutionIsRecordedInEveryFormatAndLayout) {
    for (const char* format : {"BMP", "PNG", "JPEG", "SVG"}) {
        for (LONG layout : {0, 1}) {
            SCOPED_TRACE(std::string(format) + " layout " + std::to_string(layout));
            const TEncodedBarcode encoded = Render({.Data = "5901234123457",
                                                    .ImageTypeStr = format,
                                                    .Layout = layout,
                                                    .Resolution = 300});
            ASSERT_EQ(TRenderStep::rsNone, encoded.FailedStep);
            EXPECT_NEAR(300, RecordedDpi(format, encoded.Image.Bytes()), 0.1);
        }
    }
}

// round(XDimension x Resolution / 25.4) pixels, at least 1, in place of NarrowBarWidth, and
// the X-dimension the image has at its resolution; without a resolution nothing is physical.
TEST(PrintSettings, AnXDimensionGivesTheNarrowBarAtTheResolution) {
    struct Row {
        DOUBLE XDimension;
        LONG Resolution;
        LONG NarrowBarWidth;
        int Pixels;
        DOUBLE Actual;
    };
    const Row rows[] = {
        {0.33, 300, 1, 4, 0.338667}, {0.25, 203, 1, 2, 0.250246}, {0.5, 600, 1, 12, 0.508},
        {0.01, 300, 3, 1, 0.084667}, {0, 600, 3, 3, 0.127},       {0.33, 0, 2, 2, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.XDimension) + " mm at " + std::to_string(row.Resolution));
        TQuillax object;
        Apply(object, {.Data = "5901234123457",
                       .NarrowBarWidth = row.NarrowBarWidth,
                       .Resolution = row.Resolution,
                       .XDimension = row.XDimension});
        DOUBLE actual = -1;
        ASSERT_HR(S_OK, object.get_ActualXDimension(&actual));
        EXPECT_NEAR(row.Actual, actual, 1e-6);
        ASSERT_HR(S_OK, object.put_ImageTypeStr(MakeBstr("PNG").get()));
        EXPECT_EQ(95 * row.Pixels, DecodePng(object.EncodeBarcode().Image.Bytes()).Width);
    }
}

// Settings outside their values fail the sizing step with a message that names them.
TEST(PrintSettings, SettingsOutsideTheirValuesFailTheSizingStep) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::string ean13 = "5901234123457";
    const struct {
        TBarcodeSetup Setup;
        const char* Named;
    } rows[] = {
        {{.Data = ean13, .Layout = 2}, "Layout"},
        {{.Data = ean13, .Layout = 1, .QuietZone = -2}, "QuietZone"},
        {{.Data = ean13, .Resolution = -1}, "Resolution"},
        {{.Data = ean13, .Layout = 1, .Resolution = 65536}, "Resolution"},
        {{.Data = ean13, .XDimension = -0.1}, "XDimension"},
        {{.Data = ean13, .Layout = 1, .Resolution = 300, .XDimension = nan}, "XDimension"},
        {{.Data = ean13,
          .Height = 20,
          .ShowText = true,
          .Layout = 1,
          .Resolution = 300,
          .XDimension = 0.5},
         "leaves no room for the bars"},
        // Room for the main symbol's bars, none for the add-on's under its digits.
        {{.Data = "978030640615+12",
          .Checksum = true,
          .NarrowBarWidth = 2,
          .Height = 30,
          .ShowText = true,
          .Layout = 1},
         "leaves no room for the bars"},
    };
    for (auto row : rows) {
        SCOPED_TRACE(row.Named);
        const TEncodedBarcode encoded = Render(row.Setup);
        EXPECT_EQ(TRenderStep::rsWidth, encoded.FailedStep);
        EXPECT_NE(std::string::npos, encoded.FailedMessage.find(row.Named))
            << encoded.FailedMessage;
    }
}

// The standard layout's error image holds the whole of what LastError says, in the bars'
// colour on the background, with the margins of a quiet zone.
TEST(StandardLayout, TheErrorImageHoldsItsWholeMessage) {
    TQuillax object;
    Apply(object,
          {.Data = "59012341234X", .NarrowBarWidth = 2, .ImageTypeStr = "PNG", .Layout = 1});
    const TEncodedBarcode encoded = object.EncodeBarcode();
    ASSERT_EQ(TRenderStep::rsWidth, encoded.FailedStep);
    const TRgbImage image = DecodePng(encoded.Image.Bytes());
    const std::vector<TBox> ink = InkBoxes(image, 0, image.Height - 1);
    ASSERT_FALSE(ink.empty());
    EXPECT_EQ(20, ink.front().Left - 1) << "a quiet zone of 10 modules";
    EXPECT_EQ(image.Width - 21, ink.back().Right + 1);
    EXPECT_GT(ink.front().Top, 0);
    EXPECT_LT(ink.back().Bottom, image.Height - 1);
    // Wider than the classic image, by as much as the message needs.
    EXPECT_GT(image.Width, 8 * static_cast<int>(encoded.FailedMessage.size()));
}

// --- SVG --------------------------------------------------------------------------------------

std::string Svg(TBarcodeSetup setup) {
    setup.ImageTypeStr = "SVG";
    const TEncodedBarcode encoded = Render(setup);
    EXPECT_EQ(TRenderStep::rsNone, encoded.FailedStep) << encoded.FailedMessage;
    return {encoded.Image.Bytes().begin(), encoded.Image.Bytes().end()};
}

std::span<const uint8_t> Bytes(const std::string& text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

// Without text, rasterised by an independent renderer, the SVG is the PNG pixel for pixel, in
// both layouts and turned.
TEST(SvgThroughTheObject, WithoutTextItRasterisesToThePng) {
    const TBarcodeSetup setups[] = {
        {.Data = "5901234123457", .NarrowBarWidth = 2, .Layout = 1},
        {.BarcodeType = bcCode39, .Data = "CODE-39", .Ratio = 3, .Orientation = 90, .Layout = 1},
        {.BarcodeType = bcCode128B, .Data = "Quillax", .NarrowBarWidth = 2, .Orientation = 30},
        {.BarcodeType = bcCodeUPC_A,
         .Data = "036000291452",
         .Orientation = 180,
         .Layout = 1,
         .Resolution = 300},
    };
    for (const TBarcodeSetup& setup : setups) {
        SCOPED_TRACE(std::string(SymbologyTable[setup.BarcodeType].Name) + " at " +
                     std::to_string(setup.Orientation));
        const TRgbImage png = Image(setup);
        const TRgbImage svg = RasteriseSvg(Bytes(Svg(setup)), setup.Resolution);
        ASSERT_EQ(svg.Width, png.Width);
        ASSERT_EQ(svg.Height, png.Height);
        EXPECT_EQ(svg.Rgb, png.Rgb);
    }
}

// With text the label is SVG text, escaped, in the faces the raster uses; the document parses
// (the renderer refuses one that does not) and reads back as the data.
TEST(SvgThroughTheObject, TheLabelIsEscapedTextAndTheSymbolReads) {
    const std::string code128 = Svg({.BarcodeType = bcCode128B,
                                     .Data = "A&B<C>\"'",
                                     .NarrowBarWidth = 2,
                                     .ShowText = true,
                                     .Layout = 1});
    EXPECT_NE(std::string::npos, code128.find(">A&amp;B&lt;C&gt;&quot;&apos;</text>")) << code128;
    EXPECT_EQ("A&B<C>\"'", Read(RasteriseSvg(Bytes(code128)).Padded(10), BarcodeFormat::Code128));

    const std::string ean13 =
        Svg({.Data = "5901234123457", .NarrowBarWidth = 2, .ShowText = true, .Layout = 1});
    EXPECT_NE(std::string::npos, ean13.find("font-family=\"'OCR B', 'Arial'\"")) << ean13;
    EXPECT_EQ("5901234123457", Read(RasteriseSvg(Bytes(ean13)), BarcodeFormat::EAN13));
    EXPECT_EQ(std::string::npos, ean13.find("<script"));
}

} // namespace
} // namespace quillax::test
