// Scaled playback's span-by-span bookkeeping against the plain ownership rule (every count
// found by looking at each pixel's owner): the same polygons, the same pixels.
#include "imaging/Raster.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

using namespace quillax;
using namespace quillax::raster;

namespace {

struct TShape {
    std::array<TPoint, 4> Corners;
    TColor Pen, Brush;
};

// A barcode-like run of lines: bars and spaces of 1 to 3 units across, `length` units long,
// turned by `degrees`, alternating between two colours (or, when
// `mixed`, with an outline in another colour now and then).
std::vector<TShape> Lines(int count, int length, double degrees, TColor bar, TColor space,
                          bool mixed, uint32_t seed) {
    std::mt19937 random(seed);
    const double a = degrees / 180 * M_PI, c = std::cos(a), s = std::sin(a);
    auto turn = [&](int32_t x, int32_t y) {
        return TPoint{int32_t(std::lrint(x * c + y * s)), int32_t(std::lrint(-x * s + y * c))};
    };
    std::vector<TShape> shapes;
    int32_t x = 0;
    for (int i = 0; i < count; ++i) {
        const int32_t lw = 1 + int32_t(random() % 3);
        const int32_t h = random() % 7 == 0 ? length * 2 / 5 : length;
        const TColor color = i % 2 ? space : bar;
        const TColor pen = mixed && random() % 5 == 0 ? TColor(random() & 0xFFFFFF) : color;
        shapes.push_back(
            {{turn(x, 0), turn(x, h), turn(x + lw - 1, h), turn(x + lw - 1, 0)}, pen, color});
        x += lw;
    }
    return shapes;
}

// Quadrilaterals anywhere, convex or not, in any colours.
std::vector<TShape> Scattered(int count, int32_t extent, uint32_t seed) {
    std::mt19937 random(seed);
    auto coordinate = [&] { return int32_t(random() % uint32_t(extent)) - extent / 8; };
    std::vector<TShape> shapes;
    for (int i = 0; i < count; ++i) {
        TShape shape;
        for (TPoint& p : shape.Corners)
            p = {coordinate(), coordinate()};
        shape.Brush = random() % 3 ? TColor(random() & 0xFFFFFF) : clBlack;
        shape.Pen = random() % 2 ? shape.Brush : TColor(random() & 0xFFFFFF);
        shapes.push_back(shape);
    }
    return shapes;
}

// One playback: a white store and its owners, counting the plain way or not.
struct TPlayback {
    int32_t Stride;
    std::vector<uint8_t> Bytes;
    TOwnership Ownership;
    TSurface Surface;

