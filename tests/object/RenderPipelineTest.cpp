// The render pipeline: what reaches the engine, the size of the surface, and the error
// image with its step code when a step fails.
#include "ObjectTestSupport.h"

#include "object/RenderPipeline.h"
#include "tests/support/ImageFiles.h"

namespace quillax::test {
namespace {

TQuillaxProperties Ean13(const std::string& data) {
    TQuillaxProperties p = PageStartProperties(data);
    p.Ratio = 2;
    return p;
}

// The BMP file of a render.
std::vector<uint8_t> BmpOf(const TQuillaxProperties& properties) {
    TMemoryStream bytes;
    EncodeImage(*RenderBarcode(properties).Surface, TImageType::itBMP, bytes);
    return {bytes.Bytes().begin(), bytes.Bytes().end()};
}

TEST(EngineTransfer, RatioAndHeightReachTheEngineOnlyWhenPositive) {
    struct Row {
        int32_t Ratio;
        int32_t Height;
        double EngineRatio;
        int32_t EngineHeight;
    };
    const Row rows[] = {
        {0, 0, 2.0, 0},
        {-3, -5, 2.0, 0},
        {1, 1, 1.0, 1},
        {3, 50, 3.0, 50},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE("Ratio " + std::to_string(row.Ratio) + ", Height " +
                     std::to_string(row.Height));
        TQuillaxProperties p = PageStartProperties("");
        p.Ratio = row.Ratio;
        p.Height = row.Height;
        TBarcodeEngine engine;
        TransferProperties(p, engine);
        EXPECT_EQ(row.EngineRatio, engine.Ratio);
        EXPECT_EQ(row.EngineHeight, engine.Height);
    }
}

TEST(EngineTransfer, OtherPropertiesReachTheEngineUnchanged) {
    TQuillaxProperties p;
    p.Data = "not transferred with the settings";
    p.Checksum = true;
    p.BarcodeType = 25;
    p.Orientation = -45;
    p.NarrowBarWidth = 0;
    p.BGColor = 0x123456;
    p.BarColor = static_cast<TColor>(0x80000005u);
    p.ChecksumMethod = 7;
    TBarcodeEngine engine;
    TransferProperties(p, engine);
    EXPECT_TRUE(engine.Checksum);
    EXPECT_EQ(25, static_cast<int>(engine.Typ));
    EXPECT_EQ(-45.0, engine.Angle);
    EXPECT_EQ(0, engine.Modul);
    EXPECT_EQ(0x123456, engine.Color);
    EXPECT_EQ(static_cast<TColor>(0x80000005u), engine.ColorBar);
    EXPECT_EQ(7, static_cast<int>(engine.CheckSumMethod));
    EXPECT_EQ("", engine.Text);
}

// The surface of a render that succeeds holds the barcode turned at scale 1: the measured
// width by Height upright, Height by the width lying, otherwise the turned bounding box of
// the upright picture rounded up; the label takes no room of its own.
TEST(RenderPipeline, SurfaceHoldsTheTurnedBarcodeAtScaleOne) {
    struct Row {
        const char* Name;
        uint8_t Type;
        const char* Data;
        int32_t Orientation;
        bool ShowText;
        int32_t Height;
        int32_t Width, SurfaceHeight;
    };
    const Row rows[] = {
        {"EAN-13", bcCodeEAN13, "123456789012", 0, false, 50, 95, 50},
        {"EAN-13 with text", bcCodeEAN13, "123456789012", 0, true, 50, 95, 50},
        {"EAN-13 at 90", bcCodeEAN13, "123456789012", 90, false, 50, 50, 95},
        {"EAN-13 at -90", bcCodeEAN13, "123456789012", -90, true, 50, 50, 95},
        {"EAN-13 at 45 with text", bcCodeEAN13, "123456789012", 45, true, 50, 103, 103},
        {"EAN-13 at 33", bcCodeEAN13, "123456789012", 33, false, 50, 107, 94},
        {"EAN-13 at 300", bcCodeEAN13, "123456789012", 300, false, 50, 91, 108},
        {"EAN-8 at 135", bcCodeEAN8, "1234567", 135, true, 60, 90, 90},
        {"Code 128 B", bcCode128B, "A", 180, true, 40, 11 + 11 + 11 + 13, 40},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Name);
        TQuillaxProperties p = Ean13(row.Data);
        p.BarcodeType = row.Type;
        p.Orientation = row.Orientation;
        p.ShowText = row.ShowText;
        p.Height = row.Height;
        p.Checksum = true;
        TRenderResult render = RenderBarcode(p);
        EXPECT_EQ(TRenderStep::rsNone, render.FailedStep);
        EXPECT_EQ(row.Width, render.Surface->Width());
        EXPECT_EQ(row.SurfaceHeight, render.Surface->Height());
    }
}

TEST(RenderPipeline, BarsAndSpacesTakeTheObjectsColours) {
    TQuillaxProperties p = Ean13("123456789012");
    p.Checksum = true;
    p.BGColor = 0x00FFFF;  // yellow
    p.BarColor = 0xFF0000; // blue
    TRenderResult render = RenderBarcode(p);
    ASSERT_EQ(TRenderStep::rsNone, render.FailedStep);
    // The start guard: bar, space, bar.
    EXPECT_EQ(0xFF0000, render.Surface->Pixel(0, 10));
    EXPECT_EQ(0x00FFFF, render.Surface->Pixel(1, 10));
    EXPECT_EQ(0xFF0000, render.Surface->Pixel(2, 10));
}

// The pixel of the 0-degree surface that a quarter turn, counter-clockwise (90 degrees) or
// clockwise (270), carries to (x, y).
TColor TurnedAQuarter(const TBitmap& upright, bool counterClockwise, int32_t x, int32_t y) {
    return counterClockwise ? upright.Pixel(upright.Width() - 1 - y, x)
                            : upright.Pixel(y, upright.Height() - 1 - x);
}

// Rendered at 90 or 270 degrees a barcode is its 0-degree image turned a quarter, pixel for
// pixel: bars, spaces and the label band with its boxes; only the label's glyphs (the rows
// of the text cells) may differ.
TEST(RenderPipeline, RightAnglesAreTheUprightImageTurnedExactly) {
    struct Row {
        uint8_t Type;
        const char* Data;
    } const rows[] = {
        {bcCodeEAN13, "5901234123457"}, {bcCodeUPC_A, "036000291452"}, {bcCode39, "CODE-39"},
        {bcCode128B, "Quillax"},        {bcCodePostNet, "12345"},
    };
    for (const Row& row : rows)
        for (int32_t narrow : {1, 2})
            for (bool showText : {false, true})
                for (int32_t orientation : {90, 270}) {
                    SCOPED_TRACE(std::string(row.Data) + ", NarrowBarWidth " +
                                 std::to_string(narrow) + (showText ? ", label" : "") + ", at " +
                                 std::to_string(orientation));
                    TQuillaxProperties p = Ean13(row.Data);
                    p.BarcodeType = row.Type;
                    p.NarrowBarWidth = narrow;
                    p.ShowText = showText;
                    p.BGColor = 0x00FFFF;
                    const TRenderResult upright = RenderBarcode(p);
                    p.Orientation = orientation;
                    const TRenderResult lying = RenderBarcode(p);
                    ASSERT_EQ(TRenderStep::rsNone, lying.FailedStep);
                    const TBitmap& turned = *lying.Surface;
                    ASSERT_EQ(upright.Surface->Height(), turned.Width());
                    ASSERT_EQ(upright.Surface->Width(), turned.Height());
                    // The text cells: the lowest 14 rows of the upright picture, turned.
                    const int32_t cells = 14;
                    for (int32_t y = 0; y < turned.Height(); ++y)
                        for (int32_t x = 0; x < turned.Width(); ++x) {
                            const bool inText =
                                showText &&
                                (orientation == 90 ? x >= turned.Width() - cells : x < cells);
                            if (inText) continue;
                            ASSERT_EQ(TurnedAQuarter(*upright.Surface, orientation == 90, x, y),
                                      turned.Pixel(x, y))
                                << "at (" << x << ", " << y << ")";
                        }
                }
}

// Every pixel that is not a bar or the label's text is the background colour, the label
// band included, whether or not the label is shown; the label is drawn in the bars' colour
// (anti-aliased glyphs blend the two), so white bars on black show white text.
TEST(RenderPipeline, EveryPixelIsABarTheLabelOrTheBackground) {
    struct Row {
        const char* Name;
        uint8_t Type;
        const char* Data;
        bool ShowText;
        int32_t Orientation;
        TColor Background, Bars;
    } const rows[] = {
        {"yellow, no label", bcCode39, "CODE-39", false, 0, 0x00FFFF, 0x000000},
        {"yellow EAN-13, no label", bcCodeEAN13, "5901234123457", false, 0, 0x00FFFF, 0x800000},
        {"white on black", bcCodeEAN13, "5901234123457", true, 0, 0x000000, 0xFFFFFF},
        {"white on black, Code 128", bcCode128B, "Quillax", true, 0, 0x000000, 0xFFFFFF},
        {"yellow at 90", bcCodeEAN13, "5901234123457", true, 90, 0x00FFFF, 0x000000},
        {"white on black at 33", bcCode128B, "Quillax", true, 33, 0x000000, 0xFFFFFF},
        {"yellow at 300", bcCodePostNet, "12345", false, 300, 0x00FFFF, 0x800000},
    };
    auto between = [](int v, int a, int b) { return v >= std::min(a, b) && v <= std::max(a, b); };
    auto Distance = [](TColor a, TColor b) {
        return std::abs(RedOf(a) - RedOf(b)) + std::abs(GreenOf(a) - GreenOf(b)) +
               std::abs(BlueOf(a) - BlueOf(b));
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        TQuillaxProperties p = Ean13(row.Data);
        p.BarcodeType = row.Type;
        p.ShowText = row.ShowText;
        p.Orientation = row.Orientation;
        p.BGColor = row.Background;
        p.BarColor = row.Bars;
        p.Checksum = row.Type == bcCodePostNet;
        const TRenderResult render = RenderBarcode(p);
        ASSERT_EQ(TRenderStep::rsNone, render.FailedStep);
        const TBitmap& surface = *render.Surface;
        int32_t blended = 0;
        for (int32_t y = 0; y < surface.Height(); ++y)
            for (int32_t x = 0; x < surface.Width(); ++x) {
                const TColor c = surface.Pixel(x, y);
                if (c == row.Background || c == row.Bars) continue;
                ++blended;
                ASSERT_TRUE(row.ShowText) << "(" << x << ", " << y << ") is 0x" << std::hex << c;
                ASSERT_TRUE(between(RedOf(c), RedOf(row.Background), RedOf(row.Bars)) &&
                            between(GreenOf(c), GreenOf(row.Background), GreenOf(row.Bars)) &&
                            between(BlueOf(c), BlueOf(row.Background), BlueOf(row.Bars)))
                    << "(" << x << ", " << y << ") is 0x" << std::hex << c;
            }
        if (row.Orientation != 0) continue;
        // Upright, the text cells in the band's lowest 14 rows, below columns that the band
        // clears of bars: the label's ink, nearer the bars' colour, or nothing.
        const int32_t bottom = surface.Height();
        int32_t ink = 0;
        for (int32_t x = 0; x < surface.Width(); ++x)
            for (int32_t y = bottom - 14;
                 y < bottom && surface.Pixel(x, bottom - 15) == row.Background; ++y)
                ink += Distance(surface.Pixel(x, y), row.Bars) <
                       Distance(surface.Pixel(x, y), row.Background);
        if (row.ShowText) {
            EXPECT_GT(ink, 10);
            EXPECT_GT(blended, 10);
        } else {
            EXPECT_EQ(0, ink);
        }
    }
}

// An image with nothing on it but the error text at (0, 5).
void ExpectErrorImage(const TBitmap& surface, int32_t width, int32_t height) {
    ASSERT_EQ(width, surface.Width());
    ASSERT_EQ(height, surface.Height());
    int dark = 0;
    int darkAtRightEdge = 0;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const TColor c = surface.Pixel(x, y);
            const bool isDark = (RedOf(c) + GreenOf(c) + BlueOf(c)) < 3 * 128;
            if (!isDark) continue;
            ASSERT_GE(y, 5) << "dark pixel above the text at x " << x;
            ASSERT_LT(y, 5 + 16) << "dark pixel below the text at x " << x;
            ++dark;
            if (x >= width - 4) ++darkAtRightEdge;
        }
    }
    EXPECT_GT(dark, 20);
    EXPECT_GT(darkAtRightEdge, 0) << "the text runs on past the right edge";
}

