// The rasteriser's shortcut for solid upright rectangles against its general scan, and the
// row fills it relies on.
#include "imaging/Raster.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

using namespace quillax;
using namespace quillax::raster;

namespace {

constexpr int32_t kWidth = 23;
constexpr int32_t kHeight = 17;
constexpr int32_t kFar = 2'000'000'000;

// A surface whose pixels all differ, so any stray or missing pixel shows.
struct TStore {
    int32_t Stride = (3 * kWidth + 3) / 4 * 4;
    std::vector<uint8_t> Bytes;
    TOwnership Ownership;

    TStore() : Bytes(size_t(Stride) * kHeight) {
        for (size_t i = 0; i < Bytes.size(); ++i)
            Bytes[i] = uint8_t(i * 7 + 3);
        Ownership.Owner.assign(size_t(kWidth) * kHeight, -1);
    }
    TSurface Surface(bool owned) {
        return {Bytes.data(), kWidth, kHeight, Stride, owned ? &Ownership : nullptr};
    }
    TColor Pixel(int32_t x, int32_t y) const {
        const uint8_t* p = Bytes.data() + size_t(kHeight - 1 - y) * Stride + 3 * size_t(x);
        return p[2] | p[1] << 8 | p[0] << 16;
    }
};

// The four corners of the box (x0, y0)-(x1, y1) taken round in one of four ways.
std::array<TPoint, 4> Corners(const TRect& box, int order) {
    const TPoint a{box.Left, box.Top}, b{box.Left, box.Bottom}, c{box.Right, box.Bottom},
        d{box.Right, box.Top};
    switch (order) {
    case 0:
        return {a, b, c, d}; // as the engine draws a bar
    case 1:
        return {a, d, c, b}; // the other way round
    case 2:
        return {c, d, a, b}; // from the opposite corner
    default:
        return {b, c, d, a}; // level edge first
    }
}

struct TBoxRow {
    const char* Name;
    TRect Box; // two opposite corners, inclusive, in any order
};

const TBoxRow kBoxes[] = {
    {"inside", {3, 2, 9, 12}},
    {"whole surface", {0, 0, kWidth - 1, kHeight - 1}},
    {"last column and row", {kWidth - 1, kHeight - 1, kWidth - 1, kHeight - 1}},
    {"single pixel", {5, 5, 5, 5}},
    {"one column", {7, 1, 7, 15}},
    {"one row", {1, 8, 20, 8}},
    {"reversed corners", {12, 14, 4, 3}},
    {"clipped left and top", {-5, -3, 4, 6}},
    {"clipped right and bottom", {18, 12, 30, 25}},
    {"wider than the surface", {-10, 4, 40, 6}},
    {"left of the surface", {-9, 2, -1, 9}},
    {"below the surface", {2, kHeight, 9, kHeight + 4}},
    {"far beyond every edge", {-kFar, -kFar, kFar, kFar}},
    {"far column", {kFar, 0, kFar, 5}},
};

struct TDrawRow {
    const char* Name;
    TColor Pen;
    int32_t PenWidth;
    bool Fill;
    TColor Brush;
};

// The shortcut's own case, a colour whose bytes differ (no single-byte fill), and cases the
// shortcut must leave to the general scan.
const TDrawRow kDraws[] = {
    {"black bar", clBlack, 1, true, clBlack},
    {"coloured bar", 0x123456, 1, true, 0x123456},
    {"zero pen width", 0x654321, 0, true, 0x654321},
    {"outline in another colour", clRed, 1, true, clBlue},
    {"wide pen", clBlack, 3, true, clBlack},
    {"no fill", clBlack, 1, false, clBlack},
};

const TMapping kMappings[] = {
    {1, 1, 0, 0}, {1, 1, 3, -2},    {1, 1, -4, 5},   {0.5, 0.5, 0, 0},
    {2, 1, 1, 0}, {1.5, 2.5, 0, 0}, {0.37, 1, 2, 1}, {1, 1, 0.5, 0},
};

} // namespace

