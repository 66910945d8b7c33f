// The engine's drawing: geometry of the lines at every kind of angle, the label layouts,
// the values painting writes back, and failures that leave the target untouched.
#include "engine/BarcodeEngine.h"
#include "imaging/Graphics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <numbers>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace quillax {
namespace {

constexpr TColor kSpace = clWhite;
constexpr TColor kBar = clRed;
// What the target holds before painting; pixels left alone keep it.
constexpr TColor kBackdrop = 0x00FF00;

// A target surface filled with the backdrop colour.
struct TTarget {
    TBitmap Bitmap;
    TTarget(int32_t width, int32_t height) {
        Bitmap.SetWidth(width);
        Bitmap.SetHeight(height);
        Bitmap.Canvas().Brush().SetColor(kBackdrop);
        Bitmap.Canvas().FillRect({0, 0, width, height});
    }
};

void Configure(TBarcodeEngine& engine, TBarcodeType typ, const std::string& text,
               bool checksum = false, double angle = 0) {
    engine.Typ = typ;
    engine.Text = text;
    engine.Checksum = checksum;
    engine.Angle = angle;
    engine.Color = kSpace;
    engine.ColorBar = kBar;
}

// The kind of line over each column of the unturned run.
std::vector<TLineKind> ColumnKinds(TBarcodeEngine& engine) {
    std::vector<TLineKind> columns;
    for (char c : engine.BuildPattern()) {
        int32_t width = 0;
        TLineKind kind{};
        engine.DecodePatternChar(c, width, kind);
        columns.insert(columns.end(), width, kind);
    }
    return columns;
}

// Describes the first pixel that differs from what expected gives (nullopt: any colour).
std::string FirstMismatch(const TBitmap& bitmap,
                          const std::function<std::optional<TColor>(int32_t, int32_t)>& expected) {
    for (int32_t y = 0; y < bitmap.Height(); ++y)
        for (int32_t x = 0; x < bitmap.Width(); ++x) {
            const std::optional<TColor> want = expected(x, y);
            if (want && bitmap.Pixel(x, y) != *want) {
                std::ostringstream out;
                out << std::hex << "(" << std::dec << x << ", " << y << ") is 0x" << std::hex
                    << bitmap.Pixel(x, y) << ", expected 0x" << *want;
                return out.str();
            }
        }
    return {};
}

// The surface a painting leaves, pixel by pixel.
std::vector<TColor> Painted(TBarcodeEngine& engine, int32_t width, int32_t height) {
    TTarget target(width, height);
    engine.PaintBarcode(target.Bitmap.Canvas(), {0, 0, width, height}, true);
    std::vector<TColor> pixels;
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            pixels.push_back(target.Bitmap.Pixel(x, y));
    return pixels;
}

// A fresh engine paints its text as an EAN-13 in black on white, one unit per module, with no
// check digit added.
TEST(PaintBarcode, AFreshEnginePaintsWhatItsDefaultsSay) {
    TBarcodeEngine fresh;
    fresh.Text = "5901234123457";
    TBarcodeEngine spelledOut;
    Configure(spelledOut, bcCodeEAN13, "5901234123457");
    spelledOut.Color = clWhite;
    spelledOut.ColorBar = clBlack;
    spelledOut.CheckSumMethod = csmModulo10;
    spelledOut.Modul = 1;
    spelledOut.Ratio = 2.0;
    EXPECT_EQ(Painted(fresh, 95, 50), Painted(spelledOut, 95, 50));
    EXPECT_EQ(fresh.Text, "5901234123457");
}

TEST(PaintBarcode, Ean13LabelCoversTheDigitGroupsAndLeavesTheGuardsFull) {
    for (bool showText : {true, false}) {
        SCOPED_TRACE(showText ? "with text" : "without text");
        TBarcodeEngine engine;
        Configure(engine, bcCodeEAN13, "5901234123457");
        const std::vector<TLineKind> columns = ColumnKinds(engine);
        ASSERT_EQ(columns.size(), 95u);
        TTarget target(95, 50);
        engine.PaintBarcode(target.Bitmap.Canvas(), {0, 0, 95, 50}, showText);
        EXPECT_EQ(engine.Height, 43);

        auto inBox = [&](int32_t x, int32_t y) {
            return showText && y >= 34 && ((x >= 3 && x <= 44) || (x >= 49 && x <= 91));
        };
        // Bars and spaces cover rows 0-43; only the guards reach it inside the label band, and
        // below the bars the band is the spaces' colour.
        EXPECT_EQ(FirstMismatch(target.Bitmap,
                                [&](int32_t x, int32_t y) -> std::optional<TColor> {
                                    if (inBox(x, y) && y >= 36) return std::nullopt; // digits
                                    if (y > 43 || inBox(x, y)) return kSpace;
                                    return columns[x] == TLineKind::lkBar ? kBar : kSpace;
                                }),
                  "");
        for (int32_t guard : {0, 2, 46, 48, 92, 94})
            EXPECT_EQ(target.Bitmap.Pixel(guard, 43), kBar) << "guard column " << guard;
        // The digits are in the bars' colour, their cells' tops 14 units above the bottom.
        int32_t inkTop = 50;
        int32_t barColoured = 0;
        for (int32_t y = 0; y < 50; ++y)
            for (int32_t x = 0; x < 95; ++x)
                if (inBox(x, y) && target.Bitmap.Pixel(x, y) != kSpace) {
                    inkTop = std::min(inkTop, y);
                    barColoured += target.Bitmap.Pixel(x, y) == kBar;
                }
        if (showText) {
            EXPECT_GE(inkTop, 36);
            EXPECT_LE(inkTop, 40);
            EXPECT_GT(barColoured, 20);
        }
    }
}

// The EAN group's label follows the bars at every narrow width: in the top row of the label
// band only the guard bars (and UPC-A's first and last digits) show, every data bar is
// covered, and each digit group's text starts inside its box.
TEST(PaintBarcode, EanLabelFollowsTheBarsAtEveryNarrowWidth) {
    struct Span {
        int32_t First, Last; // modules, inclusive
    };
    struct Row {
        TBarcodeType Typ;
        const char* Text;
        std::vector<Span> Tall;  // modules whose bars reach the bottom of the bars
        std::vector<Span> Boxes; // the digit groups' boxes inside the run
    };
    const Row rows[] = {
        {bcCodeEAN8, "12345670", {{0, 2}, {31, 35}, {64, 66}}, {{3, 30}, {35, 63}}},
        {bcCodeEAN13, "5901234123457", {{0, 2}, {45, 49}, {92, 94}}, {{3, 44}, {49, 91}}},
        {bcCodeUPC_A, "036000291452", {{0, 9}, {45, 49}, {84, 94}}, {{10, 44}, {49, 83}}},
        {bcCodeUPC_E0, "1234565", {{0, 2}, {45, 50}}, {{3, 44}}},
        {bcCodeUPC_E1, "1234562", {{0, 2}, {45, 50}}, {{3, 44}}},
    };
    constexpr int32_t kPictureHeight = 60;
    constexpr int32_t kBandTop = kPictureHeight - 16;
    for (const Row& row : rows) {
        for (int32_t m = 1; m <= 3; ++m) {
            SCOPED_TRACE(std::string(SymbologyTable[row.Typ].Name) + " at narrow width " +
                         std::to_string(m));
            TBarcodeEngine engine;
            Configure(engine, row.Typ, row.Text);
            engine.Modul = m;
            const std::vector<TLineKind> columns = ColumnKinds(engine);
            const int32_t w = static_cast<int32_t>(columns.size());
            TTarget target(w, kPictureHeight);
            engine.PaintBarcode(target.Bitmap.Canvas(), {0, 0, w, kPictureHeight}, true);
            ASSERT_EQ(engine.Height, kPictureHeight - 7);

            auto isTall = [&](int32_t x) {
                for (const Span& span : row.Tall)
                    if (x / m >= span.First && x / m <= span.Last) return true;
                return false;
            };
            for (int32_t x = 0; x < w; ++x) {
                const TColor line = columns[x] == TLineKind::lkSpace ? kSpace : kBar;
                EXPECT_EQ(target.Bitmap.Pixel(x, kBandTop), isTall(x) ? line : kSpace)
                    << "column " << x << " (module " << x / m << ")";
            }
            for (const Span& box : row.Boxes) {
                const int32_t first = box.First * m;
                const int32_t last = (box.Last + 1) * m - 1;
                int32_t inkFirst = w;
                int32_t inkLast = -1;
                for (int32_t y = kBandTop; y < kPictureHeight; ++y)
                    for (int32_t x = first; x <= last; ++x) {
                        if (target.Bitmap.Pixel(x, y) == kSpace) continue;
                        inkFirst = std::min(inkFirst, x);
                        inkLast = std::max(inkLast, x);
                    }
                SCOPED_TRACE("box of modules " + std::to_string(box.First) + " to " +
                             std::to_string(box.Last));
                EXPECT_GE(inkFirst, first);
                EXPECT_LE(inkFirst, first + 7 * m)
                    << "the text starts past the group's first digit";
                EXPECT_GT(inkLast, first) << "no text in the box";
            }
        }
    }
}

// Where a unit (x, y) of the upright drawing lands after a right-angle turn, for a run of
// w units and bars h units high, moved by shift. Lying, the picture is the upright one turned
// exactly; at 180 degrees the picture keeps its classic placement.
enum class TTurn { Upright, Quarter, Half, ThreeQuarters };
TPoint Lands(TTurn turn, int32_t x, int32_t y, int32_t w, int32_t h, TPoint shift) {
    switch (turn) {
    case TTurn::Upright:
        return {x + shift.X, y + shift.Y};
    case TTurn::Quarter:
        return {y + shift.X, w - 1 - x + shift.Y};
    case TTurn::Half:
        return {w - 1 - x + shift.X, h - y + shift.Y};
    case TTurn::ThreeQuarters:
        break;
    }
    return {h - y + shift.X, x + shift.Y};
}

// Turning by a right angle puts every unit of the upright drawing where the rotation
// carries it; picture size, Height and the origins follow the rectangle. Short bars stand
// on the baseline of the full bars. Every unit no line covers is the spaces' colour.
TEST(PaintBarcode, RightAnglesCarryTheUprightDrawing) {
    struct Row {
        TBarcodeType Typ;
        const char* Text;
        double Angle;
        TTurn Turn;
        TRect Rect;
        int32_t Height, OriginY;
        TPoint Shift; // where Lands puts the turned drawing
    } const rows[] = {
        {bcCode39, "A", 0, TTurn::Upright, {0, 0, 38, 40}, 24, 0, {0, 0}},
        {bcCode39, "A", 180, TTurn::Half, {0, 0, 38, 40}, 24, 16, {0, 16}},
        {bcCode39, "A", 90, TTurn::Quarter, {0, 0, 40, 38}, 24, 0, {0, 0}},
        {bcCode39, "A", 270, TTurn::ThreeQuarters, {0, 0, 40, 38}, 24, 0, {15, 0}},
        {bcCode39, "A", -90, TTurn::ThreeQuarters, {0, 0, 40, 38}, 24, 0, {15, 0}},
        {bcCode39, "A", 450, TTurn::Quarter, {0, 0, 40, 38}, 24, 0, {0, 0}},
        {bcCode39, "A", 360, TTurn::Upright, {0, 0, 38, 40}, 24, 0, {0, 0}},
        {bcCode39, "A", -180, TTurn::Half, {0, 0, 38, 40}, 24, 16, {0, 16}},
        {bcCodeEAN13, "5901234123457", 180, TTurn::Half, {0, 0, 95, 50}, 43, 8, {0, 8}},
        {bcCodeEAN13, "5901234123457", 90, TTurn::Quarter, {0, 0, 50, 95}, 43, 0, {0, 0}},
        {bcCodeEAN13, "5901234123457", 270, TTurn::ThreeQuarters, {0, 0, 50, 95}, 43, 0, {6, 0}},
        {bcCodePostNet, "12", 0, TTurn::Upright, {0, 0, 34, 66}, 50, 0, {0, 0}},
        {bcCodePostNet, "12", 90, TTurn::Quarter, {0, 0, 66, 34}, 50, 0, {0, 0}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.Text) + " at " + std::to_string(row.Angle));
        TBarcodeEngine engine;
        Configure(engine, row.Typ, row.Text, false, row.Angle);
        const std::vector<TLineKind> columns = ColumnKinds(engine);
        const int32_t w = static_cast<int32_t>(columns.size());
        TTarget target(row.Rect.Right, row.Rect.Bottom);
        engine.PaintBarcode(target.Bitmap.Canvas(), row.Rect, false);
        EXPECT_EQ(engine.Height, row.Height);
        EXPECT_EQ(engine.OriginX, 0);
        EXPECT_EQ(engine.OriginY, row.OriginY);

        // The expected image: each line covers rows 0 to its height, short bars the lowest
        // two fifths.
        std::vector<std::vector<TColor>> expected(row.Rect.Bottom,
                                                  std::vector<TColor>(row.Rect.Right, kSpace));
        for (int32_t x = 0; x < w; ++x) {
            const bool isShort = columns[x] == TLineKind::lkShortBar;
            const int32_t top = isShort ? row.Height - row.Height * 2 / 5 : 0;
            bool shown = false;
            for (int32_t y = top; y <= row.Height; ++y) {
                const TPoint p = Lands(row.Turn, x, y, w, row.Height, row.Shift);
                if (p.X < 0 || p.X >= row.Rect.Right || p.Y < 0 || p.Y >= row.Rect.Bottom) continue;
                expected[p.Y][p.X] = columns[x] == TLineKind::lkSpace ? kSpace : kBar;
                shown = true;
            }
            // No line of the run may fall off the picture, whatever the turn.
            EXPECT_TRUE(shown) << "the line over unit " << x << " is not drawn";
        }
        EXPECT_EQ(FirstMismatch(target.Bitmap,
                                [&](int32_t x, int32_t y) -> std::optional<TColor> {
                                    return expected[y][x];
                                }),
                  "");
    }
}

