// The quillax command run as a user runs it: images to files and to standard output, the
// response calls on request, registration in a store file, and the exit statuses.
#include "CommandFixture.h"

#include "apps/cli/CommandWords.h"
#include "apps/cli/PropertyHelp.h"
#include "apps/page/SymbologyNames.h"
#include "tests/support/OpenFifo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <sys/sysmacros.h>

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
        {"format no writer has", "render " + ValidEan + " ImageTypeStr=GIF", 2, {}},
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

// A failed render says why on standard error and exits 10 + its step, whether the image
// goes to a file or to standard output; the image is written either way.
TEST_F(CommandFixture, AFailedRenderPrintsItsErrorAndItsStepWhereverTheImageGoes) {
    const fs::path file = folder / "image";
    struct Row {
        const char* name;
        std::string settings;
        int status;
        std::string error;
    } rows[] = {
        {"clean", ValidEan, 0, ""},
        {"letters in EAN-13 data", "Data=12345ABC", 13, "Barcode must be numeric"},
        {"symbology 99", "BarcodeType=99 Data=123", 13, "TBarcodeEngine: wrong BarcodeType"},
        {"JPEG wider than its format holds",
         "BarcodeType=6 Data=" + std::string(200, 'Q') + " NarrowBarWidth=31 Height=2 ImageType=1",
         14, "Cannot write the 69285 by 2 pixel image as JPG: JPEG error #41"},
    };
    for (const Row& row : rows) {
        for (const std::string& target :
             {std::string(), std::string(" -o -"), " -o '" + file.string() + "'"}) {
            SCOPED_TRACE(row.name + target);
            fs::remove(file);
            const TRun run = Quillax("render " + row.settings + target);
            EXPECT_EQ(row.status, run.status);
            EXPECT_EQ(row.error.empty() ? "" : "quillax render: " + row.error + "\n", run.err);
            EXPECT_FALSE((target.size() > 5 ? ReadFile(file) : run.out).empty());
        }
    }
}

// Without ImageTypeStr the format follows -o's extension (any case); a format given that the
// extension contradicts is a usage error; other extensions leave the format to the settings.
TEST_F(CommandFixture, TheFormatFollowsTheFileNameUnlessGiven) {
    struct Row {
        const char* file;
        const char* settings;
        int status;
        std::string magic;
    } rows[] = {
        {"label.png", "", 0, "\x89PNG"},
        {"label.JPG", "", 0, "\xFF\xD8\xFF"},
        {"label.jpeg", "", 0, "\xFF\xD8\xFF"},
        {"label.SVG", " Layout=1", 0, "<?xml"},
        {"label.Bmp", " ImageTypeStr=bmp", 0, "BM"},
        {"label.jpg", " ImageTypeStr=jpeg", 0, "\xFF\xD8\xFF"},
        {"label.gif", "", 0, "BM"},
        {"label.gif", " ImageTypeStr=PNG", 0, "\x89PNG"},
        {"label", " ImageType=3", 0, "\x89PNG"},
        {"label.png", " ImageTypeStr=JPG", 2, ""},
        {"label.png", " ImageType=2", 2, ""},
        {"label.png", " ImageTypeStr=GIF", 2, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.file) + row.settings);
        const fs::path file = folder / row.file;
        const TRun run =
            Quillax("render " + ValidEan + row.settings + " -o '" + file.string() + "'");
        EXPECT_EQ(row.status, run.status) << run.err;
        if (row.status == 0) {
            EXPECT_EQ(row.magic, ReadFile(file).substr(0, row.magic.size()));
        } else {
            EXPECT_FALSE(fs::exists(file));
            EXPECT_EQ(0u, run.err.find("quillax render: ImageType")) << run.err;
        }
        fs::remove(file);
    }
}

// -o writes where the name points: a link's target is replaced and the link stays; a FIFO
// and a character device are written into, never replaced by a file.
TEST_F(CommandFixture, AnOutputNameIsWrittenWhereItPoints) {
    const std::string render = "render " + ValidEan + " -o ";
    fs::create_symlink("target.bmp", folder / "link.bmp");
    TRun run = Quillax(render + "'" + (folder / "link.bmp").string() + "'");
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_TRUE(fs::is_symlink(folder / "link.bmp"));
    EXPECT_EQ("BM", ReadFile(folder / "target.bmp").substr(0, 2));

    const fs::path fifo = folder / "pipe";
    quillax::test::TOpenFifo reader(fifo.string());
    ASSERT_TRUE(reader.Opened());
    run = Quillax(render + "'" + fifo.string() + "'");
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ("BM", reader.Drain().substr(0, 2));
    EXPECT_TRUE(fs::is_fifo(fifo));

    const fs::path device = folder / "null";
    if (::mknod(device.c_str(), S_IFCHR | 0666, ::makedev(1, 3)) != 0)
        GTEST_SKIP() << "a character device cannot be made here (making one needs root): "
                        "the link and the FIFO were tested";
    run = Quillax(render + "'" + device.string() + "'");
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_TRUE(fs::is_character_file(device));
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
    EXPECT_NE(std::string::npos, run.out.find("other than BMP, PNG, JPG, JPEG or SVG"));
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
    EXPECT_NE(std::string::npos, run.out.find("\n12  Codabar ")) << run.out;
    EXPECT_NE(std::string::npos, run.out.find("\n24  GS1-128 ")) << run.out;
}

