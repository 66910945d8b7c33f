// The BMP, PNG and JPEG writers: bytes, framing, and round trips through libpng and libjpeg.
#include "imaging/Graphics.h"
#include "imaging/JpegImage.h"
#include "imaging/PngImage.h"
#include "tests/support/ImageFiles.h"
#include "tests/support/Surfaces.h"

#include <gtest/gtest.h>

// clang-format off
#include <cstdio>
#include <jpeglib.h>
#include <jerror.h>
// clang-format on
#include <png.h>
#include <zlib.h>

#include <array>
#include <csetjmp>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

using namespace quillax;

namespace {

using TBytes = std::vector<uint8_t>;

uint32_t Le32(const TBytes& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}
uint16_t Le16(const TBytes& b, size_t at) {
    return uint16_t(b[at] | b[at + 1] << 8);
}
uint32_t Be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
}

using test::Encode;
using test::Size;

// A deterministic pixel pattern: noise where noise is set, a smooth gradient otherwise.
void Paint(TBitmap& bitmap, bool noise, uint64_t seed = 1) {
    auto& store = bitmap.Store();
    for (int32_t y = 0; y < bitmap.Height(); ++y)
        for (int32_t x = 0; x < bitmap.Width(); ++x) {
            uint8_t* p = store.data() + size_t(bitmap.Height() - 1 - y) * bitmap.Stride() + 3 * x;
            for (int c = 0; c < 3; ++c) {
                seed = seed * 6364136223846793005ull + 1442695040888963407ull;
                p[c] = noise ? uint8_t(seed >> 56) : uint8_t(x * 2 + y * 2 + c * 40);
            }
        }
}

struct TPngChunk {
    std::string Type;
    TBytes Data;
    uint32_t Crc;
};

// Splits a PNG into its chunks, checking the signature and every CRC.
std::vector<TPngChunk> ChunksOf(const TBytes& png) {
    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    std::vector<TPngChunk> chunks;
    EXPECT_GE(png.size(), 8u);
    EXPECT_EQ(std::memcmp(png.data(), signature, 8), 0);
    for (size_t at = 8; at + 12 <= png.size();) {
        const uint32_t length = Be32(&png[at]);
        TPngChunk chunk{std::string(png.begin() + at + 4, png.begin() + at + 8),
                        TBytes(png.begin() + at + 8, png.begin() + at + 8 + length),
                        Be32(&png[at + 8 + length])};
        uint32_t crc = uint32_t(::crc32(0, &png[at + 4], 4 + length));
        EXPECT_EQ(crc, chunk.Crc) << chunk.Type;
        chunks.push_back(std::move(chunk));
        at += 12 + length;
    }
    return chunks;
}

TBytes Inflate(const TBytes& compressed, size_t expected) {
    TBytes out(expected + 1);
    uLongf size = uLongf(out.size());
    EXPECT_EQ(::uncompress(out.data(), &size, compressed.data(), uLong(compressed.size())), Z_OK);
    out.resize(size);
    return out;
}

TBytes IdatStream(const std::vector<TPngChunk>& chunks) {
    TBytes all;
    for (const auto& c : chunks)
        if (c.Type == "IDAT") all.insert(all.end(), c.Data.begin(), c.Data.end());
    return all;
}

// The surface's pixels as RGB rows from the top.
TBytes RgbOf(const TBitmap& bitmap) {
    TBytes rgb;
    for (int32_t y = 0; y < bitmap.Height(); ++y)
        for (int32_t x = 0; x < bitmap.Width(); ++x) {
            const TColor c = bitmap.Pixel(x, y);
            rgb.insert(rgb.end(), {RedOf(c), GreenOf(c), BlueOf(c)});
        }
    return rgb;
}

} // namespace

// --- BMP --------------------------------------------------------------------------------

