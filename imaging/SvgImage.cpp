// The SVG writer. A document is built in memory from the picture's records in playing order,
// then written to the stream in one piece:
//   <svg width height viewBox shape-rendering="crispEdges">, the blank surface's white,
//   then per record its shape as <rect> or <path> and its text as <text>.
// Shapes come from the raster's own tracing (Raster.h), so the pixels are the playback's by
// construction; a crisp-edged renderer fills a pixel when its centre lies inside, and every
// edge written lies on a pixel boundary. The document holds no script, no link and no
// reference to anything outside it, and the same picture always gives the same bytes.
#include "imaging/SvgImage.h"

#include "imaging/DeviceContext.h"
#include "imaging/FontFiles.h"
#include "imaging/Fonts.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillax {

namespace {

constexpr char OutOfResources[] = "Out of system resources";
// The colour of a new surface, before anything is drawn on it.
constexpr TColor BlankSurface = clWhite;

// --- Document text ----------------------------------------------------------------------

class TSvgText {
public:
    TSvgText& operator<<(std::string_view s) {
        text_.append(s);
        return *this;
    }
    TSvgText& operator<<(int64_t v) {
        char buffer[24];
        const auto end = std::to_chars(buffer, buffer + sizeof buffer, v).ptr;
        text_.append(buffer, end);
        return *this;
    }
    // The shortest text that reads back as the same double (independent of the locale).
    TSvgText& Number(double v) {
        char buffer[32];
        const auto end = std::to_chars(buffer, buffer + sizeof buffer, v).ptr;
        text_.append(buffer, end);
        return *this;
    }
    // Tenths as a decimal: 905 as "90.5", -900 as "-90".
    TSvgText& Tenths(int64_t tenths) {
        if (tenths < 0) text_ += '-';
        const uint64_t magnitude = tenths < 0 ? 0 - uint64_t(tenths) : uint64_t(tenths);
        *this << int64_t(magnitude / 10);
        if (magnitude % 10) *this << "." << int64_t(magnitude % 10);
        return *this;
    }
    // A colour (system colours resolved as the raster resolves them) as #rrggbb.
    TSvgText& Color(TColor color) {
        static constexpr char Hex[] = "0123456789abcdef";
        const TColor rgb = ColorToRGB(color);
        text_ += '#';
        for (uint8_t v : {RedOf(rgb), GreenOf(rgb), BlueOf(rgb)}) {
            text_ += Hex[v >> 4];
            text_ += Hex[v & 15];
        }
        return *this;
    }
    // One character as UTF-8, escaped for text and attribute values alike.
    TSvgText& Character(uint32_t cp) {
        switch (cp) {
        case '<':
            return *this << "&lt;";
        case '>':
            return *this << "&gt;";
        case '&':
            return *this << "&amp;";
        case '"':
            return *this << "&quot;";
        case '\'':
            return *this << "&apos;";
        }
        if (cp < 0x80) {
            text_ += char(cp);
        } else if (cp < 0x800) {
            text_ += char(0xC0 | cp >> 6);
            text_ += char(0x80 | (cp & 0x3F));
        } else {
            text_ += char(0xE0 | cp >> 12);
            text_ += char(0x80 | (cp >> 6 & 0x3F));
            text_ += char(0x80 | (cp & 0x3F));
        }
        return *this;
    }
    size_t Size() const { return text_.size(); }
    const std::string& Text() const { return text_; }

private:
    std::string text_;
};

// A Windows-1252 code's character when it draws something: control codes (which XML 1.0
// cannot carry) have no glyph in the raster's text either, and are left out.
bool Printable(uint32_t cp) {
    return cp >= 0x20 && !(cp >= 0x7F && cp < 0xA0);
}

// 8-bit text as escaped UTF-8, its control codes left out.
void AppendText(TSvgText& out, std::string_view text) {
    for (unsigned char c : text)
        if (const uint32_t cp = fonts::CodePoint(c); Printable(cp)) out.Character(cp);
}

// A face name as a quoted CSS string.
void AppendFamily(TSvgText& out, std::string_view name) {
    out << "'";
    for (unsigned char c : name) {
        if (c == '\'' || c == '\\') out << "\\";
        if (const uint32_t cp = fonts::CodePoint(c); Printable(cp)) out.Character(cp);
    }
    out << "'";
}

// --- Shapes -----------------------------------------------------------------------------

struct TPixelBox {
    int64_t X0, Y0, X1, Y1; // inclusive
};

// One record's painted pixels, collected from the raster's tracing and written as one
// element per change of colour (a fill, then its outline in the pen's colour): a <rect> when
// the pixels form one box, else a <path> of whole-pixel boxes.
class TPaintedShape : public raster::TPaintSink {
public:
    void Paint(int64_t x0, int64_t y0, int64_t x1, int64_t y1, TColor rgb) override {
        if (layers_.empty() || layers_.back() != rgb) layers_.push_back(rgb);
        const int layer = int(layers_.size()) - 1;
        // An outline arrives pixel by pixel: a pixel that touches the row's last box joins it.
        if (!boxes_.empty()) {
            TLayerBox& last = boxes_.back();
            if (last.Layer == layer && y0 == y1 && last.Box.Y0 == y0 && last.Box.Y1 == y1 &&
                x0 <= last.Box.X1 + 1 && x1 >= last.Box.X0 - 1) {
                last.Box.X0 = std::min(last.Box.X0, x0);
                last.Box.X1 = std::max(last.Box.X1, x1);
                return;
            }
        }
        boxes_.push_back({{x0, y0, x1, y1}, layer});
    }

