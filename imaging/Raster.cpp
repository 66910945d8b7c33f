// Pixel coverage on the 24-bit store.
//
// At an exact mapping (one device pixel per unit, whole-pixel offset) a polygon is its
// interior, sampled at pixel centres with the polygon's corners on pixel centres, plus a
// one-pixel outline through the corner pixels: so both corners of a rectangle are included.
//
// Scaled coverage rule (vector picture played into a rectangle of another size):
//  - each unit pixel u becomes the device span [offset + u * scale, offset + (u + 1) * scale);
//  - a convex polygon (the engine's bars, upright or rotated) has as its area the convex hull
//    of its corner pixels' spans, so a bar k units wide keeps k * scale pixels of width. It
//    covers the pixels whose centres lie in that area, plus its outline through the device
//    pixels that hold its corner pixels' centres, so even a line narrower than a pixel
//    covers a one-pixel line;
//  - a polygon that is not convex is filled through its corners' centres (alternate rule)
//    and outlined the same way;
//  - a later polygon of the same playback takes the last pixel that an earlier polygon still
//    holds in a row or in a column only when its colour is darker (ink over paper). So no
//    bar vanishes because it became narrower than a pixel, nor because a space drawn before
//    or after it reaches into its pixels; where two bars share a pixel the later one wins,
//    and where two spaces do, the earlier one;
//  - a rectangle fill (label boxes) and text paint over everything as usual; a rectangle
//    covers the pixels whose centres lie in its scaled span, and at least the pixel holding
//    its centre when it is not empty.
// At scale 1 the scaled rule gives exactly the exact-mapping pixels.
#include "imaging/Raster.h"

#include "imaging/OwnedPainter.h"
#include "imaging/RasterPixels.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

