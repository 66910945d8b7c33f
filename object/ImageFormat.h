// The three image formats the object writes, how ImageTypeStr names them, and the one encode
// step that ShowBarcode and SaveBarcode share.
#pragma once

#include "imaging/Graphics.h"

#include <cstdint>
#include <string>

namespace quillax {

// The numbers scripts see as ImageType.
enum class TImageType : int32_t { itNone = 0, itJPEG = 1, itBMP = 2, itPNG = 3 };

// The image type a format name stands for (exact, case-sensitive); itNone for any other text.
TImageType ImageTypeOfName(const std::string& name);
// The name the ImageType setter stores for a type; nullptr for a number with no format.
const char* NameOfImageType(int32_t imageType);
// The writer a render goes through: JPEG or PNG when the name says so, BMP otherwise.
TImageType SelectImageFormat(const std::string& imageTypeStr);
// The HTTP content type of a format's bytes.
const char* ContentTypeOf(TImageType format);

// Encodes the whole surface as one image file of the given format into the stream.
void EncodeImage(const TBitmap& surface, TImageType format, TStream& stream);

} // namespace quillax