    void Write(TSvgText& out) const {
        if (boxes_.empty()) return;
        if (boxes_.size() == 1) {
            WriteElement(out, {boxes_[0].Box}, layers_[0]);
            return;
        }
        // Layers in painting order: where a later colour lies over an earlier, it shows.
        const std::vector<std::vector<TRowRun>> layers = LayerRuns();
        for (size_t layer = 0; layer < layers_.size(); ++layer)
            WriteElement(out, Boxes(layers[layer]), layers_[layer]);
    }

private:
    struct TLayerBox {
        TPixelBox Box;
        int Layer;
    };
    struct TRowRun {
        int64_t Y, X0, X1;
    };

    // Each layer's pixels as runs sorted by row and column, touching runs joined.
    std::vector<std::vector<TRowRun>> LayerRuns() const {
        std::vector<std::vector<TRowRun>> layers(layers_.size());
        for (const TLayerBox& b : boxes_)
            for (int64_t y = b.Box.Y0; y <= b.Box.Y1; ++y)
                layers[size_t(b.Layer)].push_back({y, b.Box.X0, b.Box.X1});
        for (auto& runs : layers) {
            std::sort(runs.begin(), runs.end(), [](const TRowRun& a, const TRowRun& b) {
                return a.Y < b.Y || (a.Y == b.Y && a.X0 < b.X0);
            });
            size_t kept = 0;
            for (const TRowRun& r : runs) {
                if (kept > 0 && runs[kept - 1].Y == r.Y && runs[kept - 1].X1 + 1 >= r.X0)
                    runs[kept - 1].X1 = std::max(runs[kept - 1].X1, r.X1);
                else
                    runs[kept++] = r;
            }
            runs.resize(kept);
        }
        return layers;
    }

    // Runs sorted by row and column as boxes: a run repeated in the next row extends its box.
    static std::vector<TPixelBox> Boxes(const std::vector<TRowRun>& runs) {
        std::vector<TPixelBox> done, open, next;
        size_t i = 0;
        while (i < runs.size()) {
            const int64_t y = runs[i].Y;
            next.clear();
            size_t o = 0;
            for (; i < runs.size() && runs[i].Y == y; ++i) {
                const TRowRun& r = runs[i];
                while (o < open.size() && open[o].X0 < r.X0)
                    done.push_back(open[o++]);
                if (o < open.size() && open[o].X0 == r.X0 && open[o].X1 == r.X1 &&
                    open[o].Y1 + 1 == y) {
                    next.push_back(open[o++]);
                    next.back().Y1 = y;
                } else {
                    next.push_back({r.X0, y, r.X1, y});
                }
            }
            done.insert(done.end(), open.begin() + o, open.end());
            open.swap(next);
        }
        done.insert(done.end(), open.begin(), open.end());
        std::sort(done.begin(), done.end(), [](const TPixelBox& a, const TPixelBox& b) {
            return a.Y0 < b.Y0 || (a.Y0 == b.Y0 && a.X0 < b.X0);
        });
        return done;
    }

