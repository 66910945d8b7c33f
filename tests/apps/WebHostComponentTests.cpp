// The web host serving the built component, loaded as `quillax serve` loads it: the image
// bytes and Response calls of ShowBarcode become the HTTP answer, usage errors become 400,
// and pages render side by side on the worker pool.
#include "LoopbackClient.h"

#include "apps/ComponentHost.h"
#include "apps/WebHost.h"

#include <gtest/gtest.h>

#include <climits>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <memory>
#include <poll.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

namespace {

using namespace quillax::web;
using namespace quillax::webtest;
using quillax::host::TComponentLibrary;

// The component and the command sit at the top of the build folder, the tests in its bin/.
std::filesystem::path BuildFolder() {
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    return std::filesystem::path(std::string(self, length > 0 ? length : 0))
        .parent_path()
        .parent_path();
}

const TComponentLibrary& Component() {
    static const TComponentLibrary library((BuildFolder() / "libKemrin_Quillax.so").string());
    return library;
}

// `quillax serve ARGS...` as a child process with its standard output on a pipe.
class ServeProcess {
public:
    explicit ServeProcess(std::vector<std::string> arguments) {
        int out[2];
        if (pipe(out) != 0) return;
        const std::string command = (BuildFolder() / "quillax").string();
        arguments.insert(arguments.begin(), {command, "serve"});
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], STDOUT_FILENO);
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
    }

    // The first line of its output, waiting at most five seconds.
    std::string FirstLine() {
        std::string line;
        char c;
        pollfd p{out_, POLLIN, 0};
        while (poll(&p, 1, 5000) == 1 && read(out_, &c, 1) == 1 && c != '\n')
            line += c;
        return line;
    }

    // Its exit status after the signal (or none, 0 for no signal), waiting at most five seconds.
    int Stop(int signal) {
        if (signal) kill(pid_, signal);
        for (int i = 0; i < 500; ++i) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                reaped_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    bool reaped_ = false;
};

uint32_t Little32(const std::string& bytes, std::size_t at) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | static_cast<unsigned char>(bytes.at(at + i));
    return value;
}

uint32_t Big32(const std::string& bytes, std::size_t at) {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
        value = value << 8 | static_cast<unsigned char>(bytes.at(at + i));
    return value;
}

class WebHostComponentTest : public ::testing::Test {
protected:
    void SetUp() override {
        WebHostConfig config;
        config.host = "127.0.0.1";
        config.port = 0;
        config.limits.workers = 2;
        host_ = std::make_unique<WebHost>(config, ComponentPage(Component()));
        host_->Start();
    }

    Reply Fetch(const std::string& target) {
        Client client(host_->Port());
        EXPECT_TRUE(client.Send(Get(target)));
        std::optional<Reply> reply = client.Receive();
        EXPECT_TRUE(reply) << target;
        return reply ? std::move(*reply) : Reply{};
    }

    std::unique_ptr<WebHost> host_;
};

TEST_F(WebHostComponentTest, AnswersWithTheImageAndTheResponseCalls) {
    struct Row {
        const char* format;
        const char* contentType;
        std::string magic;
        bool expires;
    };
    const Row rows[] = {
        {"BMP", "image/bmp", "BM", false},
        {"PNG", "image/png", "\x89PNG\r\n\x1A\n", false},
        {"png", "image/png", "\x89PNG\r\n\x1A\n", false},
        {"JPEG", "image/jpeg", "\xFF\xD8\xFF", true},
        {"JPG", "image/jpeg", "\xFF\xD8\xFF", true},
        {"GIF", "image/bmp", "BM", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.format);
        const Reply reply =
            Fetch(std::string("/barcode?Data=590123412345&Height=60&ImageTypeStr=") + row.format);
        EXPECT_EQ(Hex(reply.result_int()), Hex(200)) << reply.body();
        EXPECT_EQ(Header(reply, http::field::content_type), row.contentType);
        EXPECT_EQ(Header(reply, http::field::content_length), std::to_string(reply.body().size()));
        EXPECT_EQ(reply.body().rfind(row.magic, 0), 0u);
        if (row.expires) { // already expired: at the answer's own date, and no max-age
            EXPECT_EQ(Header(reply, http::field::expires), Header(reply, http::field::date));
            EXPECT_EQ(Header(reply, http::field::cache_control), "max-age=0");
        } else {
            EXPECT_EQ(Header(reply, http::field::expires), "<none>");
            EXPECT_EQ(Header(reply, http::field::cache_control), "<none>");
        }
    }
}

TEST_F(WebHostComponentTest, PropertiesReachTheObject) {
    // BMP: width at byte 18, height at 22; PNG: IHDR width at 16, height at 20.
    const Reply bmp = Fetch("/barcode?Data=590123412345&Height=61&ImageTypeStr=BMP");
    ASSERT_GE(bmp.body().size(), 26u);
    EXPECT_EQ(Little32(bmp.body(), 22), 61u);
    const Reply narrow = Fetch("/barcode?Data=590123412345&ImageTypeStr=PNG&NarrowBarWidth=1");
    const Reply wide = Fetch("/barcode?Data=590123412345&ImageTypeStr=PNG&narrowbarwidth=3");
    ASSERT_GE(narrow.body().size(), 24u);
    ASSERT_GE(wide.body().size(), 24u);
    EXPECT_EQ(Big32(wide.body(), 16), 3 * Big32(narrow.body(), 16));
    EXPECT_EQ(Big32(wide.body(), 20), 50u); // the page-start default height
}

