// The render pipeline: transfer, data, size, draw, error text.
#include "object/RenderPipeline.h"

#include "object/ImageFormat.h"

#include "engine/ExtendedPrecision.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <limits>
#include <optional>

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

// The layouts scripts name by number.
constexpr int32_t kClassicLayout = 0;
constexpr int32_t kStandardLayout = 1;
// The standard layout's error image: a margin of the common quiet zone beside the text and of
// two modules above and below it, for a module of at most kLargestErrorModule pixels; a
// message longer than kLongestErrorText characters is cut there.
constexpr int32_t kErrorSideModules = 10;
constexpr int32_t kErrorEdgeModules = 2;
constexpr int32_t kLargestErrorModule = 8;
constexpr size_t kLongestErrorText = 160;

bool IsStandardLayout(const TQuillaxProperties& p) {
    return p.Layout == kStandardLayout;
}

bool IsUsableResolution(int32_t dotsPerInch) {
    return dotsPerInch >= 0 && dotsPerInch <= MaxResolution;
}

bool IsUsableXDimension(double millimetres) {
    return std::isfinite(millimetres) && millimetres >= 0;
}

// Refuses layout and print settings outside their values before anything is measured: a
// render never guesses what a script meant by them.
void CheckPrintSettings(const TQuillaxProperties& p) {
    if (p.Layout != kClassicLayout && p.Layout != kStandardLayout)
        throw Exception("Layout must be 0 (classic) or 1 (standard), not " +
                        std::to_string(p.Layout));
    if (p.QuietZone < -1)
        throw Exception("QuietZone must be -1 (the symbology's own) or a number of modules, not " +
                        std::to_string(p.QuietZone));
    if (!IsUsableResolution(p.Resolution))
        throw Exception("Resolution must be 0 to " + std::to_string(MaxResolution) +
                        " dots per inch, not " + std::to_string(p.Resolution));
    if (!IsUsableXDimension(p.XDimension)) {
        char value[32];
        std::snprintf(value, sizeof value, "%g", p.XDimension);
        throw Exception("XDimension must be 0 or a number of millimetres above 0, not " +
                        std::string(value));
    }
}

using TransferRow = void (*)(const TQuillaxProperties&, TBarcodeEngine&);

// Object property -> engine property, in transfer order. Ratio and Height only replace the
// engine's own values (2.0 and 0) when they are positive; the narrow bar comes from the
// X-dimension when one is set with a resolution.
constexpr std::array<TransferRow, 11> kEngineTransfer{{
    [](const TQuillaxProperties& p, TBarcodeEngine& e) { e.Checksum = p.Checksum; },
    [](const TQuillaxProperties& p, TBarcodeEngine& e) {
        e.Typ = static_cast<TBarcodeType>(p.BarcodeType);
    },
    [](const TQuillaxProperties& p, TBarcodeEngine& e) { e.Angle = p.Orientation; },
    [](const TQuillaxProperties& p, TBarcodeEngine& e) { e.Modul = NarrowBarPixels(p); },
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
    [](const TQuillaxProperties& p, TBarcodeEngine& e) {
        e.Layout = IsStandardLayout(p) ? blStandard : blClassic;
    },
    [](const TQuillaxProperties& p, TBarcodeEngine& e) { e.QuietZone = p.QuietZone; },
}};

// Where a render draws: the bitmap of the raster formats, or for SVG a picture of the size
// the bitmap would have, recorded through a canvas made when it is first drawn on. Finish ends
// the recording.
class TRenderTarget {
public:
    TRenderTarget(TRenderResult& result, bool vector) : result_(result), vector_(vector) {
        Restart();
    }
    TRenderTarget(const TRenderTarget&) = delete;
    TRenderTarget& operator=(const TRenderTarget&) = delete;

