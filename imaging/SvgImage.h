// The SVG writer: a vector picture as an SVG image of its frame, one pixel per drawing unit.
// Each shape is written as the pixels the raster paints for it, in rectangles and paths of
// whole pixels drawn with crisp edges, so that a renderer fills exactly the pixels of the PNG
// of the same picture; text is SVG text in the face, size and place the raster draws it.
#pragma once

#include "imaging/Graphics.h"

#include <cstdint>
#include <memory>
#include <string>

namespace quillax {

class TSVGImage {
public:
    // Takes the picture's recording (shared, not copied) and its frame as the image size; the
    // image is what a bitmap of that size shows after StretchDraw of the picture onto its
    // whole surface. Nested pictures played at another size are traced shape by shape.
    void Assign(const TMetafile& picture);
    // Dots per inch: with a resolution the image's width and height are in millimetres (its
    // view box stays in pixels), without one in pixels. Outside 0..MaxResolution raises
    // EInvalidGraphic.
    int32_t Resolution() const { return resolution_; }
    void SetResolution(int32_t dotsPerInch);
    // The whole document; nothing for a frame without rows or columns. A frame larger than
    // any surface, or a document beyond MaxSvgBytes, raises EOutOfResources.
    void SaveToStream(TStream& stream) const;
    void SaveToFile(const std::string& fileName) const;

    // The largest document written.
    static constexpr size_t MaxSvgBytes = size_t(256) << 20;

private:
    std::shared_ptr<const TRecordList> records_;
    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t resolution_ = 0;
};

} // namespace quillax
