// Every symbology an independent reader knows, rendered through the object at several
// widths, ratios and formats, must read back as the data the symbol carries.
#include "ObjectTestSupport.h"

#include "tests/support/ImageFiles.h"
#include "tests/support/RenderTables.h"

#include <ZXing/ReadBarcode.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <iostream>
#include <numbers>

namespace quillax::test {
namespace {

using ZXing::BarcodeFormat;

// GS1 modulo 10 over the digits, weights 3, 1, 3, ... from the right; returns the digits
// with their check digit.
std::string WithGs1Check(const std::string& digits) {
    int sum = 0;
    for (size_t i = 0; i < digits.size(); ++i) {
        const int digit = digits[digits.size() - 1 - i] - '0';
        sum += (i % 2 == 0) ? 3 * digit : digit;
    }
    return digits + static_cast<char>('0' + (10 - sum % 10) % 10);
}

// The UPC-A form (without check digit) of number system + six UPC-E digits.
std::string UpcEToUpcA(char numberSystem, const std::string& six) {
    const std::string m(1, numberSystem);
    switch (six[5]) {
    case '0':
    case '1':
    case '2':
        return m + six.substr(0, 2) + six[5] + "0000" + six.substr(2, 3);
    case '3':
        return m + six.substr(0, 3) + "00000" + six.substr(3, 2);
    case '4':
        return m + six.substr(0, 4) + "00000" + six[4];
    default:
        return m + six.substr(0, 5) + "0000" + six[5];
    }
}

// What a reader finds in a UPC-E symbol: number system, six digits, check digit.
std::string UpcEText(char numberSystem, const std::string& six) {
    const std::string upcA = WithGs1Check(UpcEToUpcA(numberSystem, six));
    return std::string(1, numberSystem) + six + upcA.back();
}

// Data of full length carries its own check digit, with or without Checksum; shorter data
// without Checksum is padded with zeros in front and ends in its check digit.
struct Symbol {
    const char* Name;
    LONG Type;
    std::string Data;
    bool Checksum;
    std::string Carried; // the text a reader must find
    BarcodeFormat Format;
};

void PrintTo(const Symbol& symbol, std::ostream* out) {
    *out << symbol.Name << " \"" << symbol.Data << "\"" << (symbol.Checksum ? " + check" : "");
}

std::vector<Symbol> Symbols() {
    return {
        {"EAN-13", bcCodeEAN13, "590123412345", true, "5901234123457", BarcodeFormat::EAN13},
        {"EAN-13", bcCodeEAN13, "4006381333931", false, "4006381333931", BarcodeFormat::EAN13},
        {"EAN-13", bcCodeEAN13, "12345678901", true, WithGs1Check("012345678901"),
         BarcodeFormat::EAN13},
        {"EAN-13", bcCodeEAN13, "5901234123457", true, "5901234123457", BarcodeFormat::EAN13},
        {"EAN-13", bcCodeEAN13, "036000291452", false, "0036000291452", BarcodeFormat::EAN13},
        {"EAN-8", bcCodeEAN8, "1234567", true, WithGs1Check("1234567"), BarcodeFormat::EAN8},
        {"EAN-8", bcCodeEAN8, WithGs1Check("9638507"), false, WithGs1Check("9638507"),
         BarcodeFormat::EAN8},
        {"UPC-A", bcCodeUPC_A, "036000291452", true, "036000291452", BarcodeFormat::UPCA},
        {"UPC-A", bcCodeUPC_A, "036000291452", false, "036000291452", BarcodeFormat::UPCA},
        {"UPC-A", bcCodeUPC_A, "03600029145", true, "036000291452", BarcodeFormat::UPCA},
        {"UPC-A", bcCodeUPC_A, WithGs1Check("12345678901"), true, WithGs1Check("12345678901"),
         BarcodeFormat::UPCA},
        {"UPC-E0", bcCodeUPC_E0, UpcEText('0', "123456").substr(1), true, UpcEText('0', "123456"),
         BarcodeFormat::UPCE},
        {"UPC-E0", bcCodeUPC_E0, "123456", false, UpcEText('0', "123456"), BarcodeFormat::UPCE},
        {"UPC-E0", bcCodeUPC_E0, "654321", true, UpcEText('0', "654321"), BarcodeFormat::UPCE},
        {"UPC-E0", bcCodeUPC_E0, UpcEText('0', "023457").substr(1), false, UpcEText('0', "023457"),
         BarcodeFormat::UPCE},
        {"UPC-E1", bcCodeUPC_E1, "123456", true, UpcEText('1', "123456"), BarcodeFormat::UPCE},
        {"UPC-E1", bcCodeUPC_E1, UpcEText('1', "987653").substr(1), true, UpcEText('1', "987653"),
         BarcodeFormat::UPCE},
        {"Code 39", bcCode39, "CODE39", false, "CODE39", BarcodeFormat::Code39},
        {"Code 39", bcCode39, "HELLO-123", false, "HELLO-123", BarcodeFormat::Code39},
        {"Code 39", bcCode39, "A1 B2.$/", false, "A1 B2.$/", BarcodeFormat::Code39},
        {"Code 39 Extended", bcCode39Extended, "Hello, World!", false, "Hello, World!",
         BarcodeFormat::Code39},
        {"Code 39 Extended", bcCode39Extended, "code39 ext~", false, "code39 ext~",
         BarcodeFormat::Code39},
        {"Code 128 A", bcCode128A, "CODE 128A", false, "CODE 128A", BarcodeFormat::Code128},
        {"Code 128 A", bcCode128A, "HELLO_123", false, "HELLO_123", BarcodeFormat::Code128},
        {"Code 128 A", bcCode128A, "A\001B\037C", false, "A\001B\037C", BarcodeFormat::Code128},
        {"Code 128 B", bcCode128B, "Code 128b!", false, "Code 128b!", BarcodeFormat::Code128},
        {"Code 128 B", bcCode128B, "~abc{|}", false, "~abc{|}", BarcodeFormat::Code128},
        {"Code 128 C", bcCode128C, "12345678", false, "12345678", BarcodeFormat::Code128},
        {"Code 128 C", bcCode128C, "123", false, "0123", BarcodeFormat::Code128},
        {"EAN-128 A", bcCodeEAN128A, "0101234567890128", false, "0101234567890128",
         BarcodeFormat::Code128},
        {"EAN-128 B", bcCodeEAN128B, "10ABC123", false, "10ABC123", BarcodeFormat::Code128},
        {"EAN-128 C", bcCodeEAN128C, "0101234567890128", false, "0101234567890128",
         BarcodeFormat::Code128},
        {"EAN-128 C", bcCodeEAN128C, "1012345", true, WithGs1Check("1012345"),
         BarcodeFormat::Code128},
        {"Code 128", bcCode128, "ABC123456789", false, "ABC123456789", BarcodeFormat::Code128},
        {"Code 128", bcCode128, "\tlot 0012 ~", true, "\tlot 0012 ~", BarcodeFormat::Code128},
        // the group separator where FNC1 follows a field of variable length
        {"GS1-128", bcCodeGS1128, "(01)09501101530003(10)AB12(21)X", true,
         "0109501101530003"
         "10AB12\x1D"
         "21X",
         BarcodeFormat::Code128},
        {"Code 93", bcCode93, "CODE 93", false, "CODE 93", BarcodeFormat::Code93},
        {"Code 93", bcCode93, "TEST-93.$/+%", false, "TEST-93.$/+%", BarcodeFormat::Code93},
        {"Code 93 Extended", bcCode93Extended, "Hello World", false, "Hello World",
         BarcodeFormat::Code93},
        {"Code 93 Extended", bcCode93Extended, "code93 ext!", false, "code93 ext!",
         BarcodeFormat::Code93},
        {"Interleaved 2 of 5", bcCode_2_5_interleaved, "12345678", false, "12345678",
         BarcodeFormat::ITF},
        {"Interleaved 2 of 5", bcCode_2_5_interleaved, "12345678901231", false, "12345678901231",
         BarcodeFormat::ITF},
        {"Interleaved 2 of 5", bcCode_2_5_interleaved, "1234567", false, "01234567",
         BarcodeFormat::ITF},
        {"Codabar", bcCodeCodabar, "123456", false, "123456", BarcodeFormat::Codabar},
        {"Codabar", bcCodeCodabar, "31117013206375", false, "31117013206375",
         BarcodeFormat::Codabar},
        {"Codabar", bcCodeCodabar, "-$:/.+12", false, "-$:/.+12", BarcodeFormat::Codabar},
        {"Codabar", bcCodeCodabar, "12-34", false, "12-34", BarcodeFormat::Codabar},
        {"Codabar", bcCodeCodabar, "12$34", false, "12$34", BarcodeFormat::Codabar},
        {"Codabar", bcCodeCodabar, "12:34", false, "12:34", BarcodeFormat::Codabar},
        {"Codabar", bcCodeCodabar, "12/34", false, "12/34", BarcodeFormat::Codabar},
        {"Codabar", bcCodeCodabar, "12.34", false, "12.34", BarcodeFormat::Codabar},
        {"Codabar", bcCodeCodabar, "12+34", false, "12+34", BarcodeFormat::Codabar},
    };
}

// White around the image, as on the page it is printed on.
constexpr int kQuietZone = 40;

std::string Read(const TRgbImage& image, const Symbol& symbol) {
    const TRgbImage padded = image.Padded(kQuietZone);
    const std::vector<uint8_t> gray = padded.Gray();
    ZXing::ImageView view(gray.data(), padded.Width, padded.Height, ZXing::ImageFormat::Lum);
    ZXing::DecodeHints hints;
    hints.setFormats(symbol.Format)
        .setTryHarder(true)
        .setTryRotate(false)
        .setTryCode39ExtendedMode(symbol.Type == bcCode39Extended);
    ZXing::Result result = ZXing::ReadBarcode(view, hints);
    return result.isValid() ? result.text() : "<not read>";
}

class Scannability : public ::testing::TestWithParam<Symbol> {
protected:
    static void TearDownTestSuite() {
        std::cout << "[ decode rate ] " << read_ << " of " << tried_ << " images read back ("
                  << (tried_ ? 100.0 * read_ / tried_ : 0.0) << "%)\n";
    }
    static inline int tried_ = 0;
    static inline int read_ = 0;
};

TEST_P(Scannability, ReadsBackAsTheCarriedText) {
    const Symbol& symbol = GetParam();
    for (LONG narrow : {1, 2, 3}) {
        for (LONG ratio : {2, 3}) {
            for (bool showText : {false, true}) {
                for (const std::string format : kFormats) {
                    SCOPED_TRACE(format + ", NarrowBarWidth " + std::to_string(narrow) +
                                 ", Ratio " + std::to_string(ratio) +
                                 (showText ? ", with text" : ""));
                    TQuillax object;
                    ASSERT_NO_FATAL_FAILURE(Apply(object, {.BarcodeType = symbol.Type,
                                                           .Data = symbol.Data,
                                                           .Checksum = symbol.Checksum,
                                                           .NarrowBarWidth = narrow,
                                                           .Ratio = ratio,
                                                           .ShowText = showText,
                                                           .ImageTypeStr = format}));
                    TEncodedBarcode encoded = object.EncodeBarcode();
                    ASSERT_EQ(TRenderStep::rsNone, encoded.FailedStep);
                    const std::string text =
                        Read(DecoderFor(format)(encoded.Image.Bytes()), symbol);
                    ++tried_;
                    read_ += text == symbol.Carried;
                    EXPECT_EQ(symbol.Carried, text);
                }
            }
        }
    }
}

// The image turned back by degrees (clockwise on the screen, undoing Orientation), as a
// camera would see the label held straight: grey levels interpolated between the image's
// pixels, white beyond them, on the square around the image's centre whose side is its
// diagonal.
TRgbImage TurnedBack(const TRgbImage& image, double degrees) {
    const double alpha = degrees / 180 * std::numbers::pi;
    const double c = std::cos(alpha), s = std::sin(alpha);
    const int side = static_cast<int>(std::ceil(std::hypot(image.Width, image.Height)));
    auto grey = [&](int x, int y) -> double {
        const bool inside = x >= 0 && y >= 0 && x < image.Width && y < image.Height;
        return inside ? image.Luminance(x, y) : 255.0;
    };
    TRgbImage out{side, side, std::vector<uint8_t>(size_t(side) * side * 3, 0xFF)};
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            // The pixel centre in the image, and its place between four pixel centres.
            const double dx = x + 0.5 - side / 2.0, dy = y + 0.5 - side / 2.0;
            const double sx = image.Width / 2.0 + dx * c + dy * s - 0.5;
            const double sy = image.Height / 2.0 - dx * s + dy * c - 0.5;
            const int x0 = static_cast<int>(std::floor(sx)), y0 = static_cast<int>(std::floor(sy));
            const double fx = sx - x0, fy = sy - y0;
            const double v = (grey(x0, y0) * (1 - fx) + grey(x0 + 1, y0) * fx) * (1 - fy) +
                             (grey(x0, y0 + 1) * (1 - fx) + grey(x0 + 1, y0 + 1) * fx) * fy;
            std::fill_n(&out.Rgb[(size_t(y) * side + x) * 3], 3, static_cast<uint8_t>(v + 0.5));
        }
    return out;
}

// At an angle that is not a right angle the whole barcode is turned at scale 1, nothing cut
// off or squeezed: turned back, every image reads as the carried text (at bars three pixels
// wide; without anti-aliasing, two-pixel bars at 45 degrees are at the edge of what turning
// back leaves readable).
TEST(ScannabilityTurned, EveryAngleReadsOnceTurnedBack) {
    const Symbol symbols[] = {
        {"EAN-13", bcCodeEAN13, "590123412345", true, "5901234123457", BarcodeFormat::EAN13},
        {"UPC-A", bcCodeUPC_A, "036000291452", false, "036000291452", BarcodeFormat::UPCA},
        {"Code 128 B", bcCode128B, "Quillax-128", false, "Quillax-128", BarcodeFormat::Code128},
        {"Code 39", bcCode39, "CODE-39", false, "CODE-39", BarcodeFormat::Code39},
    };
    for (const Symbol& symbol : symbols)
        for (INT orientation : {30, 45, 135, 300})
            for (bool showText : {false, true}) {
                SCOPED_TRACE(std::string(symbol.Name) + " at " + std::to_string(orientation) +
                             (showText ? ", with text" : ""));
                TQuillax object;
                ASSERT_NO_FATAL_FAILURE(Apply(object, {.BarcodeType = symbol.Type,
                                                       .Data = symbol.Data,
                                                       .Checksum = symbol.Checksum,
                                                       .NarrowBarWidth = 3,
                                                       .Ratio = 3,
                                                       .Height = 60,
                                                       .ShowText = showText,
                                                       .ImageTypeStr = "PNG",
                                                       .Orientation = orientation}));
                TEncodedBarcode encoded = object.EncodeBarcode();
                ASSERT_EQ(TRenderStep::rsNone, encoded.FailedStep);
                const TRgbImage image = DecodePng(encoded.Image.Bytes());
                EXPECT_EQ(symbol.Carried, Read(TurnedBack(image, orientation), symbol));
            }
}

// "main+addon" through the object: a second independent reader (zbar) finds both the main
// symbol and the add-on, at every right angle, with the labels and without.
TEST(ScannabilityAddOn, ZbarReadsTheMainSymbolAndItsAddOn) {
    const struct Row {
        LONG Type;
        std::string Data;
        std::string Read;
    } rows[] = {
        {bcCodeEAN13, "590123412345+12", "EAN-13:5901234123457 EAN-2:12"},
        {bcCodeEAN13, "978030640615+51299", "EAN-13:9780306406157 EAN-5:51299"},
        {bcCodeUPC_A, "03600029145+34", "EAN-2:34 UPC-A:036000291452"},
        {bcCodeUPC_A, "03600029145+00481", "EAN-5:00481 UPC-A:036000291452"},
        {bcCodeUPC_E0, "123456+12", "EAN-2:12 UPC-E:01234565"},
        {bcCodeEAN8, "1234567+01147", "EAN-5:01147 EAN-8:12345670"},
    };
    for (const Row& row : rows)
        for (INT orientation : {0, 90, 180, 270})
            for (bool showText : {true, false}) {
                if (!showText && orientation != 0) continue;
                SCOPED_TRACE(row.Data + " at " + std::to_string(orientation) +
                             (showText ? ", with text" : ""));
                TQuillax object;
                ASSERT_NO_FATAL_FAILURE(Apply(object, {.BarcodeType = row.Type,
                                                       .Data = row.Data,
                                                       .Checksum = true,
                                                       .NarrowBarWidth = 2,
                                                       .Height = 80,
                                                       .ShowText = showText,
                                                       .ImageTypeStr = "PNG",
                                                       .Orientation = orientation}));
                TEncodedBarcode encoded = object.EncodeBarcode();
                ASSERT_EQ(TRenderStep::rsNone, encoded.FailedStep);
                EXPECT_EQ(row.Read,
                          ReadWithZbar(DecodePng(encoded.Image.Bytes()).Padded(kQuietZone)));
            }
}

INSTANTIATE_TEST_SUITE_P(EverySymbologyTheReaderKnows, Scannability, ::testing::ValuesIn(Symbols()),
                         [](const auto& info) {
                             std::string name = std::to_string(info.index) + "_";
                             for (char c : std::string(info.param.Name))
                                 name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });

} // namespace
} // namespace quillax::test
