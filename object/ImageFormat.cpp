// Format names, the selection rule and the encode step.
#include "object/ImageFormat.h"

#include "imaging/JpegImage.h"
#include "imaging/PngImage.h"
#include "imaging/SvgImage.h"

#include <array>

namespace quillax {

namespace {

struct FormatName {
    const char* Name;
    TImageType Type;
};

// Every name that selects a format; the first name of a type is the one its setter stores.
constexpr std::array<FormatName, 5> kFormatNames{{
    {"JPG", TImageType::itJPEG},
    {"JPEG", TImageType::itJPEG},
    {"BMP", TImageType::itBMP},
    {"PNG", TImageType::itPNG},
    {"SVG", TImageType::itSVG},
}};

} // namespace

TImageType ImageTypeOfName(const std::string& name) {
    for (const auto& row : kFormatNames)
        if (name == row.Name) return row.Type;
    return TImageType::itNone;
}

const char* NameOfImageType(int32_t imageType) {
    for (const auto& row : kFormatNames)
        if (static_cast<int32_t>(row.Type) == imageType) return row.Name;
    return nullptr;
}

TImageType SelectImageFormat(const std::string& imageTypeStr) {
    TImageType type = ImageTypeOfName(imageTypeStr);
    return type == TImageType::itNone ? TImageType::itBMP : type;
}

const char* ContentTypeOf(TImageType format) {
    switch (format) {
    case TImageType::itJPEG:
        return "image/jpeg";
    case TImageType::itPNG:
        return "image/png";
    case TImageType::itSVG:
        return "image/svg+xml";
    default:
        return "image/bmp";
    }
}

bool IsVectorFormat(TImageType format) {
    return format == TImageType::itSVG;
}

void EncodePicture(const TMetafile& picture, int32_t dotsPerInch, TStream& stream) {
    TSVGImage image;
    image.Assign(picture);
    image.SetResolution(dotsPerInch);
    image.SaveToStream(stream);
}

void EncodeImage(const TBitmap& surface, TImageType format, TStream& stream) {
    switch (format) {
    case TImageType::itJPEG: {
        TJPEGImage image;
        image.Assign(surface);
        image.SaveToStream(stream);
        break;
    }
    case TImageType::itPNG: {
        TPNGObject image;
        image.Assign(surface);
        image.SaveToStream(stream);
        break;
    }
    default:
        surface.SaveToStream(stream);
        break;
    }
}

} // namespace quillax