TEST(BmpWriter, WorkedSizesAtTwentyFourBits) {
    struct Row {
        int32_t width, height;
        uint32_t stride, imageSize, offset, fileSize;
    } rows[] = {
        {3, 2, 12, 24, 54, 78},
        {101, 50, 304, 15200, 54, 15254},
        {1, 1, 4, 4, 54, 58},
        {4, 3, 12, 36, 54, 90},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.width << "x" << row.height);
        TBitmap bitmap;
        Size(bitmap, row.width, row.height);
        const TBytes bmp = Encode<TBitmap>(bitmap);
        ASSERT_EQ(bmp.size(), row.fileSize);
        EXPECT_EQ(bmp[0], 'B');
        EXPECT_EQ(bmp[1], 'M');
        EXPECT_EQ(Le32(bmp, 2), row.fileSize);
        EXPECT_EQ(Le32(bmp, 6), 0u);
        EXPECT_EQ(Le32(bmp, 10), row.offset);
        EXPECT_EQ(Le32(bmp, 14), 40u);
        EXPECT_EQ(int32_t(Le32(bmp, 18)), row.width);
        EXPECT_EQ(int32_t(Le32(bmp, 22)), row.height);
        EXPECT_EQ(Le16(bmp, 26), 1);
        EXPECT_EQ(Le16(bmp, 28), 24);
        EXPECT_EQ(Le32(bmp, 30), 0u);
        EXPECT_EQ(Le32(bmp, 34), row.imageSize);
        for (size_t at = 38; at < 54; at += 4)
            EXPECT_EQ(Le32(bmp, at), 0u) << at;
        EXPECT_EQ(row.stride * uint32_t(row.height), row.imageSize);
    }
}

TEST(BmpWriter, BottomRowComesFirstAndRowsArePaddedWithZeros) {
    TBitmap bitmap;
    Size(bitmap, 101, 3);
    auto& canvas = bitmap.Canvas();
    canvas.Brush().SetColor(clRed);
    canvas.FillRect({0, 0, 101, 1}); // top row red
    canvas.Brush().SetColor(clBlue);
    canvas.FillRect({0, 2, 101, 3}); // bottom row blue
    const TBytes bmp = Encode<TBitmap>(bitmap);
    ASSERT_EQ(bmp.size(), 54u + 3 * 304);
    const uint8_t* first = &bmp[54];
    EXPECT_EQ(first[0], 0xFF); // blue, green, red of a blue pixel
    EXPECT_EQ(first[1], 0x00);
    EXPECT_EQ(first[2], 0x00);
    const uint8_t* last = &bmp[54 + 2 * 304];
    EXPECT_EQ(last[0], 0x00);
    EXPECT_EQ(last[2], 0xFF);
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(bmp[54 + row * 304 + 303], 0) << row;
}

// --- PNG --------------------------------------------------------------------------------

TEST(PngWriter, RedThenBlueTwoByOne) {
    TBitmap bitmap;
    Size(bitmap, 2, 1);
    auto& canvas = bitmap.Canvas();
    canvas.Brush().SetColor(clRed);
    canvas.FillRect({0, 0, 1, 1});
    canvas.Brush().SetColor(clBlue);
    canvas.FillRect({1, 0, 2, 1});
    const TBytes png = Encode<TPNGObject>(bitmap);
    const auto chunks = ChunksOf(png);
    ASSERT_EQ(chunks.size(), 3u);
    EXPECT_EQ(chunks[0].Type, "IHDR");
    EXPECT_EQ(chunks[0].Data, (TBytes{0, 0, 0, 2, 0, 0, 0, 1, 8, 2, 0, 0, 0}));
    EXPECT_EQ(chunks[0].Crc, 0x7B40E8DDu);
    EXPECT_EQ(chunks[1].Type, "IDAT");
    ASSERT_GE(chunks[1].Data.size(), 2u);
    EXPECT_EQ(chunks[1].Data[0], 0x78); // level 7, window 15
    EXPECT_EQ(chunks[1].Data[1], 0xDA);
    EXPECT_EQ(Inflate(chunks[1].Data, 7), (TBytes{0x01, 0xFF, 0x00, 0x00, 0x01, 0x00, 0xFF}));
    EXPECT_EQ(chunks[2].Type, "IEND");
    EXPECT_TRUE(chunks[2].Data.empty());
    EXPECT_EQ(chunks[2].Crc, 0xAE426082u);
    EXPECT_EQ(png.size(), 8u + 25 + 12 + chunks[1].Data.size() + 12);
}

