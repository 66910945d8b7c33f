// The C API as a C program meets it: return codes and messages for every kind of bad call,
// images read back by an independent reader, one barcode per thread in parallel.
#include "bindings/capi/quillax.h"

#include "tests/support/ImageFiles.h"

#include <ZXing/ReadBarcode.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace quillax::test;

struct Destroy {
    void operator()(quillax_barcode* barcode) const { quillax_destroy(barcode); }
};
using Barcode = std::unique_ptr<quillax_barcode, Destroy>;

struct Image : quillax_image {
    Image() : quillax_image{reinterpret_cast<unsigned char*>(1), 7, "sentinel"} {}
    ~Image() {
        if (content_type != nullptr && std::string(content_type) != "sentinel")
            quillax_image_free(this);
    }
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;
    bool Emptied() const { return data == nullptr && size == 0 && content_type == nullptr; }
};

Barcode Make(std::initializer_list<std::pair<const char*, const char*>> settings) {
    Barcode barcode(quillax_create());
    EXPECT_NE(barcode, nullptr) << quillax_message(nullptr);
    for (const auto& [name, value] : settings)
        EXPECT_EQ(quillax_set(barcode.get(), name, value), QUILLAX_OK)
            << name << "=" << value << ": " << quillax_message(barcode.get());
    return barcode;
}

// What the reader finds in a PNG ("" when nothing).
std::string Read(const quillax_image& image) {
    const TRgbImage pixels = DecodePng({image.data, image.size}).Padded(40);
    const std::vector<uint8_t> gray = pixels.Gray();
    const ZXing::ImageView view(gray.data(), pixels.Width, pixels.Height, ZXing::ImageFormat::Lum);
    const ZXing::Result result = ZXing::ReadBarcode(view, ZXing::DecodeHints().setTryHarder(true));
    return result.isValid() ? result.text() : "";
}

TEST(CApi, SetReturnsACodeAndAMessageForEachKindOfRefusal) {
    struct Row {
        const char* Name;
        const char* Value;
        int Code;
        const char* Message; // contained in quillax_message
    };
    const std::string huge(1 << 20, '7');
    const Row rows[] = {
        {"BarcodeType", "EAN13", QUILLAX_OK, ""},
        {"barcodetype", "code 128 b", QUILLAX_OK, ""},
        {"DATA", "\xC3\xA9t\xC3\xA9", QUILLAX_OK, ""},
        {"Data", "\xFF\xFE not UTF-8", QUILLAX_OK, ""},
        {"Data", huge.c_str(), QUILLAX_OK, ""},
        {"NoSuchProperty", "1", QUILLAX_E_PROPERTY, "unknown property NoSuchProperty"},
        {"ShowBarcode", "1", QUILLAX_E_PROPERTY, "ShowBarcode"},
        {"LastResult", "0", QUILLAX_E_PROPERTY, "LastResult"},
        {"\xFF", "1", QUILLAX_E_PROPERTY, "unknown property"},
        {"", "1", QUILLAX_E_PROPERTY, "unknown property"},
        {"Height", "tall", QUILLAX_E_VALUE, "tall"},
        {"NarrowBarWidth", "99999999999999999999", QUILLAX_E_VALUE, "NarrowBarWidth"},
        {"BarcodeType", "Code 2000", QUILLAX_E_VALUE, "unknown symbology"},
        {"imagetypestr", "jpeg", QUILLAX_OK, ""},
        {"ImageTypeStr", "GIF", QUILLAX_E_VALUE, "GIF"},
    };
    const Barcode barcode = Make({});
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.Name) + "=" + std::string(row.Value).substr(0, 20));
        EXPECT_EQ(quillax_set(barcode.get(), row.Name, row.Value), row.Code);
        const std::string message = quillax_message(barcode.get());
        if (row.Code == QUILLAX_OK)
            EXPECT_EQ(message, "");
        else
            EXPECT_NE(message.find(row.Message), std::string::npos) << message;
    }
}

