// The standard layout: the barcode as its symbology's standard prints it, at scale 1. Quiet
// zones beside the run; the human-readable line under the bars (over an add-on), sized by the
// module: the EAN/UPC digits in OCR-B, each under its symbol character, the outer digits of
// EAN-13, UPC-A and UPC-E in the quiet zones and the guard bars descending into the text band;
// every other symbology's text centred under the bars in a sans face. A main symbol with its
// add-on is printed as on books and magazines: the add-on's digits over its bars, which start
// under them and end with the guards, the UPC check digit in the gap between the two, and the
// add-on's quiet zone after it. Without text the bars take the whole height. The upright
// picture is turned whole, as the classic one is.
#include "engine/BarcodeEngine.h"
#include "engine/DrawingGeometry.h"
#include "imaging/Graphics.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace quillax {

using namespace drawing;

namespace {

// --- Quiet zones --------------------------------------------------------------------------

// Light margins in modules: before and after the run, above and below it.
struct TQuietZone {
    int32_t Before;
    int32_t After;
    int32_t Above;
    int32_t Below;
};

constexpr TQuietZone kTenModules{10, 10, 0, 0};

// One row per TBarcodeType, in enumeration order.
constexpr std::array<TQuietZone, kBarcodeTypeCount> kQuietZones{{
    // 0-2: two of five; interleaved ISO/IEC 16390 (10X), industrial and matrix alike
    kTenModules,
    kTenModules,
    kTenModules,
    // 3-4: Code 39, ISO/IEC 16388 (10X)
    kTenModules,
    kTenModules,
    // 5-7: Code 128, ISO/IEC 15417 (10X)
    kTenModules,
    kTenModules,
    kTenModules,
    // 8-9: Code 93, AIM USS-93 (10X)
    kTenModules,
    kTenModules,
    // 10: MSI (10X, as the other linear codes)
    kTenModules,
    // 11: PostNet, USPS DMM (barcode clear zone): 1/8 inch beside the bars, 1/25 inch above and
    // below; at the nominal 0.020-inch bar, 7 and 2 modules
    {7, 7, 2, 2},
    // 12: Codabar, EN 798 (10X)
    kTenModules,
    // 13-17: EAN-8, EAN-13, UPC-A, UPC-E (both number systems), ISO/IEC 15420 light margins
    {7, 7, 0, 0},
    {11, 7, 0, 0},
    {9, 9, 0, 0},
    {9, 7, 0, 0},
    {9, 7, 0, 0},
    // 18-19: the add-ons, ISO/IEC 15420: 7 to 12 modules from the main symbol, 5 after; alone,
    // the least of the gap before
    {7, 5, 0, 0},
    {7, 5, 0, 0},
    // 20-24: EAN-128 (GS1-128), Code 128 with code sets chosen, GS1-128: ISO/IEC 15417 (10X)
    kTenModules,
    kTenModules,
    kTenModules,
    kTenModules,
    kTenModules,
}};

// --- The EAN/UPC human-readable line --------------------------------------------------------

// Modules first to last of the run, both inclusive; an empty range has last < first.
struct TModuleRange {
    int16_t First;
    int16_t Last;
    bool Contains(int64_t module) const { return module >= First && module <= Last; }
};
constexpr TModuleRange kNoModules{0, -1};

// Count digits of the text from First, each centred under its symbol character; the first
// character starts at module Module of the run and the next one Pitch modules further on.
struct TDigitGroup {
    int8_t First;
    int8_t Count;
    int16_t Module;
    int8_t Pitch;
};
constexpr TDigitGroup kNoDigits{0, 0, 0, 0};

// Which digit stands outside the run, in a quiet zone: its index in the text, or none, or the
// number system that UPC-E carries in its parity only.
constexpr int8_t kNoDigit = -1;
constexpr int8_t kNumberSystem = -2;

struct TEanLabel {
    TBarcodeType Typ;
    int8_t Before;   // the digit in the quiet zone before the start guard
    int8_t After;    // the digit in the quiet zone after the end guard
    bool SmallOuter; // the outer digits are set smaller
    bool Above;      // the digits stand over the bars
    std::array<TDigitGroup, 2> Groups;
    std::array<TModuleRange, 3> Descending; // the bars there descend into the text band
};

// The human-readable line of ISO/IEC 15420, the EAN/UPC symbology standard: modules of each
// symbol character (7 wide) and of the guard patterns.
constexpr TEanLabel kEanLabels[] = {
    // EAN-8: two halves of four digits
    {bcCodeEAN8,
     kNoDigit,
     kNoDigit,
     false,
     false,
     {{{0, 4, 3, 7}, {4, 4, 36, 7}}},
     {{{0, 2}, {31, 35}, {64, 66}}}},
    // EAN-13: the first digit, which the parity of the left half carries, before the start
    // guard; two halves of six
    {bcCodeEAN13,
     0,
     kNoDigit,
     false,
     false,
     {{{1, 6, 3, 7}, {7, 6, 50, 7}}},
     {{{0, 2}, {45, 49}, {92, 94}}}},
    // UPC-A: the number system and the check digit outside, smaller, their characters' bars
    // descending with the guards; five digits in each half
    {bcCodeUPC_A,
     0,
     11,
     true,
     false,
     {{{1, 5, 10, 7}, {6, 5, 50, 7}}},
     {{{0, 9}, {45, 49}, {85, 94}}}},
    // UPC-E: the number system before and the check digit after, smaller; six digits
    {bcCodeUPC_E0,
     kNumberSystem,
     6,
     true,
     false,
     {{{0, 6, 3, 7}, kNoDigits}},
     {{{0, 2}, {45, 50}, kNoModules}}},
    {bcCodeUPC_E1,
     kNumberSystem,
     6,
     true,
     false,
     {{{0, 6, 3, 7}, kNoDigits}},
     {{{0, 2}, {45, 50}, kNoModules}}},
    // The add-ons: each digit over its character (start 4 modules, characters 7, delineators 2)
    {bcCodeUPC_Supp2,
     kNoDigit,
     kNoDigit,
     false,
     true,
     {{{0, 2, 4, 9}, kNoDigits}},
     {{kNoModules, kNoModules, kNoModules}}},
    {bcCodeUPC_Supp5,
     kNoDigit,
     kNoDigit,
     false,
     true,
     {{{0, 5, 4, 9}, kNoDigits}},
     {{kNoModules, kNoModules, kNoModules}}},
};

const TEanLabel* EanLabelOf(TBarcodeType typ) {
    for (const TEanLabel& label : kEanLabels)
        if (label.Typ == typ) return &label;
    return nullptr;
}

// --- Text sizes -------------------------------------------------------------------------------

// Em sizes in modules: the EAN/UPC digits and every other label, and the smaller outer digits
// of UPC-A and UPC-E; no text is set below kMinTextPixels.
constexpr int32_t kTextModules = 9;
constexpr int32_t kOuterDigitModules = 7;
constexpr int32_t kMinTextPixels = 8;
// Guard bars descend this far into the text band, and an outer digit keeps this far from the
// guard beside it, in modules.
constexpr int32_t kGuardDescentModules = 5;
constexpr int32_t kOuterDigitGapModules = 1;
constexpr int32_t kSymbolCharacterModules = 7;
// OCR-B where it is installed; otherwise the sans face of the other labels.
constexpr const char* kDigitFace = "OCR B,Arial";

int32_t TextPixels(int32_t module, int32_t modules) {
    const int64_t pixels = int64_t(std::max(module, 0)) * modules;
    return int32_t(
        std::clamp<int64_t>(pixels, kMinTextPixels, std::numeric_limits<int16_t>::max()));
}

// A text's advance width and cell, measured on a canvas of its own.
struct TTextBox {
    int32_t Width = 0;
    int32_t Ascent = 0;
    int32_t Descent = 0;
};

class TTextMeasure {
public:
    TTextMeasure() : canvas_(picture_) {}
    TTextBox Measure(const char* face, int32_t em, const std::string& text) {
        canvas_.Font().SetName(face);
        canvas_.Font().SetHeight(-em);
        const TTextMetric metric = GetTextMetrics(canvas_.Handle());
        return {canvas_.TextWidth(text), metric.Ascent, metric.Descent};
    }

private:
    TMetafile picture_;
    TMetafileCanvas canvas_;
};

// Module-based lengths in pixels, refused beyond 32 bits.
int32_t Pixels(int64_t modules, int32_t module) {
    return CheckedExtent(modules * module);
}

} // namespace