TEST(PngWriter, RoundTripsThroughLibpngAtDegenerateAndOrdinarySizes) {
    struct Row {
        int32_t width, height;
        bool noise;
    } rows[] = {{1, 1, false}, {1, 17, true}, {17, 1, true}, {95, 50, false}, {33, 29, true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.width << "x" << row.height);
        TBitmap bitmap;
        Size(bitmap, row.width, row.height);
        Paint(bitmap, row.noise);
        const TBytes png = Encode<TPNGObject>(bitmap);
        const test::TRgbImage decoded = test::DecodePng(png);
        EXPECT_EQ(decoded.Rgb, RgbOf(bitmap));
        EXPECT_EQ(decoded.Width, row.width);
        EXPECT_EQ(decoded.Height, row.height);
        // Only the three chunk types, and every row Sub-filtered.
        const auto chunks = ChunksOf(png);
        for (const auto& c : chunks)
            EXPECT_TRUE(c.Type == "IHDR" || c.Type == "IDAT" || c.Type == "IEND") << c.Type;
        const size_t rowBytes = 1 + 3 * size_t(row.width);
        const TBytes raw = Inflate(IdatStream(chunks), rowBytes * row.height);
        ASSERT_EQ(raw.size(), rowBytes * row.height);
        for (int32_t y = 0; y < row.height; ++y)
            EXPECT_EQ(raw[y * rowBytes], 1) << "row " << y;
        EXPECT_EQ(Encode<TPNGObject>(bitmap), png) << "written twice";
    }
}

// The image data goes out in IDAT pieces of at most 65,535 bytes, or of a larger maximum set
// on the writer; a smaller one, or one beyond a chunk's largest length, keeps 65,535.
TEST(PngWriter, ImageDataSplitsIntoPiecesOfAtMostTheMaximum) {
    const auto pieces = [](const TBitmap& bitmap, std::optional<uint32_t> maximum) {
        TPNGObject png;
        if (maximum) png.SetMaxIdatSize(*maximum);
        png.Assign(bitmap);
        TMemoryStream stream;
        png.SaveToStream(stream);
        const auto chunks = ChunksOf({stream.Bytes().begin(), stream.Bytes().end()});
        EXPECT_EQ(chunks.back().Type, "IEND");
        std::vector<size_t> sizes;
        for (const auto& c : chunks)
            if (c.Type == "IDAT") sizes.push_back(c.Data.size());
        return sizes;
    };
    const struct {
        std::optional<uint32_t> maximum;
        size_t piece;
    } maxima[] = {
        {std::nullopt, 65535}, {0, 65535}, {65534, 65535}, {100000, 100000}, {0xFFFFFFFF, 65535}};
    // Noise does not compress, so the stream length follows the row count and width; the
    // surface whose stream is exactly the wanted length is found near the estimate.
    for (size_t wanted : {size_t(65535), size_t(65536)}) {
        SCOPED_TRACE(wanted);
        bool found = false;
        for (int32_t height : {1, 2, 3}) {
            const int32_t estimate = int32_t((wanted - 26) / height / 3);
            for (int32_t width = estimate - 12; width <= estimate + 4 && !found; ++width) {
                TBitmap bitmap;
                Size(bitmap, width, height);
                Paint(bitmap, true, uint64_t(width));
                if (IdatStream(ChunksOf(Encode<TPNGObject>(bitmap))).size() != wanted) continue;
                found = true;
                for (const auto& row : maxima) {
                    SCOPED_TRACE(row.maximum ? std::to_string(*row.maximum) : "default");
                    std::vector<size_t> expected(wanted / row.piece, row.piece);
                    if (wanted % row.piece) expected.push_back(wanted % row.piece);
                    EXPECT_EQ(pieces(bitmap, row.maximum), expected);
                }
            }
            if (found) break;
        }
        EXPECT_TRUE(found) << "no surface with that stream length nearby";
    }
}