TEST(RenderPipeline, FailuresLeaveTheErrorTextAndTheLastStepsCode) {
    struct Row {
        const char* Name;
        uint8_t Type;
        const char* Data;
        int32_t NarrowBarWidth;
        TRenderStep Failed;
    };
    const Row rows[] = {
        {"letters in EAN-13 data", bcCodeEAN13, "12345ABC", 1, TRenderStep::rsDraw},
        {"symbology 25", 25, "123456789012", 1, TRenderStep::rsDraw},
        {"symbology 255", 255, "", 1, TRenderStep::rsDraw},
        {"fourteen EAN-13 digits", bcCodeEAN13, "12345678901234", 1, TRenderStep::rsDraw},
        {"thirteen UPC-A digits", bcCodeUPC_A, "0360002914521", 1, TRenderStep::rsDraw},
        {"three digits for the two-digit add-on", bcCodeUPC_Supp2, "123", 1, TRenderStep::rsDraw},
        {"bad Code 93 character", bcCode93, "lower", 1, TRenderStep::rsDraw},
        {"shift character in Code 93", bcCode93, "A[B", 1, TRenderStep::rsDraw},
        {"start and stop letters in Codabar", bcCodeCodabar, "A12B", 1, TRenderStep::rsDraw},
        {"letter in Code 128 C", bcCode128C, "121A", 1, TRenderStep::rsDraw},
        {"lower case in Code 128 A", bcCode128A, "abc", 1, TRenderStep::rsDraw},
        {"lower case in Code 39", bcCode39, "abc", 1, TRenderStep::rsDraw},
        {"start character inside Code 39", bcCode39, "AB*CD", 1, TRenderStep::rsDraw},
        {"narrow width beyond the line widths", bcCode128B, "ABC", 200, TRenderStep::rsDraw},
        // a wrong check digit that the data carries, and no data at all
        {"wrong 13th EAN-13 digit", bcCodeEAN13, "4006381333932", 1, TRenderStep::rsDraw},
        {"twelve EAN-13 digits, wrong 12th", bcCodeEAN13, "400638133393", 1, TRenderStep::rsDraw},
        {"wrong 8th EAN-8 digit", bcCodeEAN8, "12345678", 1, TRenderStep::rsDraw},
        {"wrong 12th UPC-A digit", bcCodeUPC_A, "036000291453", 1, TRenderStep::rsDraw},
        {"wrong 7th UPC-E digit", bcCodeUPC_E0, "1234560", 1, TRenderStep::rsDraw},
        {"empty EAN-13", bcCodeEAN13, "", 1, TRenderStep::rsDraw},
        {"empty Code 128", bcCode128B, "", 1, TRenderStep::rsDraw},
        {"empty Code 39", bcCode39, "", 1, TRenderStep::rsDraw},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Name);
        TQuillaxProperties p = Ean13(row.Data);
        p.BarcodeType = row.Type;
        p.NarrowBarWidth = row.NarrowBarWidth;
        TRenderResult render = RenderBarcode(p);
        EXPECT_EQ(row.Failed, render.FailedStep);
        ExpectErrorImage(*render.Surface, kErrorSurfaceWidth, kErrorSurfaceHeight);
        // The message is the build's own, however the steps after it went.
        TBarcodeEngine engine;
        TransferProperties(p, engine);
        engine.Text = p.Data;
        std::string raised = "(nothing raised)";
        try {
            engine.Build();
        } catch (const std::exception& e) {
            raised = e.what();
        }
        EXPECT_EQ(render.FailedMessage, raised);
    }
}

