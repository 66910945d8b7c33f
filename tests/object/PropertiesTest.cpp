// The object's properties: values before and after a page start, what each setter stores,
// the two views of the image format, and null output parameters.
#include "ObjectTestSupport.h"

#include <algorithm>
#include <functional>
#include <vector>

namespace quillax::test {
namespace {

using NumberGetter = std::function<HRESULT(TQuillax&, LONG*)>;
using NumberSetter = std::function<HRESULT(TQuillax&, LONG)>;

struct NumberProperty {
    const char* Name;
    NumberGetter Get;
    NumberSetter Set;
    LONG BeforePageStart;
    LONG AfterPageStart;
};

// Every numeric view, read as a script reads it.
std::vector<NumberProperty> NumberProperties() {
    auto boolGetter = [](HRESULT (TQuillax::*get)(VARIANT_BOOL*)) {
        return [get](TQuillax& q, LONG* v) {
            VARIANT_BOOL b = 0x55;
            HRESULT hr = (q.*get)(&b);
            *v = b;
            return hr;
        };
    };
    auto boolSetter = [](HRESULT (TQuillax::*put)(VARIANT_BOOL)) {
        return [put](TQuillax& q, LONG v) { return (q.*put)(static_cast<VARIANT_BOOL>(v)); };
    };
    return {
        {"ImageType", &TQuillax::get_ImageType, &TQuillax::put_ImageType, 0, 2},
        {"BarcodeType", &TQuillax::get_BarcodeType, &TQuillax::put_BarcodeType, 0, 14},
        {"Orientation", [](TQuillax& q, LONG* v) { return q.get_Orientation(v); },
         [](TQuillax& q, LONG v) { return q.put_Orientation(v); }, 0, 0},
        {"Checksum", boolGetter(&TQuillax::get_Checksum), boolSetter(&TQuillax::put_Checksum), 0,
         0},
        {"NarrowBarWidth", &TQuillax::get_NarrowBarWidth, &TQuillax::put_NarrowBarWidth, 0, 1},
        {"ShowText", boolGetter(&TQuillax::get_ShowText), boolSetter(&TQuillax::put_ShowText), 0,
         0},
        {"Height", &TQuillax::get_Height, &TQuillax::put_Height, 0, 50},
        {"Ratio", &TQuillax::get_Ratio, &TQuillax::put_Ratio, 0, 1},
        {"BGColor", &TQuillax::get_BGColor, &TQuillax::put_BGColor, 0, 16777215},
        {"BarColor", &TQuillax::get_BarColor, &TQuillax::put_BarColor, 0, 0},
        {"ChecksumMethod", &TQuillax::get_ChecksumMethod, &TQuillax::put_ChecksumMethod, 0, 1},
        {"Layout", &TQuillax::get_Layout, &TQuillax::put_Layout, 0, 0},
        {"QuietZone", &TQuillax::get_QuietZone, &TQuillax::put_QuietZone, -1, -1},
        {"Resolution", &TQuillax::get_Resolution, &TQuillax::put_Resolution, 0, 0},
    };
}

LONG Read(TQuillax& object, const NumberProperty& property) {
    LONG value = 0x5A5A5A5A;
    EXPECT_HR(S_OK, property.Get(object, &value));
    return value;
}

std::string ReadString(TQuillax& object, HRESULT (TQuillax::*get)(BSTR*)) {
    BSTR value = nullptr;
    EXPECT_HR(S_OK, (object.*get)(&value));
    TOwnedBstr owned(value);
    return AsciiOf(value);
}

TEST(QuillaxProperties, StartZeroedAndTakeTheirDefaultsAtPageStart) {
    TQuillax object;
    for (const auto& property : NumberProperties()) {
        SCOPED_TRACE(property.Name);
        EXPECT_EQ(property.BeforePageStart, Read(object, property));
    }
    EXPECT_EQ("", ReadString(object, &TQuillax::get_ImageTypeStr));
    EXPECT_EQ("", ReadString(object, &TQuillax::get_Data));

    ASSERT_HR(S_OK, object.OnStartPage(nullptr));
    for (const auto& property : NumberProperties()) {
        SCOPED_TRACE(property.Name);
        EXPECT_EQ(property.AfterPageStart, Read(object, property));
    }
    EXPECT_EQ("BMP", ReadString(object, &TQuillax::get_ImageTypeStr));
    EXPECT_EQ("", ReadString(object, &TQuillax::get_Data));
}

TEST(QuillaxProperties, EveryPageStartResetsAllButData) {
    TQuillax object;
    ASSERT_HR(S_OK, object.put_Data(MakeBstr("kept across pages").get()));
    ASSERT_HR(S_OK, object.OnStartPage(nullptr));
    for (const auto& property : NumberProperties())
        ASSERT_HR(S_OK, property.Set(object, 3));
    ASSERT_HR(S_OK, object.put_ImageTypeStr(MakeBstr("gif").get()));
    ASSERT_HR(S_OK, object.OnEndPage());

    ASSERT_HR(S_OK, object.OnStartPage(nullptr));
    for (const auto& property : NumberProperties()) {
        SCOPED_TRACE(property.Name);
        EXPECT_EQ(property.AfterPageStart, Read(object, property));
    }
    EXPECT_EQ("BMP", ReadString(object, &TQuillax::get_ImageTypeStr));
    EXPECT_EQ("kept across pages", ReadString(object, &TQuillax::get_Data));
}

TEST(QuillaxProperties, SettersStoreWithoutChecking) {
    struct Row {
        const char* Property;
        LONG Written;
        LONG ReadBack;
    };
    const Row rows[] = {
        {"BarcodeType", 256, 0},
        {"BarcodeType", 23, 23},
        {"BarcodeType", -1, 255},
        {"ChecksumMethod", 257, 1},
        {"ChecksumMethod", -2, 254},
        {"Checksum", 1, -1},
        {"Checksum", 0x100, -1},
        {"ShowText", -7, -1},
        {"ShowText", 0, 0},
        {"Height", -5, -5},
        {"Ratio", 0, 0},
        {"Orientation", -90, -90},
        {"NarrowBarWidth", 1000, 1000},
        {"BGColor", 0xFF0000, 0xFF0000},
        {"BarColor", -1, -1},
    };
    auto properties = NumberProperties();
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.Property) + " := " + std::to_string(row.Written));
        TQuillax object;
        ASSERT_HR(S_OK, object.OnStartPage(nullptr));
        const auto& property = *std::find_if(properties.begin(), properties.end(), [&](auto& p) {
            return p.Name == std::string(row.Property);
        });
        ASSERT_HR(S_OK, property.Set(object, row.Written));
        EXPECT_EQ(row.ReadBack, Read(object, property));
    }
}

