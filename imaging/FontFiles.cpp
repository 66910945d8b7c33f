// Font files found through fontconfig, which resolves "Arial" to its metric-compatible face.
#include "imaging/FontFiles.h"

#include <fontconfig/fontconfig.h>

#include <memory>

namespace quillax {

namespace {

struct TFcPatternDeleter {
    void operator()(FcPattern* p) const { FcPatternDestroy(p); }
};
using TFcPattern = std::unique_ptr<FcPattern, TFcPatternDeleter>;

} // namespace

TFontFile FindFontFile(const TLogFont& lf) {
    TFcPattern pattern(FcPatternCreate());
    if (!pattern) throw EOutOfResources("Out of system resources");
    // Families earlier in the pattern match first; fontconfig's own substitutes come after.
    for (const std::string& family :
         FamiliesOf(lf.FaceName.empty() ? "MS Sans Serif" : lf.FaceName))
        FcPatternAddString(pattern.get(), FC_FAMILY,
                           reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddInteger(pattern.get(), FC_WEIGHT,
                        lf.Weight >= 600 ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern.get(), FC_SLANT, lf.Italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern.get(), FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(pattern.get());
    FcResult result = FcResultNoMatch;
    TFcPattern match(FcFontMatch(nullptr, pattern.get(), &result));
    FcChar8* file = nullptr;
    TFontFile found;
    if (!match || FcPatternGetString(match.get(), FC_FILE, 0, &file) != FcResultMatch)
        throw EOutOfResources("Out of system resources");
    FcPatternGetInteger(match.get(), FC_INDEX, 0, &found.Index);
    found.Path = reinterpret_cast<const char*>(file);
    return found;
}

} // namespace quillax