// --- The plan ---------------------------------------------------------------------------------

// Where everything of the upright picture goes, in pixels.
struct TBarcodeEngine::TStandardPlan {
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t RunLeft = 0; // the run's first column
    int32_t BarTop = 0;  // the bars' rows, both ends inclusive
    int32_t BarBottom = 0;
    int32_t GuardBottom = 0; // the last row of the bars that descend into the text band
    std::array<TModuleRange, 3> Descending{{kNoModules, kNoModules, kNoModules}};
    // An add-on's first column in the run (none: past every column) and its bars' first row,
    // under its digits; its bars end with the guards.
    int64_t AddOnLeft = std::numeric_limits<int64_t>::max();
    int32_t AddOnTop = 0;
    struct TText {
        std::string Text;
        const char* Face;
        int32_t Em;
        int32_t X; // the cell's top-left corner
        int32_t Y;
    };
    std::vector<TText> Texts;
};

int32_t TBarcodeEngine::StandardTextPixels(int32_t module) {
    return TextPixels(module, kTextModules);
}

TBarcodeEngine::TStandardPlan TBarcodeEngine::PlanStandard(const TBuiltPattern& built,
                                                           bool showText) {
    const std::string& pattern = built.Pattern;
    const int32_t m = LineWidths[0];
    int64_t run = 0;
    for (char c : pattern) {
        int32_t lw = 0;
        TLineKind kind = TLineKind::lkSpace;
        DecodePatternChar(c, lw, kind);
        run += lw;
    }
    if (run <= 0 || m <= 0) RaiseDrawingError("barcode has no width");
    if (Height <= 0) RaiseDrawingError("the picture has no rows");
    const int32_t w = CheckedExtent(run);

    // A main symbol with its add-on: the add-on's quiet zone follows the run, and its digits
    // stand over its own bars.
    const bool addOn = built.Segments.HasAddOn();
    const TEanLabel* addOnLabel =
        addOn ? EanLabelOf(built.Segments.AddOnText.size() == 2 ? bcCodeUPC_Supp2 : bcCodeUPC_Supp5)
              : nullptr;
    const TQuietZone zone = kQuietZones.at(Typ);
    const int32_t afterModules = addOn ? kQuietZones.at(addOnLabel->Typ).After : zone.After;
    int32_t before = Pixels(QuietZone >= 0 ? QuietZone : zone.Before, m);
    int32_t after = Pixels(QuietZone >= 0 ? QuietZone : afterModules, m);
    const int32_t above = Pixels(zone.Above, m);
    const int32_t below = Pixels(zone.Below, m);
    const TEanLabel* label = EanLabelOf(Typ);
    // The main symbol's columns; with an add-on the rest of the run is the gap and the add-on.
    const int64_t mainWidth =
        addOn ? PatternUnits(std::string_view(pattern).substr(0, built.Segments.MainLength)) : run;

    TStandardPlan plan;
    plan.Height = Height;
    int32_t band = 0;
    TTextMeasure measure;
    struct TOuterDigit {
        std::string Text;
        TTextBox Box;
    } outerBefore, outerAfter;
    TTextBox digits; // of the main digits, for the band and the baseline
    const int32_t gap = Pixels(kOuterDigitGapModules, m);
    if (showText && label != nullptr) {
        const int32_t em = TextPixels(m, kTextModules);
        const int32_t outerEm = label->SmallOuter ? TextPixels(m, kOuterDigitModules) : em;
        digits = measure.Measure(kDigitFace, em, "0");
        band = digits.Ascent + digits.Descent;
        auto digitAt = [&](int8_t index) -> std::string {
            if (index == kNumberSystem) return Typ == bcCodeUPC_E1 ? "1" : "0";
            if (index < 0 || size_t(index) >= Text.size()) return {};
            return Text.substr(size_t(index), 1);
        };
        outerBefore.Text = digitAt(label->Before);
        outerAfter.Text = digitAt(label->After);
        // An outer digit is never cut: the quiet zone grows to hold it.
        if (!outerBefore.Text.empty()) {
            outerBefore.Box = measure.Measure(kDigitFace, outerEm, outerBefore.Text);
            before = std::max<int32_t>(before, CheckedSum(int64_t(outerBefore.Box.Width) + gap));
        }
        // The UPC check digit stands in the gap before an add-on, which holds it (9 modules).
        if (!outerAfter.Text.empty()) {
            outerAfter.Box = measure.Measure(kDigitFace, outerEm, outerAfter.Text);
            if (!addOn)
                after = std::max<int32_t>(after, CheckedSum(int64_t(outerAfter.Box.Width) + gap));
        }
    }
    plan.RunLeft = before;
    plan.Width = CheckedExtent(int64_t(before) + w + after);

    // The text: under the bars, or over them for the add-ons.
    TTextBox centred;
    std::string centredText;
    if (showText && label == nullptr) {
        int32_t em = TextPixels(m, kTextModules);
        centred = measure.Measure(StandardSansFace, em, Text);
        // A text wider than the picture is set smaller, as far as the smallest size allows.
        if (centred.Width > plan.Width && em > kMinTextPixels) {
            em = std::max<int32_t>(kMinTextPixels,
                                   int32_t(int64_t(em) * plan.Width / centred.Width));
            centred = measure.Measure(StandardSansFace, em, Text);
        }
        band = centred.Ascent + centred.Descent;
        const int64_t x = std::clamp<int64_t>(int64_t(before) + (int64_t(w) - centred.Width) / 2, 0,
                                              std::max<int64_t>(0, plan.Width - centred.Width));
        plan.Texts.push_back({Text, StandardSansFace, em, int32_t(x), 0});
    }
    const bool textAbove = label != nullptr && label->Above;
    plan.BarTop = above + (showText && textAbove ? band : 0);
    plan.BarBottom = CheckedSum(int64_t(Height) - 1 - below - (showText && !textAbove ? band : 0));
    const int32_t textTop = textAbove ? above : plan.BarBottom + 1;
    plan.GuardBottom = plan.BarBottom;
    if (showText && label != nullptr && !textAbove) {
        plan.Descending = label->Descending;
        plan.GuardBottom =
            std::min<int32_t>(CheckedSum(int64_t(plan.BarBottom) + Pixels(kGuardDescentModules, m)),
                              Height - 1 - below);
    }
    plan.AddOnTop = plan.BarTop;
    if (addOn) {
        plan.AddOnLeft =
            PatternUnits(std::string_view(pattern).substr(0, built.Segments.AddOnStart));
        if (showText) plan.AddOnTop = CheckedSum(int64_t(plan.BarTop) + band);
    }
    // The add-on's bars, under its digits, reach as low as the guards.
    if (plan.BarBottom < plan.BarTop || plan.GuardBottom < plan.AddOnTop)
        throw Exception(std::string(ClassName) + ": Height " + std::to_string(Height) +
                        " leaves no room for the bars" +
                        (showText ? " beside a text band of " + std::to_string(band) + " pixels"
                                  : std::string()));
    for (TStandardPlan::TText& text : plan.Texts)
        text.Y = textTop;
    if (!showText || label == nullptr) return plan;

    // The EAN/UPC digits, each centred under its symbol character, an add-on's over its
    // characters; the outer ones beside the guards, on the same baseline.
    const int32_t em = TextPixels(m, kTextModules);
    const int32_t character = Pixels(kSymbolCharacterModules, m);
    auto placeDigits = [&](const TEanLabel& digits, const std::string& text, int64_t left,
                           int32_t top) {
        for (const TDigitGroup& group : digits.Groups) {
            for (int i = 0; i < group.Count; ++i) {
                const size_t index = size_t(group.First) + size_t(i);
                if (index >= text.size()) break;
                const std::string digit = text.substr(index, 1);
                const int32_t advance = measure.Measure(kDigitFace, em, digit).Width;
                const int64_t cell = left + (int64_t(group.Module) + int64_t(i) * group.Pitch) * m;
                plan.Texts.push_back(
                    {digit, kDigitFace, em, CheckedSum(cell + (character - advance) / 2), top});
            }
        }
    };
    placeDigits(*label, Text, before, textTop);
    if (addOn) placeDigits(*addOnLabel, built.Segments.AddOnText, before + plan.AddOnLeft, above);
    const int32_t baseline = textTop + digits.Ascent;
    const int32_t outerEm = label->SmallOuter ? TextPixels(m, kOuterDigitModules) : em;
    if (!outerBefore.Text.empty())
        plan.Texts.push_back({outerBefore.Text, kDigitFace, outerEm,
                              before - gap - outerBefore.Box.Width,
                              baseline - outerBefore.Box.Ascent});
    if (!outerAfter.Text.empty())
        plan.Texts.push_back({outerAfter.Text, kDigitFace, outerEm,
                              CheckedSum(int64_t(before) + mainWidth + gap),
                              baseline - outerAfter.Box.Ascent});
    return plan;
}