// A step is either a text written to ImageTypeStr or a number written to ImageType.
struct FormatStep {
    const char16_t* Text;
    LONG Number;
};

TEST(QuillaxProperties, ImageTypeStrAndImageTypeAreTwoViewsOfOneFormat) {
    struct Row {
        std::vector<FormatStep> Steps;
        const char* StoredText;
        LONG ImageType;
        TImageType Selected;
    };
    const Row rows[] = {
        {{{u"jpeg", 0}}, "JPEG", 1, TImageType::itJPEG},
        {{{u"Jpg", 0}}, "JPG", 1, TImageType::itJPEG},
        {{{u"png", 0}}, "PNG", 3, TImageType::itPNG},
        {{{u"bmp", 0}}, "BMP", 2, TImageType::itBMP},
        {{{u" PNG", 0}}, " PNG", 0, TImageType::itBMP}, // no trimming
        {{{u"gif", 0}}, "GIF", 0, TImageType::itBMP},
        {{{u"", 0}}, "", 0, TImageType::itBMP},
        {{{nullptr, 3}}, "PNG", 3, TImageType::itPNG},
        {{{nullptr, 3}, {nullptr, 0}, {nullptr, 5}, {nullptr, -1}}, "PNG", 3, TImageType::itPNG},
        {{{u"svg", 0}}, "SVG", 4, TImageType::itSVG},
        {{{nullptr, 4}}, "SVG", 4, TImageType::itSVG},
        {{{nullptr, 1}}, "JPG", 1, TImageType::itJPEG},
        {{{u"png", 0}, {nullptr, 2}}, "BMP", 2, TImageType::itBMP},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE("row " + std::to_string(i));
        const Row& row = rows[i];
        TQuillax object;
        ASSERT_HR(S_OK, object.OnStartPage(nullptr));
        for (const auto& step : row.Steps) {
            if (step.Text != nullptr) {
                TOwnedBstr text(SysAllocString(step.Text));
                ASSERT_HR(S_OK, object.put_ImageTypeStr(text.get()));
            } else {
                ASSERT_HR(S_OK, object.put_ImageType(step.Number));
            }
        }
        EXPECT_EQ(row.StoredText, ReadString(object, &TQuillax::get_ImageTypeStr));
        LONG imageType = 0x5A5A;
        EXPECT_HR(S_OK, object.get_ImageType(&imageType));
        EXPECT_EQ(row.ImageType, imageType);
        EXPECT_EQ(row.Selected, SelectImageFormat(object.Properties().ImageTypeStr));
    }
}

