// The raster surface and the vector picture: TBitmap with its TCanvas, TMetafile recorded
// through a TMetafileCanvas, the drawing objects TPen, TBrush and TFont, and the byte
// streams that the writers fill. This is the whole drawing vocabulary of the component;
// nothing above imaging/ talks to FreeType or to pixel stores directly.
#pragma once

#include "imaging/BlockCache.h"
#include "imaging/ByteBuffer.h"
#include "imaging/Color.h"
#include "imaging/Geometry.h"
#include "platform/SysUtils.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace quillax {

// --- Errors -----------------------------------------------------------------------------

// The graphics layer refused a store, a context or a drawing object: "Out of system resources".
class EOutOfResources : public Exception {
public:
    using Exception::Exception;
};
// "Bitmap image is not valid".
class EInvalidGraphic : public Exception {
public:
    using Exception::Exception;
};
// "Canvas does not allow drawing".
class EInvalidOperation : public Exception {
public:
    using Exception::Exception;
};

// A write fell short: "Stream write error".
class EWriteError : public Exception {
public:
    using Exception::Exception;
};
// A file could not be created: "Cannot create file "%s". %s".
class EFCreateError : public Exception {
public:
    using Exception::Exception;
};

// --- Byte streams -----------------------------------------------------------------------

// A sink for the writers; one writer serves the HTTP response (memory) and files alike.
class TStream {
public:
    virtual ~TStream() = default;
    // Writes up to count bytes at the current position; returns how many were written.
    virtual size_t Write(const void* data, size_t count) = 0;
    // Writes all count bytes or raises "Stream write error".
    void WriteBuffer(const void* data, size_t count);
};

// A growable stream in memory.
class TMemoryStream : public TStream {
public:
    size_t Write(const void* data, size_t count) override;
    size_t Read(void* data, size_t count);
    size_t Size() const { return bytes_.size(); }
    size_t Position() const { return position_; }
    void SetPosition(size_t position) { position_ = position; }
    const TByteBuffer& Bytes() const { return bytes_; }
    void Clear();

private:
    TByteBuffer bytes_;
    size_t position_ = 0;
};

// A file created (or truncated) for exclusive writing; raises
// "Cannot create file "%s". %s" when it cannot be created.
class TFileStream : public TStream {
public:
    explicit TFileStream(const std::string& fileName);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;
    size_t Write(const void* data, size_t count) override;

private:
    int fd_ = -1;
};

// --- Fonts and the raw drawing context -------------------------------------------------

// A full logical font description. Escapement and orientation are in tenths of a degree,
// counter-clockwise, 0 = left to right. A negative height is the character height without
// internal leading, in pixels.
struct TLogFont {
    int32_t Height = 0;
    int32_t Width = 0;
    int32_t Escapement = 0;
    int32_t Orientation = 0;
    int32_t Weight = 400;
    bool Italic = false;
    bool Underline = false;
    bool StrikeOut = false;
    uint8_t CharSet = 1; // default character set
    uint8_t PitchAndFamily = 0;
    std::string FaceName;
};

// A created font object; immutable and shareable.
class TFontObject;
using HFONT = std::shared_ptr<const TFontObject>;

// Makes a font object from a description (the face is resolved through fontconfig).
HFONT CreateFontIndirect(const TLogFont& description);

// An explicit colour unchanged; a system colour (top bit set) turned into its RGB value
// in the standard scheme.
TColor ColorToRGB(TColor color);

// a * b / c in 64 bits, rounded to the nearest integer with halves away from zero.
int32_t MulDiv(int32_t a, int32_t b, int32_t c);

// The drawing context behind a canvas.
class TDeviceContext;
using HDC = TDeviceContext*;

inline constexpr int TRANSPARENT = 1;
inline constexpr int OPAQUE = 2;

// Selects a font into the context and returns the one it replaces.
HFONT SelectObject(HDC dc, HFONT font);
// Sets the text background mode (TRANSPARENT or OPAQUE) and returns the previous one.
int SetBkMode(HDC dc, int mode);

// The selected font's text cell in pixels: the parts above and below the baseline.
struct TTextMetric {
    int32_t Ascent = 0;
    int32_t Descent = 0;
};
// The metrics of the font selected into the context (zero without one).
TTextMetric GetTextMetrics(HDC dc);

