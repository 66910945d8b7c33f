// The image formats the object writes, how ImageTypeStr names them, and the encode steps that
// ShowBarcode and SaveBarcode share: the raster formats from a bitmap, SVG from the recorded
// picture.
#pragma once

#include "imaging/Graphics.h"

#include <cstdint>
#include <string>

namespace quillax {

// The numbers scripts see as ImageType.
enum class TImageType : int32_t { itNone = 0, itJPEG = 1, itBMP = 2, itPNG = 3, itSVG = 4 };

// The image type a format name stands for (exact, case-sensitive); itNone for any other text.
TImageType ImageTypeOfName(const std::string& name);
// The name the ImageType setter stores for a type; nullptr for a number with no format.
const char* NameOfImageType(int32_t imageType);
// The writer a render goes through: JPEG, PNG or SVG when the name says so, BMP otherwise.
TImageType SelectImageFormat(const std::string& imageTypeStr);
// The HTTP content type of a format's bytes.
const char* ContentTypeOf(TImageType format);

// Whether the format is written from the recorded picture instead of a bitmap.
bool IsVectorFormat(TImageType format);

// Encodes the whole surface as one image file of the given raster format into the stream, at
// the surface's resolution.
void EncodeImage(const TBitmap& surface, TImageType format, TStream& stream);
// Encodes the recorded picture, its frame the image, as one SVG document at the resolution
// (dots per inch; 0 records none).
void EncodePicture(const TMetafile& picture, int32_t dotsPerInch, TStream& stream);

} // namespace quillax
