// The render pipeline: the object's properties in, a finished raster surface out. A failing
// step never fails the render; it leaves a fixed error text in the image, its step code and
// the failure's own message.
#pragma once

#include "engine/BarcodeEngine.h"
#include "imaging/Graphics.h"

#include <cstdint>
#include <memory>
#include <string>

namespace quillax {

// The settings of one barcode image as scripts set them, in declaration order. A value-
// initialised set is the state of a new object: empty, zero and false throughout.
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
};

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

// Where a failed measurement leaves the surface.
inline constexpr int32_t kErrorSurfaceWidth = 50;
inline constexpr int32_t kErrorSurfaceHeight = 30;
// Top-left corner of the error text.
inline constexpr TPoint kErrorTextOrigin{0, 5};

struct TRenderResult {
    std::unique_ptr<TBitmap> Surface;
    TRenderStep FailedStep = TRenderStep::rsNone;
    // The message of the failure that failed FailedStep, in the engine's own words (ANSI);
    // empty when no step failed.
    std::string FailedMessage;
};

// Copies the properties onto a fresh engine, as the transfer table says (Data not included).
void TransferProperties(const TQuillaxProperties& properties, TBarcodeEngine& engine);

// Renders the properties into a new surface: the measured width by the engine's height turned
// with the barcode (swapped at 90 and 270 degrees, the turned bounding box at angles that are
// not right angles), or 50 by 30 when measuring fails or would leave no rows or no columns (and
// when the data is refused), with the last failure's text at (0, 5).
TRenderResult RenderBarcode(const TQuillaxProperties& properties);

// The 50 by 30 error image of a failure found after the render (an encoder that cannot hold
// the surface): the text of step at (0, 5), with the failure's message kept beside it.
TRenderResult ErrorRender(TRenderStep step, std::string message);

} // namespace quillax
