// Paints one polygon of a scaled playback under the ownership rule, span by span.
#pragma once

#include "imaging/Raster.h"

#include <cstdint>

namespace quillax::raster {

class TOwnedPainter {
public:
    // The polygon's pixels lie within columns x0..x1 and rows y0..y1 (a pixel outside them
    // is still counted, only more slowly).
    TOwnedPainter(const TSurface& s, int64_t x0, int64_t y0, int64_t x1, int64_t y1);

    // Paints the pixels x0..x1 of row y, left to right, each as Paint would; the span lies
    // on the surface. A stretch that an earlier polygon holds whole costs one step.
    void PaintSpan(int64_t x0, int64_t x1, int64_t y, TColor rgb);
    // Paints (x, y) unless it is the last pixel an earlier polygon of a colour as dark or
    // darker holds in its row or column. True when the pixel is this polygon's afterwards.
    bool Paint(int64_t x, int64_t y, TColor rgb);
    // Paints the one-pixel segment from a to b, both ends included, clipped, in the order a
    // one-pixel line visits its pixels: along its longer axis, in stretches of one row (or
    // one column) each.
    void PaintLine(TPoint a, TPoint b, TColor rgb);

private:
    TOwnership::TPolygonCounts& CountsOf(int32_t polygon) { return own_.Reach[size_t(polygon)]; }
    int64_t RowCount(int32_t polygon, int64_t y);
    int64_t ColCount(int32_t polygon, int64_t x);
    void Adjust(int32_t polygon, int64_t x, int64_t y, int32_t by);
    // Moves (x, y) from its owner (or none) to this polygon; the pixel itself is not painted.
    void Take(int32_t owner, int64_t x, int64_t y);

    // Stretches along a row (Down false: positions are columns, the line a row) or down a
    // column (Down true: positions are rows, the line a column).
    template <bool Down>
    TOwnership::TRun* RunOf(int64_t line);
    template <bool Down>
    void PaintStretch(int64_t from, int64_t to, int64_t line, TColor rgb);
    // Paints from..to of the line, which all lie in the line's known stretch.
    template <bool Down>
    void PaintKnown(TOwnership::TRun& run, int64_t from, int64_t to, int64_t line, TColor rgb);
    template <bool Down>
    bool PaintAt(int64_t at, int64_t line, TColor rgb) {
        return Down ? Paint(line, at, rgb) : Paint(at, line, rgb);
    }
    template <bool Down>
    void Fill(int64_t from, int64_t to, int64_t line, TColor rgb);
    // Forgets the known stretches across the line that these pixels, now this polygon's in
    // this colour, no longer match.
    template <bool Down>
    void ForgetAcross(int64_t from, int64_t to, int64_t line, TColor rgb);

    const TSurface& s_;
    TOwnership& own_;
    int32_t me_;
    // The longest stretch of the current span that ended up this polygon's.
    int64_t bestFrom_ = 0, bestLength_ = 0, runFrom_ = 0, runLength_ = 0;
    void Mine(int64_t from, int64_t to);
    void NotMine();
};

} // namespace quillax::raster