TEST(PngWriter, CrcOfKnownBytes) {
    const uint8_t iend[] = {'I', 'E', 'N', 'D'};
    EXPECT_EQ(PngCrc(iend) ^ 0xFFFFFFFFu, 0xAE426082u);
    const uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(PngCrc(digits) ^ 0xFFFFFFFFu, 0xCBF43926u);
}

// --- JPEG -------------------------------------------------------------------------------

namespace {

struct TSegment {
    uint8_t Marker;
    TBytes Data;
};

// The marker segments before the first scan.
std::vector<TSegment> SegmentsOf(const TBytes& jpeg) {
    std::vector<TSegment> segments;
    for (size_t at = 2; at + 4 <= jpeg.size() && jpeg[at] == 0xFF;) {
        const uint8_t marker = jpeg[at + 1];
        const size_t length = size_t(jpeg[at + 2]) << 8 | jpeg[at + 3];
        segments.push_back({marker, TBytes(jpeg.begin() + at + 4, jpeg.begin() + at + 2 + length)});
        if (marker == 0xDA) break;
        at += 2 + length;
    }
    return segments;
}

const TSegment* Find(const std::vector<TSegment>& segments, uint8_t marker) {
    for (const auto& s : segments)
        if (s.Marker == marker) return &s;
    return nullptr;
}

} // namespace