TEST(QuillaxProperties, StringsPassThroughTheAnsiCodePage) {
    struct Row {
        const char16_t* Written;
        const char* Stored;      // ANSI bytes
        const char* StoredUpper; // as ImageTypeStr keeps them
        const char16_t* Read;    // what the getter gives back
    };
    const Row rows[] = {
        {u"\u00e9t\u00e9", "\xE9t\xE9", "\xE9T\xE9",
         u"\u00e9t\u00e9"}, // Latin-1 letters keep their case
        {u"\u20ac5",
         "\x80"
         "5",
         "\x80"
         "5",
         u"\u20ac5"}, // the euro sign has a byte of its own
        // no equivalent: "?" is stored, and Data reads back as it was set
        {u"\u4e2d1", "?1", "?1", u"\u4e2d1"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Stored);
        TQuillax object;
        TOwnedBstr text(SysAllocString(row.Written));
        ASSERT_HR(S_OK, object.put_Data(text.get()));
        ASSERT_HR(S_OK, object.put_ImageTypeStr(text.get()));
        EXPECT_EQ(row.Stored, object.Properties().Data);
        EXPECT_EQ(row.StoredUpper, object.Properties().ImageTypeStr);
        BSTR value = nullptr;
        ASSERT_HR(S_OK, object.get_Data(&value));
        TOwnedBstr owned(value);
        EXPECT_EQ(std::u16string(row.Read), std::u16string(value, SysStringLen(value)));
    }
}

TEST(QuillaxProperties, NullStringIsTheEmptyString) {
    TQuillax object;
    ASSERT_HR(S_OK, object.put_Data(MakeBstr("x").get()));
    ASSERT_HR(S_OK, object.put_Data(nullptr));
    EXPECT_EQ("", object.Properties().Data);
}

TEST(QuillaxProperties, NullOutputParameterIsRejected) {
    TQuillax object;
    ASSERT_HR(S_OK, object.OnStartPage(nullptr));
    for (const auto& property : NumberProperties()) {
        if (std::string(property.Name) == "Checksum" || std::string(property.Name) == "ShowText")
            continue; // their getter wrappers need an output slot
        SCOPED_TRACE(property.Name);
        EXPECT_HR(E_POINTER, property.Get(object, nullptr));
    }
    EXPECT_HR(E_POINTER, object.get_Checksum(nullptr));
    EXPECT_HR(E_POINTER, object.get_ShowText(nullptr));
    EXPECT_HR(E_POINTER, object.get_ImageTypeStr(nullptr));
    EXPECT_HR(E_POINTER, object.get_Data(nullptr));
    EXPECT_HR(E_POINTER, object.SaveBarcode(MakeBstr("unused.bmp").get(), nullptr));
}

} // namespace
} // namespace quillax::test
