// Rendering a CSV list through the built component: good rows become the images `render`
// makes, bad rows are reported by line, in order, with their reason and write nothing while
// the others still render, header faults stop the batch before anything is written, and
// several threads write what one thread writes.
#include "tests/support/BuiltComponent.h"

#include "apps/cli/BatchFiles.h"
#include "apps/cli/BatchProgress.h"
#include "apps/cli/BatchRender.h"
#include "hosting/Kemrin_Quillax_TLB.h"

#include <gtest/gtest.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using namespace quillax;
using namespace quillax::host;

// Rows are told one at a time, in their order.
class TRecordingObserver final : public TBatchObserver {
public:
    void RowDone(const TRowOutcome& outcome) override {
        EXPECT_TRUE(byLine.empty() || byLine.rbegin()->first < outcome.Line)
            << "line " << outcome.Line << " after line " << byLine.rbegin()->first;
        EXPECT_TRUE(byLine.emplace(outcome.Line, outcome).second) << "line " << outcome.Line;
    }
    std::map<std::size_t, TRowOutcome> byLine;
};

std::size_t FilesUnder(const fs::path& folder) {
    std::size_t files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        files += entry.is_regular_file();
    return files;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The bytes ShowBarcode gives for the settings, as `render` writes them.
std::string Rendered(const std::vector<TPropertySetting>& settings) {
    test::TBodySink sink;
    RunBarcodePage(test::BuiltComponent(), settings, sink);
    return sink.body;
}

struct BatchFixture : ::testing::Test {
    fs::path folder;

    void SetUp() override {
        folder = fs::temp_directory_path() /
                 ("quillax-batch-" + std::to_string(getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
    }
    void TearDown() override { fs::remove_all(folder); }

    TBatchSummary Run(const std::string& csv, TRecordingObserver& observer, unsigned threads = 2,
                      const fs::path& into = {}) {
        std::istringstream in(csv);
        return RenderBatch(test::BuiltComponent(), in,
                           {(into.empty() ? folder : into).string(), threads}, observer);
    }
};

TEST_F(BatchFixture, GoodRowsRenderAndBadRowsAreReportedByLine) {
    const std::string csv = "BarcodeType,Data,Height,ImageTypeStr,file\n"       // 1
                            "EAN13,5901234123457,60,PNG,ean.png\n"              // 2
                            "code 128 b,\"Quillax, batch\",,jpg,sub/c128.jpg\n" // 3
                            "EAN13,ABC,,PNG,bad-data.png\n"                     // 4
                            "EAN13,1,tall,PNG,tall.png\n"                       // 5
                            "EAN-14,1,,PNG,unknown.png\n"                       // 6
                            "EAN13,0,,PNG\n"                                    // 7
                            "EAN13,0,,PNG,ean.png\n"                            // 8
                            "EAN13,0,,PNG,../escape.png\n"                      // 9
                            "EAN13,0,,PNG,/tmp/absolute.png\n"                  // 10
                            "EAN13,0,,PNG,\"late\"quote.png\n"                  // 11
                            "\n"                                                // 12
                            "14,4006381333931,,BMP,\"last\n.bmp\"\n"            // 13-14
                            "EAN13,5901234123457,,GIF,gif.png\n"                // 15
                            "EAN13,5901234123457,,JPG,contradiction.png\n"      // 16
                            "EAN13,5901234123457,,,from-name.png\n"             // 17
                            "EAN13,1,,PNG,./ean.png\n"                          // 18
                            "EAN13,1,,PNG,sub/../ean.png\n"                     // 19
                            "EAN13,1,,PNG,sub/..\n";                            // 20
    TRecordingObserver observer;
    const TBatchSummary summary = Run(csv, observer);

    const struct {
        std::size_t line;
        const char* problem; // a part of it; empty for a written image
        const char* file;    // relative to the folder; empty when no image is expected
    } rows[] = {
        {2, "", "ean.png"},
        {3, "", "sub/c128.jpg"},
        {4, "rendering failed at step 3 (drawing the barcode): Barcode must be numeric", ""},
        {5, "value tall does not convert for property Height", ""},
        {6, "unknown symbology \"EAN-14\"", ""},
        {7, "4 fields where the header has 5", ""},
        {8, "the file ean.png is already the image of line 2", ""},
        {9, "the file name ../escape.png is not inside the output folder", ""},
        {10, "the file name /tmp/absolute.png is not inside the output folder", ""},
        {11, "text after the closing quote of a field", ""},
        {13, "", "last\n.bmp"},
        {15, "ImageTypeStr GIF is not an image format: use BMP, PNG, JPG, JPEG or SVG", ""},
        {16, "ImageTypeStr=JPG contradicts the file name contradiction.png", ""},
        {17, "", "from-name.png"},
        {18, "the file ./ean.png is already the image of line 2", ""},
        {19, "the file sub/../ean.png is already the image of line 2", ""},
        {20, "the file name sub/.. names a folder", ""},
    };
    EXPECT_EQ(std::size(rows), summary.Rows);
    EXPECT_EQ(13u, summary.Failed);
    EXPECT_EQ(summary.Rows - summary.Failed, FilesUnder(folder)); // and no temporary left
    ASSERT_EQ(std::size(rows), observer.byLine.size());
    for (const auto& row : rows) {
        SCOPED_TRACE("line " + std::to_string(row.line));
        const TRowOutcome& outcome = observer.byLine.at(row.line);
        EXPECT_NE(std::string::npos, outcome.Problem.find(row.problem)) << outcome.Problem;
        EXPECT_EQ(*row.problem == '\0', !outcome.Failed()) << outcome.Problem;
        EXPECT_EQ(*row.file == '\0' ? "" : (folder / row.file).string(), outcome.File);
        if (*row.file != '\0') {
            EXPECT_TRUE(fs::is_regular_file(folder / row.file));
        }
    }
    EXPECT_FALSE(fs::exists(folder / "bad-data.png")) << "a failed row writes no image";
    EXPECT_FALSE(fs::exists(folder / "tall.png"));
    EXPECT_FALSE(fs::exists(folder / "gif.png"));
    EXPECT_FALSE(fs::exists(folder / "contradiction.png"));
    EXPECT_EQ("\x89PNG", ReadFile(folder / "from-name.png").substr(0, 4));
    EXPECT_FALSE(fs::exists(folder.parent_path() / "escape.png"));

    // A written image is exactly what render makes of the same settings.
    EXPECT_EQ(Rendered({{"BarcodeType", "14"},
                        {"Data", "5901234123457"},
                        {"Height", "60"},
                        {"ImageTypeStr", "PNG"}}),
              ReadFile(folder / "ean.png"));
    EXPECT_EQ(Rendered({{"BarcodeType", "6"}, {"Data", "Quillax, batch"}, {"ImageTypeStr", "jpg"}}),
              ReadFile(folder / "sub/c128.jpg"));
}

TEST_F(BatchFixture, WithoutAFileColumnRowsAreNumberedWithTheFormatsExtension) {
    const std::string csv = "Data,imagetype,ImageTypeStr\n"
                            "5901234123457,3,\n"
                            "5901234123464,1,\n"
                            "5901234123471,,\n"
                            "bad,row\n"
                            "5901234123488,,jpeg\n";
    TRecordingObserver observer;
    const TBatchSummary summary = Run(csv, observer, 1);
    EXPECT_EQ(5u, summary.Rows);
    EXPECT_EQ(1u, summary.Failed);
    const std::pair<std::size_t, const char*> files[] = {
        {2, "000001.png"}, {3, "000002.jpg"}, {4, "000003.bmp"}, {6, "000005.jpg"}};
    for (const auto& [line, file] : files) {
        SCOPED_TRACE(file);
        EXPECT_EQ((folder / file).string(), observer.byLine.at(line).File);
        EXPECT_TRUE(fs::is_regular_file(folder / file));
    }
    EXPECT_EQ(4, std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

// A slow first row holds back the report of the rows after it, however early they fail.
TEST_F(BatchFixture, RowsAreReportedInTheirOrder) {
    std::string csv = "BarcodeType,Data,NarrowBarWidth,ImageTypeStr\n"
                      "Code128B," +
                      std::string(1000, 'Q') + ",2,PNG\n";
    for (int i = 0; i < 50; ++i)
        csv += i % 2 ? "EAN13\n" : "EAN13,ABC,,PNG\n";
    TRecordingObserver observer; // fails on a row told after a later one
    EXPECT_EQ(50u, Run(csv, observer).Failed);
    EXPECT_EQ(51u, observer.byLine.size());
}

TEST_F(BatchFixture, AnEmptyCellLeavesThePropertyAtItsDefault) {
    TRecordingObserver observer;
    Run("Data,Height,BarcodeType,file\n5901234123457,,,a.bmp\n", observer);
    EXPECT_EQ(Rendered({{"Data", "5901234123457"}}), ReadFile(folder / "a.bmp"));
}

TEST_F(BatchFixture, HeaderFaultsStopTheBatchBeforeAnythingIsWritten) {
    const struct {
        std::string csv;
        const char* message;
    } rows[] = {
        {"", "the input is empty"},
        {"\n\n", "the input is empty"},
        {"Data,Colour\n1,2\n", "line 1: unknown property Colour"},
        {"Data,ShowBarcode\n1,2\n", "line 1: unknown property ShowBarcode"},
        {"Data, data\n1,2\n", "line 1: column data is named twice"},
        {"file,Data,FILE\n1,2,3\n", "line 1: column FILE is named twice"},
        {"Data,,Height\n1,2,3\n", "line 1: column 2 has no name"},
        {"\n\"Data\n", "line 2: a quoted field is not closed"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.csv);
        TRecordingObserver observer;
        try {
            Run(row.csv, observer);
            ADD_FAILURE() << "no usage error";
        } catch (const EUsageError& e) {
            EXPECT_NE(std::string::npos, std::string(e.what()).find(row.message)) << e.what();
        }
        EXPECT_TRUE(observer.byLine.empty());
        EXPECT_TRUE(fs::is_empty(folder));
    }
}

TEST_F(BatchFixture, HeaderNamesMatchInAnyCaseAndWithSpacesAround) {
    TRecordingObserver observer;
    const TBatchSummary summary = Run(" DATA ,\tfile\n5901234123457,a.bmp\n", observer);
    EXPECT_EQ(0u, summary.Failed);
    EXPECT_TRUE(fs::is_regular_file(folder / "a.bmp"));
}

TEST_F(BatchFixture, AFolderThatCannotBeMadeFailsTheBatch) {
    std::ofstream(folder.string() + "-file") << "in the way";
    TRecordingObserver observer;
    EXPECT_THROW(Run("Data\n1\n", observer, 1, folder.string() + "-file/images"), Exception);
    fs::remove(folder.string() + "-file");
}

// Several render threads: the same files, byte for byte, as one thread writes.
TEST_F(BatchFixture, SeveralThreadsWriteWhatOneThreadWrites) {
    std::string csv = "BarcodeType,Data,Checksum,ImageTypeStr,Orientation\n";
    const char* types[] = {"EAN13", "Code128B", "Code39", "UPC_A", "Code128"};
    const char* formats[] = {"PNG", "BMP", "JPG"};
    for (int i = 0; i < 120; ++i)
        csv += std::string(types[i % 5]) + "," + std::to_string(10000000000LL + i * 7919) +
               ",true," + formats[i % 3] + "," + std::to_string(i % 4 * 90) + "\n";
    TRecordingObserver one;
    TRecordingObserver four;
    EXPECT_EQ(0u, Run(csv, one, 1, folder / "one").Failed);
    EXPECT_EQ(0u, Run(csv, four, 4, folder / "four").Failed);
    std::size_t compared = 0;
    for (const auto& entry : fs::directory_iterator(folder / "one")) {
        SCOPED_TRACE(entry.path().filename().string());
        EXPECT_EQ(ReadFile(entry.path()), ReadFile(folder / "four" / entry.path().filename()));
        ++compared;
    }
    EXPECT_EQ(120u, compared);
}

// A batch's image goes where its name points: a symbolic link's target is replaced and the
// link stays, a replaced file keeps its permissions, a pipe without a reader is an error
// rather than a wait; nothing is left behind under a temporary name.
TEST_F(BatchFixture, ImagesTakeTheirNamesWhereTheNamePoints) {
    fs::create_directories(folder / "elsewhere");
    std::ofstream(folder / "elsewhere/target.png") << "old";
    fs::create_symlink("elsewhere/target.png", folder / "link.png");
    std::ofstream(folder / "private.png") << "old";
    fs::permissions(folder / "private.png", fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_EQ(0, mkfifo((folder / "pipe.png").c_str(), 0600));
    const struct {
        const char* name;
        const char* problem; // a part of it; empty when the image is written
        const char* holder;  // the file that then holds the image
    } rows[] = {
        {"new.png", "", "new.png"},
        {"link.png", "", "elsewhere/target.png"},
        {"private.png", "", "private.png"},
        {"pipe.png", "could not write", ""},
    };
    std::vector<TStagedImage> staged;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        try {
            staged.push_back(StageImage((folder / row.name).string(), std::string("image")));
            EXPECT_STREQ("", row.problem);
        } catch (const Exception& e) {
            EXPECT_NE(std::string::npos, std::string(e.what()).find(row.problem)) << e.what();
        }
    }
    EXPECT_EQ(std::vector<std::string>(staged.size()), CommitImages(staged));
    for (const auto& row : rows) {
        if (*row.holder != '\0') {
            EXPECT_EQ("image", ReadFile(folder / row.holder)) << row.name;
        }
    }
    EXPECT_TRUE(fs::is_symlink(folder / "link.png"));
    EXPECT_EQ(fs::perms::owner_read | fs::perms::owner_write,
              fs::status(folder / "private.png").permissions());
    EXPECT_EQ(4u, FilesUnder(folder)); // the three files and the link: no temporaries
}

TEST(BatchProgress, LinesShowDoneTotalRateAndTimeLeft) {
    const struct {
        std::size_t done;
        std::optional<std::size_t> total;
        double seconds;
        const char* line;
    } rows[] = {
        {0, 10000, 0.0, "[                        ]     0/10000  0%"},
        {2500, 10000, 0.5, "[======>                 ]  2500/10000  25%"},
        {5000, 10000, 10.0, "[============>           ]  5000/10000  50%  500 rows/s  0:10 left"},
        {10000, 10000, 20.0, "[========================] 10000/10000  100%  500 rows/s  0:00 left"},
        {1, 100000, 2.0, "[>                       ]      1/100000  0%  0.5 rows/s  55:33:18 left"},
        {7, 5, 1.0, "[========================] 7/7  100%  7.0 rows/s  0:00 left"},
        {0, 0, 0.0, "[========================] 0/0  100%"},
        {4711, std::nullopt, 0.2, "4711 rows"},
        {4711, std::nullopt, 2.0, "4711 rows  2356 rows/s"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line);
        EXPECT_EQ(row.line, ProgressLine(row.done, row.total, row.seconds));
    }
    EXPECT_EQ("10000 rows in 12.5 s (800 rows/s): 9998 written, 2 failed",
              SummaryLine(10000, 2, 12.5));
    EXPECT_EQ("1 row in 0.0 s: 1 written, 0 failed", SummaryLine(1, 0, 0.0));
    EXPECT_EQ("0 rows in 0.1 s: 0 written, 0 failed", SummaryLine(0, 0, 0.1));
    const struct {
        std::size_t columns;
        const char* fitted;
    } widths[] = {{0, "[==>  ]  5/10  50%"},
                  {19, "[==>  ]  5/10  50%"},
                  {18, "[==>  ]  5/10  50"},
                  {15, "[==>  ]  5/10"},
                  {2, "["}};
    for (const auto& row : widths)
        EXPECT_EQ(row.fitted, FitToWidth("[==>  ]  5/10  50%", row.columns)) << row.columns;
}

// The width is read from the terminal, and again after it tells of a new size.
TEST(BatchProgress, TerminalWidthFollowsTheTerminal) {
    int master = -1;
    int terminal = -1;
    winsize size{};
    size.ws_col = 40;
    ASSERT_EQ(0, openpty(&master, &terminal, nullptr, nullptr, &size));
    {
        TTerminalWidth width(terminal);
        EXPECT_EQ(40u, width.Columns());
        size.ws_col = 30;
        ASSERT_EQ(0, ioctl(master, TIOCSWINSZ, &size));
        raise(SIGWINCH); // as the terminal does for its foreground process group
        EXPECT_EQ(30u, width.Columns());
    }
    EXPECT_EQ(0u, TTerminalWidth(-1).Columns()) << "no terminal";
    close(terminal);
    close(master);
}

} // namespace