TEST(JpegWriter, BaselineJfifWithStandardTablesAtQualityNinety) {
    TBitmap bitmap;
    Size(bitmap, 40, 24);
    Paint(bitmap, false);
    TJPEGImage jpeg;
    jpeg.Assign(bitmap);
    TMemoryStream first, second;
    jpeg.SaveToStream(first);
    jpeg.SaveToStream(second);
    const TBytes bytes(first.Bytes().begin(), first.Bytes().end());
    EXPECT_EQ(second.Bytes(), bytes) << "written twice";
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0xD8);
    EXPECT_EQ(bytes[2], 0xFF);
    EXPECT_EQ(bytes[3], 0xE0);
    EXPECT_EQ(bytes[bytes.size() - 2], 0xFF);
    EXPECT_EQ(bytes[bytes.size() - 1], 0xD9);
    const auto segments = SegmentsOf(bytes);
    const TSegment* app0 = Find(segments, 0xE0);
    ASSERT_TRUE(app0);
    EXPECT_EQ(TBytes(app0->Data.begin(), app0->Data.begin() + 12),
              (TBytes{'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1})); // 1.01, unit 0, 1 x 1
    const TSegment* sof = Find(segments, 0xC0);
    ASSERT_TRUE(sof);
    EXPECT_EQ(sof->Data, (TBytes{8, 0, 24, 0, 40, 3, 1, 0x22, 0, 2, 0x11, 1, 3, 0x11, 1}));
    EXPECT_FALSE(Find(segments, 0xC2)) << "not progressive";
    EXPECT_FALSE(Find(segments, 0xDD)) << "no restart interval";
}

// The standard tables scaled to quality 90 (each entry (e * 20 + 50) div 100), in natural
// order as libjpeg reads them back; a quality of 89 or 92 changes dozens of entries.
TEST(JpegWriter, QuantisationTablesAreTheStandardOnesAtQualityNinety) {
    constexpr uint16_t kLuminance[64] = {
        3,  2,  2,  3,  5,  8,  10, 12, 2,  2,  3,  4,  5,  12, 12, 11, //
        3,  3,  3,  5,  8,  11, 14, 11, 3,  3,  4,  6,  10, 17, 16, 12, //
        4,  4,  7,  11, 14, 22, 21, 15, 5,  7,  11, 13, 16, 21, 23, 18, //
        10, 13, 16, 17, 21, 24, 24, 20, 14, 18, 19, 20, 22, 20, 21, 20, //
    };
    constexpr uint16_t kChrominanceCorner[4][4] = {
        {3, 4, 5, 9}, {4, 4, 5, 13}, {5, 5, 11, 20}, {9, 13, 20, 20}};
    uint16_t chrominance[64];
    for (int i = 0; i < 64; ++i)
        chrominance[i] = i / 8 < 4 && i % 8 < 4 ? kChrominanceCorner[i / 8][i % 8] : 20;

    TBitmap bitmap;
    Size(bitmap, 16, 16);
    Paint(bitmap, true);
    const TBytes bytes = Encode<TJPEGImage>(bitmap);
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes.data(), bytes.size());
    ASSERT_EQ(JPEG_HEADER_OK, jpeg_read_header(&info, TRUE));
    ASSERT_TRUE(info.quant_tbl_ptrs[0] && info.quant_tbl_ptrs[1]);
    EXPECT_FALSE(info.quant_tbl_ptrs[2]);
    EXPECT_EQ(std::vector<uint16_t>(kLuminance, kLuminance + 64),
              std::vector<uint16_t>(info.quant_tbl_ptrs[0]->quantval,
                                    info.quant_tbl_ptrs[0]->quantval + 64));
    EXPECT_EQ(std::vector<uint16_t>(chrominance, chrominance + 64),
              std::vector<uint16_t>(info.quant_tbl_ptrs[1]->quantval,
                                    info.quant_tbl_ptrs[1]->quantval + 64));
    jpeg_destroy_decompress(&info);
}

TEST(JpegWriter, RoundTripsThroughLibjpegAndRedStaysRed) {
    TBitmap bitmap;
    Size(bitmap, 48, 32);
    Paint(bitmap, false);
    auto& canvas = bitmap.Canvas();
    canvas.Brush().SetColor(clRed);
    canvas.FillRect({0, 0, 16, 16});
    canvas.Brush().SetColor(clBlue);
    canvas.FillRect({32, 16, 48, 32});
    const test::TRgbImage image = test::DecodeJpeg(Encode<TJPEGImage>(bitmap));
    ASSERT_EQ(image.Width, 48);
    ASSERT_EQ(image.Height, 32);
    const TBytes& decoded = image.Rgb;
    const TBytes expected = RgbOf(bitmap);
    // Chrominance is sampled at half resolution, so sharp colour edges bleed; on average
    // the pixels come back close.
    double total = 0;
    for (size_t i = 0; i < expected.size(); ++i)
        total += std::abs(int(decoded[i]) - int(expected[i]));
    EXPECT_LT(total / expected.size(), 4.0);
    auto at = [&](int x, int y, int c) { return int(decoded[(size_t(y) * 48 + x) * 3 + c]); };
    EXPECT_GT(at(8, 8, 0), 230); // red inside the red square
    EXPECT_LT(at(8, 8, 2), 25);
    EXPECT_GT(at(40, 24, 2), 230); // blue inside the blue square
    EXPECT_LT(at(40, 24, 0), 25);
}

TEST(JpegWriter, LibraryErrorsBecomeEJPEGAndEmptySurfacesGiveNoBytes) {
    TBitmap wide;
    Size(wide, 65501, 1);
    TJPEGImage jpeg;
    jpeg.Assign(wide);
    TMemoryStream stream;
    try {
        jpeg.SaveToStream(stream);
        ADD_FAILURE() << "no error";
    } catch (const EJPEG& e) {
        EXPECT_STREQ(e.what(), "JPEG error #41");
        EXPECT_EQ(JERR_IMAGE_TOO_BIG, 41);
    }
    EXPECT_EQ(stream.Size(), 0u);
    Size(wide, 65500, 1);
    jpeg.Assign(wide);
    EXPECT_NO_THROW(jpeg.SaveToStream(stream));
    EXPECT_GT(stream.Size(), 0u);

    for (auto [width, height] : {std::pair{0, 0}, std::pair{5, 0}, std::pair{0, 5}}) {
        SCOPED_TRACE(testing::Message() << width << "x" << height);
        TBitmap empty;
        Size(empty, width, height);
        EXPECT_TRUE(Encode<TJPEGImage>(empty).empty());
        EXPECT_TRUE(Encode<TPNGObject>(empty).empty());
        EXPECT_TRUE(Encode<TBitmap>(empty).empty());
    }
}

// --- Resolution -------------------------------------------------------------------------

namespace {

// The pHYs chunk as libpng reads it: x, y and unit, or nothing.
std::optional<std::array<uint32_t, 3>> PhysOf(const TBytes& bytes) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    std::pair<const TBytes*, size_t> source{&bytes, 0};
    png_set_read_fn(png, &source, [](png_structp p, png_bytep out, size_t count) {
        auto* s = static_cast<std::pair<const TBytes*, size_t>*>(png_get_io_ptr(p));
        if (s->second + count > s->first->size()) png_error(p, "truncated");
        std::memcpy(out, s->first->data() + s->second, count);
        s->second += count;
    });
    std::optional<std::array<uint32_t, 3>> phys;
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_read_info(png, info);
        png_uint_32 x = 0, y = 0;
        int unit = -1;
        if (png_get_pHYs(png, info, &x, &y, &unit) & PNG_INFO_pHYs)
            phys = std::array<uint32_t, 3>{x, y, uint32_t(unit)};
    } else {
        ADD_FAILURE() << "libpng could not read the header";
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return phys;
}

// The JFIF density as libjpeg reads it: unit, x, y.
std::array<int, 3> DensityOf(const TBytes& bytes) {
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes.data(), bytes.size());
    EXPECT_EQ(JPEG_HEADER_OK, jpeg_read_header(&info, TRUE));
    EXPECT_TRUE(info.saw_JFIF_marker);
    const std::array<int, 3> density{info.density_unit, info.X_density, info.Y_density};
    jpeg_destroy_decompress(&info);
    return density;
}

} // namespace

