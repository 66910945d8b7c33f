// The gallery as committed is what its script makes with this build: the script, run into a
// new folder, writes the same README and an image of the same size for each committed one,
// and where an independent reader knows the symbology, both images read as the text shown;
// the standard layout's even in a black frame.
#include "tests/support/ImageFiles.h"

#include <ZXing/ReadBarcode.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using ZXing::BarcodeFormat;
using namespace quillax::test;

const fs::path kGallery = fs::path(QUILLAX_SOURCE_DIR) / "docs" / "gallery";

struct Example {
    const char* File;
    BarcodeFormat Format; // None: the reader does not know the symbology
    const char* Text;     // what the reader finds
};

const Example kExamples[] = {
    {"interleaved-2-of-5.png", BarcodeFormat::ITF, "12345678"},
    {"industrial-2-of-5.png", BarcodeFormat::None, ""},
    {"matrix-2-of-5.png", BarcodeFormat::None, ""},
    {"code39.png", BarcodeFormat::Code39, "CODE-39"},
    {"code39-extended.png", BarcodeFormat::Code39, "Quillax-39"},
    {"code128a.png", BarcodeFormat::Code128, "QUILLAX-128A"},
    {"code128b.png", BarcodeFormat::Code128, "Quillax-128b"},
    {"code128c.png", BarcodeFormat::Code128, "12345678"},
    {"code93.png", BarcodeFormat::Code93, "CODE-93"},
    {"code93-extended.png", BarcodeFormat::Code93, "Quillax-93"},
    {"msi.png", BarcodeFormat::None, ""},
    {"postnet.png", BarcodeFormat::None, ""},
    {"codabar.png", BarcodeFormat::Codabar, "123-456"},
    {"ean8.png", BarcodeFormat::EAN8, "96385074"},
    {"ean13.png", BarcodeFormat::EAN13, "4006381333931"},
    {"upc-a.png", BarcodeFormat::UPCA, "036000291452"},
    {"upc-e0.png", BarcodeFormat::UPCE, "01234565"},
    {"upc-e1.png", BarcodeFormat::UPCE, "11234562"},
    {"upc-supp2.png", BarcodeFormat::None, ""},
    {"upc-supp5.png", BarcodeFormat::None, ""},
    {"ean13-add-on.png", BarcodeFormat::EAN13, "9780306406157 51299"},
    {"upc-a-add-on.png", BarcodeFormat::UPCA, "036000291452 12"},
    {"ean128a.png", BarcodeFormat::Code128, "10ABC123"},
    {"ean128b.png", BarcodeFormat::Code128, "10abc123"},
    {"ean128c.png", BarcodeFormat::Code128, "0101234567890128"},
    {"code128.png", BarcodeFormat::Code128, "Quillax-0012345678"},
    {"gs1-128.png", BarcodeFormat::Code128, "01095011015300031725010110AB12"},
    {"gs1-128-logistics.png", BarcodeFormat::Code128,
     "00095011015300000010"
     "0209501101530003"
     "3724\x1D"
     "10LOT42"},
    {"rotated.png", BarcodeFormat::EAN13, "4006381333931"},
    {"rotated-30.png", BarcodeFormat::None, ""},
    {"coloured.png", BarcodeFormat::Code128, "Quillax"},
    {"error.png", BarcodeFormat::None, ""},
};

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The standard layout's image of an example.
std::string Standard(const std::string& file) {
    return file.substr(0, file.size() - 4) + "-standard.png";
}

// Read with a white border around the image, or a black one.
std::string Decoded(const TRgbImage& image, BarcodeFormat format, uint8_t border = 0xFF) {
    const TRgbImage padded = image.Padded(border == 0xFF ? 40 : 10, border);
    const std::vector<uint8_t> gray = padded.Gray();
    const ZXing::ImageView view(gray.data(), padded.Width, padded.Height, ZXing::ImageFormat::Lum);
    ZXing::DecodeHints hints;
    hints.setFormats(format).setTryHarder(true).setTryCode39ExtendedMode(true).setEanAddOnSymbol(
        ZXing::EanAddOnSymbol::Read);
    const ZXing::Result result = ZXing::ReadBarcode(view, hints);
    return result.isValid() ? result.text() : "<not read>";
}

class Gallery : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        made_ = fs::temp_directory_path() / ("quillax-gallery-" + std::to_string(getpid()));
        fs::remove_all(made_);
        const std::string command = "bash '" + (kGallery / "make-gallery.sh").string() + "' '" +
                                    QUILLAX_COMMAND + "' '" + made_.string() + "'";
        status_ = std::system(command.c_str());
    }
    static void TearDownTestSuite() { fs::remove_all(made_); }

    static inline fs::path made_;
    static inline int status_ = -1;
};

// The first line where two texts differ, as "line N: committed | made"; empty when equal.
std::string FirstDifference(const std::string& committed, const std::string& made) {
    std::istringstream a(committed);
    std::istringstream b(made);
    std::string lineA;
    std::string lineB;
    for (int line = 1;; ++line) {
        const bool moreA = static_cast<bool>(std::getline(a, lineA));
        const bool moreB = static_cast<bool>(std::getline(b, lineB));
        if (!moreA && !moreB) return {};
        if (moreA != moreB || lineA != lineB)
            return "line " + std::to_string(line) + ": " + (moreA ? lineA : "<end>") + " | " +
                   (moreB ? lineB : "<end>");
    }
}

TEST_F(Gallery, TheScriptMakesTheCommittedReadme) {
    ASSERT_EQ(0, status_);
    EXPECT_EQ("", FirstDifference(ReadText(kGallery / "README.md"), ReadText(made_ / "README.md")));
}

TEST_F(Gallery, EveryImageHasItsCommittedSizeAndReadsAsShown) {
    ASSERT_EQ(0, status_);
    for (const Example& example : kExamples) {
        for (const std::string& file : {std::string(example.File), Standard(example.File)}) {
            SCOPED_TRACE(file);
            const TRgbImage committed = DecodePng(ReadFileBytes((kGallery / file).string()));
            const TRgbImage made = DecodePng(ReadFileBytes((made_ / file).string()));
            EXPECT_EQ(committed.Width, made.Width);
            EXPECT_EQ(committed.Height, made.Height);
            if (example.Format == BarcodeFormat::None) continue;
            const uint8_t border = file == example.File ? 0xFF : 0;
            EXPECT_EQ(example.Text, Decoded(made, example.Format, border));
            EXPECT_EQ(example.Text, Decoded(committed, example.Format, border));
        }
    }
}

TEST_F(Gallery, ThereAreNoOtherImagesAndTheReadmeShowsEachOne) {
    ASSERT_EQ(0, status_);
    std::set<std::string> listed;
    for (const Example& example : kExamples) {
        listed.insert(example.File);
        listed.insert(Standard(example.File));
    }
    for (const fs::path& folder : {kGallery, made_}) {
        std::set<std::string> images;
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (entry.path().extension() == ".png") images.insert(entry.path().filename());
        }
        EXPECT_EQ(listed, images) << folder;
    }
    const std::string readme = ReadText(kGallery / "README.md");
    for (const std::string& file : listed)
        EXPECT_NE(std::string::npos, readme.find("](" + file + ")")) << file;
}

} // namespace
