// Upright boxes painted together as a run against each drawn on its own: the same pixels for
// bars and spaces side by side, for boxes with gaps, overlaps and other rows between them,
// for boxes partly or wholly off the surface, and with other polygons in between.
#include "imaging/Raster.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>
#include <vector>

using namespace quillax;
using namespace quillax::raster;

namespace {

constexpr int32_t kWidth = 41;
constexpr int32_t kHeight = 13;

struct TStore {
    int32_t Stride = (3 * kWidth + 3) / 4 * 4;
    std::vector<uint8_t> Bytes;
    explicit TStore(uint32_t seed) : Bytes(size_t(Stride) * kHeight) {
        for (size_t i = 0; i < Bytes.size(); ++i)
            Bytes[i] = uint8_t(i * 7 + seed);
    }
    TSurface Surface() { return {Bytes.data(), kWidth, kHeight, Stride, nullptr}; }
};

// One polygon to draw: its corners, pen and brush.
struct TShape {
    std::vector<TPoint> Points;
    TColor Pen, Brush;
    int32_t PenWidth = 1;
    bool Fill = true;
};

// Mostly bars and spaces one after the other on one of a few row ranges, now and then a gap,
// an overlap, a box off the surface, another kind of polygon or pen.
std::vector<TShape> RandomShapes(std::mt19937& random) {
    std::uniform_int_distribution<int> percent(0, 99), width(1, 5), count(1, 40);
    const std::array<std::array<int32_t, 2>, 4> rows{{{0, 9}, {0, 12}, {3, 20}, {-4, 5}}};
    const auto& usual = rows[size_t(percent(random) % 4)];
    std::vector<TShape> shapes;
    int32_t x = percent(random) % 7 - 3;
    for (int n = count(random); n > 0; --n) {
        const int32_t w = width(random);
        const TColor color = TColor(random() & 0xFFFFFF);
        const int roll = percent(random);
        auto rowsOf = roll < 80 ? usual : rows[size_t(roll % 4)];
        int32_t left = x;
        if (roll % 10 == 0) left += 2;         // a gap
        if (roll % 10 == 1) left -= 2;         // an overlap
        if (roll % 25 == 2) left = kWidth + 5; // off to the right
        const int32_t right = left + w - 1, top = rowsOf[0], bottom = rowsOf[1];
        TShape shape{{{left, top}, {left, bottom}, {right, bottom}, {right, top}}, color, color};
        if (roll % 17 == 3) shape.Pen = color ^ 0x0000FF; // outlined in another colour
        if (roll % 19 == 4) shape.PenWidth = 3;
        if (roll % 23 == 5) shape.Fill = false;
        if (roll % 29 == 6) shape.Points = {{left, top}, {right + 3, bottom}, {left, bottom}};
        shapes.push_back(shape);
        x = right + 1;
    }
    return shapes;
}

TEST(BoxRun, PaintsWhatEachBoxPaintsOnItsOwn) {
    std::mt19937 random(8);
    const TMapping exact{1, 1, 0, 0}, shifted{1, 1, 2, -1}, scaled{1.5, 1, 0, 0};
    int taken = 0;
    for (int round = 0; round < 3000; ++round) {
        const std::vector<TShape> shapes = RandomShapes(random);
        const TMapping& mapping = round % 5 == 0 ? shifted : round % 11 == 0 ? scaled : exact;
        TStore alone{uint32_t(round)}, together{uint32_t(round)};
        for (const TShape& s : shapes)
            Polygon(alone.Surface(), mapping, s.Points, s.Pen, s.PenWidth, s.Fill, s.Brush);
        {
            const TSurface surface = together.Surface();
            TBoxRun run(surface, mapping);
            for (const TShape& s : shapes) {
                if (run.Add(s.Points, s.Pen, s.PenWidth, s.Fill, s.Brush)) {
                    ++taken;
                    continue;
                }
                run.Flush();
                Polygon(surface, mapping, s.Points, s.Pen, s.PenWidth, s.Fill, s.Brush);
            }
        }
        ASSERT_EQ(together.Bytes, alone.Bytes) << "round " << round;
    }
    EXPECT_GT(taken, 30000) << "most shapes are boxes the run takes";
}

} // namespace
