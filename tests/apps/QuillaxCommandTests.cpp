// The quillax command run as a user runs it: images to files and to standard output, the
// response calls on request, registration in a store file, and the exit statuses.
#include "CommandFixture.h"

#include "apps/PropertyHelp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

using namespace quillax::clitest;

const std::string ValidEan = "Data=5901234123457";

struct FormatRow {
    const char* imageType;
    std::string magic;
};
const FormatRow Formats[] = {{"BMP", "BM"}, {"PNG", "\x89PNG\r\n"}, {"JPG", "\xFF\xD8\xFF"}};

TEST_F(CommandFixture, RendersEachFormatToAFile) {
    for (const FormatRow& row : Formats) {
        SCOPED_TRACE(row.imageType);
        const fs::path file = folder / "barcode.img";
        const TRun run = Quillax("render " + ValidEan + " ImageTypeStr=" + row.imageType + " -o '" +
                                 file.string() + "'");
        EXPECT_EQ(0, run.status) << run.err;
        EXPECT_EQ("", run.out);
        EXPECT_EQ(row.magic, ReadFile(file).substr(0, row.magic.size()));
    }
}

TEST_F(CommandFixture, RendersEachFormatToStandardOutput) {
    for (const char* target : {"", " -o -"}) {
        for (const FormatRow& row : Formats) {
            SCOPED_TRACE(std::string(row.imageType) + target);
            const TRun run =
                Quillax("render " + ValidEan + " imagetypestr=" + row.imageType + target);
            EXPECT_EQ(0, run.status) << run.err;
            EXPECT_EQ(row.magic, run.out.substr(0, row.magic.size()));
        }
    }
}

TEST_F(CommandFixture, HeadersReportTheResponseCallsOnStandardError) {
    const TRun run = Quillax("render " + ValidEan + " ImageType=1 --headers");
    ASSERT_EQ(0, run.status) << run.err;
    const std::string size = std::to_string(run.out.size());
    EXPECT_EQ("Expires: 0\nAddHeader: Content-Length: " + size +
                  "\nContentType: image/jpeg\nBinaryWrite: " + size + " bytes\nFlush\n",
              run.err);
}

TEST_F(CommandFixture, ExitStatusesTellWhatWentWrong) {
    const fs::path existing = folder / "existing.bmp";
    std::ofstream(existing) << "old content that is longer than nothing";
    struct Row {
        const char* name;
        std::string arguments;
        int status;
        fs::path written; // a file that must hold an image afterwards
    } rows[] = {
        {"unknown property", "render Colour=5 -o '" + (folder / "a.bmp").string() + "'", 2, {}},
        {"value that does not convert", "render Height=tall", 2, {}},
        {"method used as a property", "render ShowBarcode=1", 2, {}},
        {"setting without a value sign", "render Height", 2, {}},
        {"unknown symbology name", "render BarcodeType=EAN-14", 2, {}},
        {"no command", "", 2, {}},
        {"unknown command", "paint", 2, {}},
        {"invalid data", "render Data=ABC -o '" + (folder / "bad.bmp").string() + "'", 13,
         folder / "bad.bmp"},
        {"folder that does not exist",
         "render " + ValidEan + " -o '" + (folder / "missing" / "x.bmp").string() + "'",
         15,
         {}},
        {"data the ANSI code page cannot hold",
         "render Data=\xE6\x97\xA5\xE6\x9C\xAC BarcodeType=6 -o '" +
             (folder / "lost.bmp").string() + "'",
         11, folder / "lost.bmp"},
        {"Height 0", "render " + ValidEan + " Height=0 -o '" + (folder / "h0.bmp").string() + "'",
         12, folder / "h0.bmp"},
        {"more digits than UPC-A holds",
         "render BarcodeType=15 Data=0360002914521 -o '" + (folder / "upca.bmp").string() + "'", 13,
         folder / "upca.bmp"},
        {"character Code 39 cannot carry",
         "render Data=abc BarcodeType=3 -o '" + (folder / "c39.bmp").string() + "'", 13,
         folder / "c39.bmp"},
        {"existing file replaced", "render " + ValidEan + " -o '" + existing.string() + "'", 0,
         existing},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const TRun run = Quillax(row.arguments);
        EXPECT_EQ(row.status, run.status) << run.err;
        if (!row.written.empty()) {
            EXPECT_EQ("BM", ReadFile(row.written).substr(0, 2));
        }
    }
    EXPECT_FALSE(fs::exists(folder / "a.bmp"));
}