// At any angle that is not a right angle the whole upright picture, Height units across the
// bars with its label band, is turned at scale 1 into its bounding box: every pixel of the
// painting shows the upright picture's unit that it turns back to, wherever that unit lies
// clear of a line's edge, nothing outside the turned picture is drawn on, and the label
// changes only what turns back into the label band; the bars keep their area.
TEST(PaintBarcode, OtherAnglesTurnTheWholePictureAtScaleOne) {
    struct Row {
        TBarcodeType Typ;
        const char* Text;
        int32_t Modul;
        double Angle;
        bool ShowText;
    } const rows[] = {
        {bcCodeEAN13, "5901234123457", 2, 30, true},
        {bcCodeEAN13, "5901234123457", 2, 135, false},
        {bcCode39, "AB", 3, 300, true},
        {bcCode39, "AB", 3, 45, false},
        {bcCodePostNet, "1234", 2, 210, false},
        {bcCode128B, "Quillax", 2, 1, true},
    };
    constexpr int32_t kUprightHeight = 60;
    constexpr long double kClear = 1.5; // units from any edge where rounding cannot reach
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.Text) + " at " + std::to_string(row.Angle));
        // The upright picture: the same settings at 0 degrees.
        TBarcodeEngine upright;
        Configure(upright, row.Typ, row.Text);
        upright.Modul = row.Modul;
        const std::vector<TLineKind> columns = ColumnKinds(upright);
        const int32_t w = static_cast<int32_t>(columns.size());
        TTarget flat(w, kUprightHeight);
        upright.PaintBarcode(flat.Bitmap.Canvas(), {0, 0, w, kUprightHeight}, row.ShowText);

        const long double alpha = row.Angle / 180 * std::numbers::pi_v<long double>;
        const long double c = std::cos(alpha), s = std::sin(alpha);
        const TPictureSize size = TBarcodeEngine::TurnedPictureSize(w, kUprightHeight, row.Angle);
        ASSERT_EQ(size.Width, std::ceil(w * std::fabs(c) + kUprightHeight * std::fabs(s) - 1e-9));
        ASSERT_EQ(size.Height, std::ceil(w * std::fabs(s) + kUprightHeight * std::fabs(c) - 1e-9));
        TBarcodeEngine turned;
        Configure(turned, row.Typ, row.Text, false, row.Angle);
        turned.Modul = row.Modul;
        turned.Height = kUprightHeight;
        const int32_t tw = int32_t(size.Width), th = int32_t(size.Height);
        TTarget target(tw, th);
        turned.PaintBarcode(target.Bitmap.Canvas(), {0, 0, tw, th}, row.ShowText);
        EXPECT_EQ(turned.Height, upright.Height);
        TBarcodeEngine unlabelled;
        Configure(unlabelled, row.Typ, row.Text, false, row.Angle);
        unlabelled.Modul = row.Modul;
        unlabelled.Height = kUprightHeight;
        TTarget bare(tw, th);
        unlabelled.PaintBarcode(bare.Bitmap.Canvas(), {0, 0, tw, th}, false);

        // The turned frame's corners, counter-clockwise on the y-down surface; the shift puts
        // their least x and y at 0.
        const long double h = kUprightHeight;
        const long double minX = std::min({0.0L, w * c, h * s, w * c + h * s});
        const long double minY = std::min({0.0L, -w * s, h * c, -w * s + h * c});
        int32_t compared = 0;
        int32_t outsideDrawn = 0;
        int32_t labelled = 0;
        int64_t barPixels = 0; // of the unlabelled painting
        for (int32_t py = 0; py < th; ++py)
            for (int32_t px = 0; px < tw; ++px) {
                // The pixel's centre turned back into the upright picture.
                const long double tx = px + 0.5L + minX, ty = py + 0.5L + minY;
                const long double ux = tx * c - ty * s, uy = tx * s + ty * c;
                const TColor got = target.Bitmap.Pixel(px, py);
                barPixels += bare.Bitmap.Pixel(px, py) == kBar;
                if (got != bare.Bitmap.Pixel(px, py)) {
                    ++labelled;
                    EXPECT_GE(uy, h - 16 - kClear)
                        << "the label changes (" << px << ", " << py << ") outside the band";
                }
                if (ux < -kClear || uy < -kClear || ux > w + kClear ||
                    uy > kUprightHeight + kClear) {
                    outsideDrawn += got != kSpace;
                    continue;
                }
                const auto x = int32_t(std::floor(ux)), y = int32_t(std::floor(uy));
                if (x < 0 || y < 0 || x >= w || y >= kUprightHeight) continue;
                // Clear of every edge (the 5 x 5 units around are all alike, the spaces' colour
                // beyond the picture) and of the label's text cells.
                bool clear = !(row.ShowText && y >= kUprightHeight - 14);
                for (int32_t dy = -2; dy <= 2; ++dy)
                    for (int32_t dx = -2; dx <= 2; ++dx) {
                        const int32_t ax = x + dx, ay = y + dy;
                        const bool inside = ax >= 0 && ax < w && ay >= 0 && ay < kUprightHeight;
                        clear &= (inside ? flat.Bitmap.Pixel(ax, ay) : kSpace) ==
                                 flat.Bitmap.Pixel(x, y);
                    }
                if (!clear) continue;
                ++compared;
                EXPECT_EQ(got, flat.Bitmap.Pixel(x, y))
                    << "(" << px << ", " << py << ") turns back to (" << x << ", " << y << ")";
                if (::testing::Test::HasFailure()) return;
            }
        EXPECT_GT(compared, w * kUprightHeight / 20);
        // The bars keep their area, to a few per cent: none narrowed or widened by rounding.
        TTarget flatBare(w, kUprightHeight);
        upright.PaintBarcode(flatBare.Bitmap.Canvas(), {0, 0, w, kUprightHeight}, false);
        int64_t uprightBarPixels = 0;
        for (int32_t y = 0; y < kUprightHeight; ++y)
            for (int32_t x = 0; x < w; ++x)
                uprightBarPixels += flatBare.Bitmap.Pixel(x, y) == kBar;
        EXPECT_NEAR(double(barPixels) / double(uprightBarPixels), 1.0, 0.08);
        EXPECT_EQ(outsideDrawn, 0);
        EXPECT_EQ(row.ShowText, labelled > 20) << labelled << " pixels changed by the label";
    }
}

