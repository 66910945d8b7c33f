// Fuzz target: any small surface and any pixels through the BMP, PNG and JPEG writers, each
// output read back by a reader of its own (a BMP reader here, libpng, libjpeg): BMP and PNG give
// back exactly the pixels, JPEG decodes to the surface's size (and, for one colour, near that
// colour). A writer that holds a surface's pixels keeps them when the surface changes after.
#include "imaging/Graphics.h"
#include "imaging/JpegImage.h"
#include "imaging/PngImage.h"

#include <fuzzer/FuzzedDataProvider.h>

// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace quillax;

namespace {

using TBytes = std::vector<uint8_t>;
// Red, green, blue per pixel, top row first: what every reader below gives.
using TRgb = std::vector<uint8_t>;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "WriterFuzz: %s\n", what);
    std::abort();
}

TRgb RgbOf(const TBitmap& bitmap) {
    TRgb rgb;
    for (int32_t y = 0; y < bitmap.Height(); ++y)
        for (int32_t x = 0; x < bitmap.Width(); ++x) {
            const TColor c = bitmap.Pixel(x, y); // 0x00BBGGRR
            rgb.insert(rgb.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16)});
        }
    return rgb;
}

// Noise, runs of a few colours, or one colour, as the input says.
void Paint(TBitmap& bitmap, FuzzedDataProvider& in) {
    TPixelStore& store = bitmap.Store();
    const int mode = in.ConsumeIntegralInRange(0, 2);
    uint8_t palette[4][3];
    for (auto& colour : palette)
        for (uint8_t& channel : colour)
            channel = in.ConsumeIntegral<uint8_t>();
    int run = 0, colour = 0;
    for (int32_t row = 0; row < bitmap.Height(); ++row)
        for (int32_t x = 0; x < bitmap.Width(); ++x) {
            uint8_t* p = store.data() + std::size_t(row) * bitmap.Stride() + 3 * std::size_t(x);
            if (mode == 0) {
                for (int c = 0; c < 3; ++c)
                    p[c] = in.ConsumeIntegral<uint8_t>();
                continue;
            }
            if (mode == 1 && run-- <= 0)
                run = in.ConsumeIntegralInRange(0, 40), colour = in.ConsumeIntegralInRange(0, 3);
            std::memcpy(p, palette[colour], 3);
        }
}

template <class Writer>
TBytes Encode(Writer& writer) {
    TMemoryStream stream;
    writer.SaveToStream(stream);
    return {stream.Bytes().begin(), stream.Bytes().end()};
}

TBytes EncodeBmp(const TBitmap& bitmap) {
    TMemoryStream stream;
    bitmap.SaveToStream(stream);
    return {stream.Bytes().begin(), stream.Bytes().end()};
}

uint32_t Le(const TBytes& b, std::size_t at, int bytes) {
    uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = value << 8 | b[at + i];
    return value;
}

// A 24-bit uncompressed BMP, read from its headers alone.
TRgb ReadBmp(const TBytes& bmp, int32_t width, int32_t height) {
    if (bmp.size() < 54 || bmp[0] != 'B' || bmp[1] != 'M') Fail("BMP: no file header");
    const uint32_t offset = Le(bmp, 10, 4);
    const uint32_t stride = (uint32_t(width) * 3 + 3) & ~3u;
    if (Le(bmp, 2, 4) != bmp.size() || Le(bmp, 14, 4) != 40 || int32_t(Le(bmp, 18, 4)) != width ||
        int32_t(Le(bmp, 22, 4)) != height || Le(bmp, 26, 2) != 1 || Le(bmp, 28, 2) != 24 ||
        Le(bmp, 30, 4) != 0 || offset + std::size_t(stride) * height != bmp.size())
        Fail("BMP: headers do not describe the file");
    TRgb rgb;
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* row = bmp.data() + offset + std::size_t(height - 1 - y) * stride;
        for (int32_t x = 0; x < width; ++x)
            rgb.insert(rgb.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
        for (uint32_t pad = uint32_t(width) * 3; pad < stride; ++pad)
            if (row[pad] != 0) Fail("BMP: padding is not zero");
    }
    return rgb;
}

