// The canvas: drawing objects, their validity flags and the re-selection rules.
//
// A canvas selects its font, pen and brush into its context only when an operation needs
// them and they are not valid, always in the order handle, font, pen, brush. Changing a
// drawing object deselects it. So a font or background mode set directly on the raw
// context holds until the canvas's own object is next selected.
#include "imaging/DeviceContext.h"
#include "imaging/Fonts.h"

#include <cstdint>

namespace quillax {

namespace {

constexpr int32_t LogPixelsY = 96;

constexpr TColor Rgb(uint8_t r, uint8_t g, uint8_t b) {
    return r | (g << 8) | (b << 16);
}

// The standard scheme's system colours, by index.
constexpr TColor SystemColors[] = {
    Rgb(192, 192, 192), Rgb(0, 128, 128),   Rgb(0, 0, 128),     Rgb(128, 128, 128), // 0
    Rgb(192, 192, 192), Rgb(255, 255, 255), Rgb(0, 0, 0),       Rgb(0, 0, 0),       // 4
    Rgb(0, 0, 0),       Rgb(255, 255, 255), Rgb(192, 192, 192), Rgb(192, 192, 192), // 8
    Rgb(128, 128, 128), Rgb(0, 0, 128),     Rgb(255, 255, 255), Rgb(192, 192, 192), // 12
    Rgb(128, 128, 128), Rgb(128, 128, 128), Rgb(0, 0, 0),       Rgb(192, 192, 192), // 16
    Rgb(255, 255, 255), Rgb(0, 0, 0),       Rgb(192, 192, 192), Rgb(0, 0, 0),       // 20
    Rgb(255, 255, 225), Rgb(0, 0, 0),       Rgb(0, 0, 255),     Rgb(16, 132, 208),  // 24
    Rgb(181, 181, 181), Rgb(0, 0, 128),     Rgb(192, 192, 192),                     // 28
};

} // namespace

TColor ColorToRGB(TColor color) {
    if (color >= 0) return color;
    const size_t index = static_cast<uint32_t>(color) & 0xFF;
    return index < std::size(SystemColors) ? SystemColors[index] : clBlack;
}

int32_t MulDiv(int32_t a, int32_t b, int32_t c) {
    if (c == 0) return -1;
    int64_t n = int64_t(a) * b, d = c;
    if (d < 0) n = -n, d = -d;
    const int64_t q = n >= 0 ? (n + d / 2) / d : -((-n + d / 2) / d);
    return q < INT32_MIN || q > INT32_MAX ? -1 : static_cast<int32_t>(q);
}

HFONT SelectObject(HDC dc, HFONT font) {
    if (!dc || !font) return nullptr;
    HFONT old = std::move(dc->Font);
    dc->Font = std::move(font);
    return old;
}

TTextMetric GetTextMetrics(HDC dc) {
    if (!dc || !dc->Font) return {};
    const fonts::TTextRun run = fonts::Layout(*dc->Font, {});
    return {run.Ascent, run.Descent};
}

int SetBkMode(HDC dc, int mode) {
    if (!dc || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
    int old = dc->BkMode;
    dc->BkMode = mode;
    return old;
}

// --- Drawing objects --------------------------------------------------------------------

void TFont::SetName(const std::string& name) {
    if (name.empty()) return;
    name_ = name == "Default" ? "MS Sans Serif" : name;
    Changed();
}

int32_t TFont::Size() const {
    return -MulDiv(height_, 72, LogPixelsY);
}

void TFont::SetSize(int32_t points) {
    SetHeight(-MulDiv(points, LogPixelsY, 72));
}

void TFont::SetHeight(int32_t pixels) {
    height_ = pixels;
    Changed();
}

void TFont::SetColor(TColor color) {
    color_ = color;
    Changed();
}

void TFont::SetStyle(uint8_t style) {
    style_ = style;
    Changed();
}

TLogFont TFont::GetLogFont() const {
    TLogFont lf;
    lf.Height = height_;
    lf.Weight = (style_ & uint8_t(TFontStyle::fsBold)) ? 700 : 400;
    lf.Italic = style_ & uint8_t(TFontStyle::fsItalic);
    lf.Underline = style_ & uint8_t(TFontStyle::fsUnderline);
    lf.StrikeOut = style_ & uint8_t(TFontStyle::fsStrikeOut);
    lf.FaceName = name_;
    return lf;
}

void TFont::Changed() {
    if (owner_) owner_->FontChanged();
}

void TPen::SetColor(TColor color) {
    color_ = color;
    Changed();
}

void TPen::SetWidth(int32_t width) {
    if (width < 0) return;
    width_ = width;
    Changed();
}

void TPen::Changed() {
    if (owner_) owner_->PenChanged();
}

void TBrush::SetColor(TColor color) {
    color_ = color;
    if (style_ == TBrushStyle::bsClear) style_ = TBrushStyle::bsSolid;
    Changed();
}

void TBrush::SetStyle(TBrushStyle style) {
    style_ = style;
    Changed();
}

void TBrush::Changed() {
    if (owner_) owner_->BrushChanged();
}

// --- Canvas -----------------------------------------------------------------------------

TCanvas::TCanvas() {
    font_.owner_ = this;
    pen_.owner_ = this;
    brush_.owner_ = this;
}

TCanvas::~TCanvas() = default;

void TCanvas::RequiredState(uint8_t required) {
    if ((required & ~state_) == 0) return;
    if ((required & csHandleValid) && !(state_ & csHandleValid)) {
        dc_ = CreateHandle();
        if (!dc_) throw EInvalidOperation("Canvas does not allow drawing");
        state_ = csHandleValid; // a new context has none of the canvas's objects yet
    }
    const uint8_t needed = required & ~state_;
    if (needed & csFontValid) {
        dc_->Font = CreateFontIndirect(font_.GetLogFont());
        dc_->TextColor = ColorToRGB(font_.Color());
        state_ |= csFontValid;
    }
    if (needed & csPenValid) {
        dc_->Pen = {pen_.Color(), pen_.Width()};
        state_ |= csPenValid;
    }
    if (needed & csBrushValid) {
        const bool solid = brush_.Style() == TBrushStyle::bsSolid;
        dc_->Brush = {brush_.Color(), solid};
        dc_->BkColor = ColorToRGB(brush_.Color());
        dc_->BkMode = solid ? OPAQUE : TRANSPARENT;
        state_ |= csBrushValid;
    }
}

void TCanvas::FontChanged() {
    if (!(state_ & csFontValid)) return;
    dc_->Font.reset();
    state_ &= ~csFontValid;
}

void TCanvas::PenChanged() {
    if (!(state_ & csPenValid)) return;
    dc_->Pen = {};
    state_ &= ~csPenValid;
}

void TCanvas::BrushChanged() {
    if (!(state_ & csBrushValid)) return;
    dc_->Brush = {};
    state_ &= ~csBrushValid;
}

void TCanvas::Polygon(std::span<const TPoint> points) {
    RequiredState(csHandleValid | csPenValid | csBrushValid);
    dc_->Polygon(points);
}

void TCanvas::FillRect(const TRect& rect) {
    RequiredState(csHandleValid | csBrushValid);
    dc_->FillRect(rect);
}

void TCanvas::TextOut(int32_t x, int32_t y, const std::string& text) {
    RequiredState(csHandleValid | csFontValid | csBrushValid);
    dc_->TextOut(x, y, text);
    penPos_ = {x + TextWidth(text), y};
}

int32_t TCanvas::TextWidth(const std::string& text) {
    RequiredState(csHandleValid | csFontValid);
    return dc_->Font ? fonts::TextWidth(*dc_->Font, text) : 0;
}

HDC TCanvas::Handle() {
    RequiredState(csHandleValid | csFontValid | csPenValid | csBrushValid);
    return dc_.get();
}

TRect TCanvas::ClipRect() const {
    return Bounds();
}

void TCanvas::StretchDraw(const TRect& rect, const TMetafile& picture) {
    RequiredState(csHandleValid | csFontValid | csPenValid | csBrushValid);
    dc_->PlayPicture(rect, picture);
}

TPoint TCanvas::PenPos() const {
    return penPos_;
}

} // namespace quillax
