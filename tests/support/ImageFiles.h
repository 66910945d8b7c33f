// Reading the object's image bytes back into pixels, independently of the writers.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace quillax::test {

// An RGB image, top row first, three bytes per pixel.
struct TRgbImage {
    int Width = 0;
    int Height = 0;
    std::vector<uint8_t> Rgb;

    uint32_t Pixel(int x, int y) const; // 0x00BBGGRR, as colours are written
    uint8_t Luminance(int x, int y) const;
    // A copy with a border of the given width on every side, white or of the grey level.
    TRgbImage Padded(int border, uint8_t level = 0xFF) const;
    // One byte of luminance per pixel, top row first.
    std::vector<uint8_t> Gray() const;
};

// Decoders for the three formats; each raises std::runtime_error on malformed input.
TRgbImage DecodeBmp(std::span<const uint8_t> bytes);
TRgbImage DecodePng(std::span<const uint8_t> bytes);
TRgbImage DecodeJpeg(std::span<const uint8_t> bytes);
// The decoder for an ImageTypeStr of "BMP", "PNG" or "JPEG".
using TDecoder = TRgbImage (*)(std::span<const uint8_t>);
TDecoder DecoderFor(const std::string& format);

std::vector<uint8_t> ReadFileBytes(const std::string& path);

// An SVG document rasterised at its own size by rsvg-convert (an independent renderer); with
// dotsPerInch > 0, millimetres are converted at that resolution. Raises std::runtime_error
// when the renderer fails or is missing.
TRgbImage RasteriseSvg(std::span<const uint8_t> svg, int dotsPerInch = 0);

// What a second independent reader (zbar, with the EAN/UPC add-ons and UPC-A/UPC-E reported
// as such) finds in the image: "TYPE:DATA" per symbol, sorted, separated by spaces ("" for
// nothing). Raises std::runtime_error when zbarimg fails or is missing.
std::string ReadWithZbar(const TRgbImage& image);

} // namespace quillax::test