// Four corners with upright and level edges that still do not go round a box.
const std::array<TPoint, 4> kNotBoxes[] = {
    {TPoint{2, 2}, {2, 10}, {9, 10}, {9, 4}},   // last edge slanted
    {TPoint{2, 2}, {2, 10}, {2, 2}, {9, 2}},    // an L, out and back twice
    {TPoint{3, 3}, {10, 3}, {10, 9}, {5, 9}},   // level edges of different lengths
    {TPoint{4, 1}, {4, 12}, {11, 12}, {11, 1}}, // (a box, for contrast)
};

TEST(Raster, PolygonShortcutPaintsWhatTheGeneralScanPaints) {
    struct TShape {
        std::string Name;
        std::array<TPoint, 4> Corners;
    };
    std::vector<TShape> shapes;
    for (const TBoxRow& row : kBoxes)
        for (int order = 0; order < 4; ++order)
            shapes.push_back(
                {row.Name + std::string(", order ") + char('0' + order), Corners(row.Box, order)});
    for (const auto& corners : kNotBoxes)
        shapes.push_back({"not a box " + std::to_string(&corners - kNotBoxes), corners});

    for (const TMapping& m : kMappings)
        for (const TDrawRow& draw : kDraws)
            for (const TShape& shape : shapes) {
                SCOPED_TRACE(testing::Message()
                             << shape.Name << ", " << draw.Name << ", scale " << m.ScaleX << "x"
                             << m.ScaleY << " at " << m.OffsetX << "," << m.OffsetY);
                const bool owned = !m.Exact();
                TStore shortcut, general;
                // An earlier polygon, so that scaled playback has pixels to defend.
                const std::array<TPoint, 4> earlier = Corners({4, 4, 6, 10}, 0);
                for (TStore* store : {&shortcut, &general})
                    PolygonGeneral(store->Surface(owned), m, earlier, clBlack, 1, true, clBlack);
                Polygon(shortcut.Surface(owned), m, shape.Corners, draw.Pen, draw.PenWidth,
                        draw.Fill, draw.Brush);
                PolygonGeneral(general.Surface(owned), m, shape.Corners, draw.Pen, draw.PenWidth,
                               draw.Fill, draw.Brush);
                ASSERT_TRUE(shortcut.Bytes == general.Bytes);
            }
}

TEST(Raster, RectangleWithACornerMidwayAlongAnEdgePaintsAsTheRectangle) {
    // The fifth corner changes nothing of the shape, but takes the polygon off the upright
    // rectangle's own routes (its exact fill and its scaled area) onto the general ones.
    for (const TMapping& m : kMappings)
        for (const TDrawRow& draw : kDraws)
            for (const TBoxRow& row : kBoxes) {
                SCOPED_TRACE(testing::Message()
                             << row.Name << ", " << draw.Name << ", scale " << m.ScaleX << "x"
                             << m.ScaleY << " at " << m.OffsetX << "," << m.OffsetY);
                const auto four = Corners(row.Box, 0);
                const TPoint midway{four[0].X,
                                    int32_t((int64_t(four[0].Y) + int64_t(four[1].Y)) / 2)};
                const std::array<TPoint, 5> five{four[0], midway, four[1], four[2], four[3]};
                const bool owned = !m.Exact();
                TStore box, general;
                Polygon(box.Surface(owned), m, four, draw.Pen, draw.PenWidth, draw.Fill,
                        draw.Brush);
                Polygon(general.Surface(owned), m, five, draw.Pen, draw.PenWidth, draw.Fill,
                        draw.Brush);
                ASSERT_TRUE(box.Bytes == general.Bytes);
            }
}

