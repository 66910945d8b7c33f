// The drawing's turn of its lines by the painting's angle, and the placement of a line's
// corners with the turn's constants taken once per painting.
#pragma once

#include "imaging/Geometry.h"

#include <cstdint>

namespace quillax {

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
