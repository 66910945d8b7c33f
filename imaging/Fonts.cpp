// Fonts over FreeType, cached process-wide; the platform finds the font files.
//
// One lock guards every FreeType call, every font file look-up and the three caches (faces
// by name, weight and slant; advances; rendered glyph masks). A face's size and transform are
// set under that lock right before each use, so the shared FT_Face never sees two callers.
#include "imaging/Fonts.h"

#include "imaging/FontFiles.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <numbers>
#include <span>
#include <tuple>
#include <unordered_map>
#include <vector>

namespace quillax {

namespace fonts {

namespace {

constexpr char OutOfResources[] = "Out of system resources";

// Windows-1252 code points for 0x80..0x9F (undefined positions map to themselves).
constexpr uint16_t Cp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 0x88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 0x98
};

// The cache bounds: beyond them a cache starts afresh.
constexpr size_t MaxGlyphs = 20000;
constexpr size_t MaxGlyphBytes = size_t(64) << 20;
constexpr size_t MaxAdvances = 50000;
constexpr size_t MaxSizes = 256; // faces at one size, for layout

struct TGlyphKey {
    const void* Face;
    int32_t Em;
    int32_t Matrix[4];
    uint32_t Glyph;
    int8_t FracX, FracY;
    friend bool operator<(const TGlyphKey& a, const TGlyphKey& b) {
        return std::tie(a.Face, a.Em, a.Matrix[0], a.Matrix[1], a.Matrix[2], a.Matrix[3], a.Glyph,
                        a.FracX, a.FracY) < std::tie(b.Face, b.Em, b.Matrix[0], b.Matrix[1],
                                                     b.Matrix[2], b.Matrix[3], b.Glyph, b.FracX,
                                                     b.FracY);
    }
};

// A rendered glyph: coverage mask and where its top-left lies from the pen's pixel.
struct TGlyphImage {
    int32_t Left = 0;
    int32_t Top = 0; // rows above the pen's pixel row
    int32_t Width = 0;
    int32_t Height = 0;
    std::vector<uint8_t> Mask;
};

} // namespace

uint32_t CodePoint(unsigned char c) {
    return c >= 0x80 && c < 0xA0 ? Cp1252High[c - 0x80] : c;
}

class TFace {
public:
    TFace(FT_Face face) : face_(face) {}
    ~TFace() { FT_Done_Face(face_); }
    TFace(const TFace&) = delete;
    TFace& operator=(const TFace&) = delete;
    FT_Face Get() const { return face_; }

private:
    FT_Face face_;
};

namespace {

class TFontSystem {
public:
    static TFontSystem& Instance() {
        // Lives for the whole process: fonts may be used until the very end.
        static TFontSystem* system = new TFontSystem;
        return *system;
    }

    std::shared_ptr<TFace> FindFace(const TLogFont& lf) {
        std::lock_guard lock(mutex_);
        auto key = std::make_tuple(lf.FaceName, lf.Weight >= 600, lf.Italic);
        if (auto it = faces_.find(key); it != faces_.end()) return it->second;
        auto face = OpenFace(lf);
        faces_.emplace(key, face);
        return face;
    }

    TTextRun Layout(const TFontObject& font, const std::string& text) {
        std::lock_guard lock(mutex_);
        FT_Face face = font.Face().Get();
        TSizeMetrics& size = SizeMetrics(face, font.EmPixels());
        TTextRun run;
        run.Ascent = size.Ascent;
        run.Descent = size.Descent;
        run.Glyphs.reserve(text.size());
        run.Positions.reserve(text.size());
        int32_t pen = 0;
        for (unsigned char c : text) {
            const TSizeMetrics::TCharacter& character = Character(size, face, font.EmPixels(), c);
            run.Glyphs.push_back(character.Glyph);
            run.Positions.push_back(pen);
            pen += character.Advance;
        }
        run.Width = pen;
        return run;
    }

