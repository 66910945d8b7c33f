// `quillax serve ARGS...` as a child process for the web host's tests: its address line read
// from standard output, its standard error kept in a file, signals and its exit status.
#pragma once

#include "tests/support/BuiltComponent.h"

#include <chrono>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <fcntl.h>

namespace quillax::webtest {

using test::BuildFolder;

class ServeProcess {
public:
    explicit ServeProcess(std::vector<std::string> arguments) {
        int out[2];
        if (pipe(out) != 0) return;
        errors_ = std::filesystem::temp_directory_path() /
                  ("quillax-serve-" + std::to_string(getpid()) + "-" +
                   std::to_string(reinterpret_cast<std::uintptr_t>(this)) + ".err");
        const std::string command = (BuildFolder() / "quillax").string();
        arguments.insert(arguments.begin(), {command, "serve"});
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], STDOUT_FILENO);
            const int err = open(errors_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (err >= 0) dup2(err, STDERR_FILENO);
            close(out[0]);
            close(out[1]);
            std::vector<char*> argv;
            for (std::string& a : arguments)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(out[1]);
        out_ = out[0];
    }
    ~ServeProcess() {
        if (pid_ > 0 && !reaped_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) close(out_);
        std::error_code ignored;
        std::filesystem::remove(errors_, ignored);
    }
    ServeProcess(const ServeProcess&) = delete;
    ServeProcess& operator=(const ServeProcess&) = delete;

    // The first line of its output, waiting at most five seconds.
    std::string FirstLine() {
        std::string line;
        char c;
        pollfd p{out_, POLLIN, 0};
        while (poll(&p, 1, 5000) == 1 && read(out_, &c, 1) == 1 && c != '\n')
            line += c;
        return line;
    }

    // All it writes to standard output until it closes it, waiting at most five seconds.
    std::string Output() {
        std::string text;
        char chunk[4096];
        pollfd p{out_, POLLIN, 0};
        ssize_t n;
        while (poll(&p, 1, 5000) == 1 && (n = read(out_, chunk, sizeof chunk)) > 0)
            text.append(chunk, static_cast<std::size_t>(n));
        return text;
    }

    // The port of its "Quillax listening on http://127.0.0.1:PORT/" line, 0 when the line
    // is anything else.
    uint16_t ListeningPort() {
        const std::string line = FirstLine();
        const std::string prefix = "Quillax listening on http://127.0.0.1:";
        if (line.rfind(prefix, 0) != 0 || line.back() != '/') return 0;
        return static_cast<uint16_t>(std::stoul(line.substr(prefix.size())));
    }

    void Signal(int signal) const { kill(pid_, signal); }

    // Its exit status after the signal (none for 0), waiting at most `wait`; -1 if still
    // running then.
    int Stop(int signal, std::chrono::milliseconds wait = std::chrono::seconds(5)) {
        if (signal) kill(pid_, signal);
        const auto until = std::chrono::steady_clock::now() + wait;
        while (std::chrono::steady_clock::now() < until) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                reaped_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }

    // What it wrote to standard error so far.
    std::string Errors() const {
        std::ifstream in(errors_, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    bool reaped_ = false;
    std::filesystem::path errors_;
};

} // namespace quillax::webtest
