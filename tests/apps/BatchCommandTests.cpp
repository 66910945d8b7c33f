// `quillax batch` as a user runs it: exit statuses, failed rows on standard error by line,
// nothing else when standard error is not a terminal, and on a terminal the progress line
// and the summary.
#include "CommandFixture.h"

#include <pty.h>
#include <sys/wait.h>

namespace {

using namespace quillax::clitest;

const std::string kHeader = "BarcodeType,Data,Checksum,ImageTypeStr\n";

std::string GoodRows(int count) {
    std::string rows;
    for (int i = 0; i < count; ++i)
        rows += "EAN13," + std::to_string(590123412300 + i) + ",true,PNG\n";
    return rows;
}

struct BatchCommand : CommandFixture {
    fs::path Csv(const std::string& text) {
        const fs::path file = folder / "rows.csv";
        std::ofstream(file, std::ios::binary) << text;
        return file;
    }
    std::size_t Images() const {
        if (!fs::exists(folder / "out")) return 0;
        return std::distance(fs::directory_iterator(folder / "out"), fs::directory_iterator());
    }
    std::string Out() const { return "-o '" + (folder / "out").string() + "'"; }
};

TEST_F(BatchCommand, ExitStatusesTellWhetherEveryRowWasWritten) {
    const struct {
        const char* name;
        std::string csv;
        std::string options;
        int status;
        std::size_t images;
        const char* reported; // a part of standard error; empty: nothing at all
    } rows[] = {
        {"every row written", kHeader + GoodRows(3), "", 0, 3, ""},
        {"a bad row among good ones", kHeader + GoodRows(2) + "EAN13,ABC,true,PNG\n" + GoodRows(1),
         "", 1, 3, "quillax batch: line 4: rendering failed at step 3"},
        {"a row that does not convert", kHeader + "EAN13,1,maybe,PNG\n", "", 1, 0,
         "quillax batch: line 2: value maybe does not convert for property Checksum"},
        {"unknown property in the header", "Data,Colour\n1,2\n", "", 2, 0,
         "quillax batch: line 1: unknown property Colour"},
        {"no header", "", "", 2, 0, "quillax batch: the input is empty"},
        {"one thread", kHeader + GoodRows(2), "-j 1", 0, 2, ""},
        {"no threads", kHeader + GoodRows(2), "-j 0", 2, 0, "-j"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(folder / "out");
        const TRun run =
            Quillax("batch " + row.options + " " + Out() + " '" + Csv(row.csv).string() + "'");
        EXPECT_EQ(row.status, run.status) << run.err;
        EXPECT_EQ(row.images, Images());
        if (*row.reported == '\0')
            EXPECT_EQ("", run.err);
        else
            EXPECT_NE(std::string::npos, run.err.find(row.reported)) << run.err;
        EXPECT_EQ("", run.out);
    }
}

TEST_F(BatchCommand, AnUnreadableInputFails) {
    const TRun run = Quillax("batch " + Out() + " '" + (folder / "missing.csv").string() + "'");
    EXPECT_EQ(1, run.status);
    EXPECT_NE(std::string::npos, run.err.find("cannot read")) << run.err;
}

TEST_F(BatchCommand, ReadsStandardInputWithoutAFileOrWithADash) {
    const fs::path csv = Csv(kHeader + GoodRows(2));
    for (const char* input : {"", " -"}) {
        SCOPED_TRACE(input);
        fs::remove_all(folder / "out");
        const TRun run = Quillax("batch " + Out() + input, csv);
        EXPECT_EQ(0, run.status) << run.err;
        EXPECT_EQ(2u, Images());
    }
}

// Runs the batch with standard error on a terminal of its own, 40 columns wide; gives what
// the terminal showed.
std::string OnATerminal(const std::string& arguments, int& status) {
    int terminal = -1;
    winsize size{};
    size.ws_row = 24;
    size.ws_col = 40;
    const pid_t child = forkpty(&terminal, nullptr, nullptr, &size);
    if (child == 0) {
        const std::string line = "exec '" + Command().string() + "' " + arguments + " </dev/null";
        execl("/bin/sh", "sh", "-c", line.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    std::string shown;
    char buffer[4096];
    for (ssize_t n; (n = read(terminal, buffer, sizeof buffer)) > 0;)
        shown.append(buffer, static_cast<std::size_t>(n));
    close(terminal);
    int raw = 0;
    waitpid(child, &raw, 0);
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return shown;
}

// Each failed row is a line of its own, after which the progress line is drawn again; the
// progress line is always redrawn in place and never wraps.
TEST_F(BatchCommand, OnATerminalShowsProgressInPlaceAndASummary) {
    std::string shortRows;
    for (int i = 0; i < 1000; ++i)
        shortRows += "EAN13\n";
    const fs::path csv = Csv(kHeader + GoodRows(40) + "EAN13,ABC,true,PNG\n" + shortRows);
    int status = -1;
    const std::string shown =
        OnATerminal("batch -j 2 " + Out() + " '" + csv.string() + "'", status);
    EXPECT_EQ(1, status) << shown;
    std::size_t drawn = 0;
    for (std::size_t at = shown.find("\r["); at != std::string::npos;
         at = shown.find("\r[", at + 1), ++drawn) {
        const std::string line = shown.substr(at + 1, shown.find("\x1b[K", at) - at - 1);
        ASSERT_LT(line.size(), 40u) << line;
        ASSERT_EQ(line.find('\n'), std::string::npos) << line;
    }
    EXPECT_GT(drawn, 1000u);
    EXPECT_NE(std::string::npos, shown.find("/1041")) << shown;
    EXPECT_NE(std::string::npos, shown.find("quillax batch: line 42: rendering failed")) << shown;
    EXPECT_NE(std::string::npos, shown.find("\r\x1b[K1041 rows in ")) << shown;
    EXPECT_NE(std::string::npos, shown.find(": 40 written, 1001 failed")) << shown;
    EXPECT_EQ(40u, Images());
}

TEST_F(BatchCommand, NotOnATerminalShowsNoProgress) {
    const TRun run = Quillax("batch " + Out() + " '" + Csv(kHeader + GoodRows(40)).string() + "'");
    EXPECT_EQ(0, run.status);
    EXPECT_EQ("", run.err);
    EXPECT_EQ(40u, Images());
}

} // namespace