TEST_F(WebHostComponentTest, UsageErrorsAre400AndBadDataIsAnErrorImage) {
    struct Row {
        const char* query;
        unsigned status;
        const char* contentType;
    };
    const Row rows[] = {
        {"Colour=red", 400, "text/plain; charset=utf-8"},
        {"Height=tall", 400, "text/plain; charset=utf-8"},
        {"Height=99999999999", 400, "text/plain; charset=utf-8"},
        {"ShowBarcode=1", 400, "text/plain; charset=utf-8"},
        // Data the symbology rejects, and a symbology number past the table: the
        // component draws its 50 by 30 error image and the call succeeds.
        {"Data=ABC", 200, "image/bmp"},
        {"BarcodeType=23&Data=1234", 200, "image/bmp"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.query);
        const Reply reply = Fetch(std::string("/barcode?") + row.query);
        EXPECT_EQ(Hex(reply.result_int()), Hex(row.status)) << reply.body();
        EXPECT_EQ(Header(reply, http::field::content_type), row.contentType);
        if (row.status == 200) {
            ASSERT_GE(reply.body().size(), 26u);
            EXPECT_EQ(Little32(reply.body(), 18), 50u);
            EXPECT_EQ(Little32(reply.body(), 22), 30u);
        } else {
            EXPECT_FALSE(reply.body().empty());
        }
    }
}

TEST_F(WebHostComponentTest, EveryFieldOfTheFormIsAProperty) {
    // "1" converts to every property type, so only a misnamed field gives 400.
    const std::string page(FormPageHtml());
    int fields = 0;
    for (std::size_t at = page.find("name=\""); at != page.npos; at = page.find("name=\"", at)) {
        at += 6;
        const std::string name = page.substr(at, page.find('"', at) - at);
        if (name == "viewport") continue; // the meta tag
        SCOPED_TRACE(name);
        ++fields;
        EXPECT_EQ(Hex(Fetch("/barcode?" + name + "=1").result_int()), Hex(200));
    }
    EXPECT_EQ(fields, 12);
}

TEST_F(WebHostComponentTest, RendersConcurrentRequestsOnTheWorkers) {
    constexpr int kClients = 4;
    constexpr int kRequests = 5;
    auto target = [](int client, int request) {
        return "/barcode?ImageTypeStr=PNG&ShowText=true&Data=59012341" +
               std::to_string(1000 + client * kRequests + request);
    };
    // One at a time first, for the bytes each page must give.
    std::vector<std::string> expected;
    for (int c = 0; c < kClients; ++c)
        for (int r = 0; r < kRequests; ++r)
            expected.push_back(Fetch(target(c, r)).body());

    std::vector<std::string> got(expected.size());
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c) {
        clients.emplace_back([&, c] {
            Client client(host_->Port()); // one keep-alive connection per client
            for (int r = 0; r < kRequests; ++r) {
                if (!client.Send(Get(target(c, r)))) return;
                if (std::optional<Reply> reply = client.Receive())
                    got[c * kRequests + r] = std::move(reply->body());
            }
        });
    }
    for (std::thread& t : clients)
        t.join();
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_FALSE(expected[i].empty());
        EXPECT_EQ(got[i], expected[i]);
    }
}

TEST(WebHostCommand, PrintsItsAddressServesAndStopsOnSignal) {
    for (int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        ServeProcess serve({"--listen", "127.0.0.1:0"});
        const std::string line = serve.FirstLine();
        const std::string prefix = "Quillax listening on http://127.0.0.1:";
        ASSERT_EQ(line.rfind(prefix, 0), 0u) << line;
        ASSERT_EQ(line.back(), '/');
        const auto port = static_cast<uint16_t>(std::stoul(line.substr(prefix.size())));
        Client client(port);
        ASSERT_TRUE(client.Send(Get("/barcode?Data=590123412345&ImageTypeStr=PNG")));
        const std::optional<Reply> reply = client.Receive();
        ASSERT_TRUE(reply);
        EXPECT_EQ(Header(*reply, http::field::content_type), "image/png");
        EXPECT_EQ(serve.Stop(signal), 0);
    }
}

TEST(WebHostCommand, RefusesABadAddressWithTheUsageStatus) {
    const struct {
        const char* listen;
        int status;
    } rows[] = {{"nowhere", 2}, {"127.0.0.1:99999", 2}, {"203.0.113.1:0", 1}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.listen);
        ServeProcess serve({"--listen", row.listen});
        EXPECT_EQ(serve.Stop(0), row.status);
    }
}

} // namespace