// Data that loses characters in the ANSI conversion is not encoded with "?" in their places:
// the text step fails and nothing is measured or drawn. It stays so across a page start, and
// new data that converts cleanly renders again.
TEST(RenderPipeline, DataTheCodePageCannotHoldFailsTheTextStep) {
    struct Row {
        const char16_t* Data;
        TRenderStep Failed;
    } const rows[] = {
        {u"\u65e5\u672c", TRenderStep::rsText},
        {u"AB\u0100", TRenderStep::rsText},
        {u"\U0001F600", TRenderStep::rsText},
        {u"A?B", TRenderStep::rsNone}, // a question mark of its own is data
        // the code page holds it, so the text step passes; Code 128 B then refuses the accent
        {u"caf\u00e9", TRenderStep::rsDraw},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(static_cast<int>(row.Failed)));
        TQuillax object;
        ASSERT_NO_FATAL_FAILURE(Apply(object, {.BarcodeType = bcCode128B, .Data = ""}));
        TOwnedBstr data(SysAllocString(row.Data));
        ASSERT_HR(S_OK, object.put_Data(data.get()));
        ASSERT_HR(S_OK, object.OnStartPage(nullptr));
        ASSERT_HR(S_OK, object.put_BarcodeType(bcCode128B));
        TRenderResult render = RenderBarcode(object.Properties());
        EXPECT_EQ(row.Failed, render.FailedStep);
        EXPECT_EQ(row.Failed, object.EncodeBarcode().FailedStep);
        if (row.Failed == TRenderStep::rsText)
            ExpectErrorImage(*render.Surface, kErrorSurfaceWidth, kErrorSurfaceHeight);

        ASSERT_HR(S_OK, object.put_Data(MakeBstr("clean").get()));
        EXPECT_EQ(TRenderStep::rsNone, RenderBarcode(object.Properties()).FailedStep);
    }
}

