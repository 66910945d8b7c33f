// The raster surface, canvas coverage, re-selection rules and vector picture playback.
#include "imaging/DeviceContext.h"
#include "imaging/Fonts.h"
#include "imaging/Graphics.h"
#include "tests/support/Surfaces.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

using namespace quillax;

namespace {

// The bounding box (right and bottom exclusive) and count of pixels in a colour.
struct TCoverage {
    TRect Box{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
    int Count = 0;
};

TCoverage CoverageOf(const TBitmap& bitmap, TColor color) {
    TCoverage c;
    for (int32_t y = 0; y < bitmap.Height(); ++y)
        for (int32_t x = 0; x < bitmap.Width(); ++x)
            if (bitmap.Pixel(x, y) == color) {
                ++c.Count;
                c.Box = {std::min(c.Box.Left, x), std::min(c.Box.Top, y),
                         std::max(c.Box.Right, x + 1), std::max(c.Box.Bottom, y + 1)};
            }
    return c;
}

using test::Size;

// One line as the engine draws it: columns x..x+lw-1, rows 0..h, pen and brush alike.
void Line(TCanvas& canvas, int32_t x, int32_t lw, int32_t h, TColor color) {
    canvas.Pen().SetWidth(1);
    canvas.Pen().SetColor(color);
    canvas.Brush().SetColor(color);
    const std::array<TPoint, 4> corners{TPoint{x, 0}, TPoint{x, h}, TPoint{x + lw - 1, h},
                                        TPoint{x + lw - 1, 0}};
    canvas.Polygon(corners);
}

} // namespace

TEST(Bitmap, StoreAppearsWhiteOnceBothSidesAreSet) {
    TBitmap bitmap;
    bitmap.SetWidth(7);
    EXPECT_TRUE(bitmap.Empty());
    bitmap.SetHeight(3);
    ASSERT_FALSE(bitmap.Empty());
    EXPECT_EQ(CoverageOf(bitmap, clWhite).Count, 21);
    // 21 colour bytes and 3 zero padding bytes per row.
    const auto store = bitmap.Copy24();
    ASSERT_EQ(store.size(), 72u);
    for (int row = 0; row < 3; ++row)
        for (int i = 21; i < 24; ++i)
            EXPECT_EQ(store[row * 24 + i], 0) << row << "," << i;
}

TEST(Bitmap, SizeBoundsRaiseBeforeAnyMemoryIsTaken) {
    struct Row {
        int32_t width, height;
        bool fits;
    } rows[] = {
        {4000, 4000, true},     // exactly 16 million pixels
        {4001, 4000, false},    // one column more
        {1048576, 1, true},     // the longest side
        {1048577, 1, false},    // one more
        {1, 1048577, false},    //
        {-1, 10, false},        // negative sides are refused too
        {0, 2000000000, false}, // even without a store
        {2000000000, 2000000000, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.width << "x" << row.height);
        TBitmap bitmap;
        if (row.fits) {
            EXPECT_NO_THROW(Size(bitmap, row.width, row.height));
        } else {
            try {
                Size(bitmap, row.width, row.height);
                ADD_FAILURE() << "no error";
            } catch (const EOutOfResources& e) {
                EXPECT_STREQ(e.what(), "Out of system resources");
            }
        }
    }
}

TEST(Bitmap, ResizingKeepsOldContentAtTopLeftAndFillsWithBrush) {
    TBitmap bitmap;
    Size(bitmap, 4, 3);
    auto& canvas = bitmap.Canvas();
    canvas.Brush().SetColor(clRed);
    canvas.FillRect({0, 0, 4, 3});
    canvas.Brush().SetColor(clBlue);
    Size(bitmap, 6, 5);
    EXPECT_EQ(CoverageOf(bitmap, clRed).Box, (TRect{0, 0, 4, 3}));
    EXPECT_EQ(CoverageOf(bitmap, clRed).Count, 12);
    EXPECT_EQ(CoverageOf(bitmap, clBlue).Count, 30 - 12);
}

TEST(Canvas, PolygonCornersAreInclusiveFillRectRightBottomExclusive) {
    TBitmap polygon, rect;
    Size(polygon, 20, 40);
    Size(rect, 20, 40);
    Line(polygon.Canvas(), 10, 3, 30, clBlack); // corners (10, 0) and (12, 30)
    rect.Canvas().Brush().SetColor(clBlack);
    rect.Canvas().FillRect({10, 0, 12, 30});
    EXPECT_EQ(CoverageOf(polygon, clBlack).Box, (TRect{10, 0, 13, 31}));
    EXPECT_EQ(CoverageOf(polygon, clBlack).Count, 3 * 31);
    EXPECT_EQ(CoverageOf(rect, clBlack).Box, (TRect{10, 0, 12, 30}));
    EXPECT_EQ(CoverageOf(rect, clBlack).Count, 2 * 30);
}

TEST(Canvas, PolygonsCoverTheirOutlineAndInteriorAtAnyTurn) {
    // A diamond, an outline in another colour, and shapes reaching off the surface.
    struct Row {
        const char* name;
        std::vector<TPoint> points;
        int expectedInk; // pixels in the pen or brush colour
    } rows[] = {
        {"diamond", {{5, 0}, {10, 5}, {5, 10}, {0, 5}}, 61}, // |x-5| + |y-5| <= 5
        {"reversed diamond", {{0, 5}, {5, 10}, {10, 5}, {5, 0}}, 61},
        {"point", {{3, 3}, {3, 3}}, 1},
        {"far off surface",
         {{-100000000, -5}, {100000000, -5}, {100000000, 2}, {-100000000, 2}},
         12 * 3},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TBitmap bitmap;
        Size(bitmap, 12, 12);
        auto& canvas = bitmap.Canvas();
        canvas.Pen().SetColor(clRed);
        canvas.Brush().SetColor(clBlue);
        canvas.Polygon(row.points);
        const int ink = CoverageOf(bitmap, clRed).Count + CoverageOf(bitmap, clBlue).Count;
        EXPECT_EQ(ink, row.expectedInk);
        for (const TPoint& p : row.points)
            if (p.X >= 0 && p.Y >= 0 && p.X < 12 && p.Y < 12) {
                EXPECT_EQ(bitmap.Pixel(p.X, p.Y), clRed) << p.X << "," << p.Y;
            }
    }
}

TEST(Canvas, ReselectionKeepsARawFontAndTransparentModeUntilTheObjectsChange) {
    TBitmap bitmap;
    Size(bitmap, 10, 10);
    auto& canvas = bitmap.Canvas();
    canvas.Font().SetName("Arial");
    canvas.Font().SetSize(9);
    EXPECT_EQ(canvas.Font().Height(), -12);
    HDC dc = canvas.Handle();
    const HFONT canvasFont = dc->Font;
    ASSERT_TRUE(canvasFont);
    TLogFont lf = canvas.Font().GetLogFont();
    lf.Escapement = lf.Orientation = 900;
    HFONT rotated = CreateFontIndirect(lf);
    EXPECT_EQ(SelectObject(dc, rotated), canvasFont);
    canvas.Brush().SetColor(clRed);
    EXPECT_EQ(canvas.Handle(), dc);
    EXPECT_EQ(dc->BkMode, OPAQUE);
    EXPECT_EQ(dc->BkColor, clRed);
    EXPECT_EQ(SetBkMode(dc, TRANSPARENT), OPAQUE);
    canvas.FillRect({0, 0, 1, 1});
    canvas.TextOut(0, 0, "A");
    EXPECT_EQ(dc->Font, rotated);
    EXPECT_EQ(dc->BkMode, TRANSPARENT);
    // A font change makes the next operation select the canvas's own font again.
    canvas.Font().SetSize(10);
    canvas.TextOut(0, 0, "A");
    EXPECT_NE(dc->Font, rotated);
    EXPECT_EQ(dc->Font->LogFont().Escapement, 0);
    EXPECT_EQ(dc->Font->LogFont().Height, -13);
    // A brush change makes the background opaque again.
    canvas.Brush().SetColor(clWhite);
    canvas.FillRect({0, 0, 1, 1});
    EXPECT_EQ(dc->BkMode, OPAQUE);
    EXPECT_EQ(SelectObject(dc, nullptr), nullptr);
}

TEST(Canvas, FontSizeAndHeightFollowNinetySixPixelsPerInch) {
    struct Row {
        int32_t points, height, sizeBack;
    } rows[] = {{8, -11, 8}, {9, -12, 9}, {10, -13, 10}, {12, -16, 12}, {1, -1, 1}, {0, 0, 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.points);
        TFont font;
        font.SetSize(row.points);
        EXPECT_EQ(font.Height(), row.height);
        EXPECT_EQ(font.Size(), row.sizeBack);
    }
    EXPECT_EQ(MulDiv(3, 1, 2), 2);   // halves away from zero
    EXPECT_EQ(MulDiv(-3, 1, 2), -2); //
    EXPECT_EQ(MulDiv(1, 1, 0), -1);
    EXPECT_EQ(ColorToRGB(clWindowText), clBlack);
}

namespace {

// Draws the engine's kind of picture: upright and turned lines, a label box and text.
void DrawScene(TCanvas& canvas, int angle) {
    for (int32_t x = 0; x < 30; x += 3)
        Line(canvas, x + 2, 1 + x % 2, 25, x % 2 ? clBlack : clRed);
    const std::array<TPoint, 4> turned{TPoint{35, 2}, TPoint{50, 17}, TPoint{45, 22},
                                       TPoint{30, 7}};
    canvas.Polygon(turned);
    canvas.Font().SetName("Arial");
    canvas.Font().SetSize(9);
    TLogFont lf = canvas.Font().GetLogFont();
    lf.Escapement = lf.Orientation = angle * 10;
    HFONT font = CreateFontIndirect(lf);
    HFONT old = SelectObject(canvas.Handle(), font);
    canvas.Brush().SetColor(clWhite);
    SetBkMode(canvas.Handle(), TRANSPARENT);
    canvas.FillRect({2, 26, 40, 40});
    canvas.TextOut(angle == 90 ? 40 : 5, angle == 90 ? 38 : 27, "1234");
    SelectObject(canvas.Handle(), old);
}

} // namespace

TEST(Metafile, PlaybackAtItsOwnSizeMatchesDrawingDirectly) {
    for (int angle : {0, 90, 45}) {
        SCOPED_TRACE(angle);
        TBitmap direct, played;
        Size(direct, 60, 42);
        Size(played, 60, 42);
        DrawScene(direct.Canvas(), angle);
        {
            TMetafile picture;
            picture.SetWidth(60);
            picture.SetHeight(42);
            {
                TMetafileCanvas recorder(picture);
                DrawScene(recorder, angle);
                EXPECT_TRUE(picture.Records()->empty()); // recorded only when it ends
            }
            EXPECT_FALSE(picture.Records()->empty());
            EXPECT_EQ(picture.MMWidth(), MulDiv(60, 27100, 1024));
            played.Canvas().StretchDraw(played.Canvas().ClipRect(), picture);
        }
        EXPECT_EQ(played.Copy24(), direct.Copy24());
        EXPECT_GT(CoverageOf(played, clBlack).Count, 100);
    }
}

TEST(Metafile, ScaledPlaybackKeepsEveryBar) {
    // Bars one or two units wide between spaces of one to three units, as in a barcode.
    struct Element {
        int32_t x, width;
        bool bar;
    };
    std::vector<Element> elements;
    int32_t x = 0;
    for (int i = 0; i < 24; ++i) {
        elements.push_back({x, 1 + i % 2, true});
        x += 1 + i % 2;
        elements.push_back({x, 1 + i % 3, false});
        x += 1 + i % 3;
    }
    const int32_t total = x;
    for (double scale : {0.3, 0.5, 0.53, 0.75, 1.0, 1.5, 2.0, 3.3}) {
        SCOPED_TRACE(scale);
        TMetafile picture;
        picture.SetWidth(total);
        picture.SetHeight(20);
        {
            TMetafileCanvas recorder(picture);
            for (const Element& e : elements)
                Line(recorder, e.x, e.width, 19, e.bar ? clBlack : clWhite);
        }
        const int32_t width = int32_t(std::lround(total * scale));
        TBitmap bitmap;
        Size(bitmap, width + 4, 30);
        bitmap.Canvas().StretchDraw({2, 5, 2 + width, 25}, picture);
        const double s = double(width) / total;
        for (const Element& e : elements) {
            if (!e.bar) continue;
            const int32_t from = 2 + int32_t(std::floor(e.x * s));
            const int32_t to = 2 + int32_t(std::ceil((e.x + e.width) * s)) - 1;
            bool seen = false;
            for (int32_t px = from; px <= to; ++px)
                seen |= bitmap.Pixel(px, 15) == clBlack;
            EXPECT_TRUE(seen) << "bar at unit " << e.x;
        }
        // Nothing lands outside the target rectangle.
        const TCoverage ink = CoverageOf(bitmap, clBlack);
        EXPECT_GE(ink.Box.Left, 2);
        EXPECT_LE(ink.Box.Right, 2 + width);
        EXPECT_GE(ink.Box.Top, 5);
        EXPECT_LE(ink.Box.Bottom, 25);
        if (scale == 2.0) {
            EXPECT_EQ(ink.Count, 36 * 2 * 20) << "exact doubling";
        }
    }
}