namespace quillax::raster {

namespace {

// Paints the pixels x0..x1 by y0..y1, both ends included, clipped to the surface.
void FillBox(const TSurface& s, int64_t x0, int64_t y0, int64_t x1, int64_t y1, TColor rgb) {
    x0 = std::max<int64_t>(x0, 0);
    x1 = std::min<int64_t>(x1, s.Width - 1);
    y0 = std::max<int64_t>(y0, 0);
    y1 = std::min<int64_t>(y1, s.Height - 1);
    if (x0 > x1 || y0 > y1) return;
    const size_t bytes = 3 * size_t(x1 - x0 + 1);
    const int64_t rows = y1 - y0 + 1;
    // Rows further down lie earlier in the store.
    uint8_t* const top = PixelAt(s, x0, y0);
    const ptrdiff_t down = -ptrdiff_t(s.Stride);
    if (bytes <= 3 * FewPixels) {
        const uint8_t b = BlueOf(rgb), g = GreenOf(rgb), r = RedOf(rgb);
        uint8_t* row = top;
        for (int64_t i = 0; i < rows; ++i, row += down)
            for (size_t x = 0; x < bytes; x += 3) {
                row[x] = b;
                row[x + 1] = g;
                row[x + 2] = r;
            }
        return;
    }
    FillRow(top, bytes / 3, rgb);
    for (int64_t i = 1; i < rows; ++i)
        std::memcpy(top + i * down, top, bytes);
}

// A few values kept in place, more on the heap: a polygon's corners without an allocation
// for the usual four.
template <class T, size_t InPlace = 8>
class TScratch {
public:
    explicit TScratch(size_t n) : size_(n) {
        if (n > InPlace) heap_.resize(n);
    }
    T* data() { return size_ > InPlace ? heap_.data() : inPlace_.data(); }
    T& operator[](size_t i) { return data()[i]; }
    size_t size() const { return size_; }
    std::span<T> all() { return {data(), size_}; }

private:
    size_t size_;
    std::array<T, InPlace> inPlace_{};
    std::vector<T> heap_;
};

// A device coordinate clamped into a range that fits 64 bits comfortably.
int64_t Clamp64(double v) {
    constexpr double limit = 1e15;
    if (!(v > -limit)) return static_cast<int64_t>(-limit);
    if (v > limit) return static_cast<int64_t>(limit);
    return static_cast<int64_t>(v);
}

int64_t FloorTo(double v) {
    return Clamp64(std::floor(v));
}
int64_t CeilTo(double v) {
    return Clamp64(std::ceil(v));
}

// Sorts a handful of crossings; there are rarely more than four.
void SortCrossings(double* xs, size_t n) {
    if (n > 16) {
        std::sort(xs, xs + n);
        return;
    }
    for (size_t i = 1; i < n; ++i) {
        const double v = xs[i];
        size_t j = i;
        for (; j > 0 && xs[j - 1] > v; --j)
            xs[j] = xs[j - 1];
        xs[j] = v;
    }
}

// Calls span(x0, x1, y) for the runs of pixel centres inside the polygon, clipped.
template <class F>
void ScanArea(const TSurface& s, std::span<const TPointF> pts, F span) {
    if (pts.size() < 3 || s.Width <= 0 || s.Height <= 0) return;
    double minY = pts[0].Y, maxY = pts[0].Y;
    for (const TPointF& p : pts)
        minY = std::min(minY, p.Y), maxY = std::max(maxY, p.Y);
    const int64_t y0 = std::max<int64_t>(FloorTo(minY) - 1, 0);
    const int64_t y1 = std::min<int64_t>(CeilTo(maxY) + 1, s.Height - 1);
    TScratch<double> xs(pts.size()); // a row crosses each edge at most once
    for (int64_t y = y0; y <= y1; ++y) {
        const double yc = double(y) + 0.5;
        size_t count = 0;
        for (size_t i = 0; i < pts.size(); ++i) {
            const TPointF& a = pts[i];
            const TPointF& b = pts[i + 1 == pts.size() ? 0 : i + 1];
            if ((a.Y <= yc) != (b.Y <= yc))
                xs[count++] = a.X + (yc - a.Y) * (b.X - a.X) / (b.Y - a.Y);
        }
        SortCrossings(xs.data(), count);
        for (size_t i = 0; i + 1 < count; i += 2) {
            const int64_t x0 = std::max<int64_t>(CeilTo(xs[i] - 0.5), 0);
            const int64_t x1 = std::min<int64_t>(CeilTo(xs[i + 1] - 0.5) - 1, s.Width - 1);
            if (x0 <= x1) span(x0, x1, y);
        }
    }
}

// Calls plot(x, y) for the pixels of the segment (both ends) under a square pen, clipped.
template <class F>
void ScanLine(const TSurface& s, TPoint a, TPoint b, int32_t penWidth, F plot) {
    penWidth = std::clamp(penWidth, 1, MaxPenWidth);
    auto square = [&](int64_t x, int64_t y) {
        const int64_t x0 = x - (penWidth - 1) / 2, y0 = y - (penWidth - 1) / 2;
        for (int64_t py = std::max<int64_t>(y0, 0); py < std::min<int64_t>(y0 + penWidth, s.Height);
             ++py)
            for (int64_t px = std::max<int64_t>(x0, 0);
                 px < std::min<int64_t>(x0 + penWidth, s.Width); ++px)
                plot(px, py);
    };
    const int64_t dx = int64_t(b.X) - a.X, dy = int64_t(b.Y) - a.Y;
    const int64_t reach = penWidth / 2 + 1;
    // Steps along the longer axis; the other coordinate is rounded from the exact slope. The
    // products fit 64 bits unless the segment reaches far outside the surface.
    auto walk = [&](int64_t from, int64_t to, int64_t start, int64_t along, int64_t across,
                    auto point) {
        const uint64_t far = uint64_t(std::max(std::llabs(from - start), std::llabs(to - start)));
        const bool narrow = static_cast<unsigned __int128>(far) * uint64_t(std::llabs(across)) <
                            static_cast<unsigned __int128>(1) << 61;
        for (int64_t t = from; t <= to; ++t) {
            const int64_t off = along == 0 ? 0
                                : narrow   ? RoundDiv<int64_t>((t - start) * across, along)
                                         : RoundDiv<__int128>(__int128(t - start) * across, along);
            point(t, off);
        }
    };
    if (std::llabs(dx) >= std::llabs(dy)) {
        const int64_t from = std::max<int64_t>(std::min<int64_t>(a.X, b.X), -reach);
        const int64_t to = std::min<int64_t>(std::max<int64_t>(a.X, b.X), s.Width - 1 + reach);
        walk(from, to, a.X, dx, dy, [&](int64_t x, int64_t off) { square(x, a.Y + off); });
    } else {
        const int64_t from = std::max<int64_t>(std::min<int64_t>(a.Y, b.Y), -reach);
        const int64_t to = std::min<int64_t>(std::max<int64_t>(a.Y, b.Y), s.Height - 1 + reach);
        walk(from, to, a.Y, dy, dx, [&](int64_t y, int64_t off) { square(a.X + off, y); });
    }
}

bool IsConvex(std::span<const TPoint> pts) {
    int sign = 0;
    const size_t n = pts.size();
    for (size_t i = 0; i < n; ++i) {
        const TPoint& a = pts[i];
        const TPoint& b = pts[(i + 1) % n];
        const TPoint& c = pts[(i + 2) % n];
        // Differences of 32-bit coordinates take 33 bits and their products 66.
        const __int128 cross = __int128(int64_t(b.X) - a.X) * (int64_t(c.Y) - b.Y) -
                               __int128(int64_t(b.Y) - a.Y) * (int64_t(c.X) - b.X);
        int s = cross > 0 ? 1 : cross < 0 ? -1 : 0;
        if (s == 0) continue;
        if (sign != 0 && s != sign) return false;
        sign = s;
    }
    return true;
}

// Andrew's monotone chain.
std::vector<TPointF> ConvexHull(std::vector<TPointF> p) {
    std::sort(p.begin(), p.end(), [](const TPointF& a, const TPointF& b) {
        return a.X < b.X || (a.X == b.X && a.Y < b.Y);
    });
    if (p.size() < 3) return p;
    auto cross = [](const TPointF& o, const TPointF& a, const TPointF& b) {
        return (a.X - o.X) * (b.Y - o.Y) - (a.Y - o.Y) * (b.X - o.X);
    };
    std::vector<TPointF> hull(2 * p.size());
    size_t k = 0;
    for (size_t i = 0; i < p.size(); ++i) {
        while (k >= 2 && cross(hull[k - 2], hull[k - 1], p[i]) <= 0)
            --k;
        hull[k++] = p[i];
    }
    for (size_t i = p.size() - 1, lower = k + 1; i-- > 0;) {
        while (k >= lower && cross(hull[k - 2], hull[k - 1], p[i]) <= 0)
            --k;
        hull[k++] = p[i];
    }
    hull.resize(k - 1);
    return hull;
}

// Corners kept well inside 32 bits.
int32_t ClampedCorner(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN / 2, INT32_MAX / 2));
}