TEST(Writers, ResolutionIsRecordedInEveryFormat) {
    struct Row {
        int32_t Dpi;
        uint32_t PerMetre; // dpi / 0.0254, rounded
    } rows[] = {{72, 2835}, {96, 3780}, {203, 7992}, {300, 11811}, {600, 23622}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Dpi);
        TBitmap bitmap;
        Size(bitmap, 7, 3);
        Paint(bitmap, false);
        bitmap.SetResolution(row.Dpi);
        const TBytes bmp = Encode<TBitmap>(bitmap);
        EXPECT_EQ(Le32(bmp, 38), row.PerMetre);
        EXPECT_EQ(Le32(bmp, 42), row.PerMetre);
        const TBytes png = Encode<TPNGObject>(bitmap);
        EXPECT_EQ(PhysOf(png), (std::array<uint32_t, 3>{row.PerMetre, row.PerMetre, 1}));
        std::vector<std::string> order;
        for (const auto& chunk : ChunksOf(png))
            order.push_back(chunk.Type);
        EXPECT_EQ(order, (std::vector<std::string>{"IHDR", "pHYs", "IDAT", "IEND"}));
        EXPECT_EQ(test::DecodePng(png).Rgb, RgbOf(bitmap));
        EXPECT_EQ(DensityOf(Encode<TJPEGImage>(bitmap)), (std::array<int, 3>{1, row.Dpi, row.Dpi}));
    }
}

