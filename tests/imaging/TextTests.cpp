// Text: placement of the cell, rotation about its top-left corner, background modes, the
// default font, and renders on many threads at once.
#include "imaging/DeviceContext.h"
#include "imaging/Fonts.h"
#include "imaging/Graphics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <thread>
#include <vector>

using namespace quillax;

namespace {

// Right and bottom exclusive; empty when nothing matched.
TRect InkBox(const TBitmap& bitmap, TColor background) {
    TRect box{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
    for (int32_t y = 0; y < bitmap.Height(); ++y)
        for (int32_t x = 0; x < bitmap.Width(); ++x)
            if (bitmap.Pixel(x, y) != background)
                box = {std::min(box.Left, x), std::min(box.Top, y), std::max(box.Right, x + 1),
                       std::max(box.Bottom, y + 1)};
    return box;
}

struct TTextFrame {
    int32_t Width = 0;  // the text's advance
    int32_t Height = 0; // the cell's height
};

// Draws text as the engine does: Arial 9 pt turned by angle, transparent background.
TTextFrame DrawTurned(TBitmap& bitmap, int32_t x, int32_t y, int angleTenths,
                      const std::string& text) {
    auto& canvas = bitmap.Canvas();
    canvas.Font().SetName("Arial");
    canvas.Font().SetSize(9);
    TLogFont lf = canvas.Font().GetLogFont();
    lf.Escapement = lf.Orientation = angleTenths;
    HFONT font = CreateFontIndirect(lf);
    HFONT old = SelectObject(canvas.Handle(), font);
    canvas.Brush().SetColor(clWhite);
    SetBkMode(canvas.Handle(), TRANSPARENT);
    canvas.TextOut(x, y, text);
    const fonts::TTextRun run = fonts::Layout(*font, text);
    SelectObject(canvas.Handle(), old);
    return {run.Width, run.Ascent + run.Descent};
}

} // namespace

TEST(Text, TurnedCellsLieWhereTheFontsAngleCarriesThem) {
    // Glyph ink must lie inside the turned cell, and a right-angle turn keeps the ink's
    // box, swapped where the text runs up or down.
    TBitmap upright;
    upright.SetWidth(200);
    upright.SetHeight(200);
    const TTextFrame frame = DrawTurned(upright, 100, 100, 0, "HELLO 123");
    const TRect base = InkBox(upright, clWhite);
    ASSERT_LT(base.Left, base.Right);
    EXPECT_EQ(frame.Height, 14); // Liberation Sans at an em of 12 pixels: 11 up, 3 down
    const int32_t inkW = base.Right - base.Left, inkH = base.Bottom - base.Top;
    EXPECT_GE(inkW, frame.Width * 8 / 10);
    EXPECT_GE(inkH, 7);

    struct Row {
        int tenths;
        bool swapped;
    } rows[] = {{0, false}, {900, true}, {1800, false}, {2700, true}, {450, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.tenths);
        TBitmap bitmap;
        bitmap.SetWidth(200);
        bitmap.SetHeight(200);
        DrawTurned(bitmap, 100, 100, row.tenths, "HELLO 123");
        const TRect ink = InkBox(bitmap, clWhite);
        // The cell's corners: (x, y) plus along and down vectors of the turned frame.
        const double a = row.tenths / 10.0 * std::numbers::pi / 180;
        const double ax = std::cos(a), ay = -std::sin(a), dx = std::sin(a), dy = std::cos(a);
        double xs[4] = {100, 100 + frame.Width * ax, 100 + frame.Width * ax + frame.Height * dx,
                        100 + frame.Height * dx};
        double ys[4] = {100, 100 + frame.Width * ay, 100 + frame.Width * ay + frame.Height * dy,
                        100 + frame.Height * dy};
        const double left = *std::min_element(xs, xs + 4), right = *std::max_element(xs, xs + 4);
        const double top = *std::min_element(ys, ys + 4), bottom = *std::max_element(ys, ys + 4);
        EXPECT_GE(ink.Left, std::floor(left) - 1);
        EXPECT_LE(ink.Right, std::ceil(right) + 1);
        EXPECT_GE(ink.Top, std::floor(top) - 1);
        EXPECT_LE(ink.Bottom, std::ceil(bottom) + 1);
        if (row.tenths % 900 == 0) {
            const int32_t w = ink.Right - ink.Left, h = ink.Bottom - ink.Top;
            EXPECT_NEAR(row.swapped ? h : w, inkW, 1);
            EXPECT_NEAR(row.swapped ? w : h, inkH, 1);
        } else {
            // At 45 degrees the run climbs as much as it advances.
            EXPECT_NEAR(ink.Right - ink.Left, ink.Bottom - ink.Top, frame.Height + 2);
            EXPECT_GT(ink.Right - ink.Left, inkW * 6 / 10);
        }
    }
}

TEST(Text, OpaqueFillsTheCellTransparentOnlyTouchesGlyphs) {
    struct Row {
        bool opaque;
        bool cellAllRed;
    } rows[] = {{true, false}, {false, true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.opaque);
        TBitmap bitmap;
        bitmap.SetWidth(120);
        bitmap.SetHeight(30);
        auto& canvas = bitmap.Canvas();
        canvas.Brush().SetColor(clRed);
        canvas.FillRect({0, 0, 120, 30});
        canvas.Brush().SetColor(clWhite);
        if (!row.opaque) SetBkMode(canvas.Handle(), TRANSPARENT);
        canvas.TextOut(4, 5, "Error!");
        const int32_t width = canvas.TextWidth("Error!");
        int red = 0, white = 0;
        for (int32_t y = 5; y < 5 + 13; ++y)
            for (int32_t x = 4; x < 4 + width; ++x) {
                red += bitmap.Pixel(x, y) == clRed;
                white += bitmap.Pixel(x, y) == clWhite;
            }
        EXPECT_EQ(red == 0, row.opaque) << red;
        EXPECT_EQ(white > 0, row.opaque) << white;
        // Nothing outside the cell changes either way.
        for (int32_t x = 0; x < 120; ++x)
            EXPECT_EQ(bitmap.Pixel(x, 4), clRed) << x;
        EXPECT_EQ(canvas.PenPos(), (TPoint{4 + width, 5}));
    }
}

TEST(Text, ErrorLineUsesTheDefaultFontOnAnOpaqueWhiteCell) {
    TBitmap bitmap;
    bitmap.SetWidth(50);
    bitmap.SetHeight(30);
    auto& canvas = bitmap.Canvas();
    EXPECT_EQ(canvas.Font().Name(), "MS Sans Serif");
    EXPECT_EQ(canvas.Font().Height(), -11);
    EXPECT_EQ(canvas.Font().Size(), 8);
    canvas.TextOut(0, 5, "Error!Draw barcode    ");
    EXPECT_GT(canvas.TextWidth("Error!Draw barcode    "), 50); // clipped at the right edge
    const TRect ink = InkBox(bitmap, clWhite);
    EXPECT_GE(ink.Top, 5);
    EXPECT_LE(ink.Bottom, 5 + 14);
    EXPECT_LE(ink.Left, 2);
    EXPECT_EQ(ink.Right, 50);
    bool black = false;
    for (int32_t y = ink.Top; y < ink.Bottom; ++y)
        for (int32_t x = 0; x < 50; ++x)
            black |= bitmap.Pixel(x, y) == clBlack;
    EXPECT_TRUE(black) << "window-text colour is black";
}

TEST(Text, RendersOnManyThreadsMatchOneThread) {
    // Each job draws its own sizes and angles, so threads miss the caches at the same time.
    auto render = [](int job) {
        TBitmap bitmap;
        bitmap.SetWidth(160);
        bitmap.SetHeight(160);
        auto& canvas = bitmap.Canvas();
        for (int i = 0; i < 6; ++i) {
            canvas.Font().SetName(i % 2 ? "Arial" : "MS Sans Serif");
            canvas.Font().SetSize(7 + (job + i) % 9);
            TLogFont lf = canvas.Font().GetLogFont();
            lf.Escapement = lf.Orientation = (job * 370 + i * 450) % 3600;
            HFONT old = SelectObject(canvas.Handle(), CreateFontIndirect(lf));
            canvas.TextOut(80, 80, "0123456789 ABC");
            SelectObject(canvas.Handle(), old);
        }
        return bitmap.Copy24();
    };
    constexpr int Jobs = 8;
    std::vector<std::vector<uint8_t>> parallel(Jobs);
    {
        std::vector<std::jthread> threads;
        for (int job = 0; job < Jobs; ++job)
            threads.emplace_back([&, job] { parallel[job] = render(job); });
    }
    for (int job = 0; job < Jobs; ++job)
        EXPECT_EQ(parallel[job], render(job)) << "job " << job;
}

TEST(Text, GlyphsAreRasterisedOnceForTheirOwnFaceSizeAndAngle) {
    // Regular and bold Liberation Sans number their glyphs alike, so only the face tells
    // their glyphs apart.
    auto draw = [](int size, int angleTenths, int weight) {
        TBitmap bitmap;
        bitmap.SetWidth(120);
        bitmap.SetHeight(120);
        auto& canvas = bitmap.Canvas();
        canvas.Font().SetName("Arial");
        canvas.Font().SetSize(size);
        TLogFont lf = canvas.Font().GetLogFont();
        lf.Escapement = lf.Orientation = angleTenths;
        lf.Weight = weight;
        HFONT old = SelectObject(canvas.Handle(), CreateFontIndirect(lf));
        canvas.TextOut(60, 60, "0123456789");
        SelectObject(canvas.Handle(), old);
        return bitmap.Copy24();
    };
    const auto base = draw(9, 0, 400);
    const size_t warm = fonts::GlyphsRasterised();
    EXPECT_EQ(draw(9, 0, 400), base);
    EXPECT_EQ(fonts::GlyphsRasterised(), warm) << "the same text drawn again from the cache";

    const struct {
        const char* Name;
        int Size;
        int AngleTenths;
        int Weight;
    } variants[] = {
        {"one point larger", 10, 0, 400},
        {"turned 90 degrees", 9, 900, 400},
        {"turned 1 degree", 9, 10, 400},
        {"the bold face", 9, 0, 700},
    };
    for (const auto& v : variants) {
        SCOPED_TRACE(v.Name);
        const size_t before = fonts::GlyphsRasterised();
        const auto image = draw(v.Size, v.AngleTenths, v.Weight);
        EXPECT_GT(fonts::GlyphsRasterised(), before) << "no glyph of another font reused";
        EXPECT_NE(image, base);
        EXPECT_EQ(draw(v.Size, v.AngleTenths, v.Weight), image);
    }
}