TEST(RenderPipeline, ErrorImagesDoNotDependOnWhatFailed) {
    TQuillaxProperties letters = Ean13("12345ABC");
    TQuillaxProperties badType = Ean13("123456789012");
    badType.BarcodeType = 25;
    EXPECT_EQ(BmpOf(letters), BmpOf(badType));
}

// A measurement without rows or columns is a sizing failure like any other: the 50 by 30
// fallback, never an empty image. Without a width the draw step fails as well.
TEST(RenderPipeline, NoRowsOrNoColumnsFallBackTo50By30) {
    struct Row {
        const char* Name;
        uint8_t Type;
        const char* Data;
        int32_t Height;
        int32_t NarrowBarWidth;
        TRenderStep Failed;
    } const rows[] = {
        {"Height 0", bcCodeEAN13, "5901234123457", 0, 1, TRenderStep::rsWidth},
        {"negative Height", bcCodeEAN13, "5901234123457", -5, 1, TRenderStep::rsWidth},
        {"NarrowBarWidth 0", bcCode128B, "ABC", 50, 0, TRenderStep::rsDraw},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        TQuillaxProperties p = Ean13(row.Data);
        p.BarcodeType = row.Type;
        p.Height = row.Height;
        p.NarrowBarWidth = row.NarrowBarWidth;
        TRenderResult render = RenderBarcode(p);
        EXPECT_EQ(row.Failed, render.FailedStep);
        EXPECT_EQ(kErrorSurfaceWidth, render.Surface->Width());
        EXPECT_EQ(kErrorSurfaceHeight, render.Surface->Height());
        for (TImageType format : {TImageType::itBMP, TImageType::itPNG, TImageType::itJPEG}) {
            TMemoryStream bytes;
            EncodeImage(*render.Surface, format, bytes);
            EXPECT_GT(bytes.Size(), 0u);
        }
    }
}