TEST(Raster, SolidBarCoversItsCornerBoxExactly) {
    // The engine's bar at one pixel per unit: the box through its corners, clipped, and not
    // a pixel more; checked pixel by pixel, independently of either scan.
    for (const TMapping& m : {TMapping{1, 1, 0, 0}, TMapping{1, 1, 3, -2}})
        for (TColor color : {clBlack, TColor(0x123456)})
            for (const TBoxRow& row : kBoxes) {
                SCOPED_TRACE(testing::Message() << row.Name << ", colour 0x" << std::hex << color
                                                << ", offset " << m.OffsetX);
                TStore store;
                const TStore before;
                Polygon(store.Surface(false), m, Corners(row.Box, 0), color, 1, true, color);
                auto at = [](int64_t v, double offset) { return v + int64_t(offset); };
                const int64_t x0 = at(std::min(row.Box.Left, row.Box.Right), m.OffsetX);
                const int64_t x1 = at(std::max(row.Box.Left, row.Box.Right), m.OffsetX);
                const int64_t y0 = at(std::min(row.Box.Top, row.Box.Bottom), m.OffsetY);
                const int64_t y1 = at(std::max(row.Box.Top, row.Box.Bottom), m.OffsetY);
                int wrong = 0;
                for (int32_t y = 0; y < kHeight; ++y)
                    for (int32_t x = 0; x < kWidth; ++x) {
                        const bool inside = x >= x0 && x <= x1 && y >= y0 && y <= y1;
                        wrong += store.Pixel(x, y) != (inside ? color : before.Pixel(x, y));
                    }
                EXPECT_EQ(wrong, 0);
                // Row padding is never written.
                for (int32_t y = 0; y < kHeight; ++y)
                    for (int32_t b = 3 * kWidth; b < store.Stride; ++b)
                        ASSERT_EQ(store.Bytes[size_t(y) * store.Stride + b],
                                  before.Bytes[size_t(y) * store.Stride + b]);
            }
}

TEST(Raster, RectangleFillsEveryLengthOfRowInAnyColour) {
    // Row fills take different routes by length and by whether the colour's bytes agree.
    for (TColor color : {clWhite, TColor(0x808080), TColor(0x0A0B0C), clRed})
        for (int32_t length = 1; length <= kWidth; ++length) {
            SCOPED_TRACE(testing::Message()
                         << "colour 0x" << std::hex << color << std::dec << ", length " << length);
            TStore store;
            const TStore before;
            FillRect(store.Surface(false), {}, {0, 3, length, 5}, color);
            for (int32_t y = 2; y <= 5; ++y)
                for (int32_t x = 0; x < kWidth; ++x) {
                    const bool inside = x < length && y >= 3 && y < 5;
                    ASSERT_EQ(store.Pixel(x, y), inside ? color : before.Pixel(x, y))
                        << "at " << x << "," << y;
                }
        }
}

TEST(Raster, TracingHandsOverWhatPaintingPaints) {
    // Each box the sink gets is painted in turn: the surface must come out as painting made it
    // (without the ownership rule, which tracing leaves out).
    struct TPainter : TPaintSink {
        TSurface Target;
        void Paint(int64_t x0, int64_t y0, int64_t x1, int64_t y1, TColor rgb) override {
            ASSERT_TRUE(x0 >= 0 && y0 >= 0 && x1 < Target.Width && y1 < Target.Height);
            FillRect(Target, {}, {int32_t(x0), int32_t(y0), int32_t(x1 + 1), int32_t(y1 + 1)}, rgb);
        }
    };
    const std::array<TPoint, 4> kTurned[] = {{TPoint{3, 1}, {18, 6}, {15, 14}, {1, 8}},
                                             {TPoint{-6, 20}, {12, -3}, {14, -1}, {-4, 22}}};
    for (const TMapping& m : kMappings)
        for (const TDrawRow& draw : kDraws)
            for (const TBoxRow& row : kBoxes)
                for (int shape = 0; shape < 4; ++shape) {
                    SCOPED_TRACE(testing::Message()
                                 << row.Name << ", " << draw.Name << ", shape " << shape
                                 << ", scale " << m.ScaleX << "x" << m.ScaleY << " at " << m.OffsetX
                                 << "," << m.OffsetY);
                    const auto corners = shape < 2 ? Corners(row.Box, shape) : kTurned[shape - 2];
                    TStore painted, traced;
                    Polygon(painted.Surface(false), m, corners, draw.Pen, draw.PenWidth, draw.Fill,
                            draw.Brush);
                    FillRect(painted.Surface(false), m, row.Box, draw.Brush);
                    TPainter sink;
                    sink.Target = traced.Surface(false);
                    TracePolygon(kWidth, kHeight, m, corners, draw.Pen, draw.PenWidth, draw.Fill,
                                 draw.Brush, sink);
                    TraceFillRect(kWidth, kHeight, m, row.Box, draw.Brush, sink);
                    ASSERT_TRUE(painted.Bytes == traced.Bytes);
                }
}
