// What the writers keep between images and share with the surface must never show in the
// bytes: a writer encodes the pixels as they were when it was given them, a compressor kept
// by a thread gives what a new one gives (after a failure too, and when one image is encoded
// while another is), and the memory stream grows without clearing or losing what it holds.
#include "imaging/Graphics.h"
#include "imaging/JpegImage.h"
#include "imaging/PngImage.h"
#include "imaging/Raster.h"
#include "tests/support/RenderTables.h"
#include "tests/support/Surfaces.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <thread>
#include <vector>

using namespace quillax;

namespace {

using TBytes = std::vector<uint8_t>;

// A surface of bars in several colours, different for each seed.
void Draw(TBitmap& bitmap, int32_t width, int32_t height, int seed) {
    bitmap.SetWidth(width);
    bitmap.SetHeight(height);
    auto& canvas = bitmap.Canvas();
    for (int32_t x = 0; x < width; x += 3) {
        canvas.Brush().SetColor(TColor((x * 2654435761u + seed * 40503u) & 0xFFFFFF));
        canvas.FillRect({x, (x + seed) % height, x + 3, height});
    }
}

using test::Encode;
using test::EncodeAs;
using test::kFormats;

} // namespace

TEST(MemoryStream, WritesOverAndBeyondWhatItHolds) {
    struct Write {
        size_t Position;
        std::string Bytes;
    };
    struct Row {
        const char* Name;
        std::vector<Write> Writes;
        std::string Expected; // '.' stands for a zero byte
    } const rows[] = {
        {"appends", {{0, "abc"}, {3, "de"}}, "abcde"},
        {"over the middle", {{0, "abcdef"}, {2, "XY"}}, "abXYef"},
        {"over the end and on", {{0, "abcd"}, {2, "WXYZ"}}, "abWXYZ"},
        {"past the end leaves zeros", {{0, "ab"}, {5, "c"}}, "ab...c"},
        {"nothing written", {{4, ""}}, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        TMemoryStream stream;
        for (const Write& w : row.Writes) {
            stream.SetPosition(w.Position);
            EXPECT_EQ(stream.Write(w.Bytes.data(), w.Bytes.size()), w.Bytes.size());
            EXPECT_EQ(stream.Position(), w.Position + w.Bytes.size());
        }
        std::string expected = row.Expected;
        for (char& c : expected)
            if (c == '.') c = '\0';
        EXPECT_EQ(std::string(stream.Bytes().begin(), stream.Bytes().end()), expected);
    }
}

TEST(Writers, EncodeThePixelsAsTheyWereWhenAssigned) {
    for (const std::string format : {"PNG", "JPEG"}) {
        SCOPED_TRACE(format);
        TBitmap bitmap, same;
        Draw(bitmap, 37, 11, 1);
        Draw(same, 37, 11, 1);
        TMemoryStream stream;
        auto paintOver = [&] {
            bitmap.Canvas().Brush().SetColor(clRed);
            bitmap.Canvas().FillRect({0, 0, 37, 11});
        };
        if (format == "PNG") {
            TPNGObject png;
            png.Assign(bitmap);
            paintOver();
            png.SaveToStream(stream);
        } else {
            TJPEGImage jpeg;
            jpeg.Assign(bitmap);
            paintOver();
            jpeg.SaveToStream(stream);
        }
        EXPECT_EQ(stream.Bytes(), EncodeAs(format, same));
        EXPECT_EQ(bitmap.Pixel(5, 5), clRed) << "the surface itself changed";
        EXPECT_NE(same.Pixel(5, 5), clRed);
    }
}

// A stream that, at one of its writes, first encodes another image on the same thread.
class TNestingStream : public TMemoryStream {
public:
    TNestingStream(int writesBefore, std::function<void()> inner)
        : writesBefore_(writesBefore), inner_(std::move(inner)) {}
    size_t Write(const void* data, size_t count) override {
        if (writesBefore_-- == 0) inner_();
        return TMemoryStream::Write(data, count);
    }

private:
    int writesBefore_;
    std::function<void()> inner_;
};

TEST(Writers, APngEncodedInsideAnotherGivesBothTheirOwnBytes) {
    TBitmap outer, inner;
    Draw(outer, 300, 40, 2);
    Draw(inner, 90, 25, 3);
    // The fifth write starts the image data: signature, then the header's three pieces.
    for (int writesBefore : {0, 4, 5}) {
        SCOPED_TRACE(writesBefore);
        TBytes innerBytes;
        TNestingStream stream(writesBefore, [&] { innerBytes = EncodeAs("PNG", inner); });
        TPNGObject png;
        png.Assign(outer);
        png.SaveToStream(stream);
        EXPECT_EQ(stream.Bytes(), EncodeAs("PNG", outer));
        EXPECT_EQ(innerBytes, EncodeAs("PNG", inner));
    }
}

TEST(Writers, OnManyThreadsMatchOneThreadAfterFailuresAndOtherSizes) {
    // Each job encodes surfaces of changing sizes in every format, and a JPEG too wide for
    // the format, which fails, in between.
    auto run = [](int job) {
        std::vector<TBytes> outputs;
        for (int i = 0; i < 6; ++i) {
            TBitmap bitmap;
            Draw(bitmap, 20 + 97 * ((job + i) % 5), 5 + 9 * i, job * 10 + i);
            for (const char* format : kFormats)
                outputs.push_back(EncodeAs(format, bitmap));
            if (i == 2) {
                TBitmap wide;
                wide.SetWidth(65501);
                wide.SetHeight(1);
                EXPECT_THROW(EncodeAs("JPEG", wide), EJPEG);
            }
        }
        return outputs;
    };
    constexpr int Jobs = 4;
    std::vector<std::vector<TBytes>> parallel(Jobs);
    {
        std::vector<std::jthread> threads;
        for (int job = 0; job < Jobs; ++job)
            threads.emplace_back([&, job] { parallel[job] = run(job); });
    }
    for (int job = 0; job < Jobs; ++job)
        EXPECT_EQ(parallel[job], run(job)) << "job " << job;
}

TEST(Mapping, ExactAtOnePixelPerUnitAndWholeOffsetsOnly) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    struct Row {
        double Scale, Offset;
    } const rows[] = {
        {1, 0},      {1, 7},      {1, -7},      {1, 0.5},          {1, -0.5},
        {1, 1e300},  {1, -1e300}, {1, kInf},    {1, kNaN},         {1, 0x1p52 - 0.5},
        {1, 0x1p52}, {1, 0x1p63}, {1, -0x1p63}, {1, 4503599627.5}, {2, 0},
        {0.5, 0},    {kNaN, 0},   {1, -0.0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.Scale) + " " + std::to_string(row.Offset));
        const bool whole = row.Offset == std::floor(row.Offset);
        EXPECT_EQ((raster::TMapping{row.Scale, 1, row.Offset, 0}.Exact()), row.Scale == 1 && whole);
        EXPECT_EQ((raster::TMapping{1, row.Scale, 0, row.Offset}.Exact()), row.Scale == 1 && whole);
    }
}