// At one pixel per unit with a whole-pixel offset, the offset in pixels, when it is small
// enough to add exactly in either arithmetic.
bool WholeOffset(const TMapping& m, int64_t& dx, int64_t& dy) {
    constexpr double SmallOffset = 1e12;
    if (!m.Exact() || !(std::fabs(m.OffsetX) < SmallOffset) ||
        !(std::fabs(m.OffsetY) < SmallOffset))
        return false;
    dx = int64_t(m.OffsetX), dy = int64_t(m.OffsetY);
    return true;
}

// The device pixel of each corner: the one holding the corner pixel's mapped centre, kept
// well inside 32 bits. At a whole offset that is the corner moved by the offset.
void DeviceCorners(const TMapping& m, std::span<const TPoint> pts, std::span<TPoint> corners) {
    int64_t dx, dy;
    if (WholeOffset(m, dx, dy)) {
        for (size_t i = 0; i < pts.size(); ++i)
            corners[i] = {ClampedCorner(pts[i].X + dx), ClampedCorner(pts[i].Y + dy)};
        return;
    }
    for (size_t i = 0; i < pts.size(); ++i)
        corners[i] = {ClampedCorner(FloorTo(m.X(pts[i].X + 0.5))),
                      ClampedCorner(FloorTo(m.Y(pts[i].Y + 0.5)))};
}

