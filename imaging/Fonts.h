// Font objects and text rasterisation over FreeType, faces found through fontconfig.
// Faces, glyph advances and rendered glyph masks are cached process-wide under one lock;
// what leaves the cache is immutable, so renders on many threads share it safely.
#pragma once

#include "imaging/Graphics.h"
#include "imaging/Raster.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quillax {

namespace fonts {
class TFace;
}

// A created font: its description and the face that fontconfig chose for it.
class TFontObject {
public:
    TFontObject(const TLogFont& description, std::shared_ptr<fonts::TFace> face);
    const TLogFont& LogFont() const { return logFont_; }
    fonts::TFace& Face() const { return *face_; }
    // The em size in pixels the description asks for (bounded).
    int32_t EmPixels() const { return em_; }

private:
    TLogFont logFont_;
    std::shared_ptr<fonts::TFace> face_;
    int32_t em_;
};

namespace fonts {

// The largest em size rendered, in pixels; larger fonts are drawn at this size.
inline constexpr int32_t MaxEmPixels = 2048;

// One line of text laid out along its own (unrotated) baseline.
struct TTextRun {
    int32_t Ascent = 0;             // pixels above the baseline in the cell
    int32_t Descent = 0;            // pixels below it
    int32_t Width = 0;              // sum of the advances
    std::vector<uint32_t> Glyphs;   // glyph indices
    std::vector<int32_t> Positions; // each glyph's pen offset from the cell's left edge
};

// How many glyph masks have been rasterised since the process started: a glyph is rasterised
// once for its face, size, angle and quarter-pixel offset, then drawn from the cache.
size_t GlyphsRasterised();

// The character an 8-bit (Windows-1252) code stands for.
uint32_t CodePoint(unsigned char c);

// The family of the face fontconfig chose for the font ("Liberation Sans" for "Arial").
std::string FamilyName(const TFontObject& font);

// Lays out 8-bit text (Windows-1252) in the font.
TTextRun Layout(const TFontObject& font, const std::string& text);
// Its Width alone.
int32_t TextWidth(const TFontObject& font, const std::string& text);

// Where text drawn with its cell's top-left corner at (x, y) lies, in drawing units.
struct TTextPlacement {
    TTextRun Run;
    raster::TPointF Along;    // one unit along the baseline, turned by the escapement
    raster::TPointF Down;     // one unit down the cell
    raster::TPointF Baseline; // where the baseline starts: (x, y) moved Ascent down
    // The cell: top-left, top-right, bottom-right, bottom-left.
    std::array<raster::TPointF, 4> Cell;
};
TTextPlacement PlaceText(const TFontObject& font, double x, double y, const std::string& text);

// Draws text with its cell's top-left corner at (x, y) in drawing units, turned by the
// font's escapement about that corner, then mapped onto the surface. With opaque set the
// whole (turned) cell is first filled with the background colour.
void DrawText(const raster::TSurface& surface, const raster::TMapping& mapping,
              const TFontObject& font, double x, double y, const std::string& text, TColor textRgb,
              bool opaque, TColor backgroundRgb);

} // namespace fonts
} // namespace quillax