    TPlayback(int32_t width, int32_t height, bool plain)
        : Stride((3 * width + 3) / 4 * 4), Bytes(size_t(Stride) * height, 0xFF) {
        Ownership.Plain = plain;
        Ownership.Owner.assign(size_t(width) * height, -1);
        Surface = {Bytes.data(), width, height, Stride, &Ownership};
    }
    void Draw(const TShape& shape, const TMapping& mapping) {
        Polygon(Surface, mapping, shape.Corners, shape.Pen, 1, true, shape.Brush);
    }
    // A label box painted over the lines, outside the ownership rule.
    void Box(const TMapping& mapping) {
        Ownership.Touched();
        FillRect(Surface, mapping, {0, 0, 40, 40}, 0x80C0FF);
    }
};

// Each axis scaled on its own so that the shapes' corners span the surface, then shifted by
// a fraction of a pixel.
TMapping Fit(const std::vector<TShape>& shapes, int32_t width, int32_t height, double shiftX,
             double shiftY) {
    int32_t x0 = INT32_MAX, y0 = INT32_MAX, x1 = INT32_MIN, y1 = INT32_MIN;
    for (const TShape& shape : shapes)
        for (const TPoint& p : shape.Corners)
            x0 = std::min(x0, p.X), x1 = std::max(x1, p.X), y0 = std::min(y0, p.Y),
            y1 = std::max(y1, p.Y);
    const double sx = double(width) / (x1 - x0 + 1), sy = double(height) / (y1 - y0 + 1);
    return {sx, sy, shiftX - x0 * sx, shiftY - y0 * sy};
}

struct TPlaybackRow {
    const char* Name;
    std::vector<TShape> Shapes;
    int32_t Width, Height;
    bool Boxed = false;
    double ShiftX = 0, ShiftY = 0;
};

// Two runs of lines over the same rows, the second in swapped colours.
std::vector<TShape> TwoPasses(int count, int length, double degrees, uint32_t seed) {
    std::vector<TShape> shapes = Lines(count, length, degrees, clBlack, clWhite, false, seed);
    const std::vector<TShape> again =
        Lines(count, length, degrees, clWhite, clBlack, false, seed + 1);
    shapes.insert(shapes.end(), again.begin(), again.end());
    return shapes;
}

std::vector<TPlaybackRow> PlaybackRows() {
    const TColor navy = 0x800000, yellow = 0x00FFFF;
    return {
        {"quarter turn, two passes", TwoPasses(600, 3000, 90, 13), 90, 10},
        {"nearly a quarter turn, two passes", TwoPasses(400, 3000, 91, 14), 90, 14},
        // Lying bars squeezed into few rows: a hundred or more of them on each row.
        {"quarter turn, squeezed", Lines(900, 4000, 90, clBlack, clWhite, false, 1), 80, 12},
        {"three-quarter turn, squeezed", Lines(900, 4000, 270, clBlack, clWhite, false, 2), 80, 12},
        {"quarter turn, spaces darker", Lines(600, 3000, 90, clWhite, clBlack, false, 3), 90, 10},
        {"quarter turn, outlines in other colours", Lines(600, 3000, 90, navy, yellow, true, 4), 90,
         12, false, 0.5, 0.25},
        {"quarter turn, label box halfway", Lines(600, 3000, 90, clBlack, clWhite, false, 5), 90,
         10, true},
        {"nearly a quarter turn", Lines(500, 3000, 89, clBlack, clWhite, false, 6), 90, 16},
        {"33 degrees", Lines(500, 2000, 33, clBlack, clWhite, true, 7), 100, 40},
        {"upright, squeezed", Lines(900, 600, 0, clBlack, clWhite, false, 8), 40, 30},
        {"upright, enlarged", Lines(12, 20, 0, clBlack, clWhite, true, 9), 70, 32, false, 0.5},
        {"45 degrees, enlarged", Lines(10, 30, 45, navy, yellow, false, 10), 70, 60, true},
        {"scattered, squeezed", Scattered(400, 900, 11), 45, 36},
        {"scattered, enlarged", Scattered(60, 40, 12), 64, 48, true, 0.5},
    };
}

TEST(OwnedPlayback, SpanBookkeepingPaintsWhatThePlainRulePaints) {
    for (const TPlaybackRow& row : PlaybackRows()) {
        SCOPED_TRACE(row.Name);
        const TMapping mapping = Fit(row.Shapes, row.Width, row.Height, row.ShiftX, row.ShiftY);
        TPlayback plain(row.Width, row.Height, true), quick(row.Width, row.Height, false);
        // Compared after every shape, so that a difference a later shape paints over shows.
        size_t differing = 0;
        for (size_t i = 0; i < row.Shapes.size() && differing == 0; ++i) {
            if (row.Boxed && i == row.Shapes.size() / 2) plain.Box(mapping), quick.Box(mapping);
            plain.Draw(row.Shapes[i], mapping);
            quick.Draw(row.Shapes[i], mapping);
            if (plain.Bytes != quick.Bytes) differing = i + 1;
        }
        EXPECT_EQ(differing, 0u) << "the pixels differ after shape " << differing;
        // The case means something only when the shapes landed on the surface.
        EXPECT_NE(std::count(plain.Bytes.begin(), plain.Bytes.end(), 0xFF),
                  std::ptrdiff_t(plain.Bytes.size()));
    }
}

} // namespace
