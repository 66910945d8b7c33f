// The SVG writer: rasterised by rsvg-convert, a picture without text gives the PNG writer's
// pixels of the same picture; the document is well-formed, escaped, self-contained and
// deterministic; its physical size follows the resolution.
#include "imaging/Graphics.h"
#include "imaging/PngImage.h"
#include "imaging/SvgImage.h"
#include "tests/support/ImageFiles.h"
#include "tests/support/Surfaces.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <map>
#include <numbers>
#include <stdexcept>
#include <string>
#include <vector>

using namespace quillax;

namespace {

using TBytes = std::vector<uint8_t>;
using TDrawing = std::function<void(TCanvas&)>;

// --- A small XML reader: enough to prove the document well-formed and to look inside ----

struct TElement {
    std::string Name;
    std::map<std::string, std::string> Attributes;
    std::string Text; // character data directly inside, entities resolved
    std::vector<TElement> Children;
};

class TXmlReader {
public:
    explicit TXmlReader(std::string_view xml) : s_(xml) {}

    // The root element; raises std::runtime_error at the first thing that is not well-formed.
    TElement Document() {
        if (s_.starts_with("<?xml")) Skip(s_.find("?>") + 2);
        Blanks();
        TElement root = Element();
        Blanks();
        if (at_ != s_.size()) Fail("content after the root");
        return root;
    }

private:
    [[noreturn]] void Fail(const std::string& what) {
        throw std::runtime_error(what + " at offset " + std::to_string(at_));
    }
    void Skip(size_t to) {
        if (to > s_.size() || to < at_) Fail("unterminated declaration");
        at_ = to;
    }
    void Blanks() {
        while (at_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[at_])))
            ++at_;
    }
    void Expect(char c) {
        if (at_ >= s_.size() || s_[at_] != c) Fail(std::string("expected '") + c + "'");
        ++at_;
    }
    std::string Name() {
        const size_t from = at_;
        while (at_ < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[at_])) ||
                                   std::string_view(":-_.").find(s_[at_]) != std::string::npos))
            ++at_;
        if (at_ == from) Fail("expected a name");
        return std::string(s_.substr(from, at_ - from));
    }
    // Character data up to the stop character, with the five entities resolved.
    std::string Data(char stop) {
        std::string out;
        while (at_ < s_.size() && s_[at_] != stop) {
            const char c = s_[at_];
            if (c == '<') Fail("'<' in character data");
            if (static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\t' && c != '\r')
                Fail("control character");
            if (c != '&') {
                out += c, ++at_;
                continue;
            }
            static const std::pair<std::string_view, char> entities[] = {
                {"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&quot;", '"'}, {"&apos;", '\''}};
            bool known = false;
            for (const auto& [entity, value] : entities)
                if (s_.substr(at_).starts_with(entity)) {
                    out += value, at_ += entity.size(), known = true;
                    break;
                }
            if (!known) Fail("unknown entity");
        }
        return out;
    }
    TElement Element() {
        Expect('<');
        TElement e{Name(), {}, {}, {}};
        for (Blanks(); at_ < s_.size() && s_[at_] != '>' && s_[at_] != '/'; Blanks()) {
            const std::string name = Name();
            Expect('=');
            Expect('"');
            if (!e.Attributes.emplace(name, Data('"')).second) Fail("repeated attribute");
            Expect('"');
        }
        if (at_ < s_.size() && s_[at_] == '/') {
            ++at_, Expect('>');
            return e;
        }
        Expect('>');
        for (;;) {
            e.Text += Data('<');
            if (s_.substr(at_).starts_with("</")) break;
            e.Children.push_back(Element());
        }
        at_ += 2;
        if (Name() != e.Name) Fail("mismatched end tag");
        Blanks();
        Expect('>');
        return e;
    }

    std::string_view s_;
    size_t at_ = 0;
};

// --- Pictures and their two images ------------------------------------------------------

struct TPicture {
    TMetafile Picture;
    TPicture(int32_t width, int32_t height, const TDrawing& draw) {
        Picture.SetWidth(width);
        Picture.SetHeight(height);
        TMetafileCanvas canvas(Picture);
        draw(canvas);
    }
};

TBytes SvgOf(const TMetafile& picture, int32_t dotsPerInch = 0) {
    TSVGImage svg;
    svg.Assign(picture);
    svg.SetResolution(dotsPerInch);
    TMemoryStream stream;
    svg.SaveToStream(stream);
    return {stream.Bytes().begin(), stream.Bytes().end()};
}

