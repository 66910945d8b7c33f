// TBarcodeEngine: the settings of one barcode, its pattern (one character per bar or space),
// its measurement and its drawing. One engine serves one image on one thread.
#pragma once

#include "imaging/Color.h"
#include "imaging/Geometry.h"
#include "platform/SysUtils.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace quillax {

class TCanvas;
class TCornerPlacement;
class TFont;
class TFontObject;

// The 25 symbologies, by ordinal; scripts see the number.
enum TBarcodeType : uint8_t {
    bcCode_2_5_interleaved,
    bcCode_2_5_industrial,
    bcCode_2_5_matrix,
    bcCode39,
    bcCode39Extended,
    bcCode128A,
    bcCode128B,
    bcCode128C,
    bcCode93,
    bcCode93Extended,
    bcCodeMSI,
    bcCodePostNet,
    bcCodeCodabar,
    bcCodeEAN8,
    bcCodeEAN13,
    bcCodeUPC_A,
    bcCodeUPC_E0,
    bcCodeUPC_E1,
    bcCodeUPC_Supp2,
    bcCodeUPC_Supp5,
    bcCodeEAN128A,
    bcCodeEAN128B,
    bcCodeEAN128C,
    bcCode128,    // code sets chosen for the shortest symbol
    bcCodeGS1128, // GS1 element strings
};
inline constexpr int kBarcodeTypeCount = 25;

enum TCheckSumMethod : uint8_t { csmNone, csmModulo10 };

enum class TLineKind : uint8_t { lkSpace, lkBar, lkShortBar };

// How a painting lays the barcode out.
enum TBarcodeLayout : uint8_t {
    // The run alone, scaled into the rectangle, with the label band of old.
    blClassic,
    // As the symbology's standard prints it, at scale 1: quiet zones, the human-readable line
    // in a face and size that follow the module, no label band without text.
    blStandard,
};

struct TBCdata {
    const char* Name;
    bool NumericOnly;
};
extern const std::array<TBCdata, kBarcodeTypeCount> SymbologyTable;

// How the last pattern built is made up: the main symbol is its first MainLength characters;
// an add-on joined to it (EAN/UPC "main+NN" or "main+NNNNN") starts at character AddOnStart,
// after the gap, and carries the digits AddOnText. Without an add-on AddOnText is empty and
// MainLength and AddOnStart are the whole pattern's length.
struct TPatternSegments {
    size_t MainLength = 0;
    size_t AddOnStart = 0;
    std::string AddOnText;
    bool HasAddOn() const { return !AddOnText.empty(); }
};

// One pattern build: the run of bars and spaces, the text as the symbol carries it (what the
// label shows), and how the run is made up.
struct TBuiltPattern {
    TBuiltPattern() = default;
    TBuiltPattern(std::string pattern, std::string text)
        : Pattern(std::move(pattern)), Text(std::move(text)) {}
    std::string Pattern;
    std::string Text;
    TPatternSegments Segments;
};

// A picture's size in units, wide enough for any pair of 32-bit extents turned.
struct TPictureSize {
    int64_t Width;
    int64_t Height;
    bool operator==(const TPictureSize&) const = default;
};

class TBarcodeEngine {
public:
    // The class name that the formatted messages carry.
    static constexpr const char* ClassName = "TBarcodeEngine";

    TBarcodeEngine();
    ~TBarcodeEngine() = default;
    TBarcodeEngine(const TBarcodeEngine&) = delete;
    TBarcodeEngine& operator=(const TBarcodeEngine&) = delete;

    // --- Settings, in declaration order ---
    double Angle = 0;          // degrees, counter-clockwise on a y-down surface
    TColor Color = clWhite;    // spaces and label boxes
    TColor ColorBar = clBlack; // bars and short bars
    bool Checksum = false;     // add a check digit where the symbology supports one
    TCheckSumMethod CheckSumMethod = csmModulo10;
    // Bar height in drawing units; overwritten by painting. At an angle that is not a right
    // angle painting first reads it as the height of the upright picture, label band included.
    int32_t Height = 0;
    int32_t OriginX = 0; // set by painting
    int32_t Modul = 1;   // narrow width in drawing units
    double Ratio = 2.0;  // wide / narrow; bounded in place per symbology
    std::string Text;    // the data; a build leaves the text the symbol carries
    int32_t OriginY = 0; // set by painting
    TBarcodeType Typ = bcCodeEAN13;
    std::array<int8_t, 4> LineWidths{}; // recomputed by every pattern build
    TBarcodeLayout Layout = blClassic;
    // The standard layout's quiet zones, in modules on each side of the run; -1 takes the
    // symbology's own.
    int32_t QuietZone = -1;

    // Width is read-only: every read encodes the pattern afresh and changes no setting but
    // Ratio's bounds and LineWidths.
    int32_t Width() { return GetWidth(); }
    int32_t GetWidth();