// Four corners of an upright rectangle, taken round in either direction from any corner:
// the edges alternately upright and level. Empty sides are allowed.
bool IsUprightBox(std::span<const TPoint, 4> c) {
    return (c[0].X == c[1].X && c[1].Y == c[2].Y && c[2].X == c[3].X && c[3].Y == c[0].Y) ||
           (c[0].Y == c[1].Y && c[1].X == c[2].X && c[2].Y == c[3].Y && c[3].X == c[0].X);
}

// The convex hull of an upright rectangle's corner pixels' spans is the rectangle from the
// first corner pixel's near edges to the last one's far edges; false when the polygon is no
// such rectangle or its mapped area is empty or not finite.
bool UprightBoxArea(const TMapping& m, std::span<const TPoint> pts, std::array<TPointF, 4>& box) {
    if (pts.size() != 4 || !IsUprightBox(std::span<const TPoint, 4>(pts.data(), 4))) return false;
    const double x0 = m.X(std::min(pts[0].X, pts[2].X)),
                 x1 = m.X(std::max(pts[0].X, pts[2].X) + 1.0);
    const double y0 = m.Y(std::min(pts[0].Y, pts[2].Y)),
                 y1 = m.Y(std::max(pts[0].Y, pts[2].Y) + 1.0);
    if (!std::isfinite(x0) || !std::isfinite(x1) || !std::isfinite(y0) || !std::isfinite(y1) ||
        x0 == x1 || y0 == y1)
        return false;
    box = {TPointF{x0, y0}, TPointF{x0, y1}, TPointF{x1, y1}, TPointF{x1, y0}};
    return true;
}

} // namespace

namespace {

// v == floor(v), without a call into the maths library: doubles from 2^52 on are all whole.
bool IsWhole(double v) {
    if (std::isnan(v)) return false;
    if (std::fabs(v) >= 0x1p52) return true;
    return v == static_cast<double>(static_cast<int64_t>(v));
}

} // namespace

bool TMapping::Exact() const {
    return ScaleX == 1 && ScaleY == 1 && IsWhole(OffsetX) && IsWhole(OffsetY);
}

TMapping TMapping::After(const TMapping& inner) const {
    return {ScaleX * inner.ScaleX, ScaleY * inner.ScaleY, OffsetX + inner.OffsetX * ScaleX,
            OffsetY + inner.OffsetY * ScaleY};
}

void FillArea(const TSurface& s, std::span<const TPointF> pts, TColor rgb) {
    ScanArea(s, pts, [&](int64_t x0, int64_t x1, int64_t y) {
        FillRow(PixelAt(s, x0, y), size_t(x1 - x0 + 1), rgb);
    });
}

void DrawLine(const TSurface& s, TPoint a, TPoint b, int32_t penWidth, TColor rgb) {
    if (s.Width <= 0 || s.Height <= 0) return;
    ScanLine(s, a, b, penWidth, [&](int64_t x, int64_t y) { Put(PixelAt(s, x, y), rgb); });
}

namespace {

// A polygon as playback paints it: the device pixel of each corner, through which its outline
// runs, and the area its fill covers (see the coverage rule at the top).
class TPolygonShape {
public:
    TPolygonShape(const TMapping& m, std::span<const TPoint> pts)
        : exact_(m.Exact()), corners_(pts.size()), hull_(!exact_ && IsConvex(pts)),
          area_(hull_ ? 0 : pts.size()) {
        DeviceCorners(m, pts, corners_.all());
        upright_ = hull_ && UprightBoxArea(m, pts, box_);
        if (hull_ && !upright_) {
            std::vector<TPointF> spans;
            spans.reserve(4 * pts.size());
            for (const TPoint& p : pts)
                for (int dy = 0; dy <= 1; ++dy)
                    for (int dx = 0; dx <= 1; ++dx)
                        spans.push_back({m.X(double(p.X) + dx), m.Y(double(p.Y) + dy)});
            hullArea_ = ConvexHull(std::move(spans));
        } else if (!hull_) {
            for (size_t i = 0; i < pts.size(); ++i)
                area_[i] = {corners_[i].X + 0.5, corners_[i].Y + 0.5};
        }
    }
    TPolygonShape(const TPolygonShape&) = delete;
    TPolygonShape& operator=(const TPolygonShape&) = delete;