// A barcode beyond the surface bounds fails the sizing step and is not drawn at all: the
// 50 by 30 fallback carries the width error alone, without the work of squeezing every bar
// into it.
TEST(RenderPipeline, OversizedBarcodeGivesThePlainErrorImage) {
    TQuillaxProperties tall = Ean13("123456789012");
    tall.Checksum = true;
    tall.Height = 20'000'000;
    TQuillaxProperties wide = Ean13(std::string(100'000, 'A'));
    wide.BarcodeType = bcCode128B;
    wide.Orientation = 45;
    wide.ShowText = true;
    for (const TQuillaxProperties& p : {tall, wide}) {
        SCOPED_TRACE(p.Height);
        TRenderResult render = RenderBarcode(p);
        EXPECT_EQ(TRenderStep::rsWidth, render.FailedStep);
        ExpectErrorImage(*render.Surface, kErrorSurfaceWidth, kErrorSurfaceHeight);
    }
}

// An Orientation beyond 0-359 renders exactly as the same direction within it.
TEST(RenderPipeline, OrientationIsReducedToOneTurn) {
    const std::pair<int32_t, int32_t> rows[] = {{-450, 270}, {-90, 270}, {360, 0}, {450, 90}};
    for (const auto& [orientation, reduced] : rows) {
        for (uint8_t type : {uint8_t{bcCodeEAN13}, uint8_t{bcCode128B}}) {
            SCOPED_TRACE(std::to_string(orientation) + ", type " + std::to_string(type));
            TQuillaxProperties p = Ean13(type == bcCodeEAN13 ? "5901234123457" : "Quillax");
            p.BarcodeType = type;
            p.ShowText = true;
            p.Orientation = orientation;
            TQuillaxProperties q = p;
            q.Orientation = reduced;
            EXPECT_EQ(BmpOf(p), BmpOf(q));
        }
    }
}

// Rendering works on the engine's copy of the data: the object's properties stay as set.
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
// A Windows host process runs its x87 unit with 53-bit significands; the turned geometry
// computes in long double and must come out the same there.
TEST(RenderPipeline, TurnedPicturesDoNotDependOnTheHostsX87Precision) {
    TQuillaxProperties p = PageStartProperties("CODE 39");
    p.BarcodeType = 3;
    p.ShowText = true;
    p.Ratio = 3;
    for (int32_t layout : {0, 1}) {
        for (int32_t angle : {30, 45, 300}) {
            SCOPED_TRACE("layout " + std::to_string(layout) + " at " + std::to_string(angle));
            p.Layout = layout;
            p.Orientation = angle;
            const std::vector<uint8_t> extended = BmpOf(p);
            uint16_t word = 0;
            __asm__ volatile("fnstcw %0" : "=m"(word));
            const uint16_t doublePrecision = (word & ~0x0300) | 0x0200;
            __asm__ volatile("fldcw %0" : : "m"(doublePrecision));
            const std::vector<uint8_t> shortened = BmpOf(p);
            __asm__ volatile("fldcw %0" : : "m"(word));
            EXPECT_EQ(extended, shortened);
        }
    }
}
#endif

TEST(RenderPipeline, PropertiesAreLeftAsTheScriptSetThem) {
    TQuillax object;
    ASSERT_NO_FATAL_FAILURE(
        Apply(object, {.BarcodeType = bcCodeEAN13, .Data = " 123 ", .Checksum = true, .Ratio = 5}));
    const TQuillaxProperties before = object.Properties();
    TEncodedBarcode encoded = object.EncodeBarcode();
    EXPECT_EQ(TRenderStep::rsNone, encoded.FailedStep);
    EXPECT_EQ(" 123 ", object.Properties().Data);
    EXPECT_EQ(5, object.Properties().Ratio);
    EXPECT_EQ(before.Height, object.Properties().Height);
}

// The page-start Ratio of 1 is raised to 2 by every symbology that bounds it, so these
// render exactly as at Ratio 2.
TEST(RenderPipeline, PageStartRatioRendersAsRatioTwoWhereBounded) {
    struct Row {
        const char* Name;
        uint8_t Type;
        const char* Data;
    };
    const Row rows[] = {
        {"Code 39", bcCode39, "ABC"}, {"Code 128 B", bcCode128B, "Abc"},
        {"Code 93", bcCode93, "ABC"}, {"EAN-13", bcCodeEAN13, "5901234123457"},
        {"MSI", bcCodeMSI, "1234"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Name);
        TQuillaxProperties p = PageStartProperties(row.Data);
        p.BarcodeType = row.Type;
        TQuillaxProperties two = p;
        two.Ratio = 2;
        EXPECT_EQ(BmpOf(p), BmpOf(two));
    }
}

} // namespace
} // namespace quillax::test

