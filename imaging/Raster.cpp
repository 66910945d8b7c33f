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

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace quillax::raster {

namespace {

uint8_t* PixelAt(const TSurface& s, int64_t x, int64_t y) {
    return s.Bits + static_cast<size_t>(s.Height - 1 - y) * s.Stride + 3 * size_t(x);
}

void Put(uint8_t* p, TColor rgb) {
    p[0] = BlueOf(rgb);
    p[1] = GreenOf(rgb);
    p[2] = RedOf(rgb);
}

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

// n / d rounded to nearest, halves upward; d != 0.
int64_t RoundDiv(__int128 n, __int128 d) {
    if (d < 0) n = -n, d = -d;
    __int128 num = 2 * n + d, den = 2 * d;
    __int128 q = num / den;
    if (num % den != 0 && num < 0) --q;
    return static_cast<int64_t>(q);
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
    std::vector<double> xs;
    for (int64_t y = y0; y <= y1; ++y) {
        const double yc = double(y) + 0.5;
        xs.clear();
        for (size_t i = 0; i < pts.size(); ++i) {
            const TPointF& a = pts[i];
            const TPointF& b = pts[(i + 1) % pts.size()];
            if ((a.Y <= yc) != (b.Y <= yc))
                xs.push_back(a.X + (yc - a.Y) * (b.X - a.X) / (b.Y - a.Y));
        }
        std::sort(xs.begin(), xs.end());
        for (size_t i = 0; i + 1 < xs.size(); i += 2) {
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
    if (std::llabs(dx) >= std::llabs(dy)) {
        const int64_t from = std::max<int64_t>(std::min<int64_t>(a.X, b.X), -reach);
        const int64_t to = std::min<int64_t>(std::max<int64_t>(a.X, b.X), s.Width - 1 + reach);
        for (int64_t x = from; x <= to; ++x)
            square(x, dx == 0 ? a.Y : a.Y + RoundDiv(__int128(x - a.X) * dy, dx));
    } else {
        const int64_t from = std::max<int64_t>(std::min<int64_t>(a.Y, b.Y), -reach);
        const int64_t to = std::min<int64_t>(std::max<int64_t>(a.Y, b.Y), s.Height - 1 + reach);
        for (int64_t y = from; y <= to; ++y)
            square(a.X + RoundDiv(__int128(y - a.Y) * dx, dy), y);
    }
}

bool IsConvex(std::span<const TPoint> pts) {
    int sign = 0;
    const size_t n = pts.size();
    for (size_t i = 0; i < n; ++i) {
        const TPoint& a = pts[i];
        const TPoint& b = pts[(i + 1) % n];
        const TPoint& c = pts[(i + 2) % n];
        int64_t cross = int64_t(b.X - a.X) * (c.Y - b.Y) - int64_t(b.Y - a.Y) * (c.X - b.X);
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

// Brightness for the ownership rule (Rec. 601 weights, times 1000).
int32_t Luma(TColor rgb) {
    return 299 * RedOf(rgb) + 587 * GreenOf(rgb) + 114 * BlueOf(rgb);
}

// Paints one scaled polygon's pixels under the ownership rule.
class TOwnedPainter {
public:
    explicit TOwnedPainter(const TSurface& s) : s_(s), own_(*s.Ownership), me_(own_.Polygons++) {}

    // Paints (x, y) unless it is the last pixel an earlier polygon of a colour as dark or
    // darker holds in its row or column.
    void Paint(int64_t x, int64_t y, TColor rgb) {
        int32_t& owner = own_.Owner[size_t(y) * s_.Width + size_t(x)];
        uint8_t* p = PixelAt(s_, x, y);
        if (owner != me_) {
            if (owner >= 0) {
                int32_t& row = own_.Rows[Key(owner, y)];
                int32_t& col = own_.Cols[Key(owner, x)];
                if ((row <= 1 || col <= 1) && Luma(rgb) >= Luma(p[2] | p[1] << 8 | p[0] << 16))
                    return;
                --row;
                --col;
            }
            ++own_.Rows[Key(me_, y)];
            ++own_.Cols[Key(me_, x)];
            owner = me_;
        }
        Put(p, rgb);
    }

private:
    static uint64_t Key(int32_t polygon, int64_t at) {
        return uint64_t(polygon) << 32 | uint64_t(at);
    }
    const TSurface& s_;
    TOwnership& own_;
    int32_t me_;
};

} // namespace

bool TMapping::Exact() const {
    return ScaleX == 1 && ScaleY == 1 && OffsetX == std::floor(OffsetX) &&
           OffsetY == std::floor(OffsetY);
}

TMapping TMapping::After(const TMapping& inner) const {
    return {ScaleX * inner.ScaleX, ScaleY * inner.ScaleY, OffsetX + inner.OffsetX * ScaleX,
            OffsetY + inner.OffsetY * ScaleY};
}

void FillArea(const TSurface& s, std::span<const TPointF> pts, TColor rgb) {
    ScanArea(s, pts, [&](int64_t x0, int64_t x1, int64_t y) {
        uint8_t* p = PixelAt(s, x0, y);
        for (int64_t x = x0; x <= x1; ++x, p += 3)
            Put(p, rgb);
    });
}

void DrawLine(const TSurface& s, TPoint a, TPoint b, int32_t penWidth, TColor rgb) {
    if (s.Width <= 0 || s.Height <= 0) return;
    ScanLine(s, a, b, penWidth, [&](int64_t x, int64_t y) { Put(PixelAt(s, x, y), rgb); });
}

void Polygon(const TSurface& s, const TMapping& m, std::span<const TPoint> pts, TColor penRgb,
             int32_t penWidth, bool fill, TColor brushRgb) {
    const size_t n = pts.size();
    if (n < 2 || s.Width <= 0 || s.Height <= 0) return;
    // The device pixel of each corner: the one holding the corner pixel's mapped centre.
    std::vector<TPoint> corners(n);
    auto toInt = [](int64_t v) {
        return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN / 2, INT32_MAX / 2));
    };
    for (size_t i = 0; i < n; ++i)
        corners[i] = {toInt(FloorTo(m.X(pts[i].X + 0.5))), toInt(FloorTo(m.Y(pts[i].Y + 0.5)))};
    std::vector<TPointF> area;
    if (m.Exact() || !IsConvex(pts)) {
        for (const TPoint& c : corners)
            area.push_back({c.X + 0.5, c.Y + 0.5});
    } else {
        std::vector<TPointF> spans;
        for (const TPoint& p : pts)
            for (int dy = 0; dy <= 1; ++dy)
                for (int dx = 0; dx <= 1; ++dx)
                    spans.push_back({m.X(double(p.X) + dx), m.Y(double(p.Y) + dy)});
        area = ConvexHull(std::move(spans));
    }
    if (m.Exact() || !s.Ownership) {
        if (fill) FillArea(s, area, brushRgb);
        const int32_t width = m.Exact() ? penWidth : 1;
        for (size_t i = 0; i < n; ++i)
            DrawLine(s, corners[i], corners[(i + 1) % n], width, penRgb);
        return;
    }
    TOwnedPainter painter(s);
    if (fill)
        ScanArea(s, area, [&](int64_t x0, int64_t x1, int64_t y) {
            for (int64_t x = x0; x <= x1; ++x)
                painter.Paint(x, y, brushRgb);
        });
    for (size_t i = 0; i < n; ++i)
        ScanLine(s, corners[i], corners[(i + 1) % n], 1,
                 [&](int64_t x, int64_t y) { painter.Paint(x, y, penRgb); });
}

void FillRect(const TSurface& s, const TMapping& m, const TRect& r, TColor rgb) {
    if (r.Left == r.Right || r.Top == r.Bottom || s.Width <= 0 || s.Height <= 0) return;
    double l = m.X(r.Left), rt = m.X(r.Right), t = m.Y(r.Top), b = m.Y(r.Bottom);
    if (l > rt) std::swap(l, rt);
    if (t > b) std::swap(t, b);
    int64_t x0 = CeilTo(l - 0.5), x1 = CeilTo(rt - 0.5) - 1;
    int64_t y0 = CeilTo(t - 0.5), y1 = CeilTo(b - 0.5) - 1;
    if (x0 > x1) x0 = x1 = FloorTo((l + rt) / 2);
    if (y0 > y1) y0 = y1 = FloorTo((t + b) / 2);
    x0 = std::max<int64_t>(x0, 0);
    x1 = std::min<int64_t>(x1, s.Width - 1);
    y0 = std::max<int64_t>(y0, 0);
    y1 = std::min<int64_t>(y1, s.Height - 1);
    for (int64_t y = y0; y <= y1; ++y) {
        uint8_t* p = x0 <= x1 ? PixelAt(s, x0, y) : nullptr;
        for (int64_t x = x0; x <= x1; ++x, p += 3)
            Put(p, rgb);
    }
}

void BlendMask(const TSurface& s, int32_t left, int32_t top, const uint8_t* mask, int32_t width,
               int32_t height, int32_t pitch, TColor rgb) {
    const int b = BlueOf(rgb), g = GreenOf(rgb), r = RedOf(rgb);
    for (int32_t row = 0; row < height; ++row) {
        const int64_t y = int64_t(top) + row;
        if (y < 0 || y >= s.Height) continue;
        for (int32_t col = 0; col < width; ++col) {
            const int64_t x = int64_t(left) + col;
            const int a = mask[size_t(row) * pitch + col];
            if (a == 0 || x < 0 || x >= s.Width) continue;
            uint8_t* p = PixelAt(s, x, y);
            p[0] = uint8_t((p[0] * (255 - a) + b * a + 127) / 255);
            p[1] = uint8_t((p[1] * (255 - a) + g * a + 127) / 255);
            p[2] = uint8_t((p[2] * (255 - a) + r * a + 127) / 255);
        }
    }
}

} // namespace quillax::raster
