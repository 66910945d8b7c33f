// The ownership rule of scaled playback, kept so that it costs what the pixels cost.
//
// A polygon takes a pixel from an earlier one unless the pixel is the last that the earlier
// polygon holds in its row or in its column and the new colour is not darker. The counts of
// pixels held are kept per polygon for the rows and columns it can reach: always for its
// shorter extent, for the longer one while room allows; a count not kept is found by looking
// along the polygon's shorter extent in the owners. So no count costs more than the shorter
// side of a polygon's reach.
//
// Many thin polygons may land on the same row (the bars of a long barcode squeezed into a
// few rows): each row remembers one stretch that one polygon holds whole in one colour. A
// later span over that stretch is settled in one step when the rule gives the same answer for
// every pixel of it: the new colour is darker (all taken), or the holder keeps its last pixel
// in the row, or it holds no column twice (all kept).
#include "imaging/OwnedPainter.h"

#include "imaging/RasterPixels.h"

#include <algorithm>

namespace quillax::raster {

namespace {

// Stretches shorter than this are not remembered.
constexpr int64_t KnownStretch = 8;

TColor Rgb(TColor c) {
    return c & 0xFFFFFF;
}

void Forget(TOwnership::TRun& run) {
    run.To = run.From - 1;
}

// The smallest t in [from, to] for which pred holds, pred going from false to true once;
// to + 1 when it never holds.
template <class Pred>
int64_t FirstWhere(int64_t from, int64_t to, Pred pred) {
    int64_t lo = from, hi = to + 1;
    while (lo < hi) {
        const int64_t mid = lo + (hi - lo) / 2;
        if (pred(mid))
            hi = mid;
        else
            lo = mid + 1;
    }
    return lo;
}

} // namespace

TOwnedPainter::TOwnedPainter(const TSurface& s, int64_t x0, int64_t y0, int64_t x1, int64_t y1)
    : s_(s), own_(*s.Ownership), me_(own_.Polygons++) {
    if (own_.Runs.size() != size_t(s.Height)) own_.Runs.assign(size_t(s.Height), {});
    if (own_.ColumnRuns.size() != size_t(s.Width)) own_.ColumnRuns.assign(size_t(s.Width), {});
    TOwnership::TPolygonCounts counts;
    x0 = std::max<int64_t>(x0, 0), x1 = std::min<int64_t>(x1, s.Width - 1);
    y0 = std::max<int64_t>(y0, 0), y1 = std::min<int64_t>(y1, s.Height - 1);
    if (x0 <= x1 && y0 <= y1) {
        counts.FirstRow = int32_t(y0), counts.Rows = int32_t(y1 - y0 + 1);
        counts.FirstCol = int32_t(x0), counts.Cols = int32_t(x1 - x0 + 1);
        if (!own_.Plain) {
            // The shorter extent's counts are always kept (over a playback no more of them
            // than there are pixels); the longer one's while they take no more room again
            // than the owners.
            const size_t budget = std::max<size_t>(own_.Owner.size(), 1 << 16);
            const bool level = counts.Rows <= counts.Cols;
            auto keep = [&](int32_t*& counts, int32_t n, bool always) {
                if (always || own_.Counts.Used() + size_t(n) <= budget)
                    counts = own_.Counts.Take(size_t(n));
            };
            keep(counts.RowCounts, counts.Rows, level);
            keep(counts.ColCounts, counts.Cols, !level);
        }
    }
    if (own_.Reach.size() == size_t(me_))
        own_.Reach.push_back(counts);
    else
        own_.Reach.at(size_t(me_)) = counts;
}

int64_t TOwnedPainter::RowCount(int32_t polygon, int64_t y) {
    const TOwnership::TPolygonCounts& c = CountsOf(polygon);
    if (!own_.Plain && c.RowCounts && y >= c.FirstRow && y - c.FirstRow < c.Rows)
        return c.RowCounts[y - c.FirstRow];
    const bool reach = !own_.Plain && !c.Wild;
    const int32_t* row = own_.Owner.data() + size_t(y) * s_.Width;
    return std::count(row + (reach ? c.FirstCol : 0),
                      row + (reach ? c.FirstCol + c.Cols : s_.Width), polygon);
}

int64_t TOwnedPainter::ColCount(int32_t polygon, int64_t x) {
    const TOwnership::TPolygonCounts& c = CountsOf(polygon);
    if (!own_.Plain && c.ColCounts && x >= c.FirstCol && x - c.FirstCol < c.Cols)
        return c.ColCounts[x - c.FirstCol];
    const bool reach = !own_.Plain && !c.Wild;
    const int64_t from = reach ? c.FirstRow : 0, to = reach ? c.FirstRow + c.Rows : s_.Height;
    int64_t n = 0;
    for (int64_t y = from; y < to; ++y)
        n += own_.Owner[size_t(y) * s_.Width + size_t(x)] == polygon;
    return n;
}

void TOwnedPainter::Adjust(int32_t polygon, int64_t x, int64_t y, int32_t by) {
    const TOwnership::TPolygonCounts& c = CountsOf(polygon);
    if (c.RowCounts && y >= c.FirstRow && y - c.FirstRow < c.Rows)
        c.RowCounts[y - c.FirstRow] += by;
    if (c.ColCounts && x >= c.FirstCol && x - c.FirstCol < c.Cols)
        c.ColCounts[x - c.FirstCol] += by;
}

void TOwnedPainter::Take(int32_t owner, int64_t x, int64_t y) {
    if (!own_.Plain) {
        if (owner >= 0) {
            TOwnership::TPolygonCounts& theirs = CountsOf(owner);
            if (ColCount(owner, x) == 2) --theirs.MultiCols;
            if (RowCount(owner, y) == 2) --theirs.MultiRows;
            Adjust(owner, x, y, -1);
        }
        TOwnership::TPolygonCounts& mine = CountsOf(me_);
        if (y < mine.FirstRow || y - mine.FirstRow >= mine.Rows || x < mine.FirstCol ||
            x - mine.FirstCol >= mine.Cols)
            mine.Wild = true;
        if (ColCount(me_, x) == 1) ++mine.MultiCols;
        if (RowCount(me_, y) == 1) ++mine.MultiRows;
        Adjust(me_, x, y, 1);
    }
    own_.Owner[size_t(y) * s_.Width + size_t(x)] = me_;
}

template <bool Down>
TOwnership::TRun* TOwnedPainter::RunOf(int64_t line) {
    if (own_.Plain) return nullptr;
    TOwnership::TRun& run = (Down ? own_.ColumnRuns : own_.Runs)[size_t(line)];
    return run.Generation == own_.Generation && run.From <= run.To ? &run : nullptr;
}

bool TOwnedPainter::Paint(int64_t x, int64_t y, TColor rgb) {
    const int32_t owner = own_.Owner[size_t(y) * s_.Width + size_t(x)];
    uint8_t* p = PixelAt(s_, x, y);
    if (owner != me_) {
        if (owner >= 0 && (RowCount(owner, y) <= 1 || ColCount(owner, x) <= 1) &&
            Luma(rgb) >= Luma(ColorAt(p)))
            return false;
        Take(owner, x, y);
    }
    // The known stretches through the pixel stay known only if it keeps their owner and colour.
    auto check = [&](TOwnership::TRun* run, int64_t at) {
        if (run && at >= run->From && at <= run->To &&
            !(run->Owner == me_ && run->Color == Rgb(rgb)))
            Forget(*run);
    };
    check(RunOf<false>(y), x);
    check(RunOf<true>(x), y);
    Put(p, rgb);
    return true;
}

void TOwnedPainter::Mine(int64_t from, int64_t to) {
    if (runLength_ > 0 && runFrom_ + runLength_ == from) {
        runLength_ += to - from + 1;
        return;
    }
    NotMine();
    runFrom_ = from, runLength_ = to - from + 1;
}

void TOwnedPainter::NotMine() {
    if (runLength_ > bestLength_) bestFrom_ = runFrom_, bestLength_ = runLength_;
    runLength_ = 0;
}

template <bool Down>
void TOwnedPainter::Fill(int64_t from, int64_t to, int64_t line, TColor rgb) {
    if (!Down) {
        FillRow(PixelAt(s_, from, line), size_t(to - from + 1), rgb);
        return;
    }
    for (int64_t y = from; y <= to; ++y)
        Put(PixelAt(s_, line, y), rgb);
}

template <bool Down>
void TOwnedPainter::ForgetAcross(int64_t from, int64_t to, int64_t line, TColor rgb) {
    for (int64_t at = from; at <= to; ++at)
        if (TOwnership::TRun* across = RunOf<!Down>(at);
            across && line >= across->From && line <= across->To &&
            !(across->Owner == me_ && across->Color == Rgb(rgb)))
            Forget(*across);
}

template <bool Down>
void TOwnedPainter::PaintKnown(TOwnership::TRun& run, int64_t from, int64_t to, int64_t line,
                               TColor rgb) {
    const int32_t owner = run.Owner;
    const TColor color = run.Color;
    const bool whole = from == run.From && to == run.To;
    if (owner == me_) {
        if (color != Rgb(rgb)) {
            Fill<Down>(from, to, line, rgb);
            ForgetAcross<Down>(from, to, line, rgb);
            if (whole)
                run.Color = Rgb(rgb);
            else
                Forget(run);
        }
        Mine(from, to);
        return;
    }
    if (Luma(rgb) >= Luma(color)) {
        // Kept whole when the holder keeps its last pixel of the line or holds no pixel
        // twice across it; otherwise pixel by pixel.
        const TOwnership::TPolygonCounts& theirs = CountsOf(owner);
        const bool last = Down ? ColCount(owner, line) <= 1 : RowCount(owner, line) <= 1;
        if (last || (Down ? theirs.MultiRows : theirs.MultiCols) == 0) {
            NotMine();
            return;
        }
        for (int64_t at = from; at <= to; ++at)
            PaintAt<Down>(at, line, rgb) ? Mine(at, at) : NotMine();
        return;
    }
    // Darker: every pixel is taken, whatever the counts.
    for (int64_t at = from; at <= to; ++at) {
        if (Down)
            Take(owner, line, at);
        else
            Take(owner, at, line);
    }
    Fill<Down>(from, to, line, rgb);
    if (whole)
        run.Owner = me_, run.Color = Rgb(rgb);
    else
        Forget(run);
    ForgetAcross<Down>(from, to, line, rgb);
    Mine(from, to);
}

template <bool Down>
void TOwnedPainter::PaintStretch(int64_t from, int64_t to, int64_t line, TColor rgb) {
    if (own_.Plain) {
        for (int64_t at = from; at <= to; ++at)
            PaintAt<Down>(at, line, rgb);
        return;
    }
    bestLength_ = runLength_ = 0;
    for (int64_t at = from; at <= to;) {
        TOwnership::TRun* run = RunOf<Down>(line);
        if (run && at >= run->From && at <= run->To) {
            const int64_t end = std::min<int64_t>(to, run->To);
            PaintKnown<Down>(*run, at, end, line, rgb);
            at = end + 1;
            continue;
        }
        const int64_t end = run && run->From > at ? std::min<int64_t>(to, run->From - 1) : to;
        for (; at <= end; ++at)
            PaintAt<Down>(at, line, rgb) ? Mine(at, at) : NotMine();
    }
    NotMine();
    // The longest stretch this span left whole in its colour becomes the line's known one.
    if (bestLength_ >= KnownStretch) {
        const TOwnership::TRun* run = RunOf<Down>(line);
        if (!run || run->To - run->From + 1 < bestLength_)
            (Down ? own_.ColumnRuns : own_.Runs)[size_t(line)] = {
                int32_t(bestFrom_), int32_t(bestFrom_ + bestLength_ - 1), me_, Rgb(rgb),
                own_.Generation};
    }
}

void TOwnedPainter::PaintSpan(int64_t x0, int64_t x1, int64_t y, TColor rgb) {
    PaintStretch<false>(x0, x1, y, rgb);
}

void TOwnedPainter::PaintLine(TPoint a, TPoint b, TColor rgb) {
    const int64_t dx = int64_t(b.X) - a.X, dy = int64_t(b.Y) - a.Y;
    const bool level = std::llabs(dx) >= std::llabs(dy);
    // t steps along the longer axis; the other coordinate is rounded from the exact slope.
    const int64_t start = level ? a.X : a.Y, end = level ? b.X : b.Y;
    const int64_t base = level ? a.Y : a.X;
    const int64_t along = level ? dx : dy, across = level ? dy : dx;
    const int64_t alongLimit = level ? s_.Width : s_.Height;
    const int64_t acrossLimit = level ? s_.Height : s_.Width;
    int64_t from = std::max<int64_t>(std::min(start, end), 0);
    int64_t to = std::min<int64_t>(std::max(start, end), alongLimit - 1);
    if (from > to) return;
    // The products fit 64 bits unless the segment reaches far outside the surface.
    const uint64_t far = uint64_t(std::max(std::llabs(from - start), std::llabs(to - start)));
    const bool narrow = static_cast<unsigned __int128>(far) * uint64_t(std::llabs(across)) <
                        static_cast<unsigned __int128>(1) << 61;
    auto other = [&](int64_t t) {
        return along == 0 ? base
               : narrow   ? base + RoundDiv<int64_t>((t - start) * across, along)
                          : base + RoundDiv<__int128>(__int128(t - start) * across, along);
    };
    // other(t) only rises (or only falls): keep the steps where it lies on the surface.
    const bool rising = across == 0 || (across > 0) == (along > 0);
    if (rising) {
        from = FirstWhere(from, to, [&](int64_t t) { return other(t) >= 0; });
        to = FirstWhere(from, to, [&](int64_t t) { return other(t) >= acrossLimit; }) - 1;
    } else {
        from = FirstWhere(from, to, [&](int64_t t) { return other(t) < acrossLimit; });
        to = FirstWhere(from, to, [&](int64_t t) { return other(t) < 0; }) - 1;
    }
    for (int64_t t = from; t <= to;) {
        const int64_t at = other(t);
        const int64_t last =
            FirstWhere(t, to, [&](int64_t u) { return rising ? other(u) > at : other(u) < at; }) -
            1;
        if (level)
            PaintStretch<false>(t, last, at, rgb);
        else
            PaintStretch<true>(t, last, at, rgb);
        t = last + 1;
    }
}

} // namespace quillax::raster