// A file the encoder cannot write (a JPEG wider than 65,500 pixels) is not written, the target
// keeps its old content, and the command says so with status 15.
TEST_F(CommandFixture, AFileThatWasNotWrittenExitsFifteen) {
    const fs::path target = folder / "wide.jpg";
    std::ofstream(target) << "old";
    const TRun run =
        Quillax("render BarcodeType=6 Data=" + std::string(200, 'Q') +
                " NarrowBarWidth=31 Height=2 ImageTypeStr=JPEG -o '" + target.string() + "'");
    EXPECT_EQ(15, run.status) << run.err;
    EXPECT_NE(std::string::npos, run.err.find("could not write")) << run.err;
    EXPECT_EQ("old", ReadFile(target));
}

// Orientations beyond one turn give the image of the same direction within it.
TEST_F(CommandFixture, OrientationsAreReducedToOneTurn) {
    for (auto [given, reduced] : {std::pair{"360", "0"}, {"-90", "270"}, {"450", "90"}}) {
        SCOPED_TRACE(given);
        const std::string common = "render " + ValidEan + " ShowText=true Orientation=";
        const TRun a = Quillax(common + given);
        const TRun b = Quillax(common + reduced);
        EXPECT_EQ(0, a.status) << a.err;
        EXPECT_EQ(b.out, a.out);
    }
}

TEST_F(CommandFixture, VersionAndHelpSucceed) {
    TRun run = Quillax("--version");
    EXPECT_EQ(0, run.status);
    EXPECT_EQ("quillax 1.0.0\n", run.out);
    run = Quillax("render --help");
    EXPECT_EQ(0, run.status);
    EXPECT_NE(std::string::npos, run.out.find("NAME=VALUE"));
    EXPECT_NE(std::string::npos, run.out.find("15 when the file could not be written"));
}

TEST_F(CommandFixture, SymbologyNamesRenderAsTheirNumbers) {
    const struct {
        const char* name;
        const char* number;
        const char* data;
    } rows[] = {{"ean-13", "14", "5901234123457"},
                {"'code 128 b'", "6", "Quillax"},
                {"Codabar", "12", "123456"},
                {"UPC_E1", "17", "123456"},
                {"'Code 128'", "23", "Quillax-0012345678"},
                {"gs1-128", "24", "'(01)09501101530003(10)AB'"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string rest = std::string(" Data=") + row.data + " ImageTypeStr=PNG";
        const TRun byName = Quillax(std::string("render BarcodeType=") + row.name + rest);
        const TRun byNumber = Quillax(std::string("render BarcodeType=") + row.number + rest);
        EXPECT_EQ(0, byName.status) << byName.err;
        EXPECT_EQ(byNumber.out, byName.out);
        EXPECT_FALSE(byName.out.empty());
    }
    const TRun unknown = Quillax("render BarcodeType=Code128D");
    EXPECT_EQ(2, unknown.status);
    EXPECT_NE(std::string::npos, unknown.err.find("Code128B, Code128C")) << unknown.err;
}

TEST_F(CommandFixture, SymbologiesPrintsTheTable) {
    const TRun run = Quillax("symbologies");
    EXPECT_EQ(0, run.status);
    EXPECT_EQ(26, std::count(run.out.begin(), run.out.end(), '\n'));
    EXPECT_NE(std::string::npos, run.out.find("\n14  EAN13 ")) << run.out;
    EXPECT_NE(std::string::npos, run.out.find("\n24  GS1-128 ")) << run.out;
}

TEST_F(CommandFixture, RenderHelpListsEveryPropertyWithItsDefault) {
    const TRun run = Quillax("render --help");
    ASSERT_EQ(0, run.status);
    for (const quillax::host::TPropertyHelp& property : quillax::host::PropertyHelp()) {
        SCOPED_TRACE(std::string(property.Name));
        const std::size_t line = run.out.find("\n  " + std::string(property.Name) + " ");
        ASSERT_NE(std::string::npos, line) << run.out;
        const std::string text = run.out.substr(line + 1, run.out.find('\n', line + 1) - line - 1);
        EXPECT_NE(std::string::npos, text.find(property.Values));
        EXPECT_NE(std::string::npos, text.find(property.Default));
    }
}

TEST_F(CommandFixture, RegistersAndUnregistersInAStoreFile) {
    const std::string store = "--registry '" + (folder / "registry").string() + "'";
    TRun run = Quillax("register " + store);
    ASSERT_EQ(0, run.status) << run.err;
    const std::string written = ReadFile(folder / "registry");
    EXPECT_NE(std::string::npos, written.find("Kemrin_Quillax.Quillax"));
    EXPECT_NE(std::string::npos, written.find("libKemrin_Quillax.so"));
    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE("unregister " + std::to_string(round));
        run = Quillax("unregister " + store);
        EXPECT_EQ(0, run.status) << run.err;
    }
    EXPECT_EQ(std::string::npos, ReadFile(folder / "registry").find("Kemrin_Quillax.Quillax"));
}

} // namespace
