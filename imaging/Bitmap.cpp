// The raster surface: a 24-bit store (blue, green, red; rows padded to 4 bytes; bottom row
// first), its canvas, and the BMP file written straight from the store.
#include "imaging/DeviceContext.h"
#include "imaging/Fonts.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace quillax {

namespace {

constexpr char OutOfResources[] = "Out of system resources";
// Surface bounds: sizing beyond them fails before any memory is taken.
constexpr int64_t MaxSurfacePixels = 16'000'000;
constexpr int32_t MaxSurfaceSide = 1'048'576;

int32_t StrideOf(int32_t width) {
    return int32_t(((24 * int64_t(width) + 31) / 32) * 4);
}

} // namespace

class TBitmap::TBitmapCanvas : public TCanvas {
public:
    explicit TBitmapCanvas(TBitmap& bitmap) : bitmap_(bitmap) {}

protected:
    std::unique_ptr<TDeviceContext> CreateHandle() override {
        return std::make_unique<TBitmapContext>(bitmap_);
    }
    TRect Bounds() const override { return {0, 0, bitmap_.Width(), bitmap_.Height()}; }

private:
    TBitmap& bitmap_;
};

TBitmap::TBitmap() : store_(std::make_shared<TPixelStore>()) {}
TBitmap::~TBitmap() = default;

int32_t TBitmap::Width() const {
    return width_;
}
int32_t TBitmap::Height() const {
    return height_;
}
void TBitmap::SetWidth(int32_t width) {
    Resize(width, height_);
}
void TBitmap::SetHeight(int32_t height) {
    Resize(width_, height);
}
bool TBitmap::Empty() const {
    return store_->empty();
}
int32_t TBitmap::Stride() const {
    return StrideOf(width_);
}
const TPixelStore& TBitmap::Store() const {
    return *store_;
}
TPixelStore& TBitmap::Store() {
    if (store_.use_count() > 1) store_ = std::make_shared<TPixelStore>(*store_);
    return *store_;
}
std::shared_ptr<const TPixelStore> TBitmap::SharedStore() const {
    return store_;
}
std::vector<uint8_t> TBitmap::Copy24() const {
    return {store_->begin(), store_->end()};
}

void CheckResolution(int32_t dotsPerInch) {
    if (dotsPerInch < 0 || dotsPerInch > MaxResolution)
        throw EInvalidGraphic("Resolution out of range");
}

void TBitmap::SetResolution(int32_t dotsPerInch) {
    CheckResolution(dotsPerInch);
    resolution_ = dotsPerInch;
}

bool TBitmap::Fits(int32_t width, int32_t height) {
    return width >= 0 && height >= 0 && width <= MaxSurfaceSide && height <= MaxSurfaceSide &&
           int64_t(width) * height <= MaxSurfacePixels;
}

void TBitmap::Resize(int32_t width, int32_t height) {
    if (width == width_ && height == height_) return;
    if (!Fits(width, height)) throw EOutOfResources(OutOfResources);
    auto store = std::make_shared<TPixelStore>();
    if (width != 0 && height != 0) {
        const int32_t stride = StrideOf(width);
        try {
            store->resize(size_t(stride) * height); // every byte is written below
        } catch (const std::bad_alloc&) {
            throw EOutOfResources(OutOfResources);
        }
        // White without a canvas, else the canvas's brush colour; padding is zero.
        const TColor fill = canvas_ ? ColorToRGB(canvas_->Brush().Color()) : clWhite;
        // One row painted, then copied with its padding onto the others.
        uint8_t* first = store->data();
        for (int32_t x = 0; x < width; ++x) {
            first[3 * size_t(x)] = BlueOf(fill);
            first[3 * size_t(x) + 1] = GreenOf(fill);
            first[3 * size_t(x) + 2] = RedOf(fill);
        }
        std::memset(first + 3 * size_t(width), 0, size_t(stride) - 3 * size_t(width));
        for (int32_t row = 1; row < height; ++row)
            std::memcpy(first + size_t(row) * stride, first, size_t(stride));
        // The old content goes to the top-left corner.
        if (!store_->empty()) {
            const int32_t oldStride = StrideOf(width_);
            const int32_t rows = std::min(height, height_), bytes = 3 * std::min(width, width_);
            for (int32_t y = 0; y < rows; ++y)
                std::memcpy(store->data() + size_t(height - 1 - y) * stride,
                            store_->data() + size_t(height_ - 1 - y) * oldStride, size_t(bytes));
        }
    }
    store_ = std::move(store);
    width_ = width;
    height_ = height;
}