// --- Drawing objects --------------------------------------------------------------------

class TCanvas;

enum class TFontStyle : uint8_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
enum class TBrushStyle : uint8_t { bsSolid, bsClear };

class TFont {
public:
    const std::string& Name() const { return name_; }
    void SetName(const std::string& name); // "Default" stands for "MS Sans Serif"
    int32_t Size() const;                  // points, from Height at 96 pixels per inch
    void SetSize(int32_t points);          // Height := -MulDiv(points, 96, 72)
    int32_t Height() const { return height_; }
    void SetHeight(int32_t pixels);
    TColor Color() const { return color_; }
    void SetColor(TColor color);
    uint8_t Style() const { return style_; } // TFontStyle bits
    void SetStyle(uint8_t style);
    // The description this font gives (escapement and orientation 0).
    TLogFont GetLogFont() const;

private:
    friend class TCanvas;
    void Changed();
    TCanvas* owner_ = nullptr;
    std::string name_ = "MS Sans Serif";
    int32_t height_ = -11;
    TColor color_ = clWindowText;
    uint8_t style_ = 0;
};

class TPen {
public:
    TColor Color() const { return color_; }
    void SetColor(TColor color);
    int32_t Width() const { return width_; }
    void SetWidth(int32_t width); // a negative width is ignored

private:
    friend class TCanvas;
    void Changed();
    TCanvas* owner_ = nullptr;
    TColor color_ = clBlack;
    int32_t width_ = 1;
};

class TBrush {
public:
    TColor Color() const { return color_; }
    void SetColor(TColor color); // a clear brush becomes solid
    TBrushStyle Style() const { return style_; }
    void SetStyle(TBrushStyle style);

private:
    friend class TCanvas;
    void Changed();
    TCanvas* owner_ = nullptr;
    TColor color_ = clWhite;
    TBrushStyle style_ = TBrushStyle::bsSolid;
};

class TMetafile;

// The drawing state and the operations on a surface (a bitmap or a recording).
class TCanvas {
public:
    virtual ~TCanvas();
    TCanvas(const TCanvas&) = delete;
    TCanvas& operator=(const TCanvas&) = delete;

    TFont& Font() { return font_; }
    TPen& Pen() { return pen_; }
    TBrush& Brush() { return brush_; }

    // Filled with the brush (alternate rule), outlined with the pen; corners inclusive.
    void Polygon(std::span<const TPoint> points);
    // Left and top included, right and bottom excluded; no outline.
    void FillRect(const TRect& rect);
    // The text cell's top-left corner at (x, y) in the selected font's own rotated frame.
    void TextOut(int32_t x, int32_t y, const std::string& text);
    // Horizontal extent of the text in the canvas's font, unrotated.
    int32_t TextWidth(const std::string& text);
    // The raw context, after handle, font, pen and brush have been made valid.
    HDC Handle();
    // (0, 0, width, height) of a bitmap canvas.
    TRect ClipRect() const;
    // Plays the picture into rect: its frame onto (Left, Top)-(Right - 1, Bottom - 1).
    void StretchDraw(const TRect& rect, const TMetafile& picture);
    TPoint PenPos() const;

protected:
    TCanvas();
    // Makes the drawing context that this canvas draws through.
    virtual std::unique_ptr<TDeviceContext> CreateHandle() = 0;
    // The rectangle ClipRect reports.
    virtual TRect Bounds() const = 0;

private:
    friend class TFont;
    friend class TPen;
    friend class TBrush;
    enum : uint8_t { csHandleValid = 1, csFontValid = 2, csPenValid = 4, csBrushValid = 8 };
    // Makes the named objects valid, in the order handle, font, pen, brush.
    void RequiredState(uint8_t required);
    void FontChanged();
    void PenChanged();
    void BrushChanged();

    TFont font_;
    TPen pen_;
    TBrush brush_;
    std::unique_ptr<TDeviceContext> dc_;
    uint8_t state_ = 0;
    TPoint penPos_;
};

// --- Raster surface ---------------------------------------------------------------------

// A bitmap's pixel bytes.
using TPixelStore = TByteBuffer;

