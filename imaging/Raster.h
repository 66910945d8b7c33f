// Pixel coverage on a 24-bit store: polygons, rectangles, lines and alpha masks, both at
// one device pixel per drawing unit and scaled (vector picture playback). Everything is
// clipped to the store; coordinates far outside it cost no more than the visible part.
#pragma once

#include "imaging/Color.h"
#include "imaging/Geometry.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace quillax::raster {

// Which polygon of a scaled playback painted each pixel, and how many pixels each still
// holds in each row and column: a later polygon never takes the last pixel an earlier one
// holds in a row or a column (see OwnedPainter.cpp).
struct TOwnership {
    std::vector<int32_t> Owner; // per pixel, rows from the top; -1 for none
    int32_t Polygons = 0;       // polygons painted so far
    // Counts every pixel by looking at Owner, one pixel after another: the plain rule, which
    // the quicker bookkeeping below must match.
    bool Plain = false;

    // A polygon's counts of pixels held: per row of its reach, and per column of its reach.
    // A count not kept is found from Owner over the other extent of the reach (or the whole
    // surface, once the polygon has painted outside its reach).
    struct TPolygonCounts {
        int32_t FirstRow = 0, Rows = 0, FirstCol = 0, Cols = 0; // within the surface
        int32_t* RowCounts = nullptr;                           // null when not kept
        int32_t* ColCounts = nullptr;
        int32_t MultiCols = 0; // columns in which it holds two pixels or more
        int32_t MultiRows = 0; // rows in which it holds two pixels or more
        bool Wild = false;     // it has painted outside its reach
    };
    std::vector<TPolygonCounts> Reach; // per polygon

    // Zeroed counts handed out in blocks, which never move.
    class TCountStore {
    public:
        int32_t* Take(size_t n) {
            if (n > left_) {
                constexpr size_t BlockCounts = size_t(1) << 16;
                const size_t size = std::max(n, BlockCounts);
                blocks_.push_back(std::make_unique<int32_t[]>(size));
                next_ = blocks_.back().get(), left_ = size;
            }
            int32_t* counts = next_;
            next_ += n, left_ -= n, used_ += n;
            return counts;
        }
        size_t Used() const { return used_; }

    private:
        std::vector<std::unique_ptr<int32_t[]>> blocks_;
        int32_t* next_ = nullptr;
        size_t left_ = 0, used_ = 0;
    };
    TCountStore Counts;

    // Per row and per column, one stretch of pixels known to share one owner and one colour,
    // valid while Generation is unchanged; painting outside the ownership rule moves
    // Generation on.
    struct TRun {
        int32_t From = 0, To = -1; // columns of a row, or rows of a column
        int32_t Owner = -1;
        TColor Color = 0;
        uint64_t Generation = 0;
    };
    std::vector<TRun> Runs;       // per row
    std::vector<TRun> ColumnRuns; // per column
    uint64_t Generation = 1;
    // Something other than an owned polygon painted the surface.
    void Touched() { ++Generation; }
};

// A store of blue, green, red pixels, rows padded to Stride bytes, bottom row first.
struct TSurface {
    uint8_t* Bits = nullptr;
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t Stride = 0;
    TOwnership* Ownership = nullptr; // set during scaled playback
};

// Drawing units onto device pixels, each axis on its own: device = offset + unit * scale.
// A unit pixel u covers the device span [offset + u * scale, offset + (u + 1) * scale).
struct TMapping {
    double ScaleX = 1;
    double ScaleY = 1;
    double OffsetX = 0;
    double OffsetY = 0;

    bool Exact() const;
    double X(double x) const { return OffsetX + x * ScaleX; }
    double Y(double y) const { return OffsetY + y * ScaleY; }
    // This mapping applied after inner.
    TMapping After(const TMapping& inner) const;
};

struct TPointF {
    double X = 0;
    double Y = 0;
};

// The largest pen width drawn; wider pens are drawn this wide.
inline constexpr int32_t MaxPenWidth = 256;

