// The drawing's turn of its lines by the painting's angle, and the placement of a line's
// corners with the turn's constants taken once per painting; the checked arithmetic and the
// angle tests that both layouts' paintings share.
#pragma once

#include "imaging/Graphics.h"

#include <cstdint>

namespace quillax {

namespace drawing {

// At an angle that is not a right angle the picture is recorded in sixteenths of a pixel and
// played back at a sixteenth, so that a turned line's corners are not rounded to whole pixels,
// which would narrow or widen each line by up to a pixel (and a two-pixel bar at 45 degrees
// to a one-pixel line).
inline constexpr int32_t kFineUnits = 16;

// Raises the engine's error with "TBarcodeEngine: <what>".
[[noreturn]] void RaiseDrawingError(const char* what);
// A whole drawing coordinate that must fit 32 signed bits.
int32_t CheckedCoordinate(long double whole);
// Rounds to nearest, halves to even; the result must fit 32 signed bits.
int32_t Nearest(long double v);
// A sum of coordinates that must fit 32 signed bits.
int32_t CheckedSum(int64_t sum);
// A picture extent that must fit 32 signed bits.
int32_t CheckedExtent(int64_t extent);
// An angle in degrees as the same direction from 0 up to 360: -90 is 270, 450 is 90.
double ReducedAngle(double degrees);
// Angle in degrees to radians, kept as a 64-bit float.
double ToRadians(double degrees);
// 0 and 180 degrees: the bars stand upright.
bool IsUpright(double reducedAngle);
// 90 and 270 degrees: the bars lie across and the picture is the upright one turned exactly.
bool IsLying(double reducedAngle);
// In fine units, how far a turned line's edges move inwards: every polygon also gets a one-
// pixel outline, centred on its edges, which at this angle is max(|cos|, |sin|) pixels thick
// across itself; edges moved inwards by half of that leave each line covering, on average,
// its own width.
int32_t FineInset(double reducedAngle);

// Puts the canvas's previous font back into its context: explicitly when the text is done, or
// on the way out of a failure.
class TFontRestorer {
public:
    TFontRestorer(TCanvas& canvas, HFONT previous) : canvas_(canvas), previous_(previous) {}
    ~TFontRestorer();
    TFontRestorer(const TFontRestorer&) = delete;
    TFontRestorer& operator=(const TFontRestorer&) = delete;
    void Restore();

private:
    TCanvas& canvas_;
    HFONT previous_;
    bool restored_ = false;
};

} // namespace drawing

// The sine and cosine of an angle in radians, in extended precision.
struct TTurnOf {
    long double Sin;
    long double Cos;
    explicit TTurnOf(double alpha);
};

// Where the corners of the painting's lines land: each corner turned by alpha and moved by
// the origin. Place(p) equals TBarcodeEngine::OffsetPoint(TBarcodeEngine::RotatePoint(p,
// alpha), origin) for every point, raising where they raise. At the right angles, where
// the sine and the cosine act on every 32-bit coordinate as -1, 0 or 1, the turn is done in
// integers.
class TCornerPlacement {
public:
    TCornerPlacement(double alpha, TPoint origin);
    TPoint Place(TPoint p) const {
        if (!whole_) return PlaceTurned(p);
        const int64_t x = p.X, y = p.Y;
        const int64_t turnedX = x * wholeCos_ + y * wholeSin_;
        const int64_t turnedY = -x * wholeSin_ + y * wholeCos_;
        const int64_t placedX = turnedX + origin_.X, placedY = turnedY + origin_.Y;
        if (!Fits(turnedX) || !Fits(turnedY) || !Fits(placedX) || !Fits(placedY)) OutOfRange();
        return {int32_t(placedX), int32_t(placedY)};
    }

private:
    static bool Fits(int64_t v) { return v == static_cast<int32_t>(v); }
    [[noreturn]] static void OutOfRange();
    // Place at any other angle: the turn in extended precision.
    TPoint PlaceTurned(TPoint p) const;

    TTurnOf turn_;
    TPoint origin_;
    bool whole_ = false; // the turn in integers, by wholeSin_ and wholeCos_
    int32_t wholeSin_ = 0;
    int32_t wholeCos_ = 0;
};

} // namespace quillax