// The JSON table as another program reads it: Python's parser, one line per symbology.
TEST_F(CommandFixture, SymbologiesAsJsonReadBackAsTheTable) {
    const TRun run = Quillax("symbologies --json");
    ASSERT_EQ(0, run.status) << run.err;
    std::ofstream(folder / "table.json") << run.out;
    if (std::system("command -v python3 >/dev/null") != 0) GTEST_SKIP() << "no python3";
    const TRun read = Run("python3 -c \"import json, sys\n"
                          "for s in json.load(sys.stdin):\n"
                          "    print(s['number'], s['name'], '|'.join(s['aliases']), s['data'],"
                          " s['check_digit'], sep='/')\"",
                          folder / "table.json");
    ASSERT_EQ(0, read.status) << read.err;
    std::string expected;
    for (const quillax::host::TSymbology& symbology : quillax::host::Symbologies()) {
        std::string aliases;
        for (std::string_view alias : quillax::host::SymbologyAliases(symbology))
            aliases += (aliases.empty() ? "" : "|") + std::string(alias);
        expected += std::to_string(symbology.Number) + "/" + std::string(symbology.Name) + "/" +
                    aliases + "/" + std::string(symbology.Data) + "/" +
                    std::string(symbology.CheckDigit) + "\n";
    }
    EXPECT_EQ(expected, read.out);
}

