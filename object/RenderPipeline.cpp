// The render pipeline: transfer, data, size, draw, error text.
#include "object/RenderPipeline.h"

#include <array>
#include <cstdint>
#include <exception>
#include <limits>

namespace quillax {

namespace {

// Error texts by step code; the trailing blanks are part of each text.
constexpr std::array<const char*, 5> kErrorTexts{{
    "",                          // rsNone
    "Error!Text     ",           // rsText
    "Error!Width     ",          // rsWidth
    "Error!Draw barcode    ",    // rsDraw
    "Error!Create barcode     ", // rsCreate
}};

using TransferRow = void (*)(const TQuillaxProperties&, TBarcodeEngine&);

// Object property -> engine property, in transfer order. Ratio and Height only replace the
// engine's own values (2.0 and 0) when they are positive.
constexpr std::array<TransferRow, 9> kEngineTransfer{{
    [](const TQuillaxProperties& p, TBarcodeEngine& e) { e.Checksum = p.Checksum; },
    [](const TQuillaxProperties& p, TBarcodeEngine& e) {
        e.Typ = static_cast<TBarcodeType>(p.BarcodeType);
    },
    [](const TQuillaxProperties& p, TBarcodeEngine& e) { e.Angle = p.Orientation; },
    [](const TQuillaxProperties& p, TBarcodeEngine& e) { e.Modul = p.NarrowBarWidth; },
    [](const TQuillaxProperties& p, TBarcodeEngine& e) { e.Color = p.BGColor; },
    [](const TQuillaxProperties& p, TBarcodeEngine& e) { e.ColorBar = p.BarColor; },
    [](const TQuillaxProperties& p, TBarcodeEngine& e) {
        e.CheckSumMethod = static_cast<TCheckSumMethod>(p.ChecksumMethod);
    },
    [](const TQuillaxProperties& p, TBarcodeEngine& e) {
        if (p.Ratio > 0) e.Ratio = p.Ratio;
    },
    [](const TQuillaxProperties& p, TBarcodeEngine& e) {
        if (p.Height > 0) e.Height = p.Height;
    },
}};

// Runs one step; on failure records its code and message and runs its recovery. A failure of
// the recovery itself escapes to the caller's outer handler.
template <class Work, class Recovery>
void RunStep(TRenderStep step, TRenderResult& result, Work work, Recovery recover) {
    try {
        work();
    } catch (const std::exception& e) {
        result.FailedStep = step;
        result.FailedMessage = e.what();
        recover();
    }
}

template <class Work>
void RunStep(TRenderStep step, TRenderResult& result, Work work) {
    RunStep(step, result, work, [] {});
}

// The engine's text is Data, unless the script gave characters that the ANSI code page
// cannot hold: Data then has "?" in their places and is refused.
void PassData(const TQuillaxProperties& properties, TBarcodeEngine& engine) {
    if (!properties.UnconvertibleData.empty())
        throw Exception("Data has characters that the ANSI code page cannot hold");
    engine.Text = properties.Data;
}

// The measured width by the engine's height, turned with the barcode at scale 1: lying, the
// surface is the height wide and the width tall; at any other angle but 0 and 180 it is the
// turned picture's bounding box. A surface without rows or columns would be an empty file, no
// image, and is refused. A barcode beyond the surface bounds could only be drawn squeezed out
// of recognition into the error image, at the cost of every bar it has (a Code 128 of 100,000
// characters records 600,000 shapes): it is not drawn at all.
void SizeForBarcode(TBarcodeEngine& engine, TBitmap& surface, bool& drawable) {
    const int32_t width = engine.GetWidth();
    const int32_t height = engine.Height;
    if (width <= 0 || height <= 0) throw Exception("a barcode surface needs rows and columns");
    const TPictureSize size = TBarcodeEngine::TurnedPictureSize(width, height, engine.Angle);
    constexpr int64_t kLargestSide = std::numeric_limits<int32_t>::max();
    if (size.Width > kLargestSide || size.Height > kLargestSide ||
        !TBitmap::Fits(static_cast<int32_t>(size.Width), static_cast<int32_t>(size.Height))) {
        drawable = false;
        throw Exception("the barcode is larger than any surface");
    }
    surface.SetWidth(static_cast<int32_t>(size.Width));
    surface.SetHeight(static_cast<int32_t>(size.Height));
}

void SizeForError(TBitmap& surface) {
    surface.SetWidth(kErrorSurfaceWidth);
    surface.SetHeight(kErrorSurfaceHeight);
}

} // namespace

TQuillaxProperties PageStartProperties(std::string data, std::u16string unconvertibleData) {
    return {
        .ImageTypeStr = "BMP",
        .Data = std::move(data),
        .Checksum = false,
        .ShowText = false,
        .BarcodeType = bcCodeEAN13,
        .Orientation = 0,
        .NarrowBarWidth = 1,
        .Height = 50,
        .Ratio = 1,
        .BGColor = clWhite,
        .BarColor = clBlack,
        .ChecksumMethod = csmModulo10,
        .UnconvertibleData = std::move(unconvertibleData),
    };
}

const char* ErrorTextOf(TRenderStep step) {
    return kErrorTexts.at(static_cast<size_t>(step));
}

void TransferProperties(const TQuillaxProperties& properties, TBarcodeEngine& engine) {
    for (TransferRow transfer : kEngineTransfer)
        transfer(properties, engine);
}

TRenderResult RenderBarcode(const TQuillaxProperties& properties) {
    auto engine = std::make_unique<TBarcodeEngine>();
    TRenderResult result{std::make_unique<TBitmap>(), TRenderStep::rsNone, {}};
    TBitmap& surface = *result.Surface;
    const TRenderStep& failed = result.FailedStep;

    TransferProperties(properties, *engine);
    try {
        RunStep(
            TRenderStep::rsText, result, [&] { PassData(properties, *engine); },
            [&] { SizeForError(surface); });
        // Refused data leaves the engine nothing to carry: nothing is measured or drawn.
        if (failed != TRenderStep::rsText) {
            bool drawable = true;
            RunStep(
                TRenderStep::rsWidth, result, [&] { SizeForBarcode(*engine, surface, drawable); },
                [&] { SizeForError(surface); });
            if (drawable) {
                RunStep(TRenderStep::rsDraw, result, [&] {
                    TCanvas& canvas = surface.Canvas();
                    engine->PaintBarcode(canvas, canvas.ClipRect(), properties.ShowText);
                });
            }
        }
    } catch (const std::exception& e) {
        result.FailedStep = TRenderStep::rsCreate;
        result.FailedMessage = e.what();
    }

    if (failed != TRenderStep::rsNone)
        surface.Canvas().TextOut(kErrorTextOrigin.X, kErrorTextOrigin.Y, ErrorTextOf(failed));
    return result;
}

TRenderResult ErrorRender(TRenderStep step, std::string message) {
    TRenderResult result{std::make_unique<TBitmap>(), step, std::move(message)};
    SizeForError(*result.Surface);
    result.Surface->Canvas().TextOut(kErrorTextOrigin.X, kErrorTextOrigin.Y, ErrorTextOf(step));
    return result;
}

} // namespace quillax
