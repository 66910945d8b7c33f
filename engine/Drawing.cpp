// Drawing: the barcode is composed in drawing units on a vector picture, rotated by Angle,
// with an optional human-readable label, and the picture is then played, scaled, into the
// target rectangle. The target is drawn on only by that final playback, and every unit of the
// picture that no line or text covers is the background colour.
#include "engine/BarcodeEngine.h"
#include "engine/DrawingGeometry.h"
#include "imaging/Graphics.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

namespace quillax {

using namespace drawing;

namespace {

// Label font.
constexpr const char* kLabelFontName = "Arial";
constexpr int32_t kLabelFontSize = 9;
// Depth of the label band across the bars, and how far the bars stop short of the edge.
constexpr int32_t kLabelBand = 16;
constexpr int32_t kEanLabelBand = 7;
// Origin shift across the bars when the drawing is turned upside down (180).
constexpr int32_t kTurnedOrigin = 16;
constexpr int32_t kEanTurnedOrigin = 8;
// The text cell's top edge lies this far in from the picture's edge across the bars.
constexpr int32_t kTextInset = 14;
// Rounding up a turned picture's size forgives this much floating-point noise, so that an
// extent that is a whole number does not gain a pixel.
constexpr long double kSizeNoise = 1e-6L;

} // namespace

namespace drawing {

// Raises the engine's error with "TBarcodeEngine: <what>".
[[noreturn]] void RaiseDrawingError(const char* what) {
    throw Exception(std::string(TBarcodeEngine::ClassName) + ": " + what);
}

// A whole drawing coordinate that must fit 32 signed bits. A double holds every such value
// exactly, so converting through it gives the value itself and needs no change of the x87
// rounding mode (which a direct conversion of an extended value makes, at a high price).
int32_t CheckedCoordinate(long double whole) {
    if (!(whole >= std::numeric_limits<int32_t>::min() &&
          whole <= std::numeric_limits<int32_t>::max()))
        RaiseDrawingError("drawing out of range");
    return static_cast<int32_t>(static_cast<double>(whole));
}

// Rounds to nearest, halves to even (the default rounding mode).
int32_t Nearest(long double v) {
    return CheckedCoordinate(std::rint(v));
}

// A sum of coordinates that must fit 32 signed bits.
int32_t CheckedSum(int64_t sum) {
    if (sum < std::numeric_limits<int32_t>::min() || sum > std::numeric_limits<int32_t>::max())
        RaiseDrawingError("drawing out of range");
    return static_cast<int32_t>(sum);
}

// An angle in degrees as the same direction from 0 up to 360: -90 is 270, 450 is 90.
double ReducedAngle(double degrees) {
    double reduced = std::fmod(degrees, 360.0);
    if (reduced < 0) reduced += 360.0;
    return reduced >= 360.0 ? 0.0 : reduced; // a tiny negative rest rounds up to 360
}

// Angle in degrees to radians, kept as a 64-bit float.
double ToRadians(double degrees) {
    return static_cast<double>(static_cast<long double>(degrees) / 180 *
                               std::numbers::pi_v<long double>);
}

// 0 and 180 degrees: the bars stand upright and the picture keeps the classic layout.
bool IsUpright(double reducedAngle) {
    return reducedAngle == 0 || reducedAngle == 180;
}

// 90 and 270 degrees: the bars lie across and the picture is the upright one turned exactly.
bool IsLying(double reducedAngle) {
    return reducedAngle == 90 || reducedAngle == 270;
}

// A picture extent that must fit 32 signed bits.
int32_t CheckedExtent(int64_t extent) {
    if (extent < 0 || extent > std::numeric_limits<int32_t>::max())
        RaiseDrawingError("drawing out of range");
    return static_cast<int32_t>(extent);
}

int32_t FineInset(double reducedAngle) {
    const TTurnOf turn(ToRadians(reducedAngle));
    return Nearest(std::max(std::fabs(turn.Cos), std::fabs(turn.Sin)) * kFineUnits / 2);
}

TFontRestorer::~TFontRestorer() {
    try {
        Restore();
    } catch (...) {
        // Already failing; the recording is being discarded anyway.
    }
}

void TFontRestorer::Restore() {
    if (restored_) return;
    restored_ = true;
    SelectObject(canvas_.Handle(), previous_);
}

} // namespace drawing

namespace {

// The whole number -1, 0 or 1 that a sine or cosine acts as on every 32-bit coordinate, if
// any: v is exactly -1 or 1 while its partner is tiny, or v is tiny while its partner is -1
// or 1. Tiny is at most 2^-33: times a coordinate it stays within 1/4, which rounding to
// nearest removes.
std::optional<int32_t> WholeFactor(long double v, long double partner) {
    constexpr long double tiny = 0x1p-33L;
    if ((v == 1 || v == -1) && std::fabs(partner) <= tiny) return v > 0 ? 1 : -1;
    if ((partner == 1 || partner == -1) && std::fabs(v) <= tiny) return 0;
    return std::nullopt;
}

// (x, y) turned counter-clockwise on the y-down surface.
TPoint Turn(TPoint p, const TTurnOf& turn) {
    const long double x = p.X;
    const long double y = p.Y;
    return {Nearest(x * turn.Cos + y * turn.Sin), Nearest(-x * turn.Sin + y * turn.Cos)};
}

// The EAN group (not the add-ons): short label band and digit-group labels.
bool IsEanGroup(TBarcodeType typ) {
    switch (typ) {
    case bcCodeEAN8:
    case bcCodeEAN13:
    case bcCodeUPC_A:
    case bcCodeUPC_E0:
    case bcCodeUPC_E1:
        return true;
    default:
        return false;
    }
}

// text[first..last], 1-based and inclusive, cut short where text is shorter.
std::string Slice(const std::string& text, size_t first, size_t last) {
    if (first > text.size()) return {};
    return text.substr(first - 1, std::min(last, text.size()) - first + 1);
}

// One label piece: where its text starts and which columns its box covers.
struct TLabelPiece {
    int32_t TextPos;
    int32_t BoxStart;
    int32_t BoxEnd;
    std::string Text;
};

// The positions of the EAN/UPC digit groups in modules; w is the run's total width in modules.
std::vector<TLabelPiece> EanLabelPiecesInModules(TBarcodeType typ, const std::string& text,
                                                 int32_t w) {
    switch (typ) {
    case bcCodeEAN8:
        return {{3, 3, 30, Slice(text, 1, 4)}, {35, 35, w - 4, Slice(text, 5, 8)}};
    case bcCodeEAN13: {
        std::vector<TLabelPiece> pieces;
        // A leading 0 of EAN-13 is not printed.
        if (text.empty() || text[0] != '0') pieces.push_back({-8, -8, -2, Slice(text, 1, 1)});
        pieces.push_back({3, 3, 44, Slice(text, 2, 7)});
        pieces.push_back({49, 49, w - 4, Slice(text, 8, 13)});
        return pieces;
    }
    case bcCodeUPC_A:
        return {{-8, -8, -2, Slice(text, 1, 1)},
                {10, 10, 44, Slice(text, 2, 6)},
                {49, 49, 83, Slice(text, 7, 11)},
                {w + 1, w + 1, w + 8, Slice(text, 12, 12)}};
    case bcCodeUPC_E0:
    case bcCodeUPC_E1:
        return {{3, 3, 44, Slice(text, 1, 6)}, {w + 1, w + 1, w + 8, Slice(text, 7, 7)}};
    default:
        return {};
    }
}

// The EAN/UPC digit groups placed on a run of w units whose elements are whole modules of m
// units: a box from module a to module b covers units a·m to (b + 1)·m - 1 and a text at
// module t starts at unit t·m, so the label follows the bars at every narrow width.
std::vector<TLabelPiece> EanLabelPieces(TBarcodeType typ, const std::string& text, int32_t w,
                                        int32_t m) {
    std::vector<TLabelPiece> pieces = EanLabelPiecesInModules(typ, text, w / m);
    for (TLabelPiece& piece : pieces) {
        piece.TextPos *= m;
        piece.BoxStart *= m;
        piece.BoxEnd = (piece.BoxEnd + 1) * m - 1;
    }
    return pieces;
}

// The rectangle spanned by two corners, whichever way round they are given.
TRect SpannedRect(TPoint a, TPoint b) {
    return {std::min(a.X, b.X), std::min(a.Y, b.Y), std::max(a.X, b.X), std::max(a.Y, b.Y)};
}

} // namespace

// --- Geometry ---------------------------------------------------------------------------

// Turns p counter-clockwise by alpha radians on the y-down surface.
TPoint TBarcodeEngine::RotatePoint(TPoint p, double alpha) {
    return Turn(p, TTurnOf(alpha));
}

TTurnOf::TTurnOf(double alpha)
    : Sin(std::sin(static_cast<long double>(alpha))),
      Cos(std::cos(static_cast<long double>(alpha))) {}

TCornerPlacement::TCornerPlacement(double alpha, TPoint origin) : turn_(alpha), origin_(origin) {
    const std::optional<int32_t> sin = WholeFactor(turn_.Sin, turn_.Cos);
    const std::optional<int32_t> cos = WholeFactor(turn_.Cos, turn_.Sin);
    whole_ = sin && cos;
    wholeSin_ = sin.value_or(0);
    wholeCos_ = cos.value_or(0);
}

void TCornerPlacement::OutOfRange() {
    RaiseDrawingError("drawing out of range");
}

TPoint TCornerPlacement::PlaceTurned(TPoint p) const {
    const TPoint turned = Turn(p, turn_);
    return {CheckedSum(int64_t(turned.X) + origin_.X), CheckedSum(int64_t(turned.Y) + origin_.Y)};
}

TPoint TBarcodeEngine::OffsetPoint(TPoint a, TPoint b) {
    return {CheckedCoordinate(static_cast<long double>(a.X) + b.X),
            CheckedCoordinate(static_cast<long double>(a.Y) + b.Y)};
}

// origin plus the shift that moves the box (0, 0)-(size), turned by alpha, into the
// non-negative quadrant.
TPoint TBarcodeEngine::RotatedBoxOrigin(double alpha, TPoint origin, TPoint size) {
    const long double s = std::sin(static_cast<long double>(alpha));
    const long double c = std::cos(static_cast<long double>(alpha));
    const long double w = size.X;
    const long double h = size.Y;
    long double dx = 0;
    long double dy = 0;
    if (s >= 0 && c >= 0) {
        dy = Nearest(w * s);
    } else if (s >= 0) {
        dx = -static_cast<long double>(Nearest(w * c));
        dy = Nearest(w * s - h * c);
    } else if (c >= 0) {
        dx = -static_cast<long double>(Nearest(h * s));
    } else if (s < 0 && c < 0) {
        dx = -static_cast<long double>(Nearest(w * c)) - Nearest(h * s);
        dy = -static_cast<long double>(Nearest(h * c));
    } else {
        RaiseDrawingError("drawing out of range"); // an angle that is not a number
    }
    return {CheckedCoordinate(origin.X + dx), CheckedCoordinate(origin.Y + dy)};
}

// A copy of font whose text runs at angle degrees counter-clockwise.
std::shared_ptr<const TFontObject> TBarcodeEngine::MakeRotatedFont(const TFont& font,
                                                                   int32_t angle) {
    TLogFont description = font.GetLogFont();
    int64_t tenths = static_cast<int64_t>(angle) * 10;
    // Escapement is 32 bits; a whole number of turns changes nothing.
    if (tenths > std::numeric_limits<int32_t>::max() ||
        tenths < std::numeric_limits<int32_t>::min())
        tenths = static_cast<int64_t>(angle % 360) * 10;
    description.Escapement = static_cast<int32_t>(tenths);
    description.Orientation = static_cast<int32_t>(tenths);
    return CreateFontIndirect(description);
}

// w x height upright, height x w lying, otherwise the bounding box of the turned w x height
// rectangle rounded up to whole units.
TPictureSize TBarcodeEngine::TurnedPictureSize(int32_t w, int32_t height, double angle) {
    const double reduced = ReducedAngle(angle);
    if (IsUpright(reduced)) return {w, height};
    if (IsLying(reduced)) return {height, w};
    if (!std::isfinite(reduced)) RaiseDrawingError("drawing out of range");
    const TTurnOf turn(ToRadians(reduced));
    const long double c = std::fabs(turn.Cos);
    const long double s = std::fabs(turn.Sin);
    auto roundedUp = [](long double extent) {
        return static_cast<int64_t>(std::ceil(extent - kSizeNoise));
    };
    return {roundedUp(w * c + height * s), roundedUp(w * s + height * c)};
}

// --- Painting ---------------------------------------------------------------------------

void TBarcodeEngine::PaintBarcode(TCanvas& canvas, const TRect& rect, bool showText) {
    PaintBarcode(canvas, rect, showText, Build());
}

void TBarcodeEngine::PaintBarcode(TCanvas& canvas, const TRect& rect, bool showText,
                                  const TBuiltPattern& built) {
    if (Layout == blStandard) return PaintStandard(canvas, rect, showText, built);
    const std::string& pattern = built.Pattern;
    const int32_t w = PatternWidth(pattern);
    OriginX = 0;
    OriginY = 0;
    if (w <= 0) RaiseDrawingError("barcode has no width");

    // One direction for the whole painting: the right-angle tests, the lines, the label layout
    // and the font all read the reduced angle.
    const double angle = ReducedAngle(Angle);
    const bool ean = IsEanGroup(Typ);
    const long double across = static_cast<long double>(rect.Right) - rect.Left;
    const long double down = static_cast<long double>(rect.Bottom) - rect.Top;

    TPaint paint;
    paint.Angle = angle;
    if (IsUpright(angle)) {
        // The bars stand upright: the run fills the rectangle's width.
        const long double s = across / w;
        paint.DW = w;
        paint.DH = Nearest(down / s);
        if (paint.DH < 0) RaiseDrawingError("drawing out of range");
        paint.UprightHeight = paint.DH;
        if (angle == 180) OriginY = ean ? kEanTurnedOrigin : kTurnedOrigin;
    } else if (IsLying(angle)) {
        // The bars lie across: the run fills the rectangle's height.
        const long double s = down / w;
        paint.DH = w;
        paint.DW = Nearest(across / s);
        if (paint.DW < 0) RaiseDrawingError("drawing out of range");
        paint.UprightHeight = paint.DW;
    } else {
        // Any other angle: the upright picture, w by Height units, turned whole; the picture
        // is its bounding box in fine units, which a rectangle of its size in whole units
        // holds at scale 1.
        if (Height < 0) RaiseDrawingError("drawing out of range");
        paint = TPaint::TurnedPicture(angle, w, Height);
    }
    paint.W = w;
    Height = paint.UprightHeight - (ean ? kEanLabelBand : kLabelBand);
    const std::string_view run = pattern;
    paint.MainW = static_cast<int32_t>(PatternUnits(run.substr(0, built.Segments.MainLength)));
    paint.AddOnX = static_cast<int32_t>(PatternUnits(run.substr(0, built.Segments.AddOnStart)));
    paint.AddOnText = built.Segments.AddOnText;

    TMetafile picture;
    picture.SetWidth(paint.DW);
    picture.SetHeight(paint.DH);
    {
        TMetafileCanvas recorder(picture);
        // The background, one polygon per pattern character, a box and a text per label piece.
        constexpr size_t kLabelRecords = 16;
        recorder.Reserve(1 + pattern.size() + (showText ? kLabelRecords : 0));
        recorder.Brush().SetColor(Color);
        recorder.FillRect({0, 0, paint.DW, paint.DH});
        PaintLines(pattern, paint, recorder);
        if (showText) PaintText(paint, recorder);
    } // the recording ends here
    canvas.StretchDraw(rect, picture);
}

TBarcodeEngine::TPaint TBarcodeEngine::TPaint::TurnedPicture(double angle, int32_t w, int32_t h) {
    TPaint paint;
    paint.Angle = angle;
    paint.Unit = IsUpright(angle) || IsLying(angle) ? 1 : kFineUnits;
    paint.Inset = paint.Unit > 1 ? FineInset(angle) : 0;
    const TPictureSize size = TurnedPictureSize(w, h, angle);
    paint.DW = CheckedExtent(size.Width * paint.Unit);
    paint.DH = CheckedExtent(size.Height * paint.Unit);
    paint.W = w;
    paint.UprightHeight = h;
    return paint;
}

// A length in units of the upright picture as the painting records it.
int32_t TBarcodeEngine::TPaint::Recorded(int64_t units) const {
    return CheckedSum(units * Unit);
}

// The recorded coordinates of the corners of a line or a box over units first to last of the
// upright picture, both inclusive: the units themselves at one recorded unit per unit, in fine
// units the units' outer edges moved inwards by the painting's inset.
std::pair<int32_t, int32_t> TBarcodeEngine::TPaint::RecordedSpan(int64_t first,
                                                                 int64_t last) const {
    return {CheckedSum(first * Unit + Inset), CheckedSum((last + 1) * Unit - 1 - Inset)};
}

// Where the recorded units of the upright picture land at any angle but 0 and 180: the
// picture's extent, both ends inclusive, turned and moved into the non-negative quadrant.
TCornerPlacement TBarcodeEngine::TPaint::TurnedUnits() const {
    const double alpha = ToRadians(Angle);
    return {alpha, RotatedBoxOrigin(alpha, {0, 0}, {Recorded(W) - 1, Recorded(UprightHeight) - 1})};
}

// One filled four-corner polygon per pattern character, spaces included except at the angles
// that record fine units (the background is already the spaces' colour there, and a space
// would only blur its neighbours' edges). Short bars stand on the same baseline as the full
// bars.
void TBarcodeEngine::PaintLines(const std::string& pattern, const TPaint& paint, TCanvas& canvas) {
    const double alpha = ToRadians(paint.Angle);
    // Upright, the run covers units 0 to w - 1 and a line rows 0 to Height, both ends
    // inclusive; the turned box is placed by those extents so that at 180 degrees the run's
    // first line lands on the picture's last unit instead of one past it.
    const TCornerPlacement placement =
        IsUpright(paint.Angle) ? TCornerPlacement(alpha, RotatedBoxOrigin(alpha, {OriginX, OriginY},
                                                                          {paint.W - 1, Height}))
                               : paint.TurnedUnits();
    canvas.Pen().SetWidth(1);

    const int32_t fullHeight = Height;
    const int32_t shortHeight = static_cast<int32_t>(static_cast<int64_t>(Height) * 2 / 5);
    int32_t x = 0;
    for (char c : pattern) {
        int32_t lw = 0;
        TLineKind kind = TLineKind::lkSpace;
        DecodePatternChar(c, lw, kind);
        const int32_t next = CheckedSum(int64_t(x) + lw);
        if (kind == TLineKind::lkSpace && paint.Unit > 1) {
            x = next;
            continue;
        }
        const TColor color = kind == TLineKind::lkSpace ? Color : ColorBar;
        canvas.Pen().SetColor(color);
        canvas.Brush().SetColor(color);
        // Units x to next - 1 and rows top to fullHeight, both ends inclusive.
        const auto [left, right] = paint.RecordedSpan(x, int64_t(next) - 1);
        const auto [top, bottom] = paint.RecordedSpan(
            kind == TLineKind::lkShortBar ? fullHeight - shortHeight : 0, fullHeight);
        std::array<TPoint, 4> corners{TPoint{left, top}, TPoint{left, bottom},
                                      TPoint{right, bottom}, TPoint{right, top}};
        for (TPoint& p : corners)
            p = placement.Place(p); // OffsetPoint(RotatePoint(p, alpha), origin)
        canvas.Polygon(corners);
        x = next;
    }
}

// The human-readable label: digit groups for the EAN group (an add-on's digits over its bars),
// one centred text otherwise.
void TBarcodeEngine::PaintText(const TPaint& paint, TCanvas& canvas) {
    canvas.Font().SetName(kLabelFontName);
    canvas.Font().SetSize(kLabelFontSize);
    if (paint.Unit > 1) canvas.Font().SetHeight(paint.Recorded(canvas.Font().Height()));
    canvas.Font().SetColor(ColorBar); // the label in the bars' colour, on boxes of the spaces'
    HDC dc = canvas.Handle();
    const HFONT rotated = MakeRotatedFont(canvas.Font(), Nearest(paint.Angle));
    TFontRestorer restorer(canvas, SelectObject(dc, rotated));
    canvas.Pen().SetColor(Color);
    canvas.Brush().SetColor(Color);
    SetBkMode(canvas.Handle(), TRANSPARENT);

    if (IsEanGroup(Typ)) {
        const std::string mainText = Text.substr(0, Text.find('+'));
        for (const TLabelPiece& piece : EanLabelPieces(Typ, mainText, paint.MainW, LineWidths[0]))
            PaintLabel(paint, canvas, piece.TextPos, piece.BoxStart, piece.BoxEnd, piece.Text);
        if (!paint.AddOnText.empty()) PaintAddOnLabel(paint, canvas);
    } else {
        const int32_t tw = canvas.TextWidth(Text) / paint.Unit;
        const int32_t textPos = static_cast<int32_t>((static_cast<int64_t>(paint.W) - tw) / 2);
        PaintLabel(paint, canvas, textPos, 0, paint.W, Text);
    }
    restorer.Restore(); // the rotated font itself goes with `rotated`
}

// The add-on's digits, centred over its bars; their box, like the box of every label, covers
// the ends of the bars it lies on, so the add-on's bars start under its digits and end as low
// as the main symbol's guard bars.
void TBarcodeEngine::PaintAddOnLabel(const TPaint& paint, TCanvas& canvas) {
    const std::string digits(paint.AddOnText);
    const int32_t tw = canvas.TextWidth(digits) / paint.Unit;
    const int64_t textPos = paint.AddOnX + (static_cast<int64_t>(paint.W) - paint.AddOnX - tw) / 2;
    PaintLabel(paint, canvas, static_cast<int32_t>(textPos), paint.AddOnX, paint.W, digits,
               TLabelBand::Over);
}

// The first row of a label band on the upright picture: the band under the bars ends at the
// picture's edge, the band over them starts there.
int64_t TBarcodeEngine::BandTop(const TPaint& paint, TLabelBand band) {
    return band == TLabelBand::Under ? int64_t(paint.UprightHeight) - kLabelBand : 0;
}

// One label piece: a box in the background colour from column a to column b of the
// unturned drawing, and the text starting at column t, both placed where the rotation
// carries the label band (at 180 degrees each point of the upright layout turned about the
// picture's centre).
void TBarcodeEngine::PaintLabel(const TPaint& paint, TCanvas& canvas, int32_t textPos,
                                int32_t boxStart, int32_t boxEnd, const std::string& text,
                                TLabelBand band) {
    if (!IsUpright(paint.Angle))
        return PaintTurnedLabel(paint, canvas, textPos, boxStart, boxEnd, text, band);
    const int64_t top = BandTop(paint, band);
    const bool turned = paint.Angle == 180;
    auto point = [&](int64_t x, int64_t y) {
        return turned ? TPoint{CheckedCoordinate(paint.DW - x), CheckedCoordinate(paint.DH - y)}
                      : TPoint{CheckedCoordinate(x), CheckedCoordinate(y)};
    };
    const TPoint corner1 = point(boxStart, top);
    const TPoint corner2 = point(int64_t(boxEnd) + 1, top + kLabelBand);
    const TPoint at = point(textPos, top + kLabelBand - kTextInset);
    canvas.FillRect(SpannedRect(corner1, corner2));
    canvas.TextOut(at.X, at.Y, text);
}

// A label piece at any angle but 0 and 180: box and text laid out as on the upright picture
// and turned with it, so that at 90 and 270 degrees the label band is the upright one turned
// exactly. The box is kept to the run's columns; a piece wholly outside them (the outer digits
// of EAN-13 and UPC-A) lies off the upright picture and is left out, as its edge cuts it there.
void TBarcodeEngine::PaintTurnedLabel(const TPaint& paint, TCanvas& canvas, int32_t textPos,
                                      int32_t boxStart, int32_t boxEnd, const std::string& text,
                                      TLabelBand band) {
    const int32_t a = std::max(boxStart, 0);
    const int32_t b = std::min(boxEnd, paint.W - 1);
    if (a > b) return;
    const int32_t h = paint.UprightHeight;
    const int64_t bandTop = BandTop(paint, band);
    const TCornerPlacement units = paint.TurnedUnits();
    // Units a to b and the band's rows, both ends inclusive.
    const auto [left, right] = paint.RecordedSpan(a, b);
    const auto [top, bottom] = paint.RecordedSpan(bandTop, bandTop + kLabelBand - 1);
    std::array<TPoint, 4> box{TPoint{left, top}, TPoint{left, bottom}, TPoint{right, bottom},
                              TPoint{right, top}};
    for (TPoint& p : box)
        p = units.Place(p);
    canvas.Polygon(box);
    // The text's anchor is the corner of its cell, an edge between units rather than a unit:
    // it turns with the picture's outer edges.
    const double alpha = ToRadians(paint.Angle);
    const TCornerPlacement edges(
        alpha, RotatedBoxOrigin(alpha, {0, 0}, {paint.Recorded(paint.W), paint.Recorded(h)}));
    const TPoint at =
        edges.Place({paint.Recorded(textPos), paint.Recorded(bandTop + kLabelBand - kTextInset)});
    canvas.TextOut(at.X, at.Y, text);
}

} // namespace quillax