// The picture's extent across the bars is rounded to nearest, halves to even.
TEST(PaintBarcode, HeightFollowsTheScaledRectangle) {
    struct Row {
        TBarcodeType Typ;
        double Angle;
        TRect Rect;
        int32_t Height;
    } const rows[] = {
        {bcCodeEAN13, 0, {0, 0, 190, 101}, 43}, // 50.5 units -> 50
        {bcCodeEAN13, 0, {0, 0, 190, 103}, 45}, // 51.5 units -> 52
        {bcCodeEAN13, 90, {0, 0, 101, 190}, 43},
        {bcCode39, 90, {0, 0, 100, 76}, 34}, // twice as high as the run: 50 units across
        {bcCode39, 0, {5, 7, 43, 47}, 24},   // the rectangle need not start at (0, 0)
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.Typ) + " at " + std::to_string(row.Angle));
        TBarcodeEngine engine;
        Configure(engine, row.Typ, row.Typ == bcCode39 ? "A" : "5901234123457", false, row.Angle);
        TTarget target(row.Rect.Right, row.Rect.Bottom);
        engine.PaintBarcode(target.Bitmap.Canvas(), row.Rect, true);
        EXPECT_EQ(engine.Height, row.Height);
    }
}

// Each label piece is a box in the background colour with its text, at the place the
// rotation gives it; the same pieces drawn straight onto the bars must give the same image.
TEST(PaintBarcode, LabelPiecesByTypeAndAngle) {
    struct Piece {
        TRect Box;
        TPoint At; // At.X of INT32_MIN: centred on a run of Box.Right - 1 units
        const char* Text;
    };
    constexpr int32_t kCentred = INT32_MIN;
    struct Row {
        TBarcodeType Typ;
        const char* Text;
        bool Checksum;
        double Angle;
        TRect Rect;
        std::vector<Piece> Pieces;
    };
    // An add-on's digits are centred over its bars (from unit 104, 20 or 47 units wide).
    TBitmap measure;
    measure.Canvas().Font().SetName("Arial");
    measure.Canvas().Font().SetSize(9);
    const int32_t over2 = 104 + (20 - measure.Canvas().TextWidth("12")) / 2;
    const int32_t over5 = 104 + (47 - measure.Canvas().TextWidth("12345")) / 2;
    // clang-format off
    const Row rows[] = {
        {bcCodeEAN13, "5901234123457", false, 0, {0, 0, 95, 50},
         {{{-8, 34, -1, 50}, {-8, 36}, "5"}, {{3, 34, 45, 50}, {3, 36}, "901234"},
          {{49, 34, 92, 50}, {49, 36}, "123457"}}},
        {bcCodeEAN13, "0012345678905", false, 0, {0, 0, 95, 50},
         {{{3, 34, 45, 50}, {3, 36}, "012345"}, {{49, 34, 92, 50}, {49, 36}, "678905"}}},
        // The label shows the check digit that the bars carry.
        {bcCodeEAN8, "1234567", true, 0, {0, 0, 67, 50},
         {{{3, 34, 31, 50}, {3, 36}, "1234"}, {{35, 34, 64, 50}, {35, 36}, "5670"}}},
        // UPC-A prints the check digit it computed.
        {bcCodeUPC_A, "03600029145", true, 0, {0, 0, 95, 50},
         {{{-8, 34, -1, 50}, {-8, 36}, "0"}, {{10, 34, 45, 50}, {10, 36}, "36000"},
          {{49, 34, 84, 50}, {49, 36}, "29145"}, {{96, 34, 104, 50}, {96, 36}, "2"}}},
        {bcCodeUPC_E0, "123456", false, 0, {0, 0, 51, 50},
         {{{3, 34, 45, 50}, {3, 36}, "123456"}, {{52, 34, 60, 50}, {52, 36}, "5"}}},
        {bcCode39, "A", false, 0, {0, 0, 38, 40}, {{{0, 24, 39, 40}, {kCentred, 26}, "A"}}},
        {bcCodeEAN13, "5901234123457", false, 180, {0, 0, 95, 50},
         {{{96, 0, 103, 16}, {103, 14}, "5"}, {{50, 0, 92, 16}, {92, 14}, "901234"},
          {{3, 0, 46, 16}, {46, 14}, "123457"}}},
        // Lying, the band is the upright one turned: 16 units deep, the digit off the run left
        // out.
        {bcCodeEAN13, "5901234123457", false, 90, {0, 0, 50, 95},
         {{{34, 50, 50, 92}, {36, 92}, "901234"}, {{34, 3, 50, 46}, {36, 46}, "123457"}}},
        {bcCodeEAN13, "5901234123457", false, 270, {0, 0, 50, 95},
         {{{0, 3, 16, 45}, {14, 3}, "901234"}, {{0, 49, 16, 92}, {14, 49}, "123457"}}},
        // Angles outside 0-359 are laid out as the same direction within it: -90 as 270.
        {bcCodeEAN13, "5901234123457", false, -90, {0, 0, 50, 95},
         {{{0, 3, 16, 45}, {14, 3}, "901234"}, {{0, 49, 16, 92}, {14, 49}, "123457"}}},
        // An add-on after the gap: the main symbol's label as it is alone, the add-on's digits
        // in a band over its bars (UPC-A's check digit in the gap); turned with the picture.
        {bcCodeEAN13, "5901234123457+12", false, 0, {0, 0, 124, 50},
         {{{-8, 34, -1, 50}, {-8, 36}, "5"}, {{3, 34, 45, 50}, {3, 36}, "901234"},
          {{49, 34, 92, 50}, {49, 36}, "123457"}, {{104, 0, 125, 16}, {over2, 2}, "12"}}},
        {bcCodeUPC_A, "03600029145+12345", true, 0, {0, 0, 151, 50},
         {{{-8, 34, -1, 50}, {-8, 36}, "0"}, {{10, 34, 45, 50}, {10, 36}, "36000"},
          {{49, 34, 84, 50}, {49, 36}, "29145"}, {{96, 34, 104, 50}, {96, 36}, "2"},
          {{104, 0, 152, 16}, {over5, 2}, "12345"}}},
        {bcCodeEAN13, "5901234123457+12", false, 180, {0, 0, 124, 50},
         {{{125, 0, 132, 16}, {132, 14}, "5"}, {{79, 0, 121, 16}, {121, 14}, "901234"},
          {{32, 0, 75, 16}, {75, 14}, "123457"}, {{-1, 34, 20, 50}, {124 - over2, 48}, "12"}}},
        {bcCodeEAN13, "5901234123457+12", false, 270, {0, 0, 50, 124},
         {{{0, 3, 16, 45}, {14, 3}, "901234"}, {{0, 49, 16, 92}, {14, 49}, "123457"},
          {{34, 104, 50, 124}, {48, over2}, "12"}}},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.Text) + " at " + std::to_string(row.Angle));
        TBarcodeEngine labelled;
        Configure(labelled, row.Typ, row.Text, row.Checksum, row.Angle);
        TTarget actual(row.Rect.Right, row.Rect.Bottom);
        labelled.PaintBarcode(actual.Bitmap.Canvas(), row.Rect, true);

        TBarcodeEngine bare;
        Configure(bare, row.Typ, row.Text, row.Checksum, row.Angle);
        TTarget expected(row.Rect.Right, row.Rect.Bottom);
        TCanvas& canvas = expected.Bitmap.Canvas();
        bare.PaintBarcode(canvas, row.Rect, false);
        canvas.Font().SetName("Arial");
        canvas.Font().SetSize(9);
        canvas.Font().SetColor(kBar);
        HFONT previous = SelectObject(
            canvas.Handle(),
            TBarcodeEngine::MakeRotatedFont(canvas.Font(), static_cast<int32_t>(row.Angle)));
        canvas.Brush().SetColor(kSpace);
        SetBkMode(canvas.Handle(), TRANSPARENT);
        for (const Piece& piece : row.Pieces) {
            canvas.FillRect(piece.Box);
            const int32_t x = piece.At.X != kCentred
                                  ? piece.At.X
                                  : (piece.Box.Right - 1 - canvas.TextWidth(piece.Text)) / 2;
            canvas.TextOut(x, piece.At.Y, piece.Text);
        }
        SelectObject(canvas.Handle(), previous);

        EXPECT_EQ(FirstMismatch(actual.Bitmap,
                                [&](int32_t x, int32_t y) -> std::optional<TColor> {
                                    return expected.Bitmap.Pixel(x, y);
                                }),
                  "");
    }
}

