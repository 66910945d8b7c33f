// The render pipeline: the object's properties in, a finished image out (a raster surface, or
// for SVG the recorded picture). A failing step never fails the render; it leaves an error
// text in the image, its step code and the failure's own message.
#pragma once

#include "engine/BarcodeEngine.h"
#include "imaging/Graphics.h"

#include <cstdint>
#include <memory>
#include <string>

namespace quillax {

// The settings of one barcode image as scripts set them, in declaration order. A value-
// initialised set is the state of a new object: empty, zero and false throughout, but for the
// quiet zone, which is the symbology's own from the start.
struct TQuillaxProperties {
    std::string ImageTypeStr; // upper-cased format name
    std::string Data;         // the text to encode, ANSI
    bool Checksum = false;
    bool ShowText = false;
    uint8_t BarcodeType = 0; // a TBarcodeType ordinal, possibly out of range
    int32_t Orientation = 0; // degrees
    int32_t NarrowBarWidth = 0;
    int32_t Height = 0;
    int32_t Ratio = 0;
    TColor BGColor = 0;
    TColor BarColor = 0;
    uint8_t ChecksumMethod = 0; // a TCheckSumMethod ordinal
    // Data as the script gave it when the ANSI code page could not hold every character (Data
    // then has "?" in their places); empty when Data holds it exactly. Such data is not
    // encoded: the render fails its text step.
    std::u16string UnconvertibleData;
    // IQuillax2's layout and print settings.
    int32_t Layout = 0;     // 0 classic, 1 standard (TBarcodeLayout)
    int32_t QuietZone = -1; // modules; -1 the symbology's own
    int32_t Resolution = 0; // dots per inch recorded in the image; 0 none
    double XDimension = 0;  // millimetres; with a Resolution, the narrow bar in place of
                            // NarrowBarWidth
};

// The narrow bar in pixels that a render uses: NarrowBarWidth, or with an XDimension and a
// Resolution both usable, round(XDimension x Resolution / 25.4), at least 1.
int32_t NarrowBarPixels(const TQuillaxProperties& properties);
// The X-dimension in millimetres that the image has at its Resolution (the narrow bar in
// pixels x 25.4 / Resolution); 0 without a usable Resolution or narrow bar.
double ActualXDimension(const TQuillaxProperties& properties);

// The values a page start gives every property but Data, which it keeps.
TQuillaxProperties PageStartProperties(std::string data, std::u16string unconvertibleData = {});

// The step of the render that failed last; the numbers are SaveBarcode's result codes.
enum class TRenderStep : int32_t {
    rsNone = 0,   // every step succeeded
    rsText = 1,   // passing the data to the engine
    rsWidth = 2,  // measuring and sizing the surface
    rsDraw = 3,   // drawing
    rsCreate = 4, // a failure inside a step's own handler
};

// The text drawn into the image for a failed step ("" for rsNone).
const char* ErrorTextOf(TRenderStep step);

// What LastError says of a failed step: the failure's own message, or the step's error text
// when it had none (its trailing blanks dropped).
std::string FailureText(TRenderStep step, const std::string& message);

// Where a failed measurement leaves the surface.
inline constexpr int32_t kErrorSurfaceWidth = 50;
inline constexpr int32_t kErrorSurfaceHeight = 30;
// Top-left corner of the error text.
inline constexpr TPoint kErrorTextOrigin{0, 5};

struct TRenderResult {
    // The image: a bitmap for the raster formats, or for SVG the picture recorded at the same
    // size (its frame the image) with Surface empty.
    std::unique_ptr<TBitmap> Surface;
    TRenderStep FailedStep = TRenderStep::rsNone;
    // The message of the failure that failed FailedStep, in the engine's own words (ANSI);
    // empty when no step failed.
    std::string FailedMessage;
    std::unique_ptr<TMetafile> Picture;
    // Dots per inch the image records (the bitmap carries it too); 0 none.
    int32_t Resolution = 0;

    int32_t Width() const { return Picture ? Picture->Width() : Surface->Width(); }
    int32_t Height() const { return Picture ? Picture->Height() : Surface->Height(); }
};

// Copies the properties onto a fresh engine, as the transfer table says (Data not included).
void TransferProperties(const TQuillaxProperties& properties, TBarcodeEngine& engine);

// Renders the properties into a new image, a picture when ImageTypeStr selects SVG. Classic
// layout: the measured width by the engine's height turned with the barcode (swapped at 90 and
// 270 degrees, the turned bounding box at angles that are not right angles), or 50 by 30 when
// measuring fails or would leave no rows or no columns (and when the data is refused), with
// the last failure's step text at (0, 5). Standard layout: the run with its quiet zones by the
// height, turned alike; a failure gives an image sized to hold the whole of its LastError text.
// Layout, QuietZone, Resolution and XDimension outside their values fail the sizing step.
TRenderResult RenderBarcode(const TQuillaxProperties& properties);

// The error image of a failure found after the render (an encoder that cannot hold the
// image), in the format and layout of the properties, with the failure's message kept beside
// it.
TRenderResult ErrorRender(TRenderStep step, std::string message,
                          const TQuillaxProperties& properties);

} // namespace quillax