// The picture played onto a surface of its frame's size, through the PNG writer.
test::TRgbImage PngOf(const TMetafile& picture) {
    TBitmap bitmap;
    test::Size(bitmap, picture.Width(), picture.Height());
    bitmap.Canvas().StretchDraw({0, 0, picture.Width(), picture.Height()}, picture);
    return test::DecodePng(test::Encode<TPNGObject>(bitmap));
}

// Where two images first differ, and how many pixels do.
std::string Difference(const test::TRgbImage& expected, const test::TRgbImage& actual) {
    if (expected.Width != actual.Width || expected.Height != actual.Height)
        return "size " + std::to_string(actual.Width) + "x" + std::to_string(actual.Height) +
               ", expected " + std::to_string(expected.Width) + "x" +
               std::to_string(expected.Height);
    int count = 0, firstX = -1, firstY = -1;
    for (int y = 0; y < expected.Height; ++y)
        for (int x = 0; x < expected.Width; ++x)
            if (expected.Pixel(x, y) != actual.Pixel(x, y) && count++ == 0) firstX = x, firstY = y;
    if (count == 0) return "";
    return std::to_string(count) + " pixels differ, first at (" + std::to_string(firstX) + ", " +
           std::to_string(firstY) + ")";
}

void Box(TCanvas& canvas, TColor color, TPoint a, TPoint b) {
    canvas.Pen().SetColor(color);
    canvas.Brush().SetColor(color);
    const std::array<TPoint, 4> corners{a, TPoint{a.X, b.Y}, b, TPoint{b.X, a.Y}};
    canvas.Polygon(corners);
}

// Bars of one to three units and their spaces, as the engine draws them, turned by degrees
// about (cx, cy) with each corner rounded to whole units.
TDrawing TurnedBars(double degrees, int32_t cx, int32_t cy) {
    return [=](TCanvas& canvas) {
        const double a = degrees * std::numbers::pi / 180;
        auto turn = [&](int32_t x, int32_t y) {
            const double dx = x - 20, dy = y - 12;
            return TPoint{int32_t(std::lround(cx + dx * std::cos(a) + dy * std::sin(a))),
                          int32_t(std::lround(cy - dx * std::sin(a) + dy * std::cos(a)))};
        };
        int32_t x = 0;
        for (int i = 0; i < 14; ++i) {
            const int32_t w = 1 + i % 3;
            const TColor color = i % 2 ? clWhite : 0x203040;
            canvas.Pen().SetColor(color);
            canvas.Brush().SetColor(color);
            const std::array<TPoint, 4> corners{turn(x, 0), turn(x, 24), turn(x + w - 1, 24),
                                                turn(x + w - 1, 0)};
            canvas.Polygon(corners);
            x += w;
        }
    };
}

struct TPictureRow {
    const char* Name;
    int32_t Width, Height;
    TDrawing Draw;
};