// An angle beyond 0-359 paints exactly as the same direction within it, label included.
TEST(PaintBarcode, AnglesAreReducedToOneTurn) {
    struct Row {
        double Angle;
        double Reduced;
    } const rows[] = {
        {-450, 270}, {-90, 270}, {360, 0},  {450, 90},   {-180, 180}, {720, 0},        {-360, 0},
        {393, 33},   {-327, 33}, {-0.0, 0}, {-1e-30, 0}, {1080, 0},   {-720.5, 359.5},
    };
    for (const Row& row : rows) {
        for (TBarcodeType typ : {bcCodeEAN13, bcCode39}) {
            SCOPED_TRACE(std::to_string(row.Angle) + ", " + SymbologyTable[typ].Name);
            const char* text = typ == bcCode39 ? "AB" : "5901234123457";
            TBarcodeEngine turned;
            Configure(turned, typ, text, false, row.Angle);
            TBarcodeEngine reduced;
            Configure(reduced, typ, text, false, row.Reduced);
            TTarget a(95, 95);
            TTarget b(95, 95);
            turned.PaintBarcode(a.Bitmap.Canvas(), {0, 0, 95, 95}, true);
            reduced.PaintBarcode(b.Bitmap.Canvas(), {0, 0, 95, 95}, true);
            EXPECT_EQ(turned.Height, reduced.Height);
            EXPECT_EQ(turned.OriginX, reduced.OriginX);
            EXPECT_EQ(turned.OriginY, reduced.OriginY);
            EXPECT_EQ(FirstMismatch(a.Bitmap,
                                    [&](int32_t x, int32_t y) -> std::optional<TColor> {
                                        return b.Bitmap.Pixel(x, y);
                                    }),
                      "");
            EXPECT_EQ(turned.Angle, row.Angle); // the setting itself is left as it was
        }
    }
}