// What a person mistypes gets an answer in the command's words: what was wrong and what is
// taken instead, never a library's text.
TEST_F(CommandFixture, MistakesAreToldInTheCommandsWords) {
    const std::string commands = "The commands are:\n  render       Render a barcode";
    const std::string seeHelp = " (quillax render --help lists what it takes)\n";
    const std::string bytes = " takes a number of bytes from ";
    const struct {
        std::string arguments;
        int status;
        std::string message; // standard error starts with it
    } rows[] = {
        {"", 2, "quillax: no command given\n" + commands},
        {"frobnicate", 2, "quillax: unknown command \"frobnicate\"\n" + commands},
        {"--frobnicate", 2, "quillax: unknown option --frobnicate\n" + commands},
        {"render --bogus", 2, "quillax render: unknown option --bogus" + seeHelp},
        {"symbologies extra", 2,
         "quillax symbologies: unexpected argument \"extra\" (quillax symbologies --help"},
        {"batch '" + folder.string() + "'", 1,
         "quillax batch: cannot read " + folder.string() +
             ": it is a folder; give a CSV file, or - for standard input\n"},
        {"batch -j abc in.csv", 2,
         "quillax batch: -j/--jobs takes a whole number from 1 to 1024, not \"abc\"\n"},
        {"batch --jobs 0 in.csv", 2,
         "quillax batch: -j/--jobs takes a whole number from 1 to 1024, not \"0\"\n"},
        {"serve --listen", 2, "quillax serve: --listen needs a value\n"},
        {"serve --cache-bytes -1", 2,
         "quillax serve: --cache-bytes" + bytes +
             "0 to 1099511627776 (or with K, M or G: 64M), "
             "not \"-1\"\n"},
        {"serve --threads 0", 2, "quillax serve: --threads takes a whole number from 1 to 256"},
        {"serve --render-threads 300", 2, "quillax serve: --render-threads takes a whole number"},
        {"serve --render-queue 0", 2, "quillax serve: --render-queue takes a whole number from 1"},
        {"serve --render-memory 64K", 2, "quillax serve: --render-memory" + bytes + "1048576 to"},
        {"serve --max-connections 1.5", 2, "quillax serve: --max-connections takes a whole number"},
        {"serve --max-connections-per-client ' 4'", 2,
         "quillax serve: --max-connections-per-client takes a whole number from 0 to"},
        {"render BarColor=#F00", 2,
         "quillax render: value #F00 does not convert for property BarColor: a colour is "
         "#RRGGBB, 0xRRGGBB, &HBBGGRR or a number\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.arguments);
        const TRun run = Quillax(row.arguments);
        EXPECT_EQ(row.status, run.status);
        EXPECT_EQ(row.message, run.err.substr(0, row.message.size()));
    }
}

// Byte counts take K, M and G (powers of 1024); anything but digits and one unit is refused.
TEST(WholeNumberOption, ReadsDigitsAndByteUnitsWithinTheBounds) {
    using quillax::host::WholeNumberOption;
    const quillax::host::TWholeNumberRange bytes{0, std::uint64_t{1} << 40, true};
    const quillax::host::TWholeNumberRange count{1, 256, false};
    EXPECT_EQ(0u, WholeNumberOption("--b", "0", bytes));
    EXPECT_EQ(64u << 10, WholeNumberOption("--b", "64k", bytes));
    EXPECT_EQ(64u << 20, WholeNumberOption("--b", "64M", bytes));
    EXPECT_EQ(std::uint64_t{1} << 40, WholeNumberOption("--b", "1024G", bytes));
    EXPECT_EQ(256u, WholeNumberOption("--n", "256", count));
    for (const char* refused :
         {"1025G", "18014398509481984G", "", "M", "+5", " 5", "5 ", "0x10", "5MB", "1e3"})
        EXPECT_THROW(WholeNumberOption("--b", refused, bytes), quillax::host::EUsageError)
            << refused;
    for (const char* refused : {"0", "257", "1K", "-1"})
        EXPECT_THROW(WholeNumberOption("--n", refused, count), quillax::host::EUsageError)
            << refused;
}

// A colour as #RRGGBB, 0xRRGGBB, the object's own number or a script's &HBBGGRR: one image.
TEST_F(CommandFixture, ColoursInEverySpellingGiveOneImage) {
    const std::string render = "render " + ValidEan + " ShowText=true ";
    const TRun red = Quillax(render + "BarColor=255 BGColor=16776960"); // cyan spaces
    ASSERT_EQ(0, red.status) << red.err;
    for (const char* spelling :
         {"BarColor=#FF0000 BGColor=#00ffff", "barcolor=0xff0000 bgcolor=0X00FFFF",
          "BarColor=0xFF0000 BGColor=0xFFFF", // no leading zeros
          "BarColor='&HFF' BGColor='&HFFFF00'"}) {
        SCOPED_TRACE(spelling);
        const TRun run = Quillax(render + spelling);
        EXPECT_EQ(0, run.status) << run.err;
        EXPECT_TRUE(run.out == red.out);
    }
    // &H is read as a script reads it, blue in the high byte.
    EXPECT_FALSE(Quillax(render + "BarColor='&HFF0000' BGColor=16776960").out == red.out);
}

// An image is not poured into a terminal: -o - asks for it there, a file or a pipe is fine.
TEST_F(CommandFixture, RenderKeepsAnImageOutOfATerminal) {
    if (std::system("command -v script >/dev/null") != 0) GTEST_SKIP() << "no script(1)";
    const struct {
        const char* target;
        int status;
        std::string shown; // what the terminal shows first
    } rows[] = {
        {"", 2,
         "quillax render: the image is not written to the terminal: give -o FILE, or -o - to "
         "write it there anyway"},
        {" -o -", 0, "BM"},
        {" | head -c 2", 0, "BM"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.target);
        const std::string inside = "'" + Command().string() + "' render " + ValidEan + row.target;
        const TRun run = Run("script -qec \"" + inside + "\" /dev/null");
        EXPECT_EQ(row.status, run.status) << run.out;
        EXPECT_EQ(row.shown, run.out.substr(0, row.shown.size()));
    }
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

// A file that is not a registry store, or a name in a missing folder, is refused and left
// exactly as it was.
TEST_F(CommandFixture, RegistrationTouchesNothingButARegistryStore) {
    std::ofstream(folder / "bashrc") << "export PATH=$HOME/bin:$PATH\n";
    std::ofstream(folder / "empty");
    struct Row {
        const char* name;
        fs::path file;
        const char* says;
    } rows[] = {
        {"a plain text file", folder / "bashrc", "is not a registry store"},
        {"an empty file", folder / "empty", "is not a registry store"},
        {"a folder", folder, "is not a registry store"},
        {"a missing folder", folder / "no" / "such" / "registry", "does not exist"},
    };
    for (const Row& row : rows) {
        for (const char* command : {"register", "unregister"}) {
            SCOPED_TRACE(std::string(command) + " in " + row.name);
            const TRun run =
                Quillax(std::string(command) + " --registry '" + row.file.string() + "'");
            EXPECT_EQ(1, run.status);
            EXPECT_NE(std::string::npos, run.err.find(row.says)) << run.err;
        }
    }
    EXPECT_EQ("export PATH=$HOME/bin:$PATH\n", ReadFile(folder / "bashrc"));
    EXPECT_EQ("", ReadFile(folder / "empty"));
    EXPECT_FALSE(fs::exists(folder / "no"));
}

} // namespace
