// Running the quillax command as a user runs it, from the tests: its arguments through the
// shell, standard output and standard error captured, the exit status.
#pragma once

#include "tests/support/BuiltComponent.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace quillax::clitest {

namespace fs = std::filesystem;

inline fs::path Command() {
    return test::BuildFolder() / "quillax";
}

inline std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

struct TRun {
    int status = -1;
    std::string out;
    std::string err;
};

struct CommandFixture : ::testing::Test {
    fs::path folder;

    void SetUp() override {
        folder = fs::temp_directory_path() /
                 ("quillax-cli-" + std::to_string(getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }

    // Runs quillax with the arguments (already quoted for the shell) and standard input
    // read from the file `input`.
    TRun Quillax(const std::string& arguments, const fs::path& input = "/dev/null") {
        return Run("'" + Command().string() + "' " + arguments, input);
    }

    // Runs a shell command line, as Quillax does.
    TRun Run(const std::string& commandLine, const fs::path& input = "/dev/null") {
        const fs::path out = folder / "stdout";
        const fs::path err = folder / "stderr";
        const std::string line = commandLine + " >'" + out.string() + "' 2>'" + err.string() +
                                 "' <'" + input.string() + "'";
        const int raw = std::system(line.c_str());
        TRun run;
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        run.out = ReadFile(out);
        run.err = ReadFile(err);
        return run;
    }
};

} // namespace quillax::clitest