namespace quillax::test {
namespace {

// Measuring and painting build the pattern several times; a check digit that the encoder
// writes into the data must still be added once, so the symbol equals the one made from
// the completed data.
TEST(RenderPipeline, CheckDigitIsAddedOnceHoweverOftenThePatternIsBuilt) {
    struct Row {
        const char* Name;
        uint8_t Type;
        const char* Data;
        const char* Completed;
    };
    const Row rows[] = {
        {"EAN-128 C", bcCodeEAN128C, "1012345", "10123454"},
        {"EAN-128 A", bcCodeEAN128A, "1012345", "10123454"},
        {"two-digit add-on", bcCodeUPC_Supp2, "12", "12"},
        {"PostNet", bcCodePostNet, "12345", "123455"},
    };
    for (const auto& row : rows) {
        for (int32_t narrow : {1, 2}) {
            SCOPED_TRACE(std::string(row.Name) + ", NarrowBarWidth " + std::to_string(narrow));
            TQuillaxProperties withCheck = Ean13(row.Data);
            withCheck.BarcodeType = row.Type;
            withCheck.NarrowBarWidth = narrow;
            withCheck.Checksum = true;
            TQuillaxProperties completed = withCheck;
            completed.Data = row.Completed;
            completed.Checksum = false;
            EXPECT_EQ(BmpOf(withCheck), BmpOf(completed));
        }
    }
}

} // namespace
} // namespace quillax::test