    // A new, empty image in place of whatever was drawn.
    void Restart() {
        recorder_.reset();
        result_.Surface.reset();
        result_.Picture.reset();
        if (vector_)
            result_.Picture = std::make_unique<TMetafile>();
        else
            result_.Surface = std::make_unique<TBitmap>();
    }
    void SetSize(int32_t width, int32_t height) {
        if (result_.Picture) {
            result_.Picture->SetWidth(width);
            result_.Picture->SetHeight(height);
        } else {
            result_.Surface->SetWidth(width);
            result_.Surface->SetHeight(height);
        }
    }
    TCanvas& Canvas() {
        if (!result_.Picture) return result_.Surface->Canvas();
        if (!recorder_) recorder_.emplace(*result_.Picture);
        return *recorder_;
    }
    // Ends the recording and records the resolution in the image.
    void Finish(int32_t dotsPerInch) {
        recorder_.reset();
        result_.Resolution = dotsPerInch;
        if (result_.Surface) result_.Surface->SetResolution(dotsPerInch);
    }

private:
    TRenderResult& result_;
    bool vector_;
    std::optional<TMetafileCanvas> recorder_;
};

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
void SizeForBarcode(TBarcodeEngine& engine, const TBuiltPattern& built, TRenderTarget& target,
                    bool showText, bool& drawable) {
    const int32_t width = engine.PatternWidth(built.Pattern);
    const int32_t height = engine.Height;
    if (width <= 0 || height <= 0) throw Exception("a barcode surface needs rows and columns");
    // The standard layout adds its quiet zones and keeps its text within the height.
    const TPictureSize size = engine.Layout == blStandard
                                  ? engine.PictureSize(showText, built)
                                  : TBarcodeEngine::TurnedPictureSize(width, height, engine.Angle);
    constexpr int64_t kLargestSide = std::numeric_limits<int32_t>::max();
    if (size.Width > kLargestSide || size.Height > kLargestSide ||
        !TBitmap::Fits(static_cast<int32_t>(size.Width), static_cast<int32_t>(size.Height))) {
        drawable = false;
        throw Exception("the barcode is larger than any surface");
    }
    target.SetSize(static_cast<int32_t>(size.Width), static_cast<int32_t>(size.Height));
}

void SizeForError(TRenderTarget& target) {
    target.SetSize(kErrorSurfaceWidth, kErrorSurfaceHeight);
}

// At most kLongestErrorText characters of the text, "..." marking a cut.
std::string Shortened(const std::string& text) {
    if (text.size() <= kLongestErrorText) return text;
    return text.substr(0, kLongestErrorText - 3) + "...";
}

// The standard layout's error image: a new image that holds the whole text, set as the
// standard layout sets a label (the sans face, sized by the module) in BarColor on BGColor.
void DrawStandardError(TRenderTarget& target, const TQuillaxProperties& p,
                       const std::string& text) {
    const int32_t module = std::clamp(NarrowBarPixels(p), 1, kLargestErrorModule);
    const int32_t em = TBarcodeEngine::StandardTextPixels(module);
    const std::string shown = Shortened(text);
    TMetafile scratch;
    TMetafileCanvas measure(scratch);
    measure.Font().SetName(TBarcodeEngine::StandardSansFace);
    measure.Font().SetHeight(-em);
    const int32_t textWidth = measure.TextWidth(shown);
    const TTextMetric metric = GetTextMetrics(measure.Handle());
    const int32_t side = kErrorSideModules * module;
    const int32_t edge = kErrorEdgeModules * module;
    const int32_t width = textWidth + 2 * side;
    const int32_t height = metric.Ascent + metric.Descent + 2 * edge;

    target.Restart();
    target.SetSize(width, height);
    TCanvas& canvas = target.Canvas();
    canvas.Brush().SetColor(p.BGColor);
    canvas.FillRect({0, 0, width, height});
    canvas.Font().SetName(TBarcodeEngine::StandardSansFace);
    canvas.Font().SetHeight(-em);
    canvas.Font().SetColor(p.BarColor);
    SetBkMode(canvas.Handle(), TRANSPARENT);
    canvas.TextOut(side, edge, shown);
}

// The failure's text on the image: classic, the step's text at (0, 5) of the image as the
// steps left it; standard, a new image holding what LastError says.
void DrawFailure(TRenderTarget& target, const TQuillaxProperties& p, const TRenderResult& result) {
    if (IsStandardLayout(p))
        DrawStandardError(target, p, FailureText(result.FailedStep, result.FailedMessage));
    else
        target.Canvas().TextOut(kErrorTextOrigin.X, kErrorTextOrigin.Y,
                                ErrorTextOf(result.FailedStep));
}

