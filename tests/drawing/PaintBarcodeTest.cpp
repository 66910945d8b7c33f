// The engine's drawing: geometry of the lines at every kind of angle, the label layouts,
// the values painting writes back, and failures that leave the target untouched.
#include "engine/BarcodeEngine.h"
#include "imaging/Graphics.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>
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
        // Bars and spaces cover rows 0-43; only the guards reach it inside the label band.
        EXPECT_EQ(FirstMismatch(target.Bitmap,
                                [&](int32_t x, int32_t y) -> std::optional<TColor> {
                                    if (inBox(x, y)) return std::nullopt;
                                    if (y > 43) return kBackdrop;
                                    return columns[x] == TLineKind::lkBar ? kBar : kSpace;
                                }),
                  "");
        for (int32_t guard : {0, 2, 46, 48, 92, 94})
            EXPECT_EQ(target.Bitmap.Pixel(guard, 43), kBar) << "guard column " << guard;
        // Inside the boxes only the background and the (black) digits show.
        int32_t inkTop = 50;
        for (int32_t y = 0; y < 50; ++y)
            for (int32_t x = 0; x < 95; ++x)
                if (inBox(x, y)) {
                    EXPECT_NE(target.Bitmap.Pixel(x, y), kBar) << x << ", " << y;
                    if (target.Bitmap.Pixel(x, y) != kSpace) inkTop = std::min(inkTop, y);
                }
        if (showText) {
            EXPECT_GE(inkTop, 36);
            EXPECT_LE(inkTop, 40);
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
                        const TColor c = target.Bitmap.Pixel(x, y);
                        if (c == kSpace) continue;
                        EXPECT_NE(c, kBar) << "a bar sticks through the band at " << x << ", " << y;
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
// w units, bars h units high and the origin (ox, oy).
enum class TTurn { Upright, Quarter, Half, ThreeQuarters };
TPoint Lands(TTurn turn, int32_t x, int32_t y, int32_t w, int32_t h, int32_t ox, int32_t oy) {
    switch (turn) {
    case TTurn::Upright:
        return {x + ox, y + oy};
    case TTurn::Quarter:
        return {y + ox, w - 1 - x + oy};
    case TTurn::Half:
        return {w - 1 - x + ox, h - y + oy};
    case TTurn::ThreeQuarters:
        break;
    }
    return {h - y + ox, x + oy};
}

// Turning by a right angle puts every unit of the upright drawing where the rotation
// carries it; picture size, Height and the origins follow the rectangle.
TEST(PaintBarcode, RightAnglesCarryTheUprightDrawing) {
    struct Row {
        TBarcodeType Typ;
        const char* Text;
        double Angle;
        TTurn Turn;
        TRect Rect;
        int32_t Height, OriginX, OriginY;
    } const rows[] = {
        {bcCode39, "A", 0, TTurn::Upright, {0, 0, 38, 40}, 24, 0, 0},
        {bcCode39, "A", 180, TTurn::Half, {0, 0, 38, 40}, 24, 0, 16},
        {bcCode39, "A", 90, TTurn::Quarter, {0, 0, 40, 38}, 24, 0, 0},
        {bcCode39, "A", 270, TTurn::ThreeQuarters, {0, 0, 40, 38}, 24, 16, 0},
        {bcCode39, "A", -90, TTurn::ThreeQuarters, {0, 0, 40, 38}, 24, 16, 0},
        {bcCode39, "A", 450, TTurn::Quarter, {0, 0, 40, 38}, 24, 0, 0},
        {bcCode39, "A", 360, TTurn::Upright, {0, 0, 38, 40}, 24, 0, 0},
        {bcCode39, "A", -180, TTurn::Half, {0, 0, 38, 40}, 24, 0, 16},
        {bcCodeEAN13, "5901234123457", 180, TTurn::Half, {0, 0, 95, 50}, 43, 0, 8},
        {bcCodeEAN13, "5901234123457", 90, TTurn::Quarter, {0, 0, 50, 95}, 43, 0, 0},
        {bcCodeEAN13, "5901234123457", 270, TTurn::ThreeQuarters, {0, 0, 50, 95}, 43, 8, 0},
        // Short bars hang from the same top edge, two fifths as long.
        {bcCodePostNet, "12", 0, TTurn::Upright, {0, 0, 34, 66}, 50, 0, 0},
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
        EXPECT_EQ(engine.OriginX, row.OriginX);
        EXPECT_EQ(engine.OriginY, row.OriginY);

        // The expected image: each line covers rows 0 to its height, short bars two fifths.
        std::vector<std::vector<TColor>> expected(row.Rect.Bottom,
                                                  std::vector<TColor>(row.Rect.Right, kBackdrop));
        for (int32_t x = 0; x < w; ++x) {
            const bool isShort = columns[x] == TLineKind::lkShortBar;
            const int32_t lineHeight = isShort ? row.Height * 2 / 5 : row.Height;
            bool shown = false;
            for (int32_t y = 0; y <= lineHeight; ++y) {
                const TPoint p = Lands(row.Turn, x, y, w, row.Height, row.OriginX, row.OriginY);
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
        {bcCodeEAN13, 90, {0, 0, 101, 190}, 43}, {bcCodeEAN13, 45, {0, 0, 103, 190}, 45},
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
        {bcCodeEAN13, "5901234123457", false, 90, {0, 0, 50, 95},
         {{{36, 96, 50, 103}, {36, 103}, "5"}, {{36, 50, 50, 92}, {36, 92}, "901234"},
          {{36, 3, 50, 46}, {36, 46}, "123457"}}},
        {bcCodeEAN13, "5901234123457", false, 270, {0, 0, 50, 95},
         {{{0, -8, 14, -1}, {14, -8}, "5"}, {{0, 3, 14, 45}, {14, 3}, "901234"},
          {{0, 49, 14, 92}, {14, 49}, "123457"}}},
        // Any other angle keeps the upright layout.
        {bcCodeEAN13, "5901234123457", false, 45, {0, 0, 50, 95},
         {{{-8, 79, -1, 95}, {-8, 81}, "5"}, {{3, 79, 45, 95}, {3, 81}, "901234"},
          {{49, 79, 92, 95}, {49, 81}, "123457"}}},
        // Angles outside 0-359 are laid out as the same direction within it: -90 as 270.
        {bcCodeEAN13, "5901234123457", false, -90, {0, 0, 50, 95},
         {{{0, -8, 14, -1}, {14, -8}, "5"}, {{0, 3, 14, 45}, {14, 3}, "901234"},
          {{0, 49, 14, 92}, {14, 49}, "123457"}}},
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