TEST(CApi, NullArgumentsAreRefusedAndTheImageIsEmptied) {
    const Barcode barcode = Make({});
    EXPECT_EQ(quillax_set(nullptr, "Data", "1"), QUILLAX_E_ARGUMENT);
    EXPECT_EQ(quillax_set(barcode.get(), nullptr, "1"), QUILLAX_E_ARGUMENT);
    EXPECT_EQ(quillax_set(barcode.get(), "Data", nullptr), QUILLAX_E_ARGUMENT);
    EXPECT_NE(std::string(quillax_message(barcode.get())), "");
    Image image;
    EXPECT_EQ(quillax_render(nullptr, &image), QUILLAX_E_ARGUMENT);
    EXPECT_TRUE(image.Emptied());
    EXPECT_EQ(quillax_render(barcode.get(), nullptr), QUILLAX_E_ARGUMENT);
    EXPECT_STREQ(quillax_message(nullptr), "");
    quillax_image_free(nullptr);
    quillax_image_free(&image); // an emptied image
    quillax_destroy(nullptr);
}

TEST(CApi, RendersWhatTheSettingsSayAndReportsAFailedStepWithItsImage) {
    struct Row {
        const char* Data;
        const char* Read; // "": the image carries an error
    };
    const std::string digits(1 << 20, '7');
    const Row rows[] = {
        {"590123412345", "5901234123457"},
        {"400638133393", "4006381333931"},
        {"59012341234X", ""},
        {"\xFF\xFE", ""},
        {digits.c_str(), ""},
    };
    const Barcode barcode =
        Make({{"BarcodeType", "EAN-13"}, {"Checksum", "true"}, {"ImageTypeStr", "PNG"}});
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.Data).substr(0, 20));
        ASSERT_EQ(quillax_set(barcode.get(), "Data", row.Data), QUILLAX_OK);
        Image image;
        const int step = quillax_render(barcode.get(), &image);
        const bool clean = *row.Read != 0;
        if (clean)
            EXPECT_EQ(step, QUILLAX_OK);
        else
            EXPECT_TRUE(step >= 1 && step <= 4) << step;
        ASSERT_NE(image.data, nullptr);
        EXPECT_STREQ(image.content_type, "image/png");
        EXPECT_EQ(Read(image), row.Read);
        EXPECT_EQ(std::string(quillax_message(barcode.get())).empty(), clean)
            << quillax_message(barcode.get());
    }
}

TEST(CApi, ARefusedValueLeavesThePropertyAsItWas) {
    const Barcode barcode = Make({{"BarcodeType", "EAN13"},
                                  {"Data", "400638133393"},
                                  {"Checksum", "True"},
                                  {"ImageTypeStr", "PNG"},
                                  {"Height", "80"}});
    ASSERT_EQ(quillax_set(barcode.get(), "Height", "-"), QUILLAX_E_VALUE);
    Image image;
    ASSERT_EQ(quillax_render(barcode.get(), &image), QUILLAX_OK);
    EXPECT_EQ(DecodePng({image.data, image.size}).Height, 80);
}

TEST(CApi, BarcodesOnSeveralThreadsRenderTheirOwnData) {
    const char* data[] = {"400638133393", "590123412345", "978020137962", "501234567890"};
    std::vector<std::string> read(std::size(data));
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < std::size(data); ++t) {
        threads.emplace_back([&, t] {
            const Barcode barcode = Make({{"BarcodeType", "14"},
                                          {"Checksum", "1"},
                                          {"ImageTypeStr", "png"},
                                          {"Data", data[t]}});
            for (int i = 0; i < 50; ++i) {
                Image image;
                if (quillax_render(barcode.get(), &image) != QUILLAX_OK) return;
                read[t] = Read(image).substr(0, 12);
                if (read[t] != data[t]) return;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (std::size_t t = 0; t < std::size(data); ++t)
        EXPECT_EQ(read[t], data[t]);
}

} // namespace