// A failing painting raises before the target is touched.
TEST(PaintBarcode, FailuresLeaveTheTargetUntouched) {
    struct Row {
        const char* Name;
        TBarcodeType Typ;
        const char* Text;
        int32_t Modul;
        double Angle;
        TRect Rect;
        const char* Message; // nullptr: any message
    };
    // clang-format off
    const Row rows[] = {
        {"letters in numeric data", bcCodeEAN13, "59012a", 1, 0, {0, 0, 95, 50},
         "Barcode must be numeric"},
        {"unknown type", static_cast<TBarcodeType>(25), "1", 1, 0, {0, 0, 95, 50},
         "TBarcodeEngine: wrong BarcodeType"},
        {"zero total width", bcCodeEAN13, "5901234123457", 0, 0, {0, 0, 95, 50},
         "TBarcodeEngine: barcode has no width"},
        {"lying, no height to scale by", bcCodeEAN13, "5901234123457", 1, 90, {0, 0, 95, 0},
         nullptr},
        {"upright, no width to scale by", bcCode39, "A", 1, 0, {0, 0, 0, 50}, nullptr},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        TBarcodeEngine engine;
        Configure(engine, row.Typ, row.Text, false, row.Angle);
        engine.Modul = row.Modul;
        TTarget target(95, 50);
        try {
            engine.PaintBarcode(target.Bitmap.Canvas(), row.Rect, true);
            ADD_FAILURE() << "no error raised";
        } catch (const Exception& e) {
            if (row.Message) {
                EXPECT_EQ(e.Message(), row.Message);
            }
        }
        EXPECT_EQ(
            FirstMismatch(target.Bitmap,
                          [](int32_t, int32_t) -> std::optional<TColor> { return kBackdrop; }),
            "");
    }
}

