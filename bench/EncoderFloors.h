// The bare encoders: the least work that turns a surface's pixels into the same BMP, PNG or
// JPEG file. Each keeps what it can between images, as a program that does nothing but
// encode would, and hands back a new buffer per image. The writers are measured against
// them.
#pragma once

#include <cstdint>
#include <vector>

#include <zlib.h>
// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on

namespace quillax::bench {

// A surface's pixels: blue, green, red, rows padded to 4 bytes, bottom row first.
struct TPixels {
    const uint8_t* Bits = nullptr;
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t Stride = 0;
};

// The 54-byte header, then the rows painted into memory: each row that differs from the one
// before it as its runs of one colour, the others copied from the row before.
class TBmpFloor {
public:
    // Finds each row's runs; Encode paints them.
    explicit TBmpFloor(const TPixels& pixels);
    std::vector<uint8_t> Encode() const;

private:
    struct TRun {
        int32_t Start;
        int32_t Count;
        uint8_t Blue, Green, Red;
    };
    TPixels pixels_;
    // Per row from the bottom: its runs, or none when it repeats the row before.
    std::vector<std::vector<TRun>> rows_;
};

// Signature, header, the rows Sub-filtered and deflated at level 7 (window 15, memory level
// 8) by one stream kept between images, in IDAT chunks of at most 65535 bytes, and the end.
class TPngFloor {
public:
    TPngFloor();
    ~TPngFloor();
    TPngFloor(const TPngFloor&) = delete;
    TPngFloor& operator=(const TPngFloor&) = delete;
    std::vector<uint8_t> Encode(const TPixels& pixels);

private:
    z_stream stream_{};
    std::vector<uint8_t> row_;
    std::vector<uint8_t> deflated_;
};

// Baseline JFIF at quality 90 with the floating-point DCT, the rows handed over in their own
// blue-green-red order, top row first, by one compressor kept between images.
class TJpegFloor {
public:
    TJpegFloor();
    ~TJpegFloor();
    TJpegFloor(const TJpegFloor&) = delete;
    TJpegFloor& operator=(const TJpegFloor&) = delete;
    std::vector<uint8_t> Encode(const TPixels& pixels);

    // Where the compressed bytes go: a buffer kept between images, doubled when full, of
    // which the first Used bytes hold the image.
    struct TDestination {
        jpeg_destination_mgr Manager;
        std::vector<uint8_t> Bytes;
        size_t Used = 0;
    };

private:
    jpeg_compress_struct info_{};
    jpeg_error_mgr errors_{};
    TDestination destination_{};
};

} // namespace quillax::bench
