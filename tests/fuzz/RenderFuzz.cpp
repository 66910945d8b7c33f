// Fuzz target: any property values and any data give a finished surface and image bytes (the
// barcode or the error image), never a crash, a leak or an unbounded allocation.
#include "object/ImageFormat.h"
#include "object/RenderPipeline.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace quillax;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 8) return 0;
    TQuillaxProperties properties;
    properties.BarcodeType = data[0] % (kBarcodeTypeCount + 2);
    properties.Checksum = (data[1] & 1) != 0;
    properties.ShowText = (data[1] & 2) != 0;
    properties.ChecksumMethod = (data[1] >> 2) & 1;
    static const char* const kFormats[] = {"BMP", "PNG", "JPG", "JPEG", "", "GIF", "SVG"};
    properties.ImageTypeStr = kFormats[(data[1] >> 3) % 7];
    properties.Orientation = static_cast<int8_t>(data[2]) * 3;
    properties.NarrowBarWidth = data[3] % 8 - 1;
    properties.Ratio = data[4] % 6 - 1;
    properties.Height = data[5] % 160 - 10;
    properties.BGColor = data[6] * 0x010101;
    properties.BarColor = data[7] * 0x000101;
    // The layout and print settings from the bits the others leave, out-of-range values
    // among them (Layout 2 to 4, QuietZone -2).
    const int rest = data[0] / (kBarcodeTypeCount + 2);
    properties.Layout = rest % 2 == 0 ? 0 : rest % 5;
    properties.QuietZone = data[5] / 160 + (rest / 2) % 3 - 2;
    properties.Resolution = (data[3] >> 3) * 100 - 100;
    properties.XDimension = (data[4] >> 3) * 0.05;
    properties.Data.assign(reinterpret_cast<const char*>(data + 8), size - 8);

    TRenderResult result = RenderBarcode(properties);
    if (!result.Surface == !result.Picture) std::abort(); // one image, of one kind
    TMemoryStream stream;
    try {
        if (result.Picture)
            EncodePicture(*result.Picture, result.Resolution, stream);
        else
            EncodeImage(*result.Surface, SelectImageFormat(properties.ImageTypeStr), stream);
    } catch (const Exception&) {
        // A writer may refuse a surface (JPEG's side limit); the caller reports that.
    }
    return 0;
}