    bool Exact() const { return exact_; }
    TPoint Corner(size_t i) { return corners_[i]; }
    // The corner after corner i, round to the first.
    TPoint Next(size_t i) { return corners_[i + 1 == corners_.size() ? 0 : i + 1]; }
    std::span<const TPointF> Area() {
        return upright_ ? std::span<const TPointF>(box_)
               : hull_  ? std::span<const TPointF>(hullArea_)
                        : std::span<const TPointF>(area_.all());
    }

private:
    bool exact_;
    TScratch<TPoint> corners_;
    bool hull_;
    TScratch<TPointF> area_;
    std::vector<TPointF> hullArea_;
    std::array<TPointF, 4> box_;
    bool upright_ = false;
};

} // namespace

void PolygonGeneral(const TSurface& s, const TMapping& m, std::span<const TPoint> pts,
                    TColor penRgb, int32_t penWidth, bool fill, TColor brushRgb) {
    const size_t n = pts.size();
    if (n < 2 || s.Width <= 0 || s.Height <= 0) return;
    TPolygonShape shape(m, pts);
    const bool exact = shape.Exact();
    const std::span<const TPointF> outline = shape.Area();
    if (exact || !s.Ownership) {
        if (fill) FillArea(s, outline, brushRgb);
        const int32_t width = exact ? penWidth : 1;
        for (size_t i = 0; i < n; ++i)
            DrawLine(s, shape.Corner(i), shape.Next(i), width, penRgb);
        return;
    }
    // The pixels it can reach: its area's rows and columns with one to spare on each side,
    // and its outline's.
    int64_t x0 = INT64_MAX, y0 = INT64_MAX, x1 = INT64_MIN, y1 = INT64_MIN;
    for (const TPointF& p : outline) {
        x0 = std::min(x0, FloorTo(p.X) - 1), x1 = std::max(x1, CeilTo(p.X) + 1);
        y0 = std::min(y0, FloorTo(p.Y) - 1), y1 = std::max(y1, CeilTo(p.Y) + 1);
    }
    for (size_t i = 0; i < n; ++i) {
        const TPoint c = shape.Corner(i);
        x0 = std::min<int64_t>(x0, c.X), x1 = std::max<int64_t>(x1, c.X);
        y0 = std::min<int64_t>(y0, c.Y), y1 = std::max<int64_t>(y1, c.Y);
    }
    TOwnedPainter painter(s, x0, y0, x1, y1);
    if (fill)
        ScanArea(s, outline, [&](int64_t x0, int64_t x1, int64_t y) {
            painter.PaintSpan(x0, x1, y, brushRgb);
        });
    for (size_t i = 0; i < n; ++i) {
        const TPoint a = shape.Corner(i), b = shape.Next(i);
        if (s.Ownership->Plain)
            ScanLine(s, a, b, 1, [&](int64_t x, int64_t y) { painter.Paint(x, y, penRgb); });
        else
            painter.PaintLine(a, b, penRgb);
    }
}

namespace {

// A solid upright rectangle at one pixel per unit, outlined in its own colour by a one-pixel
// pen (every bar and space of an upright or quarter-turned barcode): its interior and outline
// together are exactly the box through its corner pixels.
bool SolidBoxDrawing(std::span<const TPoint> pts, TColor penRgb, int32_t penWidth, bool fill,
                     TColor brushRgb) {
    return pts.size() == 4 && fill && penRgb == brushRgb && penWidth <= 1;
}

// The box x0..x1 by y0..y1 through four device corners, if they are an upright rectangle's.
struct TDeviceBox {
    int64_t X0, Y0, X1, Y1;
};
bool UprightDeviceBox(std::span<const TPoint, 4> c, TDeviceBox& box) {
    if (!IsUprightBox(c)) return false;
    box = {std::min(c[0].X, c[2].X), std::min(c[0].Y, c[2].Y), std::max(c[0].X, c[2].X),
           std::max(c[0].Y, c[2].Y)};
    return true;
}

} // namespace

