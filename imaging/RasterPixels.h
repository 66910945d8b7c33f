// Pixel access and the small arithmetic that the rasteriser's files share.
#pragma once

#include "imaging/Raster.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace quillax::raster {

inline uint8_t* PixelAt(const TSurface& s, int64_t x, int64_t y) {
    return s.Bits + static_cast<size_t>(s.Height - 1 - y) * s.Stride + 3 * size_t(x);
}

inline void Put(uint8_t* p, TColor rgb) {
    p[0] = BlueOf(rgb);
    p[1] = GreenOf(rgb);
    p[2] = RedOf(rgb);
}

// The colour of a stored pixel, 0x00BBGGRR.
inline TColor ColorAt(const uint8_t* p) {
    return p[2] | p[1] << 8 | p[0] << 16;
}

// Rows at most this many pixels long are painted byte by byte; longer ones by the library.
inline constexpr size_t FewPixels = 8;

// Paints count pixels from p onward in one colour.
inline void FillRow(uint8_t* p, size_t count, TColor rgb) {
    if (count <= FewPixels) {
        for (size_t i = 0; i < count; ++i, p += 3)
            Put(p, rgb);
    } else if (BlueOf(rgb) == GreenOf(rgb) && GreenOf(rgb) == RedOf(rgb)) {
        std::memset(p, BlueOf(rgb), 3 * count);
    } else {
        // One pixel, then the painted part copied onto the rest, doubling each time.
        Put(p, rgb);
        const size_t total = 3 * count;
        for (size_t done = 3; done < total;) {
            const size_t more = std::min(done, total - done);
            std::memcpy(p + done, p, more);
            done += more;
        }
    }
}

// n / d rounded to nearest, halves upward; d != 0. T is wide enough for 2n + d and 2d.
template <class T>
int64_t RoundDiv(T n, T d) {
    if (d < 0) n = -n, d = -d;
    const T num = 2 * n + d, den = 2 * d;
    T q = num / den;
    if (num % den != 0 && num < 0) --q;
    return static_cast<int64_t>(q);
}

// Brightness for the ownership rule (Rec. 601 weights, times 1000).
inline int32_t Luma(TColor rgb) {
    return 299 * RedOf(rgb) + 587 * GreenOf(rgb) + 114 * BlueOf(rgb);
}

} // namespace quillax::raster