    // --- Pattern ---
    // Bounds Ratio and derives LineWidths, then encodes Text; changes nothing else. Raises the
    // pipeline's errors.
    TBuiltPattern Encode();
    // Encode, then Text becomes the text the symbol carries and Segments the run's make-up: what
    // a render does once. A refused Text stays as given (trimmed for the numeric symbologies).
    TBuiltPattern Build();
    std::string BuildPattern() { return Build().Pattern; }
    // The summed widths of a pattern in drawing units; a run that does not fit 32 bits raises
    // "barcode too wide".
    int32_t PatternWidth(std::string_view pattern) const;
    void DecodePatternChar(char c, int32_t& width, TLineKind& kind) const;
    std::string ApplyCheckSum(const std::string& digits) const;
    static std::string WidthsToPattern(const std::string& moduleCounts);
    static void Require(bool condition, const std::string& message);
    void ComputeLineWidths();
    // The make-up of the last pattern built (valid after a successful Build).
    const TPatternSegments& Segments() const { return segments_; }

    // --- Drawing ---
    // Classic: the run scaled into rect. Standard: the picture of PictureSize played into
    // rect; Height is the upright picture's height, text band included, and stays as set.
    // built is what this engine's last Build returned; without it the painting builds.
    void PaintBarcode(TCanvas& canvas, const TRect& rect, bool showText,
                      const TBuiltPattern& built);
    void PaintBarcode(TCanvas& canvas, const TRect& rect, bool showText);
    // The surface that takes the painting at scale 1: classic the measured width by Height,
    // standard the run and its quiet zones by Height; turned as TurnedPictureSize turns.
    // Raises what measuring raises, and for a standard layout that leaves the bars no rows.
    TPictureSize PictureSize(bool showText, const TBuiltPattern& built);
    TPictureSize PictureSize(bool showText);
    static TPoint RotatePoint(TPoint p, double alpha);
    static TPoint OffsetPoint(TPoint a, TPoint b);
    static TPoint RotatedBoxOrigin(double alpha, TPoint origin, TPoint size);
    static std::shared_ptr<const TFontObject> MakeRotatedFont(const TFont& font, int32_t angle);
    // The size at scale 1 of the picture that holds an upright picture of w by height units
    // turned by angle degrees (any value): as it is at 0 and 180, with its sides swapped at 90
    // and 270, otherwise the turned bounding box rounded up to whole units. A surface of this
    // size takes the painting at scale 1.
    static TPictureSize TurnedPictureSize(int32_t w, int32_t height, double angle);

    // The standard layout's text: the sans face (the face of every label but the EAN/UPC
    // digits) and the em in pixels for a module of m pixels (never below 8).
    static constexpr const char* StandardSansFace = "Arial";
    static int32_t StandardTextPixels(int32_t module);

private:
    // Where a label piece lies across the bars: in the band under them (every label) or in the
    // band over them (an add-on's digits, printed above its bars).
    enum class TLabelBand : uint8_t { Under, Over };

    // What one painting computes and its drawing reads: the picture's size, the run's width,
    // the upright picture's extent across the bars, the main symbol's width and where an
    // add-on starts (units of the run) with its digits, the recorded units per unit of the
    // upright picture and the inset by which a fine-unit line keeps inside its edges (fine
    // units at the angles that are not right ones), and Angle reduced to 0 up to 360 degrees.
    struct TPaint {
        int32_t DW = 0;
        int32_t DH = 0;
        int32_t W = 0;
        int32_t UprightHeight = 0;
        int32_t MainW = 0;
        int32_t AddOnX = 0;
        std::string_view AddOnText;
        int32_t Unit = 1;
        int32_t Inset = 0;
        double Angle = 0;

        // The picture of any angle that holds the upright one of w by h units.
        static TPaint TurnedPicture(double angle, int32_t w, int32_t h);
        int32_t Recorded(int64_t units) const;
        std::pair<int32_t, int32_t> RecordedSpan(int64_t first, int64_t last) const;
        TCornerPlacement TurnedUnits() const;
    };

    int64_t PatternUnits(std::string_view pattern) const;
    struct TStandardPlan;
    void PaintLines(const std::string& pattern, const TPaint& paint, TCanvas& canvas);
    void PaintText(const TPaint& paint, TCanvas& canvas);
    void PaintAddOnLabel(const TPaint& paint, TCanvas& canvas);
    void PaintLabel(const TPaint& paint, TCanvas& canvas, int32_t textPos, int32_t boxStart,
                    int32_t boxEnd, const std::string& text, TLabelBand band = TLabelBand::Under);
    void PaintTurnedLabel(const TPaint& paint, TCanvas& canvas, int32_t textPos, int32_t boxStart,
                          int32_t boxEnd, const std::string& text, TLabelBand band);
    static int64_t BandTop(const TPaint& paint, TLabelBand band);

    // The standard layout (StandardLayout.cpp).
    TStandardPlan PlanStandard(const TBuiltPattern& built, bool showText);
    void PaintStandard(TCanvas& canvas, const TRect& rect, bool showText,
                       const TBuiltPattern& built);
    void PaintStandardBars(const std::string& pattern, const TStandardPlan& plan,
                           const TPaint& paint, TCanvas& canvas);
    void PaintStandardText(const TStandardPlan& plan, const TPaint& paint, TCanvas& canvas);

    TPatternSegments segments_;
};

} // namespace quillax