    static void WriteElement(TSvgText& out, const std::vector<TPixelBox>& boxes, TColor rgb) {
        if (boxes.empty()) return;
        if (boxes.size() == 1) {
            const TPixelBox& b = boxes[0];
            out << "<rect x=\"" << b.X0 << "\" y=\"" << b.Y0 << "\" width=\"" << b.X1 - b.X0 + 1
                << "\" height=\"" << b.Y1 - b.Y0 + 1 << "\" fill=\"";
        } else {
            out << "<path d=\"";
            for (const TPixelBox& b : boxes)
                out << "M" << b.X0 << " " << b.Y0 << "h" << b.X1 - b.X0 + 1 << "v"
                    << b.Y1 - b.Y0 + 1 << "h" << b.X0 - b.X1 - 1 << "z";
            out << "\" fill=\"";
        }
        out.Color(rgb) << "\"/>\n";
    }

    std::vector<TLayerBox> boxes_;
    std::vector<TColor> layers_; // each layer's colour, in painting order
};

// --- Records ----------------------------------------------------------------------------

// Plays records into the document as PlayRecords plays them onto a surface.
class TSvgPlayer {
public:
    TSvgPlayer(TSvgText& out, int32_t width, int32_t height)
        : out_(out), width_(width), height_(height) {}

    void Play(const raster::TMapping& m, const TRecordList& records) {
        for (const TRecord& r : records) {
            switch (r.Kind) {
            case TRecord::TKind::Polygon: {
                TPaintedShape shape;
                raster::TracePolygon(width_, height_, m, r.Points, ColorToRGB(r.Pen.Color),
                                     r.Pen.Width, r.Brush.Solid, ColorToRGB(r.Brush.Color), shape);
                shape.Write(out_);
                break;
            }
            case TRecord::TKind::FillRect:
                if (r.Brush.Solid) {
                    TPaintedShape shape;
                    raster::TraceFillRect(width_, height_, m, r.Rect, ColorToRGB(r.Brush.Color),
                                          shape);
                    shape.Write(out_);
                }
                break;
            case TRecord::TKind::Text:
                if (r.Extra->Font) Text(m, r);
                break;
            case TRecord::TKind::Picture:
                if (const TRecordExtra& picture = *r.Extra; picture.Picture)
                    Play(m.After(
                             PictureMapping(r.Rect, picture.PictureWidth, picture.PictureHeight)),
                         *picture.Picture);
                break;
            }
            if (out_.Size() > TSVGImage::MaxSvgBytes) throw EOutOfResources(OutOfResources);
        }
    }

private:
    // The text cell's background when opaque, then the characters, each where the raster's
    // layout puts it: the baseline Ascent below the cell's top, turned about the cell's corner.
    void Text(const raster::TMapping& m, const TRecord& r) {
        const TFontObject& font = *r.Extra->Font;
        const fonts::TTextPlacement place =
            fonts::PlaceText(font, r.Points[0].X, r.Points[0].Y, r.Extra->Text);
        if (r.Opaque && place.Run.Width > 0) {
            raster::TPointF cell[4];
            for (size_t i = 0; i < 4; ++i)
                cell[i] = {m.X(place.Cell[i].X), m.Y(place.Cell[i].Y)};
            TPaintedShape background;
            raster::TraceArea(width_, height_, cell, ColorToRGB(r.BackColor), background);
            background.Write(out_);
        }
        const std::string& text = r.Extra->Text;
        TSvgText positions;
        for (size_t i = 0; i < text.size(); ++i) {
            if (!Printable(fonts::CodePoint(static_cast<unsigned char>(text[i])))) continue;
            if (positions.Size() != 0) positions << " ";
            positions << r.Points[0].X + int64_t(place.Run.Positions[i]);
        }
        if (positions.Size() == 0) return;

        const TLogFont& lf = font.LogFont();
        out_ << "<text x=\"" << positions.Text() << "\" y=\""
             << r.Points[0].Y + int64_t(place.Run.Ascent) << "\" font-family=\"";
        // The face the raster drew with, then the names asked for, in their order.
        const std::string family = fonts::FamilyName(font);
        AppendFamily(out_, family);
        for (const std::string& asked : FamiliesOf(lf.FaceName))
            if (asked != family) AppendFamily(out_ << ", ", asked);
        out_ << "\" font-size=\"" << int64_t(font.EmPixels()) << "\"";
        if (lf.Weight >= 600) out_ << " font-weight=\"bold\"";
        if (lf.Italic) out_ << " font-style=\"italic\"";
        out_ << " text-anchor=\"start\" fill=\"";
        out_.Color(r.TextColor) << "\"";
        const bool scaled = !m.Exact() || m.OffsetX != 0 || m.OffsetY != 0;
        if (scaled || lf.Escapement != 0) {
            out_ << " transform=\"";
            if (scaled) {
                out_ << "matrix(";
                out_.Number(m.ScaleX) << " 0 0 ";
                out_.Number(m.ScaleY) << " ";
                out_.Number(m.OffsetX) << " ";
                out_.Number(m.OffsetY) << ")";
            }
            if (lf.Escapement != 0) {
                out_ << (scaled ? " rotate(" : "rotate(");
                out_.Tenths(-int64_t(lf.Escapement))
                    << " " << int64_t(r.Points[0].X) << " " << int64_t(r.Points[0].Y) << ")";
            }
            out_ << "\"";
        }
        out_ << " xml:space=\"preserve\">";
        AppendText(out_, text);
        out_ << "</text>\n";
    }

