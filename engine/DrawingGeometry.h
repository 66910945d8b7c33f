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
    TPoint Place(TPoint p) const;

private:
    TTurnOf turn_;
    TPoint origin_;
    bool whole_ = false; // the turn in integers, by wholeSin_ and wholeCos_
    int32_t wholeSin_ = 0;
    int32_t wholeCos_ = 0;
};

} // namespace quillax
