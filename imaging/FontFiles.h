// Where a font's outlines come from: the platform's own font look-up turns a description
// (face name, weight, slant) into a font file and the index of the face inside it.
#pragma once

#include "imaging/Graphics.h"

#include <string>
#include <vector>

namespace quillax {

struct TFontFile {
    std::string Path;
    int Index = 0;
};

// The file of the face that best matches the description; an empty face name asks for the
// default face, "MS Sans Serif". A face name may list families in order of preference,
// separated by commas ("OCR B,Arial"): the first one installed is taken. Raises
// EOutOfResources when no face can be found. Callers serialise their calls (the font cache
// calls it under its lock).
TFontFile FindFontFile(const TLogFont& description);

// The families of a face name, in order: "OCR B, Arial" gives "OCR B" and "Arial".
std::vector<std::string> FamiliesOf(const std::string& faceName);

} // namespace quillax
