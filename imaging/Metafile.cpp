// The vector picture: commands recorded in drawing units with the state they were drawn
// in, played back later into any rectangle with each axis scaled on its own.
#include "imaging/DeviceContext.h"
#include "imaging/Fonts.h"

#include <algorithm>

namespace quillax {

TMetafile::TMetafile() : records_(std::make_shared<const TRecordList>()) {}
TMetafile::~TMetafile() = default;

int32_t TMetafile::Width() const {
    return width_;
}
int32_t TMetafile::Height() const {
    return height_;
}
void TMetafile::SetWidth(int32_t width) {
    width_ = std::max(width, 0);
}
void TMetafile::SetHeight(int32_t height) {
    height_ = std::max(height, 0);
}

TMetafileCanvas::TMetafileCanvas(TMetafile& picture, HDC /*reference: always the screen*/)
    : picture_(picture), recording_(std::make_shared<TRecordList>()) {
    // Room for a barcode's bars and spaces and its label without moving the records.
    constexpr size_t UsualRecords = 128;
    recording_->reserve(UsualRecords);
    // The physical frame from the pixel size; a zero size takes the whole screen's.
    if (picture_.mmWidth_ == 0) {
        const int32_t w = picture_.width_ ? picture_.width_ : ScreenHorzRes;
        picture_.mmWidth_ = MulDiv(w, ScreenHorzSizeMM * 100, ScreenHorzRes);
    }
    if (picture_.mmHeight_ == 0) {
        const int32_t h = picture_.height_ ? picture_.height_ : ScreenVertRes;
        picture_.mmHeight_ = MulDiv(h, ScreenVertSizeMM * 100, ScreenVertRes);
    }
}

TMetafileCanvas::~TMetafileCanvas() {
    // Recording ends here: only now does the picture hold the drawing.
    picture_.records_ = std::move(recording_);
}

void TMetafileCanvas::Reserve(size_t records) {
    recording_->reserve(records);
}

TRect TMetafileCanvas::Bounds() const {
    return {0, 0, picture_.Width(), picture_.Height()};
}

std::unique_ptr<TDeviceContext> TMetafileCanvas::CreateHandle() {
    return std::make_unique<TRecordingContext>(recording_);
}

// --- Recording --------------------------------------------------------------------------

TRecord& TRecordingContext::Add(TRecord::TKind kind) {
    TRecord& r = records_->emplace_back();
    r.Kind = kind;
    r.Pen = Pen;
    r.Brush = Brush;
    r.TextColor = TextColor;
    r.Opaque = BkMode == OPAQUE;
    r.BackColor = BkColor;
    return r;
}

void TRecordingContext::Polygon(std::span<const TPoint> points) {
    Add(TRecord::TKind::Polygon).Points.Assign(points);
}

void TRecordingContext::FillRect(const TRect& rect) {
    Add(TRecord::TKind::FillRect).Rect = rect;
}

void TRecordingContext::TextOut(int32_t x, int32_t y, const std::string& text) {
    TRecord& r = Add(TRecord::TKind::Text);
    const TPoint at{x, y};
    r.Points.Assign({&at, 1});
    r.Extra = std::make_unique<TRecordExtra>();
    r.Extra->Text = text;
    r.Extra->Font = Font;
}

void TRecordingContext::PlayPicture(const TRect& rect, const TMetafile& picture) {
    TRecord& r = Add(TRecord::TKind::Picture);
    r.Rect = rect;
    r.Extra = std::make_unique<TRecordExtra>();
    r.Extra->Picture = picture.Records();
    r.Extra->PictureWidth = picture.Width();
    r.Extra->PictureHeight = picture.Height();
}

// --- Playback ---------------------------------------------------------------------------

raster::TMapping PictureMapping(const TRect& rect, int32_t width, int32_t height) {
    const double w = width > 0 ? width : ScreenHorzRes;
    const double h = height > 0 ? height : ScreenVertRes;
    return {(double(rect.Right) - rect.Left) / w, (double(rect.Bottom) - rect.Top) / h,
            double(rect.Left), double(rect.Top)};
}

void PlayRecords(const raster::TSurface& target, const raster::TMapping& mapping,
                 const TRecordList& records) {
    if (target.Width <= 0 || target.Height <= 0) return;
    // Scaled, no polygon takes the last pixel of an earlier one.
    raster::TSurface surface = target;
    raster::TOwnership ownership;
    if (!mapping.Exact() && !surface.Ownership) {
        ownership.Owner.assign(size_t(surface.Width) * surface.Height, -1);
        ownership.Reach.reserve(records.size()); // at most one polygon per record
        surface.Ownership = &ownership;
    }
    raster::TBoxRun boxes(surface, mapping);
    for (const TRecord& r : records) {
        // Only scaled polygons keep to the ownership rule; anything else painted leaves what
        // the rule knows about whole stretches of rows out of date.
        if (surface.Ownership && (r.Kind != TRecord::TKind::Polygon || mapping.Exact()))
            surface.Ownership->Touched();
        if (r.Kind == TRecord::TKind::Polygon &&
            boxes.Add(r.Points, ColorToRGB(r.Pen.Color), r.Pen.Width, r.Brush.Solid,
                      ColorToRGB(r.Brush.Color)))
            continue;
        boxes.Flush();
        switch (r.Kind) {
        case TRecord::TKind::Polygon:
            raster::Polygon(surface, mapping, r.Points, ColorToRGB(r.Pen.Color), r.Pen.Width,
                            r.Brush.Solid, ColorToRGB(r.Brush.Color));
            break;
        case TRecord::TKind::FillRect:
            if (r.Brush.Solid)
                raster::FillRect(surface, mapping, r.Rect, ColorToRGB(r.Brush.Color));
            break;
        case TRecord::TKind::Text:
            if (r.Extra->Font)
                fonts::DrawText(surface, mapping, *r.Extra->Font, r.Points[0].X, r.Points[0].Y,
                                r.Extra->Text, ColorToRGB(r.TextColor), r.Opaque,
                                ColorToRGB(r.BackColor));
            break;
        case TRecord::TKind::Picture:
            if (const TRecordExtra& picture = *r.Extra; picture.Picture)
                PlayRecords(surface,
                            mapping.After(PictureMapping(r.Rect, picture.PictureWidth,
                                                         picture.PictureHeight)),
                            *picture.Picture);
            break;
        }
    }
}

} // namespace quillax