    TSvgText& out_;
    int32_t width_;
    int32_t height_;
};

// A length in millimetres a millionth short of pixels * 25.4 / dpi, in whole nanometres:
// renderers find the pixel size in single precision and round it up, so the exact length
// could gain a row or a column. A millionth moves no pixel edge across a pixel centre on
// sides up to about 490,000 pixels.
void AppendMillimetres(TSvgText& out, int32_t pixels, int32_t dotsPerInch) {
    constexpr int64_t NanometresPerInch = 25'400'000;
    constexpr int64_t Short = NanometresPerInch / 1'000'000 + 1; // per pixel and inch
    const int64_t nanometres = int64_t(pixels) * (NanometresPerInch - Short) / dotsPerInch;
    out << nanometres / 1'000'000;
    if (int64_t fraction = nanometres % 1'000'000; fraction != 0) {
        char digits[7];
        for (int i = 5; i >= 0; --i, fraction /= 10)
            digits[i] = char('0' + fraction % 10);
        int length = 6;
        while (digits[length - 1] == '0')
            --length;
        out << "." << std::string_view(digits, size_t(length));
    }
    out << "mm";
}

} // namespace

void TSVGImage::Assign(const TMetafile& picture) {
    records_ = picture.Records();
    width_ = picture.Width();
    height_ = picture.Height();
}

void TSVGImage::SetResolution(int32_t dotsPerInch) {
    CheckResolution(dotsPerInch);
    resolution_ = dotsPerInch;
}

void TSVGImage::SaveToStream(TStream& stream) const {
    if (width_ <= 0 || height_ <= 0) return;
    if (!TBitmap::Fits(width_, height_)) throw EOutOfResources(OutOfResources);
    TSvgText out;
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"";
    if (resolution_ > 0) {
        AppendMillimetres(out, width_, resolution_);
        out << "\" height=\"";
        AppendMillimetres(out, height_, resolution_);
    } else {
        out << int64_t(width_) << "\" height=\"" << int64_t(height_);
    }
    out << "\" viewBox=\"0 0 " << int64_t(width_) << " " << int64_t(height_)
        << "\" shape-rendering=\"crispEdges\">\n"
        << "<rect width=\"" << int64_t(width_) << "\" height=\"" << int64_t(height_)
        << "\" fill=\"";
    out.Color(BlankSurface) << "\"/>\n";
    if (records_)
        TSvgPlayer(out, width_, height_)
            .Play(PictureMapping({0, 0, width_, height_}, width_, height_), *records_);
    out << "</svg>\n";
    stream.WriteBuffer(out.Text().data(), out.Size());
}

void TSVGImage::SaveToFile(const std::string& fileName) const {
    TFileStream file(fileName);
    SaveToStream(file);
}

} // namespace quillax