TEST(DrawingGeometry, RotatedBoxOriginMovesTheTurnedBoxIntoPlace) {
    struct Row {
        double Degrees;
        TPoint Origin;  // of a 95 x 43 box, from (1, 2)
        TPoint Rotated; // (10, 3) turned
    } const rows[] = {
        {0, {1, 2}, {10, 3}},       {90, {1, 97}, {3, -10}},  {180, {96, 45}, {-10, -3}},
        {270, {44, 2}, {-3, 10}},   {-90, {44, 2}, {-3, 10}}, {45, {1, 69}, {9, -5}},
        {135, {68, 100}, {-5, -9}}, {225, {98, 32}, {-9, 5}}, {315, {31, 2}, {5, 9}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Degrees);
        const double alpha = row.Degrees / 180 * 3.14159265358979323846;
        EXPECT_EQ(TBarcodeEngine::RotatedBoxOrigin(alpha, {1, 2}, {95, 43}), row.Origin);
        EXPECT_EQ(TBarcodeEngine::RotatePoint({10, 3}, alpha), row.Rotated);
    }
}

// Settings and rectangles far outside sensible use either paint or raise the engine's
// error; none may crash or run away with memory or time.
TEST(PaintBarcode, ExtremeSettingsPaintOrRaise) {
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    constexpr double kInf = std::numeric_limits<double>::infinity();
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
    constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
    struct Row {
        double Angle;
        TRect Rect;
    } const rows[] = {
        {kNaN, {0, 0, 95, 50}},        {kInf, {0, 0, 95, 50}},   {-kInf, {0, 0, 95, 50}},
        {1e300, {0, 0, 95, 50}},       {0, {0, 0, 95, kMax}},    {90, {0, 0, kMax, 1}},
        {0, {kMin, kMin, kMax, kMax}}, {180, {95, 50, 0, 0}},    {45, {0, 0, 1, 1}},
        {33.3, {-50, -50, 95, 50}},    {-720.5, {0, 0, 95, 50}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.Angle) + " into " + std::to_string(row.Rect.Right));
        TBarcodeEngine engine;
        Configure(engine, bcCodeEAN13, "5901234123457", false, row.Angle);
        TTarget target(95, 50);
        try {
            engine.PaintBarcode(target.Bitmap.Canvas(), row.Rect, true);
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message().rfind("TBarcodeEngine: ", 0), 0u) << e.Message();
        }
    }
}

} // namespace
} // namespace quillax
