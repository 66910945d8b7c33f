// Encoding a 95 x 50 barcode-like surface (an EAN-13's size) into memory, per format; the
// SVG writer from the recorded picture itself.
#include "imaging/Graphics.h"
#include "imaging/JpegImage.h"
#include "imaging/PngImage.h"
#include "imaging/SvgImage.h"

#include <benchmark/benchmark.h>

#include <array>

using namespace quillax;

namespace {

// Bars of one to four modules with a label band, as the engine records them.
void RecordBarcodeLike(TMetafile& picture) {
    picture.SetWidth(95);
    picture.SetHeight(50);
    TMetafileCanvas canvas(picture);
    canvas.Pen().SetWidth(1);
    int32_t x = 0;
    for (int i = 0; x < 95; ++i) {
        const int32_t width = 1 + (i * 7 % 4);
        const TColor color = i % 2 ? clWhite : clBlack;
        canvas.Pen().SetColor(color);
        canvas.Brush().SetColor(color);
        const std::array<TPoint, 4> corners{TPoint{x, 0}, TPoint{x, 43}, TPoint{x + width - 1, 43},
                                            TPoint{x + width - 1, 0}};
        canvas.Polygon(corners);
        x += width;
    }
    canvas.Font().SetName("Arial");
    canvas.Font().SetSize(9);
    canvas.Brush().SetColor(clWhite);
    SetBkMode(canvas.Handle(), TRANSPARENT);
    canvas.FillRect({3, 34, 45, 50});
    canvas.TextOut(3, 36, "590123");
    canvas.FillRect({49, 34, 92, 50});
    canvas.TextOut(49, 36, "412345");
}

// The picture played into a target of targetWidth x targetHeight (its own size: one pixel
// per unit).
void DrawBarcodeLike(TBitmap& bitmap, int32_t targetWidth = 95, int32_t targetHeight = 50) {
    bitmap.SetWidth(targetWidth);
    bitmap.SetHeight(targetHeight);
    TMetafile picture;
    RecordBarcodeLike(picture);
    bitmap.Canvas().StretchDraw(bitmap.Canvas().ClipRect(), picture);
}

void BM_Draw(benchmark::State& state) {
    for (auto _ : state) {
        TBitmap bitmap;
        DrawBarcodeLike(bitmap);
        benchmark::DoNotOptimize(bitmap.Store().data());
    }
}
BENCHMARK(BM_Draw);

// The same picture played scaled: each bar keeps its pixels against its neighbours.
void BM_DrawScaled(benchmark::State& state) {
    const auto width = int32_t(state.range(0)), height = int32_t(state.range(1));
    for (auto _ : state) {
        TBitmap bitmap;
        DrawBarcodeLike(bitmap, width, height);
        benchmark::DoNotOptimize(bitmap.Store().data());
    }
}
BENCHMARK(BM_DrawScaled)->Args({48, 25})->Args({190, 100})->Args({95, 67});

void BM_EncodeBmp(benchmark::State& state) {
    TBitmap bitmap;
    DrawBarcodeLike(bitmap);
    size_t bytes = 0;
    for (auto _ : state) {
        TMemoryStream stream;
        bitmap.SaveToStream(stream);
        bytes = stream.Size();
    }
    state.counters["bytes"] = double(bytes);
}
BENCHMARK(BM_EncodeBmp);

void BM_EncodePng(benchmark::State& state) {
    TBitmap bitmap;
    DrawBarcodeLike(bitmap);
    size_t bytes = 0;
    for (auto _ : state) {
        TPNGObject png;
        png.Assign(bitmap);
        TMemoryStream stream;
        png.SaveToStream(stream);
        bytes = stream.Size();
    }
    state.counters["bytes"] = double(bytes);
}
BENCHMARK(BM_EncodePng);

void BM_EncodeJpeg(benchmark::State& state) {
    TBitmap bitmap;
    DrawBarcodeLike(bitmap);
    size_t bytes = 0;
    for (auto _ : state) {
        TJPEGImage jpeg;
        jpeg.Assign(bitmap);
        TMemoryStream stream;
        jpeg.SaveToStream(stream);
        bytes = stream.Size();
    }
    state.counters["bytes"] = double(bytes);
}
BENCHMARK(BM_EncodeJpeg);

// From the recorded picture (no bitmap drawn): beside BM_Draw + BM_EncodePng.
void BM_EncodeSvg(benchmark::State& state) {
    TMetafile picture;
    RecordBarcodeLike(picture);
    size_t bytes = 0;
    for (auto _ : state) {
        TSVGImage svg;
        svg.Assign(picture);
        TMemoryStream stream;
        svg.SaveToStream(stream);
        bytes = stream.Size();
    }
    state.counters["bytes"] = double(bytes);
}
BENCHMARK(BM_EncodeSvg);

} // namespace

BENCHMARK_MAIN();
