// The whole render, properties to image bytes in memory, as ShowBarcode and SaveBarcode run
// it: EAN-13 and a 20-character Code 128, each format, label on and off. Zint's encode into
// its raster buffer is measured beside the render alone.
#include "object/UQuillax.h"
#include "platform/AnsiCodePage.h"

#include <benchmark/benchmark.h>
#include <zint.h>

#include <cstring>

namespace {

using namespace quillax;

constexpr const char* kEan13Data = "590123412345";
constexpr const char* kCode128Data = "QUILLAX-2024-0001234"; // 20 characters

void Put(TQuillax& object, HRESULT (TQuillax::*put)(BSTR), const char* text) {
    BSTR value = AnsiToBstr(text);
    (object.*put)(value);
    SysFreeString(value);
}

// An object set up as a page would: page start, then the barcode's own settings.
void SetUp(TQuillax& object, LONG type, const char* data, const char* format, bool showText) {
    object.OnStartPage(nullptr);
    object.put_BarcodeType(type);
    object.put_Checksum(VARIANT_TRUE);
    object.put_Ratio(2);
    object.put_ShowText(showText ? VARIANT_TRUE : VARIANT_FALSE);
    Put(object, &TQuillax::put_Data, data);
    Put(object, &TQuillax::put_ImageTypeStr, format);
}

void BM_RenderToBytes(benchmark::State& state, LONG type, const char* data, const char* format,
                      bool showText) {
    TQuillax object;
    SetUp(object, type, data, format, showText);
    size_t bytes = 0;
    for (auto _ : state) {
        TEncodedBarcode encoded = object.EncodeBarcode();
        bytes = encoded.Image.Size();
        benchmark::DoNotOptimize(encoded.Image.Bytes().data());
    }
    state.counters["image_bytes"] = static_cast<double>(bytes);
}

// The render alone, without an encoder: comparable to Zint's buffer output.
void BM_RenderSurface(benchmark::State& state, LONG type, const char* data, bool showText) {
    TQuillax object;
    SetUp(object, type, data, "BMP", showText);
    for (auto _ : state) {
        TRenderResult render = RenderBarcode(object.Properties());
        benchmark::DoNotOptimize(render.Surface.get());
    }
}

void BM_ZintBuffer(benchmark::State& state, int symbology, const char* data, bool showText) {
    for (auto _ : state) {
        zint_symbol* symbol = ZBarcode_Create();
        symbol->symbology = symbology;
        symbol->height = 50;
        symbol->show_hrt = showText ? 1 : 0;
        const int status =
            ZBarcode_Encode_and_Buffer(symbol, reinterpret_cast<const unsigned char*>(data),
                                       static_cast<int>(std::strlen(data)), 0);
        if (status >= ZINT_ERROR) state.SkipWithError(symbol->errtxt);
        benchmark::DoNotOptimize(symbol->bitmap);
        ZBarcode_Delete(symbol);
    }
}

BENCHMARK_CAPTURE(BM_RenderToBytes, ean13_bmp, bcCodeEAN13, kEan13Data, "BMP", false);
BENCHMARK_CAPTURE(BM_RenderToBytes, ean13_bmp_text, bcCodeEAN13, kEan13Data, "BMP", true);
BENCHMARK_CAPTURE(BM_RenderToBytes, ean13_png, bcCodeEAN13, kEan13Data, "PNG", false);
BENCHMARK_CAPTURE(BM_RenderToBytes, ean13_png_text, bcCodeEAN13, kEan13Data, "PNG", true);
BENCHMARK_CAPTURE(BM_RenderToBytes, ean13_jpeg, bcCodeEAN13, kEan13Data, "JPEG", false);
BENCHMARK_CAPTURE(BM_RenderToBytes, ean13_jpeg_text, bcCodeEAN13, kEan13Data, "JPEG", true);
BENCHMARK_CAPTURE(BM_RenderToBytes, code128_bmp, bcCode128B, kCode128Data, "BMP", false);
BENCHMARK_CAPTURE(BM_RenderToBytes, code128_bmp_text, bcCode128B, kCode128Data, "BMP", true);
BENCHMARK_CAPTURE(BM_RenderToBytes, code128_png, bcCode128B, kCode128Data, "PNG", false);
BENCHMARK_CAPTURE(BM_RenderToBytes, code128_png_text, bcCode128B, kCode128Data, "PNG", true);
BENCHMARK_CAPTURE(BM_RenderToBytes, code128_jpeg, bcCode128B, kCode128Data, "JPEG", false);
BENCHMARK_CAPTURE(BM_RenderToBytes, code128_jpeg_text, bcCode128B, kCode128Data, "JPEG", true);

BENCHMARK_CAPTURE(BM_RenderSurface, ean13, bcCodeEAN13, kEan13Data, false);
BENCHMARK_CAPTURE(BM_RenderSurface, ean13_text, bcCodeEAN13, kEan13Data, true);
BENCHMARK_CAPTURE(BM_RenderSurface, code128, bcCode128B, kCode128Data, false);
BENCHMARK_CAPTURE(BM_RenderSurface, code128_text, bcCode128B, kCode128Data, true);
BENCHMARK_CAPTURE(BM_ZintBuffer, ean13, BARCODE_EANX, kEan13Data, false);
BENCHMARK_CAPTURE(BM_ZintBuffer, ean13_text, BARCODE_EANX, kEan13Data, true);
BENCHMARK_CAPTURE(BM_ZintBuffer, code128, BARCODE_CODE128, kCode128Data, false);
BENCHMARK_CAPTURE(BM_ZintBuffer, code128_text, BARCODE_CODE128, kCode128Data, true);

} // namespace

BENCHMARK_MAIN();
