// The JPEG writer over libjpeg (interface 62): baseline JFIF, quality 90, floating-point DCT.
#pragma once

#include "imaging/Graphics.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quillax {

// A fatal library error: "JPEG error #%d" with the library's message code.
class EJPEG : public EInvalidGraphic {
public:
    using EInvalidGraphic::EInvalidGraphic;
};

// The compressed bytes; shared between images.
struct TJPEGData {
    TMemoryStream Data;
};

class TJPEGImage {
public:
    TJPEGImage();
    // Starts new, empty compressed data and takes the surface's pixels and resolution.
    void Assign(const TBitmap& bitmap);
    // Dots per inch recorded as the JFIF density (unit 1, dots per inch); 0 leaves the
    // library's 1 x 1 without unit. Outside 0..MaxResolution raises EInvalidGraphic.
    int32_t Resolution() const { return resolution_; }
    void SetResolution(int32_t dotsPerInch);
    // Compresses if nothing is compressed yet, then writes all compressed bytes.
    void SaveToStream(TStream& stream);
    void SaveToFile(const std::string& fileName);
    // Compresses the pixels; raises EJPEG on a library error.
    void Compress();

private:
    std::shared_ptr<TJPEGData> data_;
    bool compressed_ = false;
    // The surface's 24-bit store (blue, green, red; rows padded; bottom row first), held
    // as it was when assigned.
    std::shared_ptr<const TPixelStore> pixels_;
    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t resolution_ = 0;
};

} // namespace quillax
