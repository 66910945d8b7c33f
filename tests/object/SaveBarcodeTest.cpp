// SaveBarcode: the file holds exactly the encoded image, is replaced whole where its name
// points, and a file that cannot be written leaves the call successful with Result 5, the
// target as it was and the reason in LastError.
#include "ObjectTestSupport.h"

#include "tests/support/ImageFiles.h"
#include "tests/support/OpenFifo.h"

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quillax::test {
namespace {

namespace fs = std::filesystem;

constexpr LONG kSentinel = 0x7777;

class SaveBarcodeTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "quillax-save-XXXXXX").string();
        ASSERT_NE(nullptr, ::mkdtemp(pattern.data()));
        folder_ = pattern;
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string PathOf(const std::string& name) const { return (folder_ / name).string(); }

    // Saves and returns the call's status; result receives Result.
    HRESULT Save(TQuillax& object, const std::string& path, LONG& result) {
        result = kSentinel;
        return object.SaveBarcode(MakeBstr(path).get(), &result);
    }

    // Everything in the folder but the named files: left-over temporaries.
    std::vector<std::string> Strays(const std::vector<std::string>& expected) const {
        std::vector<std::string> strays;
        for (const auto& entry : fs::directory_iterator(folder_)) {
            std::string name = entry.path().filename().string();
            if (std::find(expected.begin(), expected.end(), name) == expected.end())
                strays.push_back(name);
        }
        return strays;
    }

    fs::path folder_;
};

const TBarcodeSetup kValidEan13{
    .BarcodeType = bcCodeEAN13, .Data = "123456789012", .Checksum = true};

void WriteFile(const std::string& path, size_t size) {
    std::ofstream(path, std::ios::binary) << std::string(size, 'x');
}

// LastResult and LastError, the error's text as ASCII.
std::pair<LONG, std::string> LastOutcome(TQuillax& object) {
    LONG result = kSentinel;
    BSTR error = nullptr;
    EXPECT_HR(S_OK, object.get_LastResult(&result));
    EXPECT_HR(S_OK, object.get_LastError(&error));
    TOwnedBstr owned(error);
    return {result, AsciiOf(error)};
}

ino_t Inode(const std::string& path) {
    struct stat status {};
    EXPECT_EQ(0, ::stat(path.c_str(), &status));
    return status.st_ino;
}

// The format follows ImageTypeStr alone; the file name's extension plays no part.
TEST_F(SaveBarcodeTest, WritesTheSelectedFormatWhateverTheExtension) {
    struct Row {
        const char* ImageTypeStr;
        const char* FileName;
        std::vector<uint8_t> Magic;
        TRgbImage (*Decode)(std::span<const uint8_t>);
    };
    const Row rows[] = {
        {"JPEG", "barcode.png", {0xFF, 0xD8, 0xFF}, DecodeJpeg},
        {"jpg", "barcode.bmp", {0xFF, 0xD8, 0xFF}, DecodeJpeg},
        {"PNG", "barcode.jpg", {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}, DecodePng},
        {"BMP", "barcode.png", {'B', 'M'}, DecodeBmp},
        {"GIF", "barcode.gif", {'B', 'M'}, DecodeBmp},
        {" PNG", "barcode", {'B', 'M'}, DecodeBmp},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.ImageTypeStr) + " into " + row.FileName);
        TQuillax object;
        TBarcodeSetup setup = kValidEan13;
        setup.ImageTypeStr = row.ImageTypeStr;
        ASSERT_NO_FATAL_FAILURE(Apply(object, setup));
        LONG result;
        ASSERT_HR(S_OK, Save(object, PathOf(row.FileName), result));
        EXPECT_EQ(0, result);

        std::vector<uint8_t> bytes = ReadFileBytes(PathOf(row.FileName));
        ASSERT_GE(bytes.size(), row.Magic.size());
        EXPECT_TRUE(std::equal(row.Magic.begin(), row.Magic.end(), bytes.begin()));
        EXPECT_EQ(object.EncodeBarcode().Image.Bytes(), bytes);
        TRgbImage image = row.Decode(bytes);
        EXPECT_EQ(95, image.Width);
        EXPECT_EQ(50, image.Height);
        fs::remove(PathOf(row.FileName));
    }
}