// The most dots per inch an image file records (a JFIF density is 16 bits).
inline constexpr int32_t MaxResolution = 65535;
// Dots per inch as pixels per metre (dpi / 0.0254), rounded to nearest as readers expect.
inline constexpr int32_t PixelsPerMetre(int32_t dotsPerInch) {
    return int32_t((int64_t(dotsPerInch) * 10000 + 127) / 254);
}
// Raises EInvalidGraphic unless 0 <= dotsPerInch <= MaxResolution.
void CheckResolution(int32_t dotsPerInch);

class TBitmap {
public:
    TBitmap();
    ~TBitmap();
    TBitmap(const TBitmap&) = delete;
    TBitmap& operator=(const TBitmap&) = delete;

    int32_t Width() const;
    int32_t Height() const;
    // Once both are non-zero a store exists: white, old content copied to the top-left.
    // More than 16 million pixels, or a side over 1,048,576, raises EOutOfResources.
    void SetWidth(int32_t width);
    void SetHeight(int32_t height);
    // Whether a surface of this size is within those bounds.
    static bool Fits(int32_t width, int32_t height);
    TCanvas& Canvas();
    bool Empty() const; // no store
    // The pixel at (x, y) as 0x00BBGGRR.
    TColor Pixel(int32_t x, int32_t y) const;
    // Blue, green, red; rows padded to 4 bytes; bottom row first.
    std::vector<uint8_t> Copy24() const;
    // Dots per inch the image files record: 0, the default, records none and leaves every
    // byte as it is without one. The PNG and JPEG writers take it from the surface.
    int32_t Resolution() const { return resolution_; }
    void SetResolution(int32_t dotsPerInch);
    // The BMP file.
    void SaveToStream(TStream& stream) const;
    void SaveToFile(const std::string& fileName) const;

    // Blue, green, red store of Width x Height, rows padded to 4 bytes, bottom row first;
    // empty without a store. Stride() is the row length in bytes.
    const TPixelStore& Store() const;
    // The store to change: one that a writer still holds is copied first.
    TPixelStore& Store();
    int32_t Stride() const;
    // The store as it is now, for a writer that encodes it later; the bitmap's own later
    // changes go to a copy.
    std::shared_ptr<const TPixelStore> SharedStore() const;

private:
    class TBitmapCanvas;
    void Resize(int32_t width, int32_t height);
    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t resolution_ = 0;
    std::shared_ptr<TPixelStore> store_;
    std::unique_ptr<TBitmapCanvas> canvas_;
};

// --- Vector picture ---------------------------------------------------------------------

struct TRecord;
using TRecordList = std::vector<TRecord, TBlockAllocator<TRecord>>;

class TMetafile {
public:
    TMetafile();
    ~TMetafile();
    TMetafile(const TMetafile&) = delete;
    TMetafile& operator=(const TMetafile&) = delete;
    int32_t Width() const;
    int32_t Height() const;
    void SetWidth(int32_t width);
    void SetHeight(int32_t height);
    // The physical frame in hundredths of a millimetre (0 until a recording starts).
    int32_t MMWidth() const { return mmWidth_; }
    int32_t MMHeight() const { return mmHeight_; }
    // The recorded commands (none until a recording canvas has been destroyed).
    const std::shared_ptr<const TRecordList>& Records() const { return records_; }

private:
    friend class TMetafileCanvas;
    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t mmWidth_ = 0;
    int32_t mmHeight_ = 0;
    std::shared_ptr<const TRecordList> records_;
};

// A canvas whose drawing is recorded into its picture; recording ends when it is destroyed.
class TMetafileCanvas : public TCanvas {
public:
    explicit TMetafileCanvas(TMetafile& picture, HDC reference = nullptr);
    ~TMetafileCanvas() override;

    // Room for this many records without moving the ones recorded (a drawing that knows how
    // many commands it makes).
    void Reserve(size_t records);

protected:
    std::unique_ptr<TDeviceContext> CreateHandle() override;
    // (0, 0, picture width, picture height).
    TRect Bounds() const override;

private:
    TMetafile& picture_;
    std::shared_ptr<TRecordList> recording_;
};

} // namespace quillax