TEST(Writers, ResolutionZeroWritesTheBytesOfASurfaceWithout) {
    TBitmap plain, reset;
    for (TBitmap* bitmap : {&plain, &reset}) {
        Size(*bitmap, 9, 4);
        Paint(*bitmap, true);
    }
    reset.SetResolution(300);
    reset.SetResolution(0);
    EXPECT_EQ(Encode<TBitmap>(reset), Encode<TBitmap>(plain));
    EXPECT_EQ(Encode<TPNGObject>(reset), Encode<TPNGObject>(plain));
    EXPECT_EQ(Encode<TJPEGImage>(reset), Encode<TJPEGImage>(plain));
    EXPECT_EQ(DensityOf(Encode<TJPEGImage>(plain)), (std::array<int, 3>{0, 1, 1}));
    // The image objects' own setting, after the surface's, changes what they write.
    reset.SetResolution(300);
    TPNGObject png;
    png.Assign(reset);
    png.SetResolution(0);
    TMemoryStream stream;
    png.SaveToStream(stream);
    EXPECT_EQ(TBytes(stream.Bytes().begin(), stream.Bytes().end()), Encode<TPNGObject>(plain));
    TJPEGImage jpeg;
    jpeg.Assign(plain);
    jpeg.SaveToStream(stream);
    jpeg.SetResolution(96);
    stream.Clear();
    jpeg.SaveToStream(stream);
    EXPECT_EQ(DensityOf(TBytes(stream.Bytes().begin(), stream.Bytes().end())),
              (std::array<int, 3>{1, 96, 96}));

    for (int32_t refused : {-1, MaxResolution + 1})
        EXPECT_THROW(plain.SetResolution(refused), EInvalidGraphic) << refused;
    EXPECT_NO_THROW(plain.SetResolution(MaxResolution));
    EXPECT_EQ(DensityOf(Encode<TJPEGImage>(plain)),
              (std::array<int, 3>{1, MaxResolution, MaxResolution}));
}

// --- Files ------------------------------------------------------------------------------

namespace {

// A stream that accepts only so many bytes.
class TShortStream : public TStream {
public:
    explicit TShortStream(size_t room) : room_(room) {}
    size_t Write(const void*, size_t count) override {
        const size_t taken = std::min(count, room_);
        room_ -= taken;
        return taken;
    }

private:
    size_t room_;
};

TBytes ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return TBytes(std::istreambuf_iterator<char>(in), {});
}

} // namespace

TEST(Writers, FilesHoldTheStreamBytesAndFailuresAreReported) {
    const auto folder = std::filesystem::path(testing::TempDir()) / "quillax-writers";
    std::filesystem::create_directories(folder);
    TBitmap bitmap;
    Size(bitmap, 13, 7);
    Paint(bitmap, false);
    {
        bitmap.SaveToFile((folder / "a.bmp").string());
        TPNGObject png;
        png.Assign(bitmap);
        png.SaveToFile((folder / "a.png").string());
        TJPEGImage jpeg;
        jpeg.Assign(bitmap);
        jpeg.SaveToFile((folder / "a.jpg").string());
    }
    EXPECT_EQ(ReadFile(folder / "a.bmp"), Encode<TBitmap>(bitmap));
    EXPECT_EQ(ReadFile(folder / "a.png"), Encode<TPNGObject>(bitmap));
    EXPECT_EQ(ReadFile(folder / "a.jpg"), Encode<TJPEGImage>(bitmap));

    // An empty surface still creates (and truncates) the file.
    TBitmap empty;
    empty.SaveToFile((folder / "a.bmp").string());
    EXPECT_TRUE(std::filesystem::exists(folder / "a.bmp"));
    EXPECT_EQ(std::filesystem::file_size(folder / "a.bmp"), 0u);

    const std::string missing = (folder / "no-such-folder" / "x.png").string();
    try {
        TFileStream file(missing);
        ADD_FAILURE() << "no error";
    } catch (const EFCreateError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot create file \"" + missing + "\". ", 0), 0u)
            << e.what();
    }
    TShortStream full(10);
    EXPECT_THROW(bitmap.SaveToStream(full), EWriteError);
    std::filesystem::remove_all(folder);
}