const std::vector<TPictureRow>& PictureRows() {
    static const std::vector<TPictureRow> rows = {
        {"upright bars, label box, system colour", 40, 30,
         [](TCanvas& c) {
             Box(c, clBlack, {0, 0}, {1, 20});
             Box(c, clWhite, {2, 0}, {2, 20});
             Box(c, 0x0000C0, {3, 20}, {6, 0}); // corners the other way round
             Box(c, static_cast<TColor>(0x8000000F), {8, 2}, {12, 25}); // button face grey
             c.Brush().SetColor(0x00FF00);
             c.FillRect({5, 22, 30, 30});
             c.FillRect({33, 5, 33, 9}); // empty: nothing
             c.FillRect({38, 9, 35, 4}); // reversed: normalised
         }},
        {"shapes beyond the frame are clipped", 20, 10,
         [](TCanvas& c) {
             Box(c, clBlack, {-5, -3}, {4, 6});
             Box(c, clRed, {15, 8}, {40, 30});
             c.Brush().SetColor(clBlue);
             c.FillRect({-10, 4, 100, 6});
         }},
        {"turned 90 degrees", 34, 46, TurnedBars(90, 16, 22)},
        {"turned 180 degrees", 46, 34, TurnedBars(180, 22, 16)},
        {"turned 270 degrees", 34, 46, TurnedBars(270, 16, 22)},
        {"turned 17 degrees", 56, 50, TurnedBars(17, 27, 24)},
        {"turned 45 degrees", 56, 56, TurnedBars(45, 27, 27)},
        {"turned 123.5 degrees", 56, 56, TurnedBars(123.5, 27, 27)},
        {"turned 333 degrees", 56, 50, TurnedBars(333, 27, 24)},
        {"wide pen over another brush, clear brush, not convex, a line", 40, 40,
         [](TCanvas& c) {
             c.Pen().SetColor(clRed);
             c.Pen().SetWidth(3);
             c.Brush().SetColor(clBlue);
             const TPoint triangle[] = {{4, 4}, {30, 9}, {12, 28}};
             c.Polygon(triangle);
             c.Pen().SetWidth(1);
             c.Brush().SetStyle(TBrushStyle::bsClear);
             const TPoint frame[] = {{2, 30}, {20, 30}, {20, 38}, {2, 38}};
             c.Polygon(frame);
             c.Brush().SetColor(0x00A000);
             const TPoint notch[] = {{22, 22}, {38, 22}, {38, 38}, {30, 30}, {22, 38}};
             c.Polygon(notch);
             c.Pen().SetColor(clBlack);
             const TPoint line[] = {{0, 39}, {39, 0}};
             c.Polygon(line);
         }},
        {"a picture played into a picture at its own size", 30, 24,
         [](TCanvas& c) {
             static const TPicture inner(10, 12, TurnedBars(30, 5, 6));
             Box(c, clBlack, {0, 0}, {29, 2});
             c.StretchDraw({7, 5, 17, 17}, inner.Picture);
         }},
    };
    return rows;
}

} // namespace

TEST(SvgWriter, RasterisedItIsThePngOfTheSamePicture) {
    for (const TPictureRow& row : PictureRows()) {
        SCOPED_TRACE(row.Name);
        const TPicture picture(row.Width, row.Height, row.Draw);
        EXPECT_EQ(Difference(PngOf(picture.Picture), test::RasteriseSvg(SvgOf(picture.Picture))),
                  "");
    }
}

TEST(SvgWriter, WellFormedEscapedSelfContainedAndDeterministic) {
    const std::string label = "<a&b \"c\" 'd'>\x01\x80";
    const TPicture picture(120, 40, [&](TCanvas& c) {
        Box(c, clBlack, {0, 0}, {3, 10});
        c.Brush().SetColor(0x00FFFF); // an opaque yellow cell behind the text
        c.Font().SetName("Arial");
        c.Font().SetSize(9);
        c.Font().SetStyle(uint8_t(TFontStyle::fsBold));
        c.TextOut(4, 20, label);
    });
    const TBytes bytes = SvgOf(picture.Picture);
    const std::string xml(bytes.begin(), bytes.end());
    EXPECT_EQ(SvgOf(picture.Picture), bytes) << "written twice";
    for (const char* banned : {"<script", "href", "url(", "<image", "<foreignObject", "@import"})
        EXPECT_EQ(xml.find(banned), std::string::npos) << banned;

    const TElement svg = TXmlReader(xml).Document();
    EXPECT_EQ(svg.Name, "svg");
    EXPECT_EQ(svg.Attributes.at("width"), "120");
    EXPECT_EQ(svg.Attributes.at("height"), "40");
    EXPECT_EQ(svg.Attributes.at("viewBox"), "0 0 120 40");
    EXPECT_EQ(svg.Attributes.at("shape-rendering"), "crispEdges");
    ASSERT_EQ(svg.Children.size(), 4u); // the white surface, the bar, the cell, the text
    EXPECT_EQ(svg.Children[0].Attributes.at("fill"), "#ffffff");
    EXPECT_EQ(svg.Children[1].Attributes.at("fill"), "#000000");
    EXPECT_EQ(svg.Children[2].Attributes.at("fill"), "#ffff00");
    const TElement& text = svg.Children[3];
    ASSERT_EQ(text.Name, "text");
    // The control code is left out; 0x80 is the euro sign in Windows-1252.
    EXPECT_EQ(text.Text, "<a&b \"c\" 'd'>\u20AC");
    int positions = 1;
    for (char c : text.Attributes.at("x"))
        positions += c == ' ';
    EXPECT_EQ(positions, 14) << text.Attributes.at("x");
    EXPECT_EQ(text.Attributes.at("x").substr(0, 2), "4 ");
    EXPECT_EQ(text.Attributes.at("font-family"), "'Liberation Sans', 'Arial'");
    EXPECT_EQ(text.Attributes.at("font-size"), "12"); // 9 points at 96 pixels per inch
    EXPECT_EQ(text.Attributes.at("font-weight"), "bold");
    EXPECT_EQ(text.Attributes.at("text-anchor"), "start");
    EXPECT_EQ(text.Attributes.count("transform"), 0u);
}