    int32_t Width(const TFontObject& font, const std::string& text) {
        std::lock_guard lock(mutex_);
        FT_Face face = font.Face().Get();
        TSizeMetrics& size = SizeMetrics(face, font.EmPixels());
        int32_t width = 0;
        for (unsigned char c : text)
            width += Character(size, face, font.EmPixels(), c).Advance;
        return width;
    }

    // The masks of a run's glyphs, one per key, rasterised where the cache lacks them; one
    // lock for the whole run.
    void RenderRun(std::span<const TGlyphKey> keys, FT_Face face,
                   std::vector<std::shared_ptr<const TGlyphImage>>& images) {
        std::lock_guard lock(mutex_);
        images.clear();
        for (const TGlyphKey& key : keys)
            images.push_back(Render(key, face));
    }

    size_t Rasterised() {
        std::lock_guard lock(mutex_);
        return rasterised_;
    }

private:
    TFontSystem() {
        if (FT_Init_FreeType(&library_) != 0) library_ = nullptr;
    }

    // Called with the lock held.
    std::shared_ptr<const TGlyphImage> Render(const TGlyphKey& key, FT_Face face) {
        if (auto it = glyphs_.find(key); it != glyphs_.end()) return it->second;
        ++rasterised_;
        SetSize(face, key.Em);
        FT_Matrix matrix{key.Matrix[0], key.Matrix[1], key.Matrix[2], key.Matrix[3]};
        FT_Vector delta{key.FracX * 16, -key.FracY * 16};
        FT_Set_Transform(face, &matrix, &delta);
        auto image = std::make_shared<TGlyphImage>();
        if (FT_Load_Glyph(face, key.Glyph, FT_LOAD_NO_BITMAP) == 0 &&
            FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL) == 0) {
            const FT_Bitmap& bm = face->glyph->bitmap;
            image->Left = face->glyph->bitmap_left;
            image->Top = face->glyph->bitmap_top;
            image->Width = int32_t(bm.width);
            image->Height = int32_t(bm.rows);
            image->Mask.resize(size_t(bm.width) * bm.rows);
            for (unsigned row = 0; row < bm.rows; ++row)
                for (unsigned col = 0; col < bm.width; ++col)
                    image->Mask[size_t(row) * bm.width + col] =
                        bm.buffer[ptrdiff_t(row) * bm.pitch + col];
        }
        FT_Set_Transform(face, nullptr, nullptr);
        if (glyphs_.size() >= MaxGlyphs || glyphBytes_ + image->Mask.size() > MaxGlyphBytes) {
            glyphs_.clear();
            glyphBytes_ = 0;
        }
        glyphBytes_ += image->Mask.size();
        glyphs_.emplace(key, image);
        return image;
    }

    std::shared_ptr<TFace> OpenFace(const TLogFont& lf) {
        if (!library_) throw EOutOfResources(OutOfResources);
        const TFontFile file = FindFontFile(lf);
        FT_Face face = nullptr;
        if (FT_New_Face(library_, file.Path.c_str(), file.Index, &face) != 0)
            throw EOutOfResources(OutOfResources);
        if (!FT_IS_SCALABLE(face)) {
            FT_Done_Face(face);
            throw EOutOfResources(OutOfResources);
        }
        FT_Select_Charmap(face, FT_ENCODING_UNICODE);
        return std::make_shared<TFace>(face);
    }

    static void SetSize(FT_Face face, int32_t em) { FT_Set_Pixel_Sizes(face, 0, FT_UInt(em)); }

    // What laying out text in a face at one size needs: its ascent and descent, and each
    // 8-bit character's glyph and advance, found when the character is first laid out.
    struct TSizeMetrics {
        int32_t Ascent = 0;
        int32_t Descent = 0;
        struct TCharacter {
            bool Known = false;
            uint32_t Glyph = 0;
            int32_t Advance = 0;
        };
        std::array<TCharacter, 256> Characters{};
    };