// Paints the pixels whose centres lie inside the polygon (alternate rule, half-open).
void FillArea(const TSurface& surface, std::span<const TPointF> points, TColor rgb);
// Paints every pixel on the segment from a to b, both ends included; a pen wider than one
// pixel paints a square of its width around each of them.
void DrawLine(const TSurface& surface, TPoint a, TPoint b, int32_t penWidth, TColor rgb);

// A polygon: interior filled with the brush (when fill is set, alternate rule), outline in
// the pen. At an exact mapping an axis-aligned rectangle with corners (x0, y0), (x1, y1)
// covers x0..x1 and y0..y1 inclusive. Scaled, see the coverage rule in Raster.cpp.
void Polygon(const TSurface& surface, const TMapping& mapping, std::span<const TPoint> points,
             TColor penRgb, int32_t penWidth, bool fill, TColor brushRgb);
// The same polygon always through the general scan, without Polygon's shortcut for solid
// upright rectangles; both paint the same pixels.
void PolygonGeneral(const TSurface& surface, const TMapping& mapping,
                    std::span<const TPoint> points, TColor penRgb, int32_t penWidth, bool fill,
                    TColor brushRgb);
// Left and top included, right and bottom excluded (a reversed rectangle is normalised).
void FillRect(const TSurface& surface, const TMapping& mapping, const TRect& rect, TColor rgb);
// Solid upright rectangles at one pixel per unit whose rows are the same, painted together:
// each into the first of those rows, and that row's span then copied onto the others, which
// gives the pixels of painting each whole box in turn as long as the boxes so far cover one
// unbroken span of columns (the bars and spaces of an upright barcode).
class TBoxRun {
public:
    TBoxRun(const TSurface& surface, const TMapping& mapping);
    ~TBoxRun() { Flush(); }
    TBoxRun(const TBoxRun&) = delete;
    TBoxRun& operator=(const TBoxRun&) = delete;
    // Takes the polygon into the run when it is such a box, painting the run so far first
    // when the box does not join it. False for any other polygon, which the caller draws
    // itself after Flush.
    bool Add(std::span<const TPoint> points, TColor penRgb, int32_t penWidth, bool fill,
             TColor brushRgb);
    // Copies the run's first row onto its other rows; the run is then empty.
    void Flush();

private:
    const TSurface& surface_;
    const TMapping& mapping_;
    bool exact_;
    bool whole_; // the mapping moves by whole pixels dx_, dy_
    int64_t dx_ = 0, dy_ = 0;
    bool empty_ = true;
    int64_t top_ = 0, bottom_ = 0; // the run's rows, clipped
    int64_t left_ = 0, right_ = 0; // the columns its boxes cover, clipped
};

// What a shape paints, handed over instead of painted: boxes of pixels x0..x1 by y0..y1, both
// ends included, clipped to the surface, in painting order (a later box paints over an earlier
// one). A vector writer takes the raster's own pixels from it.
class TPaintSink {
public:
    virtual void Paint(int64_t x0, int64_t y0, int64_t x1, int64_t y1, TColor rgb) = 0;

protected:
    ~TPaintSink() = default;
};

// What Polygon, FillRect and FillArea paint on a width x height surface. Scaled, each shape is
// traced on its own: the ownership rule of a scaled playback, which looks at what earlier
// polygons painted, is not applied.
void TracePolygon(int32_t width, int32_t height, const TMapping& mapping,
                  std::span<const TPoint> points, TColor penRgb, int32_t penWidth, bool fill,
                  TColor brushRgb, TPaintSink& sink);
void TraceFillRect(int32_t width, int32_t height, const TMapping& mapping, const TRect& rect,
                   TColor rgb, TPaintSink& sink);
void TraceArea(int32_t width, int32_t height, std::span<const TPointF> points, TColor rgb,
               TPaintSink& sink);

// Blends an 8-bit coverage mask with its top-left pixel at (left, top) in the colour.
void BlendMask(const TSurface& surface, int32_t left, int32_t top, const uint8_t* mask,
               int32_t width, int32_t height, int32_t pitch, TColor rgb);

} // namespace quillax::raster