void Polygon(const TSurface& s, const TMapping& m, std::span<const TPoint> pts, TColor penRgb,
             int32_t penWidth, bool fill, TColor brushRgb) {
    if (SolidBoxDrawing(pts, penRgb, penWidth, fill, brushRgb) && m.Exact() && s.Width > 0 &&
        s.Height > 0) {
        std::array<TPoint, 4> c;
        DeviceCorners(m, pts, c);
        TDeviceBox box;
        if (UprightDeviceBox(c, box)) {
            FillBox(s, box.X0, box.Y0, box.X1, box.Y1, brushRgb);
            return;
        }
    }
    PolygonGeneral(s, m, pts, penRgb, penWidth, fill, brushRgb);
}

TBoxRun::TBoxRun(const TSurface& surface, const TMapping& mapping)
    : surface_(surface), mapping_(mapping), exact_(mapping.Exact()) {
    whole_ = WholeOffset(mapping, dx_, dy_);
}

bool TBoxRun::Add(std::span<const TPoint> points, TColor penRgb, int32_t penWidth, bool fill,
                  TColor brushRgb) {
    const TSurface& s = surface_;
    if (!exact_ || !SolidBoxDrawing(points, penRgb, penWidth, fill, brushRgb) || s.Width <= 0 ||
        s.Height <= 0)
        return false;
    std::array<TPoint, 4> c;
    if (whole_) {
        for (size_t i = 0; i < 4; ++i)
            c[i] = {ClampedCorner(points[i].X + dx_), ClampedCorner(points[i].Y + dy_)};
    } else {
        DeviceCorners(mapping_, points, c);
    }
    TDeviceBox box;
    if (!UprightDeviceBox(c, box)) return false;
    const int64_t x0 = std::max<int64_t>(box.X0, 0), x1 = std::min<int64_t>(box.X1, s.Width - 1);
    const int64_t y0 = std::max<int64_t>(box.Y0, 0), y1 = std::min<int64_t>(box.Y1, s.Height - 1);
    if (x0 > x1 || y0 > y1) return true; // nothing of it is on the surface
    const bool joins =
        !empty_ && y0 == top_ && y1 == bottom_ && x0 <= right_ + 1 && x1 >= left_ - 1;
    if (!joins) {
        Flush();
        empty_ = false;
        top_ = y0, bottom_ = y1, left_ = x0, right_ = x1;
    } else {
        left_ = std::min(left_, x0), right_ = std::max(right_, x1);
    }
    FillRow(PixelAt(s, x0, y0), size_t(x1 - x0 + 1), brushRgb);
    return true;
}

void TBoxRun::Flush() {
    if (empty_) return;
    empty_ = true;
    const uint8_t* first = PixelAt(surface_, left_, top_);
    const size_t bytes = 3 * size_t(right_ - left_ + 1);
    for (int64_t y = top_ + 1; y <= bottom_; ++y)
        std::memcpy(PixelAt(surface_, left_, y), first, bytes);
}

namespace {

// The device pixels a fill rectangle covers, unclipped; false when it is empty.
bool RectBox(const TMapping& m, const TRect& r, TDeviceBox& box) {
    if (r.Left == r.Right || r.Top == r.Bottom) return false;
    double l = m.X(r.Left), rt = m.X(r.Right), t = m.Y(r.Top), b = m.Y(r.Bottom);
    if (l > rt) std::swap(l, rt);
    if (t > b) std::swap(t, b);
    int64_t x0 = CeilTo(l - 0.5), x1 = CeilTo(rt - 0.5) - 1;
    int64_t y0 = CeilTo(t - 0.5), y1 = CeilTo(b - 0.5) - 1;
    if (x0 > x1) x0 = x1 = FloorTo((l + rt) / 2);
    if (y0 > y1) y0 = y1 = FloorTo((t + b) / 2);
    box = {x0, y0, x1, y1};
    return true;
}

// Hands the part of a box on a width x height surface to the sink.
void TraceBox(int32_t width, int32_t height, const TDeviceBox& box, TColor rgb, TPaintSink& sink) {
    const int64_t x0 = std::max<int64_t>(box.X0, 0), x1 = std::min<int64_t>(box.X1, width - 1);
    const int64_t y0 = std::max<int64_t>(box.Y0, 0), y1 = std::min<int64_t>(box.Y1, height - 1);
    if (x0 <= x1 && y0 <= y1) sink.Paint(x0, y0, x1, y1, rgb);
}

} // namespace

