// Surfaces in the imaging tests: sizing one, and its bytes through each writer.
#pragma once

#include "imaging/Graphics.h"
#include "imaging/JpegImage.h"
#include "imaging/PngImage.h"

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

namespace quillax::test {

inline void Size(TBitmap& bitmap, int32_t width, int32_t height) {
    bitmap.SetWidth(width);
    bitmap.SetHeight(height);
}

// The bytes of the surface as Writer (TBitmap itself for BMP, TPNGObject, TJPEGImage) saves it.
template <class Writer>
std::vector<uint8_t> Encode(const TBitmap& bitmap) {
    TMemoryStream stream;
    if constexpr (std::is_same_v<Writer, TBitmap>) {
        bitmap.SaveToStream(stream);
    } else {
        Writer writer;
        writer.Assign(bitmap);
        writer.SaveToStream(stream);
    }
    return {stream.Bytes().begin(), stream.Bytes().end()};
}

// The same by ImageTypeStr: "PNG", "JPEG", anything else BMP.
inline std::vector<uint8_t> EncodeAs(const std::string& format, const TBitmap& bitmap) {
    if (format == "PNG") return Encode<TPNGObject>(bitmap);
    if (format == "JPEG") return Encode<TJPEGImage>(bitmap);
    return Encode<TBitmap>(bitmap);
}

} // namespace quillax::test
