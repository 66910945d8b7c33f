// `quillax serve` as a user runs it, over raw sockets: the rules of HTTP/1.1 it holds clients
// to (framing, Host, targets, methods, the limits on a head), HTTP caching and the response
// cache with the real component, the graceful stop on SIGTERM during a large answer, its
// options and its access log.
#include "LoopbackClient.h"
#include "ServeProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>

namespace {

using namespace quillax::webtest;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr const char* kEan = "Data=5901234123457";

std::string Request(const std::string& line, const std::string& fields = "Host: x\r\n") {
    return line + "\r\n" + fields + "\r\n";
}

// One `quillax serve` for the suite: it holds no state a test could leave behind but its
// cache, which the tests read through /metrics.
class WebServeTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        serve_ = new ServeProcess({"--listen", "127.0.0.1:0", "--threads", "2", "--quiet"});
        port_ = serve_->ListeningPort();
    }
    static void TearDownTestSuite() {
        delete serve_;
        serve_ = nullptr;
    }
    void SetUp() override { ASSERT_NE(port_, 0) << "quillax serve did not start"; }

    static Reply Fetch(const std::string& request, bool head = false) {
        Client client(port_);
        EXPECT_TRUE(client.Send(request));
        std::optional<Reply> reply = client.Receive(head);
        EXPECT_TRUE(reply) << request;
        return reply ? std::move(*reply) : Reply{};
    }

    // The count on the /metrics line that starts with name.
    static long Metric(const std::string& name) {
        const std::string text = Fetch(Get("/metrics")).body();
        const std::size_t at = text.find(name + " ");
        return at == text.npos ? -1 : std::stol(text.substr(at + name.size() + 1));
    }

    static inline ServeProcess* serve_ = nullptr;
    static inline uint16_t port_ = 0;
};

std::string ManyFields(int count) {
    std::string fields = "Host: x\r\n";
    for (int i = 1; i < count; ++i)
        fields += "X-Field-" + std::to_string(i) + ": " + std::to_string(i) + "\r\n";
    return fields;
}

