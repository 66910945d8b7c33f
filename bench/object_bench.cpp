// The whole render, properties to image bytes in memory, as ShowBarcode and SaveBarcode run
// it: EAN-13 and a 20-character Code 128, each format, label on and off, a Code 128 of
// 20,000 characters, and the same 20 characters with the code sets chosen, a GS1-128, and the
// EAN-13 with a five-digit add-on; the labelled EAN-13 of the load check in the standard layout
// and as SVG beside its PNG. Beside
// them, in the same run: each format's bare encoder over the same pixels (the floor), the render
// alone, and Zint's raster and PNG output. The run ends with the ratios between them.
#include "EncoderFloors.h"
#include "RatioReporter.h"

#include "object/UQuillax.h"
#include "platform/AnsiCodePage.h"

#include <benchmark/benchmark.h>
#include <zint.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <unistd.h>

namespace {

using namespace quillax;
using bench::TPixels;

constexpr const char* kEan13Data = "590123412345";
constexpr const char* kCode128Data = "QUILLAX-2024-0001234"; // 20 characters
constexpr const char* kGs1Data = "(01)09501101530003(17)250101(10)AB12";
constexpr const char* kEan13AddOnData = "590123412345+51299"; // the same EAN-13, 56 modules more

// 20,000 characters of Code 128 B: a BMP of about 220,000 x 50 pixels.
const std::string& LongCode128Data() {
    static const std::string data = [] {
        std::string text(20000, ' ');
        for (size_t i = 0; i < text.size(); ++i)
            text[i] = char('A' + i % 26);
        return text;
    }();
    return data;
}

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

// The load check's image (a labelled EAN-13 at NarrowBarWidth 2 and Height 80), as the web
// host's CPU per answer is compared with it; in either layout.
void BM_RenderLoadCheckImage(benchmark::State& state, const char* format, LONG layout = 0) {
    TQuillax object;
    SetUp(object, bcCodeEAN13, kEan13Data, format, true);
    object.put_NarrowBarWidth(2);
    object.put_Height(80);
    object.put_Layout(layout);
    for (auto _ : state) {
        TEncodedBarcode encoded = object.EncodeBarcode();
        benchmark::DoNotOptimize(encoded.Image.Bytes().data());
    }
}
BENCHMARK_CAPTURE(BM_RenderLoadCheckImage, bmp, "BMP");
BENCHMARK_CAPTURE(BM_RenderLoadCheckImage, png, "PNG");
BENCHMARK_CAPTURE(BM_RenderLoadCheckImage, bmp_standard, "BMP", 1);
BENCHMARK_CAPTURE(BM_RenderLoadCheckImage, png_standard, "PNG", 1);
BENCHMARK_CAPTURE(BM_RenderLoadCheckImage, svg, "SVG", 0);
BENCHMARK_CAPTURE(BM_RenderLoadCheckImage, svg_standard, "SVG", 1);

void BM_RenderLongToBytes(benchmark::State& state) {
    BM_RenderToBytes(state, bcCode128B, LongCode128Data().c_str(), "BMP", false);
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

// A bare encoder over the pixels of the same render; its output must be the writer's own.
template <class Encode>
void EncoderFloor(benchmark::State& state, LONG type, const char* data, const char* format,
                  bool showText, Encode encode) {
    TQuillax object;
    SetUp(object, type, data, format, showText);
    const TRenderResult render = RenderBarcode(object.Properties());
    const TBitmap& surface = *render.Surface;
    const TPixels pixels{surface.Store().data(), surface.Width(), surface.Height(),
                         surface.Stride()};
    const TEncodedBarcode written = object.EncodeBarcode();
    const std::vector<uint8_t> floor = encode(pixels);
    if (!std::equal(floor.begin(), floor.end(), written.Image.Bytes().begin(),
                    written.Image.Bytes().end())) {
        state.SkipWithError("the floor's bytes differ from the writer's");
        return;
    }
    for (auto _ : state) {
        const std::vector<uint8_t> bytes = encode(pixels);
        benchmark::DoNotOptimize(bytes.data());
    }
}

void BM_EncoderFloor(benchmark::State& state, LONG type, const char* data, const char* format,
                     bool showText) {
    if (std::strcmp(format, "PNG") == 0) {
        bench::TPngFloor png;
        EncoderFloor(state, type, data, format, showText,
                     [&](const TPixels& p) { return png.Encode(p); });
    } else if (std::strcmp(format, "JPEG") == 0) {
        bench::TJpegFloor jpeg;
        EncoderFloor(state, type, data, format, showText,
                     [&](const TPixels& p) { return jpeg.Encode(p); });
    } else {
        std::optional<bench::TBmpFloor> bmp;
        EncoderFloor(state, type, data, format, showText, [&](const TPixels& p) {
            if (!bmp) bmp.emplace(p);
            return bmp->Encode();
        });
    }
}

// Zint at one pixel per module and the same bar height, into its raster buffer.
zint_symbol* ZintSymbol(int symbology, bool showText) {
    zint_symbol* symbol = ZBarcode_Create();
    symbol->symbology = symbology;
    symbol->height = 50;
    symbol->scale = 0.5f; // Zint's raster is two pixels per module at scale 1
    symbol->show_hrt = showText ? 1 : 0;
    return symbol;
}

void BM_ZintBuffer(benchmark::State& state, int symbology, const char* data, bool showText) {
    for (auto _ : state) {
        zint_symbol* symbol = ZintSymbol(symbology, showText);
        const int status =
            ZBarcode_Encode_and_Buffer(symbol, reinterpret_cast<const unsigned char*>(data),
                                       static_cast<int>(std::strlen(data)), 0);
        if (status >= ZINT_ERROR) state.SkipWithError(symbol->errtxt);
        benchmark::DoNotOptimize(symbol->bitmap);
        ZBarcode_Delete(symbol);
    }
}

// Zint's PNG goes to a file: a temporary one, written and read by nothing else.
void BM_ZintPng(benchmark::State& state, int symbology, const char* data, bool showText) {
    const std::string file = (std::filesystem::temp_directory_path() /
                              ("quillax-zint-" + std::to_string(getpid()) + ".png"))
                                 .string();
    for (auto _ : state) {
        zint_symbol* symbol = ZintSymbol(symbology, showText);
        std::snprintf(symbol->outfile, sizeof symbol->outfile, "%s", file.c_str());
        const int status =
            ZBarcode_Encode_and_Print(symbol, reinterpret_cast<const unsigned char*>(data),
                                      static_cast<int>(std::strlen(data)), 0);
        if (status >= ZINT_ERROR) state.SkipWithError(symbol->errtxt);
        ZBarcode_Delete(symbol);
    }
    std::filesystem::remove(file);
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
BENCHMARK_CAPTURE(BM_RenderToBytes, code128auto_bmp, bcCode128, kCode128Data, "BMP", false);
BENCHMARK_CAPTURE(BM_RenderToBytes, gs1_128_bmp, bcCodeGS1128, kGs1Data, "BMP", false);
BENCHMARK_CAPTURE(BM_RenderToBytes, ean13_add_on_bmp, bcCodeEAN13, kEan13AddOnData, "BMP", false);
BENCHMARK_CAPTURE(BM_RenderToBytes, ean13_add_on_png_text, bcCodeEAN13, kEan13AddOnData, "PNG",
                  true);
BENCHMARK(BM_RenderLongToBytes)
    ->Name("BM_RenderToBytes/code128_20000_bmp")
    ->Unit(benchmark::kMillisecond);

BENCHMARK_CAPTURE(BM_EncoderFloor, ean13_bmp, bcCodeEAN13, kEan13Data, "BMP", false);
BENCHMARK_CAPTURE(BM_EncoderFloor, ean13_bmp_text, bcCodeEAN13, kEan13Data, "BMP", true);
BENCHMARK_CAPTURE(BM_EncoderFloor, ean13_png, bcCodeEAN13, kEan13Data, "PNG", false);
BENCHMARK_CAPTURE(BM_EncoderFloor, ean13_png_text, bcCodeEAN13, kEan13Data, "PNG", true);
BENCHMARK_CAPTURE(BM_EncoderFloor, ean13_jpeg, bcCodeEAN13, kEan13Data, "JPEG", false);
BENCHMARK_CAPTURE(BM_EncoderFloor, ean13_jpeg_text, bcCodeEAN13, kEan13Data, "JPEG", true);
BENCHMARK_CAPTURE(BM_EncoderFloor, code128_bmp, bcCode128B, kCode128Data, "BMP", false);
BENCHMARK_CAPTURE(BM_EncoderFloor, code128_bmp_text, bcCode128B, kCode128Data, "BMP", true);
BENCHMARK_CAPTURE(BM_EncoderFloor, code128_png, bcCode128B, kCode128Data, "PNG", false);
BENCHMARK_CAPTURE(BM_EncoderFloor, code128_png_text, bcCode128B, kCode128Data, "PNG", true);
BENCHMARK_CAPTURE(BM_EncoderFloor, code128_jpeg, bcCode128B, kCode128Data, "JPEG", false);
BENCHMARK_CAPTURE(BM_EncoderFloor, code128_jpeg_text, bcCode128B, kCode128Data, "JPEG", true);

BENCHMARK_CAPTURE(BM_RenderSurface, ean13, bcCodeEAN13, kEan13Data, false);
BENCHMARK_CAPTURE(BM_RenderSurface, ean13_text, bcCodeEAN13, kEan13Data, true);
BENCHMARK_CAPTURE(BM_RenderSurface, code128, bcCode128B, kCode128Data, false);
BENCHMARK_CAPTURE(BM_RenderSurface, code128_text, bcCode128B, kCode128Data, true);
BENCHMARK_CAPTURE(BM_ZintBuffer, ean13, BARCODE_EANX, kEan13Data, false);
BENCHMARK_CAPTURE(BM_ZintBuffer, ean13_text, BARCODE_EANX, kEan13Data, true);
BENCHMARK_CAPTURE(BM_ZintBuffer, code128, BARCODE_CODE128, kCode128Data, false);
BENCHMARK_CAPTURE(BM_ZintBuffer, code128_text, BARCODE_CODE128, kCode128Data, true);
BENCHMARK_CAPTURE(BM_ZintPng, ean13, BARCODE_EANX, kEan13Data, false);
BENCHMARK_CAPTURE(BM_ZintPng, code128, BARCODE_CODE128, kCode128Data, false);

// Every render against its floor and against its unlabelled self, and our own against Zint.
std::vector<bench::TRatio> Ratios() {
    std::vector<bench::TRatio> ratios;
    const struct {
        const char* Format;
        double Target;
    } floors[] = {{"bmp", 2.5}, {"png", 1.10}, {"jpeg", 1.25}};
    for (const char* symbol : {"ean13", "code128"}) {
        for (const auto& floor : floors)
            for (const char* text : {"", "_text"}) {
                const std::string name = std::string(symbol) + "_" + floor.Format + text;
                ratios.push_back(
                    {"BM_RenderToBytes/" + name, "BM_EncoderFloor/" + name, floor.Target});
            }
        for (const auto& floor : floors) {
            const std::string name = std::string(symbol) + "_" + floor.Format;
            ratios.push_back(
                {"BM_RenderToBytes/" + name + "_text", "BM_RenderToBytes/" + name, 1.2});
        }
        const std::string name = symbol;
        ratios.push_back({"BM_RenderSurface/" + name, "BM_ZintBuffer/" + name});
        ratios.push_back({"BM_RenderToBytes/" + name + "_png", "BM_ZintPng/" + name});
    }
    // Choosing the code sets against one code set for the same 20 characters.
    ratios.push_back({"BM_RenderToBytes/code128auto_bmp", "BM_RenderToBytes/code128_bmp"});
    // The EAN-13 with its add-on against the EAN-13 alone.
    ratios.push_back({"BM_RenderToBytes/ean13_add_on_bmp", "BM_RenderToBytes/ean13_bmp"});
    ratios.push_back({"BM_RenderToBytes/ean13_add_on_png_text", "BM_RenderToBytes/ean13_png_text"});
    // The standard layout and SVG against the classic PNG of the same labelled EAN-13.
    for (const char* other : {"png_standard", "svg", "svg_standard"})
        ratios.push_back(
            {std::string("BM_RenderLoadCheckImage/") + other, "BM_RenderLoadCheckImage/png"});
    ratios.push_back({"BM_RenderLoadCheckImage/bmp_standard", "BM_RenderLoadCheckImage/bmp"});
    return ratios;
}

} // namespace

// The console report ends with the ratios; another output format is left as the library
// writes it.
int main(int argc, char** argv) {
    bool console = true, color = isatty(fileno(stdout)) != 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--benchmark_format=", 0) == 0) console = arg == "--benchmark_format=console";
        if (arg.rfind("--benchmark_color=", 0) == 0)
            color = arg == "--benchmark_color=true" || arg == "--benchmark_color=yes";
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    if (console) {
        bench::TRatioReporter reporter(Ratios(), color ? benchmark::ConsoleReporter::OO_Defaults
                                                       : benchmark::ConsoleReporter::OO_Tabular);
        benchmark::RunSpecifiedBenchmarks(&reporter);
    } else {
        benchmark::RunSpecifiedBenchmarks();
    }
    benchmark::Shutdown();
    return 0;
}
