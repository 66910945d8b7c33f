// Pattern build and measurement of three common symbols, beside the same symbols encoded
// (not rendered) by Zint. Each iteration uses a fresh engine, as one image does.
#include "engine/BarcodeEngine.h"

#include <benchmark/benchmark.h>
#include <zint.h>

#include <memory>
#include <string>

namespace {

using quillax::TBarcodeEngine;
using quillax::TBarcodeType;

const std::string kEan13 = "400638133393";           // check digit added by the encoder
const std::string kCode128 = "Quillax-128 b 2026 O"; // 20 characters in code set B
const std::string kCode39 = "QUILLAX CODE39 12345";  // 20 characters

void EngineBuildAndMeasure(benchmark::State& state, TBarcodeType typ, const std::string& text,
                           bool checksum) {
    for (auto _ : state) {
        TBarcodeEngine engine;
        engine.Typ = typ;
        engine.Text = text;
        engine.Checksum = checksum;
        std::string pattern = engine.BuildPattern();
        int32_t width = engine.GetWidth();
        benchmark::DoNotOptimize(pattern);
        benchmark::DoNotOptimize(width);
    }
}

void ZintEncode(benchmark::State& state, int symbology, const std::string& text) {
    for (auto _ : state) {
        std::unique_ptr<zint_symbol, decltype(&ZBarcode_Delete)> symbol(ZBarcode_Create(),
                                                                        ZBarcode_Delete);
        symbol->symbology = symbology;
        const int status =
            ZBarcode_Encode(symbol.get(), reinterpret_cast<const unsigned char*>(text.data()),
                            static_cast<int>(text.size()));
        if (status >= ZINT_ERROR) {
            state.SkipWithError(symbol->errtxt);
            break;
        }
        benchmark::DoNotOptimize(symbol->width);
    }
}

void BM_Engine_EAN13(benchmark::State& s) {
    EngineBuildAndMeasure(s, quillax::bcCodeEAN13, kEan13, true);
}
void BM_Zint_EAN13(benchmark::State& s) {
    ZintEncode(s, BARCODE_EANX, kEan13);
}
void BM_Engine_Code128B(benchmark::State& s) {
    EngineBuildAndMeasure(s, quillax::bcCode128B, kCode128, false);
}
void BM_Zint_Code128B(benchmark::State& s) {
    ZintEncode(s, BARCODE_CODE128B, kCode128);
}
void BM_Engine_Code39(benchmark::State& s) {
    EngineBuildAndMeasure(s, quillax::bcCode39, kCode39, false);
}
void BM_Zint_Code39(benchmark::State& s) {
    ZintEncode(s, BARCODE_CODE39, kCode39);
}

BENCHMARK(BM_Engine_EAN13);
BENCHMARK(BM_Zint_EAN13);
BENCHMARK(BM_Engine_Code128B);
BENCHMARK(BM_Zint_Code128B);
BENCHMARK(BM_Engine_Code39);
BENCHMARK(BM_Zint_Code39);

} // namespace

BENCHMARK_MAIN();