// A new file takes the old one's name: a hard link to the old file keeps the old bytes,
// the name's inode changes, and the permissions stay.
TEST_F(SaveBarcodeTest, ReplacesAnExistingFileWholeAndKeepsItsPermissions) {
    const std::string path = PathOf("barcode.bmp");
    WriteFile(path, 100'000);
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_hard_link(path, PathOf("old.bmp"));
    const ino_t oldInode = Inode(path);

    TQuillax object;
    ASSERT_NO_FATAL_FAILURE(Apply(object, kValidEan13));
    LONG result;
    ASSERT_HR(S_OK, Save(object, path, result));
    EXPECT_EQ(0, result);
    EXPECT_EQ(object.EncodeBarcode().Image.Bytes(), ReadFileBytes(path));
    EXPECT_NE(oldInode, Inode(path));
    EXPECT_EQ(std::vector<uint8_t>(100'000, 'x'), ReadFileBytes(PathOf("old.bmp")));
    EXPECT_EQ(fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read,
              fs::status(path).permissions() & fs::perms::mask);
    EXPECT_TRUE(Strays({"barcode.bmp", "old.bmp"}).empty());
}

// A write that fails part way (a file size limit that the image passes, in a child process)
// leaves the old file as it was, no temporary file, and Result 5.
TEST_F(SaveBarcodeTest, AWriteFailingPartWayLeavesTheOldFile) {
    const std::string path = PathOf("barcode.bmp");
    WriteFile(path, 1000);
    TQuillax object;
    ASSERT_NO_FATAL_FAILURE(Apply(object, kValidEan13)); // 14,454 bytes of BMP
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const rlimit limit{4096, 4096};
        ::signal(SIGXFSZ, SIG_IGN); // the write fails with EFBIG instead
        LONG result = kSentinel;
        const bool set = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
        const HRESULT hr = object.SaveBarcode(MakeBstr(path).get(), &result);
        ::_exit(!set ? 90 : hr != S_OK ? 91 : static_cast<int>(result));
    }
    int status = 0;
    ASSERT_EQ(child, ::waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(5, WEXITSTATUS(status));
    EXPECT_EQ(std::vector<uint8_t>(1000, 'x'), ReadFileBytes(path));
    EXPECT_TRUE(Strays({"barcode.bmp"}).empty());
}

// No file written is Result 5, whatever the render reported, with the reason as LastError; an
// existing target keeps its content and no temporary file is left behind.
TEST_F(SaveBarcodeTest, TargetsThatCannotBeWrittenReportResultFive) {
    fs::create_directory(PathOf("a-folder"));
    const std::string existing = PathOf("existing.jpg");
    WriteFile(existing, 1000);
    TBarcodeSetup badData = kValidEan13;
    badData.Data = "12345ABC";
    struct Row {
        const char* Name;
        std::u16string Path;
        TBarcodeSetup Setup;
        const char* Reason;
    };
    auto widened = [](const std::string& path) { return std::u16string(path.begin(), path.end()); };
    const Row rows[] = {
        {"missing folder", widened(PathOf("missing/barcode.bmp")), kValidEan13,
         "No such file or directory"},
        {"target is a folder", widened(PathOf("a-folder")), kValidEan13, "Is a directory"},
        {"empty name", u"", kValidEan13, "No such file or directory"},
        {"missing folder and bad data", widened(PathOf("missing/error.bmp")), badData,
         "No such file or directory"},
        {"name the code page cannot hold", widened(PathOf("bar")) + u"\u65e5.bmp", kValidEan13,
         "characters the ANSI code page cannot hold"},
        {"name with a NUL, which would cut it short", widened(PathOf("cut.bmp")) + u'\0' + u"x",
         kValidEan13, "holds a NUL character"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Name);
        TQuillax object;
        ASSERT_NO_FATAL_FAILURE(Apply(object, row.Setup));
        LONG result = kSentinel;
        TOwnedBstr path(SysAllocStringLen(row.Path.data(), static_cast<UINT>(row.Path.size())));
        EXPECT_HR(S_OK, object.SaveBarcode(path.get(), &result));
        EXPECT_EQ(5, result);
        const auto [lastResult, lastError] = LastOutcome(object);
        EXPECT_EQ(5, lastResult);
        EXPECT_EQ(0u, lastError.find("Cannot create file \"")) << lastError;
        EXPECT_NE(std::string::npos, lastError.find(row.Reason)) << lastError;
        EXPECT_EQ(std::vector<std::string>{}, Strays({"a-folder", "existing.jpg"}));
        EXPECT_TRUE(fs::is_directory(PathOf("a-folder")));
        EXPECT_FALSE(fs::exists(PathOf("missing")));
        EXPECT_EQ(1000u, fs::file_size(existing));
    }
}

// A surface its format cannot hold (a JPEG 69,285 pixels wide) is saved as the 50 by 30 error
// image in that format, with the create step's code and the writer's message.
TEST_F(SaveBarcodeTest, AnImageItsFormatCannotHoldIsSavedAsTheErrorImage) {
    const TBarcodeSetup oversizedJpeg{.BarcodeType = bcCode128B,
                                      .Data = std::string(200, 'Q'),
                                      .NarrowBarWidth = 31,
                                      .Height = 2,
                                      .ImageTypeStr = "JPEG"};
    TQuillax object;
    ASSERT_NO_FATAL_FAILURE(Apply(object, oversizedJpeg));
    EXPECT_EQ(TRenderStep::rsNone, RenderBarcode(object.Properties()).FailedStep);
    LONG result;
    ASSERT_HR(S_OK, Save(object, PathOf("wide.jpg"), result));
    EXPECT_EQ(4, result);
    const auto [lastResult, lastError] = LastOutcome(object);
    EXPECT_EQ(4, lastResult);
    EXPECT_EQ(0u, lastError.find("Cannot write the 69285 by 2 pixel image as JPG: JPEG error #"))
        << lastError;
    const TRgbImage image = DecodeJpeg(ReadFileBytes(PathOf("wide.jpg")));
    EXPECT_EQ(50, image.Width);
    EXPECT_EQ(30, image.Height);
    EXPECT_EQ(ReadFileBytes(PathOf("wide.jpg")), object.EncodeBarcode().Image.Bytes());
}

// A symbolic link has the file it leads to replaced, through any chain of links and whether
// that file exists or not; the links stay as they were.
TEST_F(SaveBarcodeTest, ALinkHasItsFinalTargetReplaced) {
    fs::create_directory(PathOf("sub"));
    struct Row {
        const char* Name;
        std::vector<std::pair<std::string, std::string>> Links; // link name, what it holds
        std::string Target;                                     // the file that is written
    };
    const Row rows[] = {
        {"relative link", {{"link.bmp", "target.bmp"}}, "target.bmp"},
        {"absolute link", {{"link.bmp", PathOf("target.bmp")}}, "target.bmp"},
        {"chain into a folder", {{"link.bmp", "hop"}, {"hop", "sub/target.bmp"}}, "sub/target.bmp"},
        {"link inside a folder read from there",
         {{"link.bmp", "sub/hop"}, {"sub/hop", "../target.bmp"}},
         "target.bmp"},
    };
    for (const bool targetExists : {true, false}) {
        for (const auto& row : rows) {
            SCOPED_TRACE(std::string(row.Name) + (targetExists ? "" : ", to a new file"));
            if (targetExists) WriteFile(PathOf(row.Target), 1000);
            for (const auto& [link, holds] : row.Links)
                fs::create_symlink(holds, PathOf(link));
            TQuillax object;
            ASSERT_NO_FATAL_FAILURE(Apply(object, kValidEan13));
            LONG result;
            ASSERT_HR(S_OK, Save(object, PathOf("link.bmp"), result));
            EXPECT_EQ(0, result);
            EXPECT_EQ(object.EncodeBarcode().Image.Bytes(), ReadFileBytes(PathOf(row.Target)));
            for (const auto& [link, holds] : row.Links)
                EXPECT_EQ(holds, fs::read_symlink(PathOf(link)).string());
            fs::remove(PathOf(row.Target));
            for (const auto& link : row.Links)
                fs::remove(PathOf(link.first));
            EXPECT_EQ(std::vector<std::string>{"sub"}, Strays({}));
        }
    }
}

// A FIFO or a character device is no file to replace: the image is written into it, and it
// stays what it was.
TEST_F(SaveBarcodeTest, AFifoOrADeviceIsWrittenInPlace) {
    TQuillax object;
    ASSERT_NO_FATAL_FAILURE(Apply(object, kValidEan13));
    const TEncodedBarcode encoded = object.EncodeBarcode();
    const std::vector<uint8_t> expected(encoded.Image.Bytes().begin(), encoded.Image.Bytes().end());
    const std::string fifo = PathOf("pipe");
    TOpenFifo reader(fifo);
    ASSERT_TRUE(reader.Opened());
    LONG result;
    ASSERT_HR(S_OK, Save(object, fifo, result));
    EXPECT_EQ(0, result);
    const std::string read = reader.Drain();
    EXPECT_EQ(expected, std::vector<uint8_t>(read.begin(), read.end()));
    EXPECT_TRUE(fs::is_fifo(fifo));

    const std::string device = PathOf("null");
    if (::mknod(device.c_str(), S_IFCHR | 0666, ::makedev(1, 3)) != 0)
        GTEST_SKIP() << "a character device cannot be made here (" << std::strerror(errno)
                     << "; making one needs root): only the FIFO was tested";
    ASSERT_HR(S_OK, Save(object, device, result));
    EXPECT_EQ(0, result);
    EXPECT_TRUE(fs::is_character_file(device));
    std::vector<std::string> left = Strays({});
    std::sort(left.begin(), left.end());
    EXPECT_EQ(std::vector<std::string>({"null", "pipe"}), left);
}

TEST_F(SaveBarcodeTest, BadDataWritesTheErrorImageAndReportsTheDrawStep) {
    struct Row {
        const char* Name;
        LONG BarcodeType;
        const char* Data;
    };
    const Row rows[] = {
        {"letters in EAN-13 data", bcCodeEAN13, "12345ABC"},
        {"symbology 25", 25, "123456789012"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Name);
        TQuillax object;
        TBarcodeSetup setup = kValidEan13;
        setup.BarcodeType = row.BarcodeType;
        setup.Data = row.Data;
        ASSERT_NO_FATAL_FAILURE(Apply(object, setup));
        LONG result;
        ASSERT_HR(S_OK, Save(object, PathOf("error.bmp"), result));
        EXPECT_EQ(3, result);
        TRgbImage image = DecodeBmp(ReadFileBytes(PathOf("error.bmp")));
        EXPECT_EQ(50, image.Width);
        EXPECT_EQ(30, image.Height);
        EXPECT_EQ(0xFFFFFFu, image.Pixel(0, 0));
        EXPECT_EQ(0xFFFFFFu, image.Pixel(49, 29));
    }
}

// Before a page start every property is zero: a symbology of ordinal 0, no data, a narrow
// width of 0, Height 0. The run then has no width, so sizing and drawing fail; the file holds
// the 50 by 30 error image as a BMP.
TEST_F(SaveBarcodeTest, WorksBeforeThePageStarts) {
    TQuillax object;
    LONG result;
    ASSERT_HR(S_OK, Save(object, PathOf("zero.png"), result));
    EXPECT_EQ(3, result);
    TRgbImage image = DecodeBmp(ReadFileBytes(PathOf("zero.png")));
    EXPECT_EQ(50, image.Width);
    EXPECT_EQ(30, image.Height);
}

} // namespace
} // namespace quillax::test