TEST_F(WebServeTest, HoldsClientsToTheRulesOfHttp11) {
    const std::string hidden = Get("/healthz"); // must never be answered where it is smuggled
    const std::string target = "/barcode?" + std::string(kEan);
    // "GET " + path + " HTTP/1.1" is 13 bytes besides the path.
    const auto lineOf = [](std::size_t length) {
        return "GET /" + std::string(length - 14, 'a') + " HTTP/1.1";
    };
    struct Row {
        const char* name;
        std::string request;
        unsigned status;
        bool closes; // the connection ends after the answer, and nothing more is answered
    };
    const Row rows[] = {
        // Framing: a body is never taken for the next request.
        {"chunked, gzip",
         Request("POST /barcode HTTP/1.1", "Host: x\r\nTransfer-Encoding: chunked, gzip\r\n") +
             hidden,
         400, true},
        {"xchunked",
         Request("POST / HTTP/1.1", "Host: x\r\nTransfer-Encoding: xchunked\r\n") + hidden, 400,
         true},
        {"chunked, chunked",
         Request("POST / HTTP/1.1", "Host: x\r\nTransfer-Encoding: chunked, chunked\r\n") + hidden,
         400, true},
        {"Transfer-Encoding on HTTP/1.0",
         Request("POST / HTTP/1.0", "Transfer-Encoding: chunked\r\n") + "0\r\n\r\n" + hidden, 400,
         true},
        {"Transfer-Encoding and Content-Length",
         Request("POST / HTTP/1.1", "Host: x\r\nTransfer-Encoding: gzip\r\nContent-Length: 3\r\n") +
             hidden,
         400, true},
        {"sound chunked body, not read",
         Request("POST /healthz HTTP/1.1", "Host: x\r\nTransfer-Encoding: chunked\r\n") +
             "0\r\n\r\n" + hidden,
         405, true},
        {"Content-Length body, not read",
         Request("GET /healthz HTTP/1.1", "Host: x\r\nContent-Length: 39\r\n") + hidden, 200, true},
        // Host.
        {"no Host", Request("GET /healthz HTTP/1.1", ""), 400, true},
        {"two Hosts", Request("GET /healthz HTTP/1.1", "Host: a\r\nHost: b\r\n"), 400, true},
        {"malformed Host", Request("GET /healthz HTTP/1.1", "Host: a b\r\n"), 400, true},
        {"HTTP/1.0 without Host", Request("GET /healthz HTTP/1.0", ""), 200, true},
        // Targets and methods.
        {"absolute form", Request("GET http://barcodes.example" + target + " HTTP/1.1"), 200,
         false},
        {"fragment", Request("GET " + target + "#label HTTP/1.1"), 400, false},
        {"unknown method", Request("BREW " + target + " HTTP/1.1"), 501, false},
        {"known method not served", Request("DELETE " + target + " HTTP/1.1"), 405, false},
        {"OPTIONS", Request("OPTIONS " + target + " HTTP/1.1"), 204, false},
        {"If-Match on no current tag",
         Request("GET " + target + " HTTP/1.1", "Host: x\r\nIf-Match: \"0-0\"\r\n"), 412, false},
        // Limits.
        {"request line of 8 KiB", Request(lineOf(8192)), 404, false},
        {"request line past 8 KiB", Request(lineOf(8193)), 414, true},
        {"unfinished request line past 8 KiB", lineOf(9000).substr(0, 8400), 414, true},
        {"request line of 16 KiB in one write", Request(lineOf(16 << 10)), 414, true},
        {"request line of 64 KiB in one write", Request(lineOf(64 << 10)), 414, true},
        {"request line of 1 MiB in one write", Request(lineOf(1 << 20)), 414, true},
        {"obsolete line folding",
         Request("GET /healthz HTTP/1.1", "Host: x\r\nX-Note: a\r\n Content-Length: 39\r\n") +
             hidden,
         400, true},
        {"40 header fields", Request("GET /healthz HTTP/1.1", ManyFields(40)), 200, false},
        {"100 header fields", Request("GET /healthz HTTP/1.1", ManyFields(100)), 200, false},
        {"101 header fields", Request("GET /healthz HTTP/1.1", ManyFields(101)), 431, true},
        {"150 header fields", Request("GET /healthz HTTP/1.1", ManyFields(150)), 431, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Client client(port_);
        ASSERT_TRUE(client.Send(row.request));
        const std::optional<Reply> reply = client.Receive();
        ASSERT_TRUE(reply);
        EXPECT_EQ(Hex(reply->result_int()), Hex(row.status)) << reply->body();
        if (row.closes) {
            EXPECT_FALSE(reply->keep_alive());
            EXPECT_FALSE(client.Receive()) << "a hidden request was answered";
        } else {
            EXPECT_TRUE(reply->keep_alive());
        }
        if (row.status == 405 || row.status == 204) {
            EXPECT_EQ(Header(*reply, http::field::allow), "GET, HEAD, OPTIONS");
        }
        if (row.status == 204) {
            EXPECT_EQ(Header(*reply, http::field::access_control_allow_origin), "*");
        }
    }
}

TEST_F(WebServeTest, CachesEachFormatAndAnswersItsTagWith304) {
    struct Row {
        const char* format;
        const char* contentType;
        bool expires; // the component marks JPEG as expired
    };
    const Row rows[] = {
        {"BMP", "image/bmp", false}, {"PNG", "image/png", false}, {"JPG", "image/jpeg", true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.format);
        const std::string target =
            "/barcode?" + std::string(kEan) + "&Height=33&ImageTypeStr=" + row.format;
        const long rendersBefore = Metric("renders");
        const Reply first = Fetch(Get(target));
        const Reply again = Fetch(Get(target));
        ASSERT_EQ(Hex(first.result_int()), Hex(200));
        EXPECT_EQ(again.body(), first.body());
        EXPECT_EQ(Metric("renders"), rendersBefore + 1) << "the repeat was rendered again";

        const std::string tag = Header(first, http::field::etag);
        EXPECT_EQ(tag.front(), '"');
        EXPECT_EQ(Header(again, http::field::etag), tag);
        EXPECT_EQ(Header(first, http::field::content_type), row.contentType);
        EXPECT_EQ(Header(first, http::field::access_control_allow_origin), "*");
        if (row.expires) {
            EXPECT_EQ(Header(first, http::field::cache_control), "no-cache");
            EXPECT_EQ(Header(first, http::field::expires), Header(first, http::field::date));
        } else {
            EXPECT_EQ(Header(first, http::field::cache_control), "public, max-age=86400");
            EXPECT_EQ(Header(first, http::field::expires), "<none>");
        }

        const Reply unchanged = Fetch(
            Request("GET " + target + " HTTP/1.1", "Host: x\r\nIf-None-Match: " + tag + "\r\n"));
        EXPECT_EQ(Hex(unchanged.result_int()), Hex(304));
        EXPECT_TRUE(unchanged.body().empty());
        EXPECT_EQ(Header(unchanged, http::field::etag), tag);
        const Reply other =
            Fetch(Request("GET " + target + " HTTP/1.1", "Host: x\r\nIf-None-Match: \"1-1\"\r\n"));
        EXPECT_EQ(Hex(other.result_int()), Hex(200));
        EXPECT_EQ(other.body(), first.body());
        const Reply head = Fetch(Get(target, "HEAD"), true);
        EXPECT_EQ(Header(head, http::field::content_length), std::to_string(first.body().size()));
        EXPECT_EQ(Header(head, http::field::etag), tag);
        EXPECT_EQ(Metric("renders"), rendersBefore + 1);
    }
    EXPECT_GT(Metric("cache_hits"), 0);
}

TEST(WebServeCommand, PrintsItsAddressServesAndStopsOnSignal) {
    for (int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        ServeProcess serve({"--listen", "127.0.0.1:0"});
        const uint16_t port = serve.ListeningPort();
        ASSERT_NE(port, 0);
        Client client(port);
        ASSERT_TRUE(client.Send(Get("/barcode?Data=5901234123457&ImageTypeStr=PNG")));
        const std::optional<Reply> reply = client.Receive();
        ASSERT_TRUE(reply);
        EXPECT_EQ(Header(*reply, http::field::content_type), "image/png");
        EXPECT_EQ(serve.Stop(signal), 0);
    }
}

// A barcode whose render could never fit the render memory: the component's error image
// (50 x 30) as a 422 that says why, rendered again each time.
TEST(WebServeCommand, AnswersARenderBeyondItsMemoryWithTheErrorImage) {
    ServeProcess serve({"--listen", "127.0.0.1:0", "--quiet", "--render-memory", "1048576"});
    const uint16_t port = serve.ListeningPort();
    ASSERT_NE(port, 0);
    const std::string target =
        "/barcode?BarcodeType=Code128B&Height=200&NarrowBarWidth=3&Data=" + std::string(400, 'Q');
    for (int attempt = 0; attempt < 2; ++attempt) {
        Client client(port);
        ASSERT_TRUE(client.Send(Get(target)));
        const std::optional<Reply> reply = client.Receive();
        ASSERT_TRUE(reply);
        EXPECT_EQ(Hex(reply->result_int()), Hex(422));
        EXPECT_NE(Header(*reply, "X-Quillax-Error").find("memory"), std::string::npos);
        ASSERT_GE(reply->body().size(), 26u);
        EXPECT_EQ(reply->body().substr(0, 2), "BM");
        EXPECT_EQ(static_cast<unsigned char>(reply->body()[18]), 50);
        EXPECT_EQ(static_cast<unsigned char>(reply->body()[22]), 30);
    }
}

TEST(WebServeCommand, RefusesABadAddressWithTheUsageStatus) {
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

TEST(WebServeCommand, FinishesA10MegabyteAnswerToASlowReaderOnSigterm) {
    const std::string target = "/barcode?" + std::string(kEan) + "&NarrowBarWidth=20&Height=1800";
    ServeProcess serve({"--listen", "127.0.0.1:0", "--quiet"});
    const uint16_t port = serve.ListeningPort();
    ASSERT_NE(port, 0);
    Client idle(port);
    ASSERT_TRUE(idle.Send(Get("/healthz")));
    ASSERT_TRUE(idle.Receive());

    Client slow(port);
    slow.ReadSlowly(64 * 1024, 3ms);
    ASSERT_TRUE(slow.Send(Get(target)));
    std::optional<Reply> big;
    std::thread reader([&] { big = slow.Receive(); });
    std::this_thread::sleep_for(300ms); // rendered, and partly sent
    const auto signalled = Clock::now();
    serve.Signal(SIGTERM);
    EXPECT_TRUE(idle.ClosedByServer());
    EXPECT_LT(Clock::now() - signalled, 1s) << "the idle connection was not closed at once";
    reader.join();
    const int status = serve.Stop(0, 10s);
    ASSERT_TRUE(big);
    const std::size_t length = std::stoul(Header(*big, http::field::content_length));
    EXPECT_GT(length, 10'000'000u);
    EXPECT_EQ(big->body().size(), length);
    EXPECT_EQ(big->body().substr(0, 2), "BM");
    EXPECT_EQ(status, 0);
    EXPECT_LT(Clock::now() - signalled, 10s);
}

TEST(WebServeCommand, StopsAtOnceOnASecondSignal) {
    ServeProcess serve({"--listen", "127.0.0.1:0", "--quiet"});
    const uint16_t port = serve.ListeningPort();
    ASSERT_NE(port, 0);
    Client slow(port);
    slow.ReadSlowly(4 * 1024, 20ms); // would take minutes
    ASSERT_TRUE(slow.Send(Get("/barcode?" + std::string(kEan) + "&NarrowBarWidth=20&Height=1800")));
    ASSERT_TRUE(slow.Receive(true));
    serve.Signal(SIGTERM);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(serve.Stop(SIGTERM, 2s), 1);
}

TEST(WebServeCommand, HelpListsEveryOptionWithItsDefault) {
    ServeProcess serve({"--help"});
    const std::string help = serve.Output();
    EXPECT_EQ(serve.Stop(0), 0);
    for (const char* expected :
         {"--listen", "127.0.0.1:8080", "--threads", "--cache-bytes", "67108864", "--quiet"}) {
        EXPECT_NE(help.find(expected), std::string::npos) << expected << " in\n" << help;
    }
}

TEST(WebServeCommand, LogsEachRequestOnStandardErrorUnlessQuiet) {
    for (const bool quiet : {false, true}) {
        SCOPED_TRACE(quiet ? "--quiet" : "logging");
        std::vector<std::string> arguments{"--listen", "127.0.0.1:0"};
        if (quiet) arguments.push_back("--quiet");
        ServeProcess serve(arguments);
        const uint16_t port = serve.ListeningPort();
        ASSERT_NE(port, 0);
        const std::string revalidation = "GET /barcode?Data=5901234123457 HTTP/1.1\r\nHost: "
                                         "localhost\r\nIf-None-Match: *\r\n\r\n";
        for (const std::string& request : {Get("/healthz"), Get("/nothing"), revalidation}) {
            Client client(port);
            ASSERT_TRUE(client.Send(request));
            ASSERT_TRUE(client.Receive());
        }
        EXPECT_EQ(serve.Stop(SIGTERM), 0);
        const std::string log = serve.Errors();
        if (quiet) {
            EXPECT_EQ(log, "");
        } else {
            EXPECT_NE(log.find(" 127.0.0.1 GET /healthz 200 3 "), std::string::npos) << log;
            EXPECT_NE(log.find(" 127.0.0.1 GET /nothing 404 10 "), std::string::npos) << log;
            EXPECT_NE(log.find(" 127.0.0.1 GET /barcode?Data=5901234123457 304 0 "),
                      std::string::npos)
                << log;
            EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 3);
        }
    }
}

} // namespace