// The resolution the image records: none for one outside what the files hold.
int32_t RecordedResolution(const TQuillaxProperties& p) {
    return IsUsableResolution(p.Resolution) ? p.Resolution : 0;
}

bool IsVectorRender(const TQuillaxProperties& p) {
    return IsVectorFormat(SelectImageFormat(p.ImageTypeStr));
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
        .Layout = kClassicLayout,
        .QuietZone = -1,
        .Resolution = 0,
        .XDimension = 0,
    };
}

const char* ErrorTextOf(TRenderStep step) {
    return kErrorTexts.at(static_cast<size_t>(step));
}

std::string FailureText(TRenderStep step, const std::string& message) {
    if (!message.empty()) return message;
    const std::string text = ErrorTextOf(step);
    return text.substr(0, text.find_last_not_of(' ') + 1);
}

int32_t NarrowBarPixels(const TQuillaxProperties& p) {
    if (!(p.XDimension > 0) || !IsUsableXDimension(p.XDimension) || p.Resolution <= 0 ||
        !IsUsableResolution(p.Resolution))
        return p.NarrowBarWidth;
    const double pixels = std::round(p.XDimension * p.Resolution / 25.4);
    return static_cast<int32_t>(
        std::clamp(pixels, 1.0, double(std::numeric_limits<int32_t>::max())));
}

double ActualXDimension(const TQuillaxProperties& p) {
    const int32_t pixels = NarrowBarPixels(p);
    if (p.Resolution <= 0 || !IsUsableResolution(p.Resolution) || pixels <= 0) return 0;
    return pixels * 25.4 / p.Resolution;
}

void TransferProperties(const TQuillaxProperties& properties, TBarcodeEngine& engine) {
    for (TransferRow transfer : kEngineTransfer)
        transfer(properties, engine);
}

TRenderResult RenderBarcode(const TQuillaxProperties& properties) {
    const TExtendedPrecision precision; // the same picture whatever the host's x87 setting
    auto engine = std::make_unique<TBarcodeEngine>();
    TRenderResult result;
    TRenderTarget target(result, IsVectorRender(properties));
    const TRenderStep& failed = result.FailedStep;

    TransferProperties(properties, *engine);
    try {
        RunStep(
            TRenderStep::rsText, result, [&] { PassData(properties, *engine); },
            [&] { SizeForError(target); });
        // Refused data leaves the engine nothing to carry: nothing is measured or drawn.
        if (failed != TRenderStep::rsText) {
            bool drawable = false;
            // The one pattern build of the render: measuring and drawing use it. After a failed
            // build the drawing builds again and fails as the build did.
            std::optional<TBuiltPattern> built;
            RunStep(
                TRenderStep::rsWidth, result,
                [&] {
                    CheckPrintSettings(properties); // nothing to draw as asked otherwise
                    drawable = true;
                    built = engine->Build();
                    SizeForBarcode(*engine, *built, target, properties.ShowText, drawable);
                },
                [&] { SizeForError(target); });
            // The standard layout's error image takes the place of whatever was drawn: after a
            // failed sizing there is nothing to draw.
            if (failed == TRenderStep::rsWidth && IsStandardLayout(properties)) drawable = false;
            if (drawable) {
                RunStep(TRenderStep::rsDraw, result, [&] {
                    TCanvas& canvas = target.Canvas();
                    if (built)
                        engine->PaintBarcode(canvas, canvas.ClipRect(), properties.ShowText,
                                             *built);
                    else
                        engine->PaintBarcode(canvas, canvas.ClipRect(), properties.ShowText);
                });
            }
        }
    } catch (const std::exception& e) {
        result.FailedStep = TRenderStep::rsCreate;
        result.FailedMessage = e.what();
    }

    if (failed != TRenderStep::rsNone) DrawFailure(target, properties, result);
    target.Finish(RecordedResolution(properties));
    return result;
}

TRenderResult ErrorRender(TRenderStep step, std::string message,
                          const TQuillaxProperties& properties) {
    TRenderResult result;
    result.FailedStep = step;
    result.FailedMessage = std::move(message);
    TRenderTarget target(result, IsVectorRender(properties));
    SizeForError(target);
    DrawFailure(target, properties, result);
    target.Finish(RecordedResolution(properties));
    return result;
}

} // namespace quillax
