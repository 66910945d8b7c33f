// The drawing context behind a canvas, and the records of a vector picture. A context
// holds the selected objects (font, pen, brush) and the text state; what it draws goes
// either into a bitmap's store or into a recording.
#pragma once

#include "imaging/Graphics.h"
#include "imaging/Raster.h"

#include <algorithm>
#include <array>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace quillax {

// The reference screen: recorded coordinates are its pixels, 96 per inch.
inline constexpr int32_t ScreenHorzRes = 1024;
inline constexpr int32_t ScreenVertRes = 768;
inline constexpr int32_t ScreenHorzSizeMM = 271;
inline constexpr int32_t ScreenVertSizeMM = 203;

struct TPenState {
    TColor Color = clBlack;
    int32_t Width = 1;
};

struct TBrushState {
    TColor Color = clWhite;
    bool Solid = true;
};

// A recorded polygon's corners: up to four kept in the record itself, more on the heap.
class TCornerList {
public:
    TCornerList() = default;
    TCornerList(TCornerList&&) noexcept = default;
    TCornerList& operator=(TCornerList&&) noexcept = default;
    void Assign(std::span<const TPoint> points) {
        count_ = points.size();
        more_.reset();
        if (count_ <= inPlace_.size()) {
            std::copy(points.begin(), points.end(), inPlace_.begin());
        } else {
            more_ = std::make_unique<TPoint[]>(count_);
            std::copy(points.begin(), points.end(), more_.get());
        }
    }
    std::span<const TPoint> Span() const {
        return {count_ <= inPlace_.size() ? inPlace_.data() : more_.get(), count_};
    }
    operator std::span<const TPoint>() const { return Span(); }
    const TPoint& operator[](size_t i) const { return Span()[i]; }

private:
    std::array<TPoint, 4> inPlace_{};
    std::unique_ptr<TPoint[]> more_;
    size_t count_ = 0;
};

// What only text and picture records carry.
struct TRecordExtra {
    std::string Text;
    HFONT Font; // the font the text was drawn in
    std::shared_ptr<const TRecordList> Picture;
    int32_t PictureWidth = 0;
    int32_t PictureHeight = 0;
};

// One recorded drawing command with the context state it was drawn in.
struct TRecord {
    enum class TKind : uint8_t { Polygon, FillRect, Text, Picture };
    TKind Kind = TKind::Polygon;
    bool Opaque = true;
    TPenState Pen;
    TBrushState Brush;
    TColor TextColor = clBlack;
    TColor BackColor = clWhite;
    TCornerList Points; // polygon corners; a text's reference point is Points[0]
    TRect Rect;         // fill rectangle, or the rectangle a picture is played into
    std::unique_ptr<TRecordExtra> Extra; // text and picture records only
};

class TDeviceContext {
public:
    virtual ~TDeviceContext() = default;

    HFONT Font;
    TColor TextColor = clBlack;
    int BkMode = OPAQUE;
    TColor BkColor = clWhite;
    TPenState Pen;
    TBrushState Brush;

    virtual void Polygon(std::span<const TPoint> points) = 0;
    virtual void FillRect(const TRect& rect) = 0;
    virtual void TextOut(int32_t x, int32_t y, const std::string& text) = 0;
    virtual void PlayPicture(const TRect& rect, const TMetafile& picture) = 0;
};

// Draws into a bitmap's store.
class TBitmapContext : public TDeviceContext {
public:
    explicit TBitmapContext(TBitmap& bitmap) : bitmap_(bitmap) {}
    void Polygon(std::span<const TPoint> points) override;
    void FillRect(const TRect& rect) override;
    void TextOut(int32_t x, int32_t y, const std::string& text) override;
    void PlayPicture(const TRect& rect, const TMetafile& picture) override;

private:
    raster::TSurface Surface();
    TBitmap& bitmap_;
};

// Appends what is drawn to a recording.
class TRecordingContext : public TDeviceContext {
public:
    explicit TRecordingContext(std::shared_ptr<TRecordList> records)
        : records_(std::move(records)) {}
    void Polygon(std::span<const TPoint> points) override;
    void FillRect(const TRect& rect) override;
    void TextOut(int32_t x, int32_t y, const std::string& text) override;
    void PlayPicture(const TRect& rect, const TMetafile& picture) override;

private:
    TRecord& Add(TRecord::TKind kind);
    std::shared_ptr<TRecordList> records_;
};

// How a picture of width x height (0: the screen's) lands in rect: unit pixel u of the
// picture covers [Left + u * sx, Left + (u + 1) * sx) with sx = rect width / width.
raster::TMapping PictureMapping(const TRect& rect, int32_t width, int32_t height);
// Plays records onto a surface through a mapping.
void PlayRecords(const raster::TSurface& surface, const raster::TMapping& mapping,
                 const TRecordList& records);

} // namespace quillax