// Text is not compared pixel for pixel (each renderer has its own glyph rasteriser), but its
// ink lands where the raster's does: same face, size, baseline and turn.
TEST(SvgWriter, TextInkLiesWhereTheRastersDoes) {
    struct Row {
        const char* Name;
        int32_t Escapement; // tenths of a degree
        TPoint At;
    } rows[] = {{"level", 0, {10, 8}}, {"turned 90", 900, {12, 90}}, {"turned 30", 300, {10, 60}}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        const TPicture picture(120, 100, [&](TCanvas& c) {
            c.Font().SetName("Arial");
            c.Font().SetSize(14);
            TLogFont lf = c.Font().GetLogFont();
            lf.Escapement = lf.Orientation = row.Escapement;
            SelectObject(c.Handle(), CreateFontIndirect(lf));
            SetBkMode(c.Handle(), TRANSPARENT);
            c.TextOut(row.At.X, row.At.Y, "H1 x");
        });
        auto ink = [](const test::TRgbImage& image) {
            TRect box{image.Width, image.Height, -1, -1};
            for (int y = 0; y < image.Height; ++y)
                for (int x = 0; x < image.Width; ++x)
                    if (image.Luminance(x, y) < 128)
                        box = {std::min(box.Left, x), std::min(box.Top, y), std::max(box.Right, x),
                               std::max(box.Bottom, y)};
            return box;
        };
        const TRect expected = ink(PngOf(picture.Picture));
        const TRect actual = ink(test::RasteriseSvg(SvgOf(picture.Picture)));
        ASSERT_GT(expected.Right, expected.Left);
        EXPECT_NEAR(actual.Left, expected.Left, 1);
        EXPECT_NEAR(actual.Top, expected.Top, 1);
        EXPECT_NEAR(actual.Right, expected.Right, 1);
        EXPECT_NEAR(actual.Bottom, expected.Bottom, 1);
    }
}

TEST(SvgWriter, ResolutionGivesMillimetresThatRenderAtThePixelSize) {
    struct Row {
        int32_t Dpi;
        // A millionth short of 95 and 41 pixels.
        const char* Width;
        const char* Height;
    } rows[] = {{72, "33.513854mm", "14.463874mm"}, {96, "25.13539mm", "10.847905mm"},
                {203, "11.886687mm", "5.130044mm"}, {300, "8.043325mm", "3.471329mm"},
                {600, "4.021662mm", "1.735664mm"},  {254, "9.49999mm", "4.099995mm"}};
    const TPicture picture(95, 41, TurnedBars(0, 30, 14));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Dpi);
        const TBytes bytes = SvgOf(picture.Picture, row.Dpi);
        const TElement svg = TXmlReader(std::string(bytes.begin(), bytes.end())).Document();
        EXPECT_EQ(svg.Attributes.at("width"), row.Width);
        EXPECT_EQ(svg.Attributes.at("height"), row.Height);
        EXPECT_EQ(svg.Attributes.at("viewBox"), "0 0 95 41");
        EXPECT_EQ(Difference(PngOf(picture.Picture), test::RasteriseSvg(bytes, row.Dpi)), "");
    }
}

TEST(SvgWriter, EmptyFramesGiveNothingAndOversizedOnesAreRefused) {
    for (auto [width, height] : {std::pair{0, 0}, std::pair{5, 0}, std::pair{0, 5}}) {
        SCOPED_TRACE(testing::Message() << width << "x" << height);
        EXPECT_TRUE(SvgOf(TPicture(width, height, [](TCanvas&) {}).Picture).empty());
    }
    const TPicture huge(4001, 4000, [](TCanvas& c) { Box(c, clBlack, {0, 0}, {1, 1}); });
    EXPECT_THROW(SvgOf(huge.Picture), EOutOfResources);
    EXPECT_FALSE(SvgOf(TPicture(4000, 4000, [](TCanvas&) {}).Picture).empty());
    TSVGImage svg;
    EXPECT_THROW(svg.SetResolution(-1), EInvalidGraphic);
    EXPECT_THROW(svg.SetResolution(MaxResolution + 1), EInvalidGraphic);
}