TCanvas& TBitmap::Canvas() {
    if (!canvas_) canvas_ = std::make_unique<TBitmapCanvas>(*this);
    return *canvas_;
}

TColor TBitmap::Pixel(int32_t x, int32_t y) const {
    if (store_->empty() || x < 0 || y < 0 || x >= width_ || y >= height_) return -1;
    const uint8_t* p = store_->data() + size_t(height_ - 1 - y) * Stride() + 3 * size_t(x);
    return p[2] | (p[1] << 8) | (p[0] << 16);
}

// --- BMP --------------------------------------------------------------------------------

namespace {

void Put16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

} // namespace

void TBitmap::SaveToStream(TStream& stream) const {
    if (store_->empty()) return;
    constexpr uint32_t FileHeaderSize = 14, InfoHeaderSize = 40;
    const uint32_t imageSize = uint32_t(store_->size());
    uint8_t header[FileHeaderSize + InfoHeaderSize] = {};
    header[0] = 'B';
    header[1] = 'M';
    Put32(header + 2, FileHeaderSize + InfoHeaderSize + imageSize); // file size
    Put32(header + 10, FileHeaderSize + InfoHeaderSize);            // pixel-data offset
    Put32(header + 14, InfoHeaderSize);                             // information header size
    Put32(header + 18, uint32_t(width_));
    Put32(header + 22, uint32_t(height_)); // positive: bottom row first
    Put16(header + 26, 1);                 // planes
    Put16(header + 28, 24);                // bits per pixel
    Put32(header + 30, 0);                 // no compression, no masks
    Put32(header + 34, imageSize);
    const uint32_t perMetre = resolution_ ? uint32_t(PixelsPerMetre(resolution_)) : 0;
    Put32(header + 38, perMetre); // horizontal pixels per metre (0: not recorded)
    Put32(header + 42, perMetre); // vertical
    // Colours used and important colours stay 0: no colour table at 24 bits.
    stream.WriteBuffer(header, sizeof header);
    stream.WriteBuffer(store_->data(), store_->size());
}

void TBitmap::SaveToFile(const std::string& fileName) const {
    TFileStream file(fileName);
    SaveToStream(file);
}

// --- Drawing into the store -------------------------------------------------------------

raster::TSurface TBitmapContext::Surface() {
    auto& store = bitmap_.Store();
    if (store.empty()) return {};
    return {store.data(), bitmap_.Width(), bitmap_.Height(), bitmap_.Stride()};
}

void TBitmapContext::Polygon(std::span<const TPoint> points) {
    raster::Polygon(Surface(), {}, points, ColorToRGB(Pen.Color), Pen.Width, Brush.Solid,
                    ColorToRGB(Brush.Color));
}

void TBitmapContext::FillRect(const TRect& rect) {
    if (Brush.Solid) raster::FillRect(Surface(), {}, rect, ColorToRGB(Brush.Color));
}

void TBitmapContext::TextOut(int32_t x, int32_t y, const std::string& text) {
    if (Font)
        fonts::DrawText(Surface(), {}, *Font, x, y, text, ColorToRGB(TextColor), BkMode == OPAQUE,
                        ColorToRGB(BkColor));
}

void TBitmapContext::PlayPicture(const TRect& rect, const TMetafile& picture) {
    if (picture.Records())
        PlayRecords(Surface(), PictureMapping(rect, picture.Width(), picture.Height()),
                    *picture.Records());
}

} // namespace quillax
