// The engine's recorded picture written by the SVG writer: painted into a recording canvas
// instead of a bitmap, the barcode rasterises (rsvg-convert) to the PNG of the bitmap.
#include "engine/BarcodeEngine.h"
#include "imaging/Graphics.h"
#include "imaging/PngImage.h"
#include "imaging/SvgImage.h"
#include "tests/support/ImageFiles.h"
#include "tests/support/Surfaces.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillax {
namespace {

struct TBarcodeRow {
    TBarcodeType Typ;
    const char* Text;
    int32_t Modul;
    double Angle;
    bool ShowText;
};

void Configure(TBarcodeEngine& engine, const TBarcodeRow& row) {
    engine.Typ = row.Typ;
    engine.Text = row.Text;
    engine.Modul = row.Modul;
    engine.Angle = row.Angle;
    engine.Height = 40;
    engine.Color = 0xF0F8FF;
    engine.ColorBar = 0x402000;
}

// The barcode on a surface of its measured width by its height, turned, as the object sizes it.
TRect FrameOf(const TBarcodeRow& row) {
    TBarcodeEngine engine;
    Configure(engine, row);
    const TPictureSize size =
        TBarcodeEngine::TurnedPictureSize(engine.GetWidth(), engine.Height, engine.Angle);
    return {0, 0, int32_t(size.Width), int32_t(size.Height)};
}

std::vector<uint8_t> PngOf(const TBarcodeRow& row) {
    const TRect frame = FrameOf(row);
    TBitmap bitmap;
    test::Size(bitmap, frame.Right, frame.Bottom);
    TBarcodeEngine engine;
    Configure(engine, row);
    engine.PaintBarcode(bitmap.Canvas(), bitmap.Canvas().ClipRect(), row.ShowText);
    return test::Encode<TPNGObject>(bitmap);
}

std::vector<uint8_t> SvgOf(const TBarcodeRow& row) {
    const TRect frame = FrameOf(row);
    TMetafile picture;
    picture.SetWidth(frame.Right);
    picture.SetHeight(frame.Bottom);
    {
        TMetafileCanvas canvas(picture);
        TBarcodeEngine engine;
        Configure(engine, row);
        engine.PaintBarcode(canvas, canvas.ClipRect(), row.ShowText);
    }
    TSVGImage svg;
    svg.Assign(picture);
    TMemoryStream stream;
    svg.SaveToStream(stream);
    return {stream.Bytes().begin(), stream.Bytes().end()};
}

TEST(SvgPicture, RecordedBarcodeRasterisesToThePngOfTheBitmap) {
    const TBarcodeRow rows[] = {
        {bcCodeEAN13, "5901234123457", 1, 0, false},  {bcCode128B, "Code 128 b~", 2, 0, false},
        {bcCode39, "CODE-39", 1, 180, false},         {bcCodePostNet, "12345", 2, 0, false},
        {bcCodeUPC_A, "036000291452", 3, 180, false}, {bcCode39, "CODE-39", 2, 90, false},
        {bcCodeEAN13, "5901234123457", 2, 30, false},
    };
    for (const TBarcodeRow& row : rows) {
        SCOPED_TRACE(testing::Message() << SymbologyTable[row.Typ].Name << " at " << row.Angle);
        const test::TRgbImage png = test::DecodePng(PngOf(row));
        const test::TRgbImage svg = test::RasteriseSvg(SvgOf(row));
        ASSERT_EQ(svg.Width, png.Width);
        ASSERT_EQ(svg.Height, png.Height);
        EXPECT_EQ(svg.Rgb, png.Rgb);
    }
}

TEST(SvgPicture, TheLabelIsText) {
    const std::vector<uint8_t> bytes = SvgOf({bcCode39, "CODE-39", 1, 0, true});
    const std::string svg(bytes.begin(), bytes.end());
    EXPECT_NE(svg.find(">CODE-39</text>"), std::string::npos) << svg;
}

} // namespace
} // namespace quillax