    TSizeMetrics& SizeMetrics(FT_Face face, int32_t em) {
        const auto key = std::make_pair(static_cast<const void*>(face), em);
        if (auto it = sizes_.find(key); it != sizes_.end()) return *it->second;
        if (sizes_.size() >= MaxSizes) sizes_.clear();
        SetSize(face, em);
        auto size = std::make_unique<TSizeMetrics>();
        size->Ascent = int32_t(face->size->metrics.ascender >> 6);
        size->Descent = int32_t(-(face->size->metrics.descender >> 6));
        return *sizes_.emplace(key, std::move(size)).first->second;
    }

    const TSizeMetrics::TCharacter& Character(TSizeMetrics& size, FT_Face face, int32_t em,
                                              unsigned char c) {
        TSizeMetrics::TCharacter& character = size.Characters[c];
        if (!character.Known) {
            SetSize(face, em);
            FT_Set_Transform(face, nullptr, nullptr);
            character.Glyph = FT_Get_Char_Index(face, CodePoint(c));
            character.Advance = Advance(face, em, character.Glyph);
            character.Known = true;
        }
        return character;
    }

    int32_t Advance(FT_Face face, int32_t em, uint32_t glyph) {
        auto key = std::make_tuple(static_cast<const void*>(face), em, glyph);
        if (auto it = advances_.find(key); it != advances_.end()) return it->second;
        int32_t advance = 0;
        if (FT_Load_Glyph(face, glyph, FT_LOAD_DEFAULT) == 0)
            advance = int32_t((face->glyph->advance.x + 32) >> 6);
        if (advances_.size() >= MaxAdvances) advances_.clear();
        advances_.emplace(key, advance);
        return advance;
    }

    std::mutex mutex_;
    FT_Library library_ = nullptr;
    std::map<std::tuple<std::string, bool, bool>, std::shared_ptr<TFace>> faces_;
    std::map<std::tuple<const void*, int32_t, uint32_t>, int32_t> advances_;
    std::map<std::pair<const void*, int32_t>, std::unique_ptr<TSizeMetrics>> sizes_;
    std::map<TGlyphKey, std::shared_ptr<const TGlyphImage>> glyphs_;
    size_t glyphBytes_ = 0;
    size_t rasterised_ = 0;
};

int32_t EmFor(const TLogFont& lf, FT_Face face) {
    int64_t em = 12; // a height of 0 asks for the default size
    if (lf.Height < 0) {
        em = -int64_t(lf.Height);
    } else if (lf.Height > 0) {
        // A positive height is the whole cell; the em is the cell less its internal leading.
        int64_t cell = int64_t(face->ascender) - face->descender;
        em = cell > 0 ? (int64_t(lf.Height) * face->units_per_EM + cell / 2) / cell : lf.Height;
    }
    return int32_t(std::clamp<int64_t>(em, 1, MaxEmPixels));
}

int32_t Fixed16(double v) {
    return int32_t(std::lround(std::clamp(v, -32767.0, 32767.0) * 65536));
}

} // namespace

size_t GlyphsRasterised() {
    return TFontSystem::Instance().Rasterised();
}

TTextRun Layout(const TFontObject& font, const std::string& text) {
    return TFontSystem::Instance().Layout(font, text);
}

int32_t TextWidth(const TFontObject& font, const std::string& text) {
    return TFontSystem::Instance().Width(font, text);
}

std::string FamilyName(const TFontObject& font) {
    const char* name = font.Face().Get()->family_name; // set once when the face is opened
    return name ? name : "";
}

TTextPlacement PlaceText(const TFontObject& font, double x, double y, const std::string& text) {
    TTextPlacement p;
    p.Run = Layout(font, text);
    const double angle = font.LogFont().Escapement / 10.0 * std::numbers::pi / 180.0;
    const double c = std::cos(angle), s = std::sin(angle);
    p.Along = {c, -s};
    p.Down = {s, c};
    p.Baseline = {x + p.Run.Ascent * p.Down.X, y + p.Run.Ascent * p.Down.Y};
    const double w = p.Run.Width, h = p.Run.Ascent + p.Run.Descent;
    p.Cell = {{
        {x, y},
        {x + w * p.Along.X, y + w * p.Along.Y},
        {x + w * p.Along.X + h * p.Down.X, y + w * p.Along.Y + h * p.Down.Y},
        {x + h * p.Down.X, y + h * p.Down.Y},
    }};
    return p;
}