void FillRect(const TSurface& s, const TMapping& m, const TRect& r, TColor rgb) {
    TDeviceBox box;
    if (s.Width <= 0 || s.Height <= 0 || !RectBox(m, r, box)) return;
    FillBox(s, box.X0, box.Y0, box.X1, box.Y1, rgb);
}

// --- Tracing: what the drawing above paints, handed over as boxes -------------------------

void TracePolygon(int32_t width, int32_t height, const TMapping& m, std::span<const TPoint> pts,
                  TColor penRgb, int32_t penWidth, bool fill, TColor brushRgb, TPaintSink& sink) {
    const size_t n = pts.size();
    if (n < 2 || width <= 0 || height <= 0) return;
    if (SolidBoxDrawing(pts, penRgb, penWidth, fill, brushRgb) && m.Exact()) {
        std::array<TPoint, 4> c;
        DeviceCorners(m, pts, c);
        TDeviceBox box;
        if (UprightDeviceBox(c, box)) {
            TraceBox(width, height, box, brushRgb, sink);
            return;
        }
    }
    const TSurface bounds{nullptr, width, height, 0};
    TPolygonShape shape(m, pts);
    if (fill)
        ScanArea(bounds, shape.Area(),
                 [&](int64_t x0, int64_t x1, int64_t y) { sink.Paint(x0, y, x1, y, brushRgb); });
    const int32_t lineWidth = shape.Exact() ? penWidth : 1;
    for (size_t i = 0; i < n; ++i)
        ScanLine(bounds, shape.Corner(i), shape.Next(i), lineWidth,
                 [&](int64_t x, int64_t y) { sink.Paint(x, y, x, y, penRgb); });
}

void TraceFillRect(int32_t width, int32_t height, const TMapping& m, const TRect& r, TColor rgb,
                   TPaintSink& sink) {
    TDeviceBox box;
    if (width > 0 && height > 0 && RectBox(m, r, box)) TraceBox(width, height, box, rgb, sink);
}

void TraceArea(int32_t width, int32_t height, std::span<const TPointF> pts, TColor rgb,
               TPaintSink& sink) {
    const TSurface bounds{nullptr, width, height, 0};
    ScanArea(bounds, pts,
             [&](int64_t x0, int64_t x1, int64_t y) { sink.Paint(x0, y, x1, y, rgb); });
}

void BlendMask(const TSurface& s, int32_t left, int32_t top, const uint8_t* mask, int32_t width,
               int32_t height, int32_t pitch, TColor rgb) {
    const uint32_t b = BlueOf(rgb), g = GreenOf(rgb), r = RedOf(rgb);
    // The mask's columns and rows that land on the surface.
    const int64_t col0 = std::max<int64_t>(0, -int64_t(left));
    const int64_t col1 = std::min<int64_t>(width, int64_t(s.Width) - left);
    const int64_t row0 = std::max<int64_t>(0, -int64_t(top));
    const int64_t row1 = std::min<int64_t>(height, int64_t(s.Height) - top);
    if (col0 >= col1) return;
    for (int64_t row = row0; row < row1; ++row) {
        const uint8_t* coverage = mask + row * pitch;
        uint8_t* p = PixelAt(s, left + col0, top + row);
        for (int64_t col = col0; col < col1; ++col, p += 3) {
            const uint32_t a = coverage[col];
            if (a == 0) continue;
            if (a == 255) { // full coverage: the colour itself, as the sums below give it
                p[0] = uint8_t(b);
                p[1] = uint8_t(g);
                p[2] = uint8_t(r);
                continue;
            }
            p[0] = uint8_t((p[0] * (255 - a) + b * a + 127) / 255);
            p[1] = uint8_t((p[1] * (255 - a) + g * a + 127) / 255);
            p[2] = uint8_t((p[2] * (255 - a) + r * a + 127) / 255);
        }
    }
}

} // namespace quillax::raster