TRgb ReadPng(const TBytes& png, int32_t width, int32_t height) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, png.data(), png.size()))
        Fail("PNG: libpng refuses the header");
    if (int32_t(image.width) != width || int32_t(image.height) != height) Fail("PNG: wrong size");
    image.format = PNG_FORMAT_RGB;
    TRgb rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr))
        Fail("PNG: libpng refuses the data");
    return rgb;
}

struct TJpegError : jpeg_error_mgr {
    std::jmp_buf jump;
};

TRgb ReadJpeg(const TBytes& jpeg, int32_t width, int32_t height) {
    jpeg_decompress_struct info{};
    TJpegError error;
    info.err = jpeg_std_error(&error);
    error.error_exit = [](j_common_ptr common) {
        std::longjmp(static_cast<TJpegError*>(common->err)->jump, 1);
    };
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&info);
        Fail("JPEG: libjpeg refuses the file");
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    if (int32_t(info.output_width) != width || int32_t(info.output_height) != height ||
        info.output_components != 3)
        Fail("JPEG: wrong size");
    TRgb rgb(std::size_t(width) * height * 3);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = rgb.data() + std::size_t(info.output_scanline) * width * 3;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return rgb;
}

// Each writer's bytes read back: BMP and PNG exactly, JPEG to its size (and one colour near).
void CheckRoundTrips(const TBitmap& bitmap, const TBytes& bmp, const TBytes& png,
                     const TBytes& jpeg) {
    const int32_t width = bitmap.Width(), height = bitmap.Height();
    if (bitmap.Empty()) {
        if (!bmp.empty() || !png.empty() || !jpeg.empty()) Fail("bytes for an empty surface");
        return;
    }
    const TRgb pixels = RgbOf(bitmap);
    if (ReadBmp(bmp, width, height) != pixels) Fail("BMP: other pixels");
    if (ReadPng(png, width, height) != pixels) Fail("PNG: other pixels");
    const TRgb decoded = ReadJpeg(jpeg, width, height);
    bool oneColour = true;
    for (std::size_t i = 3; i < pixels.size(); ++i)
        oneColour = oneColour && pixels[i] == pixels[i % 3];
    if (oneColour)
        for (std::size_t i = 0; i < decoded.size(); ++i)
            if (std::abs(int(decoded[i]) - int(pixels[i % 3])) > 8) Fail("JPEG: another colour");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const int32_t width = in.ConsumeIntegralInRange(0, 256);
    int32_t height = in.ConsumeIntegralInRange(0, 256);
    if (width > 0) height = std::min(height, 8192 / width); // small, however it is shaped
    TBitmap bitmap;
    bitmap.SetWidth(width);
    bitmap.SetHeight(height);
    if (!bitmap.Empty()) Paint(bitmap, in);

    TPNGObject png;
    png.Assign(bitmap);
    TJPEGImage jpeg;
    jpeg.Assign(bitmap);
    const TBytes bmpBytes = EncodeBmp(bitmap), pngBytes = Encode(png), jpegBytes = Encode(jpeg);
    CheckRoundTrips(bitmap, bmpBytes, pngBytes, jpegBytes);
    if (bitmap.Empty()) return 0;

    // The surface changes under writers that hold its pixels: they write what they were given,
    // and new writers write the change.
    const int32_t x = in.ConsumeIntegralInRange(0, width - 1);
    const int32_t y = in.ConsumeIntegralInRange(0, height - 1);
    uint8_t* p = bitmap.Store().data() + std::size_t(height - 1 - y) * bitmap.Stride() + 3 * x;
    p[in.ConsumeIntegralInRange(0, 2)] ^= in.ConsumeIntegralInRange<uint8_t>(1, 255);
    if (Encode(png) != pngBytes || Encode(jpeg) != jpegBytes)
        Fail("a writer's bytes changed with the surface after it took them");
    TPNGObject newPng;
    newPng.Assign(bitmap);
    TJPEGImage newJpeg;
    newJpeg.Assign(bitmap);
    CheckRoundTrips(bitmap, EncodeBmp(bitmap), Encode(newPng), Encode(newJpeg));
    return 0;
}