void DrawText(const raster::TSurface& surface, const raster::TMapping& m, const TFontObject& font,
              double x, double y, const std::string& text, TColor textRgb, bool opaque,
              TColor backgroundRgb) {
    if (surface.Width <= 0 || surface.Height <= 0) return;
    const TTextPlacement place = PlaceText(font, x, y, text);
    const TTextRun& run = place.Run;
    if (opaque && run.Width > 0) {
        raster::TPointF cell[4];
        for (size_t i = 0; i < 4; ++i)
            cell[i] = {m.X(place.Cell[i].X), m.Y(place.Cell[i].Y)};
        raster::FillArea(surface, cell, backgroundRgb);
    }
    // Glyph outlines are y-up: turn by the escapement, then scale each device axis.
    const double c = place.Along.X, s = -place.Along.Y;
    TGlyphKey key{};
    key.Face = &font.Face();
    key.Em = font.EmPixels();
    key.Matrix[0] = Fixed16(m.ScaleX * c);
    key.Matrix[1] = Fixed16(-m.ScaleX * s);
    key.Matrix[2] = Fixed16(m.ScaleY * s);
    key.Matrix[3] = Fixed16(m.ScaleY * c);
    // Each glyph's key and pen pixel, then all masks from the cache at once, then the blends.
    thread_local std::vector<TGlyphKey> keys;
    thread_local std::vector<std::array<int32_t, 2>> pens;
    thread_local std::vector<std::shared_ptr<const TGlyphImage>> images;
    keys.clear();
    pens.clear();
    for (size_t i = 0; i < run.Glyphs.size(); ++i) {
        const double penX = m.X(place.Baseline.X + run.Positions[i] * place.Along.X);
        const double penY = m.Y(place.Baseline.Y + run.Positions[i] * place.Along.Y);
        if (!std::isfinite(penX) || !std::isfinite(penY) || std::fabs(penX) > 1e9 ||
            std::fabs(penY) > 1e9)
            continue;
        const double fx = std::floor(penX), fy = std::floor(penY);
        // Pen positions are kept to quarter pixels.
        key.FracX = int8_t(std::lround((penX - fx) * 4));
        key.FracY = int8_t(std::lround((penY - fy) * 4));
        key.Glyph = run.Glyphs[i];
        keys.push_back(key);
        pens.push_back({int32_t(fx), int32_t(fy)});
    }
    TFontSystem::Instance().RenderRun(keys, font.Face().Get(), images);
    for (size_t i = 0; i < images.size(); ++i) {
        const TGlyphImage& image = *images[i];
        raster::BlendMask(surface, pens[i][0] + image.Left, pens[i][1] - image.Top,
                          image.Mask.data(), image.Width, image.Height, image.Width, textRgb);
    }
    images.clear(); // the cache may let them go
}

} // namespace fonts

TFontObject::TFontObject(const TLogFont& description, std::shared_ptr<fonts::TFace> face)
    : logFont_(description), face_(std::move(face)), em_(fonts::EmFor(description, face_->Get())) {}

std::vector<std::string> FamiliesOf(const std::string& faceName) {
    std::vector<std::string> families;
    for (size_t start = 0; start <= faceName.size();) {
        size_t end = faceName.find(',', start);
        if (end == std::string::npos) end = faceName.size();
        const size_t first = faceName.find_first_not_of(' ', start);
        const size_t last = faceName.find_last_not_of(' ', end == 0 ? 0 : end - 1);
        if (first < end && last != std::string::npos && last >= first)
            families.push_back(faceName.substr(first, last - first + 1));
        start = end + 1;
    }
    return families;
}

HFONT CreateFontIndirect(const TLogFont& description) {
    return std::make_shared<const TFontObject>(
        description, fonts::TFontSystem::Instance().FindFace(description));
}

} // namespace quillax