TPictureSize TBarcodeEngine::PictureSize(bool showText, const TBuiltPattern& built) {
    if (Layout != blStandard) return TurnedPictureSize(PatternWidth(built.Pattern), Height, Angle);
    const TStandardPlan plan = PlanStandard(built, showText);
    return TurnedPictureSize(plan.Width, plan.Height, Angle);
}

TPictureSize TBarcodeEngine::PictureSize(bool showText) {
    return PictureSize(showText, Build());
}

// --- Painting ---------------------------------------------------------------------------------

void TBarcodeEngine::PaintStandard(TCanvas& canvas, const TRect& rect, bool showText,
                                   const TBuiltPattern& built) {
    const std::string& pattern = built.Pattern;
    OriginX = 0;
    OriginY = 0;
    const TStandardPlan plan = PlanStandard(built, showText);
    const double angle = ReducedAngle(Angle);
    if (!std::isfinite(angle)) RaiseDrawingError("drawing out of range");
    const TPaint paint = TPaint::TurnedPicture(angle, plan.Width, plan.Height);

    TMetafile picture;
    picture.SetWidth(paint.DW);
    picture.SetHeight(paint.DH);
    {
        TMetafileCanvas recorder(picture);
        // The background, one polygon per bar, and the texts.
        recorder.Reserve(1 + pattern.size() / 2 + 1 + (showText ? plan.Texts.size() : 0));
        recorder.Brush().SetColor(Color);
        recorder.FillRect({0, 0, paint.DW, paint.DH});
        PaintStandardBars(pattern, plan, paint, recorder);
        if (showText) PaintStandardText(plan, paint, recorder);
    } // the recording ends here
    canvas.StretchDraw(rect, picture);
}

// One filled polygon per bar, in the bars' colour on the background; the spaces are the
// background itself. Short bars stand on the baseline, two fifths of the bars' height.
void TBarcodeEngine::PaintStandardBars(const std::string& pattern, const TStandardPlan& plan,
                                       const TPaint& paint, TCanvas& canvas) {
    const TCornerPlacement placement = paint.TurnedUnits();
    canvas.Pen().SetWidth(1);
    canvas.Pen().SetColor(ColorBar);
    canvas.Brush().SetColor(ColorBar);
    const int32_t m = LineWidths[0];
    const int64_t rows = int64_t(plan.BarBottom) - plan.BarTop + 1;
    const int64_t shortRows = std::max<int64_t>(1, rows * 2 / 5);
    int64_t x = 0; // in the run
    for (char c : pattern) {
        int32_t lw = 0;
        TLineKind kind = TLineKind::lkSpace;
        DecodePatternChar(c, lw, kind);
        if (kind != TLineKind::lkSpace && lw > 0) {
            const int64_t module = x / m;
            const bool descends =
                std::any_of(plan.Descending.begin(), plan.Descending.end(),
                            [&](const TModuleRange& r) { return r.Contains(module); });
            const bool inAddOn = x >= plan.AddOnLeft;
            const int64_t bottom = descends || inAddOn ? plan.GuardBottom : plan.BarBottom;
            const int64_t top = kind == TLineKind::lkShortBar ? bottom - shortRows + 1
                                : inAddOn                     ? plan.AddOnTop
                                                              : plan.BarTop;
            const auto [left, right] =
                paint.RecordedSpan(plan.RunLeft + x, plan.RunLeft + x + lw - 1);
            const auto [upper, lower] = paint.RecordedSpan(top, bottom);
            std::array<TPoint, 4> corners{TPoint{left, upper}, TPoint{left, lower},
                                          TPoint{right, lower}, TPoint{right, upper}};
            for (TPoint& p : corners)
                p = placement.Place(p);
            canvas.Polygon(corners);
        }
        x += lw;
    }
}

// Each text in the bars' colour, its cell's corner turned with the picture's outer edges and
// the font turned by the angle; the background shows between the glyphs.
void TBarcodeEngine::PaintStandardText(const TStandardPlan& plan, const TPaint& paint,
                                       TCanvas& canvas) {
    const double alpha = ToRadians(paint.Angle);
    const TCornerPlacement edges(
        alpha,
        RotatedBoxOrigin(alpha, {0, 0}, {paint.Recorded(plan.Width), paint.Recorded(plan.Height)}));
    for (const TStandardPlan::TText& text : plan.Texts) {
        canvas.Font().SetName(text.Face);
        canvas.Font().SetHeight(-paint.Recorded(text.Em));
        canvas.Font().SetColor(ColorBar);
        HDC dc = canvas.Handle();
        const HFONT rotated = MakeRotatedFont(canvas.Font(), Nearest(paint.Angle));
        TFontRestorer restorer(canvas, SelectObject(dc, rotated));
        SetBkMode(canvas.Handle(), TRANSPARENT);
        const TPoint at = edges.Place({paint.Recorded(text.X), paint.Recorded(text.Y)});
        canvas.TextOut(at.X, at.Y, text.Text);
        restorer.Restore();
    }
}

} // namespace quillax
