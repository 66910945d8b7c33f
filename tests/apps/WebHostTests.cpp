// The web host over loopback: routes, limits, deadlines and keep-alive, with a stand-in page
// that answers the way the component's ShowBarcode does (Expires for JPEG, Content-Length,
// content type, one write of bytes).
#include "apps/WebHost.h"

#include "LoopbackClient.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>

namespace {

using namespace quillax::web;
using namespace quillax::webtest;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A page with the component's response shape. Properties it does not know are a usage
// error; "Fail" fails the call; "Break" makes a malformed reply.
PageReply StandInPage(const std::vector<PageParameter>& parameters) {
    std::string format = "BMP";
    std::string breakage;
    for (const auto& [name, value] : parameters) {
        if (name == "ImageTypeStr")
            format = value;
        else if (name == "Fail")
            throw quillax::Exception("call failed: " + value);
        else if (name == "Break")
            breakage = value;
        else if (name != "Data")
            throw PageUsageError("unknown property \"" + name + "\"");
    }
    PageReply reply;
    if (format == "JPEG") {
        reply.expiresMinutes = 0;
        reply.contentType = "image/jpeg";
        reply.body = std::string("\xFF\xD8\xFF\xE0", 4) + std::string(200, 'j');
    } else if (format == "PNG") {
        reply.contentType = "image/png";
        reply.body = std::string("\x89PNG\r\n\x1A\n", 8) + std::string(300, 'p');
    } else {
        reply.contentType = "image/bmp";
        reply.body = "BM" + std::string(400, 'b');
    }
    std::string length = std::to_string(reply.body.size());
    if (breakage == "length") length = "1";
    reply.headers.emplace_back("Content-Length", length);
    if (breakage == "crlf") reply.headers.emplace_back("X-Note", "a\r\nSet-Cookie: x=1");
    if (breakage == "framing") reply.headers.emplace_back("Transfer-Encoding", "chunked");
    return reply;
}

WebHostConfig LoopbackConfig() {
    WebHostConfig config;
    config.host = "127.0.0.1";
    config.port = 0;
    config.limits.headDeadline = 2s;
    config.limits.idleTimeout = 2s;
    config.limits.writeDeadline = 2s;
    return config;
}

class WebHostTest : public ::testing::Test {
protected:
    void Serve(WebHostConfig config = LoopbackConfig(), PageFunction page = StandInPage) {
        host_.emplace(std::move(config), std::move(page));
        host_->Start();
    }
    uint16_t Port() const { return host_->Port(); }

    std::optional<WebHost> host_;
};

TEST(WebHostQuery, DecodesFormEncodingAndRejectsMalformedQueries) {
    struct Row {
        const char* query;
        std::vector<PageParameter> expected;
        const char* error; // part of the usage error's message, or null
    };
    const Row rows[] = {
        {"", {}, nullptr},
        {"Data=123", {{"Data", "123"}}, nullptr},
        {"Data=a+b%20c&Height=50", {{"Data", "a b c"}, {"Height", "50"}}, nullptr},
        {"&&Data=&", {{"Data", ""}}, nullptr},
        {"Data=%26%3D%2B", {{"Data", "&=+"}}, nullptr},
        {"Data=x=y", {{"Data", "x=y"}}, nullptr},
        {"Data=%C3%A9", {{"Data", "\xC3\xA9"}}, nullptr},
        {"Data=%e2%82%ac", {{"Data", "\xE2\x82\xAC"}}, nullptr},
        {"Data", {}, "NAME=VALUE"},
        {"=5", {}, "empty property name"},
        {"Data=%4", {}, "%-escape"},
        {"Data=%G0", {}, "%-escape"},
        {"Data=%", {}, "%-escape"},
        {"Data=%C3", {}, "UTF-8"},
        {"Data=%C0%AF", {}, "UTF-8"},
        {"Data=%ED%A0%80", {}, "UTF-8"},
        {"Data=%00", {}, "NUL"},
        {"a=1&b=2&c=3", {{"a", "1"}, {"b", "2"}, {"c", "3"}}, nullptr},
        {"a=1&b=2&c=3&d=4", {}, "too many query parameters (at most 3)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.query);
        if (row.error) {
            try {
                ParseQuery(row.query, 3);
                ADD_FAILURE() << "accepted";
            } catch (const PageUsageError& e) {
                EXPECT_NE(std::string(e.what()).find(row.error), std::string::npos) << e.what();
            }
        } else {
            EXPECT_EQ(ParseQuery(row.query, 3), row.expected);
        }
    }
}

TEST(WebHostListen, SplitsHostAndPort) {
    struct Row {
        const char* listen;
        const char* host; // null: malformed
        uint16_t port;
    };
    const Row rows[] = {
        {"127.0.0.1:8080", "127.0.0.1", 8080},
        {"localhost:0", "localhost", 0},
        {"[::1]:65535", "::1", 65535},
        {"0.0.0.0:80", "0.0.0.0", 80},
        {"127.0.0.1", nullptr, 0},
        {":8080", nullptr, 0},
        {"::1:8080", nullptr, 0},
        {"127.0.0.1:65536", nullptr, 0},
        {"127.0.0.1:http", nullptr, 0},
        {"127.0.0.1:", nullptr, 0},
        {"127.0.0.1:-1", nullptr, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.listen);
        if (row.host) {
            EXPECT_EQ(ParseListenAddress(row.listen),
                      std::make_pair(std::string(row.host), row.port));
        } else {
            EXPECT_THROW(ParseListenAddress(row.listen), quillax::Exception);
        }
    }
}

TEST_F(WebHostTest, AnswersEachRouteWithItsStatusAndType) {
    struct Row {
        std::string request;
        unsigned status;
        const char* contentType;
        const char* bodyStart; // the body begins with this
    };
    const Row rows[] = {
        {Get("/healthz"), 200, "text/plain; charset=utf-8", "ok"},
        {Get("/healthz?verbose=1"), 200, "text/plain; charset=utf-8", "ok"},
        {Get("/"), 200, "text/html; charset=utf-8", "<!DOCTYPE html>"},
        {Get("/barcode?Data=1&ImageTypeStr=BMP"), 200, "image/bmp", "BM"},
        {Get("/barcode?Data=1&ImageTypeStr=PNG"), 200, "image/png", "\x89PNG\r\n\x1A\n"},
        {Get("/barcode?Data=1&ImageTypeStr=JPEG"), 200, "image/jpeg", "\xFF\xD8\xFF"},
        {Get("/barcode"), 200, "image/bmp", "BM"},
        {Get("/barcode?Colour=red"), 400, "text/plain; charset=utf-8",
         "unknown property \"Colour\""},
        {Get("/barcode?Data=%ZZ"), 400, "text/plain; charset=utf-8", "malformed %-escape"},
        {Get("/barcode?Fail=boom"), 500, "text/plain; charset=utf-8", "call failed: boom"},
        {Get("/barcode?Break=length"), 500, "text/plain; charset=utf-8",
         "the page's Content-Length"},
        {Get("/barcode?Break=crlf"), 500, "text/plain; charset=utf-8",
         "the page added a malformed"},
        {Get("/barcode?Break=framing"), 500, "text/plain; charset=utf-8",
         "the page added a framing"},
        {Get("/nothing-here"), 404, "text/plain; charset=utf-8", "not found"},
        {Get("/barcode/"), 404, "text/plain; charset=utf-8", "not found"},
        {Get("/healthz", "POST"), 405, "text/plain; charset=utf-8", "method not allowed"},
        {Get("/barcode", "PUT"), 405, "text/plain; charset=utf-8", "method not allowed"},
        {"GET /healthz HTTP/1.1\r\nHost: x\r\nBad Header: 1\r\n\r\n", 400,
         "text/plain; charset=utf-8", "bad request"},
    };
    Serve();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.request);
        Client client(Port());
        ASSERT_TRUE(client.Connected());
        ASSERT_TRUE(client.Send(row.request));
        const std::optional<Reply> reply = client.Receive();
        ASSERT_TRUE(reply);
        EXPECT_EQ(Hex(reply->result_int()), Hex(row.status));
        EXPECT_EQ(Header(*reply, http::field::content_type), row.contentType);
        EXPECT_EQ(reply->body().rfind(row.bodyStart, 0), 0u) << reply->body().substr(0, 80);
        EXPECT_EQ(Header(*reply, http::field::content_length),
                  std::to_string(reply->body().size()));
        if (row.status == 405) {
            EXPECT_EQ(Header(*reply, http::field::allow), "GET, HEAD");
        }
    }
}

TEST_F(WebHostTest, HeadAnswersTheLengthOfGetWithoutTheBody) {
    Serve();
    Client client(Port());
    ASSERT_TRUE(
        client.Send(Get("/barcode?ImageTypeStr=PNG", "HEAD") + Get("/barcode?ImageTypeStr=PNG")));
    const std::optional<Reply> head = client.Receive(true);
    const std::optional<Reply> get = client.Receive();
    ASSERT_TRUE(head && get);
    EXPECT_EQ(Hex(head->result_int()), Hex(200));
    EXPECT_EQ(Header(*head, http::field::content_type), "image/png");
    EXPECT_EQ(Header(*head, http::field::content_length), std::to_string(get->body().size()));
    EXPECT_TRUE(head->body().empty());
}

TEST_F(WebHostTest, RejectsAnOversizedHeadOrQuery) {
    WebHostConfig config = LoopbackConfig();
    config.limits.maxHeadBytes = 1024;
    config.limits.maxQueryParameters = 4;
    Serve(config);
    struct Row {
        const char* name;
        std::string request;
        unsigned status;
    };
    const Row rows[] = {
        {"long target", Get("/barcode?Data=" + std::string(2000, '1')), 431},
        {"long header", "GET / HTTP/1.1\r\nX-Pad: " + std::string(2000, 'x') + "\r\n\r\n", 431},
        {"many headers",
         "GET / HTTP/1.1\r\n" +
             [] {
                 std::string many;
                 for (int i = 0; i < 200; ++i)
                     many += "X-" + std::to_string(i) + ": 1\r\n";
                 return many;
             }() +
             "\r\n",
         431},
        {"just fits", Get("/barcode?Data=" + std::string(900, '1')), 200},
        {"parameters at the cap", Get("/barcode?Data=1&Data=2&Data=3&Data=4"), 200},
        {"parameters over the cap", Get("/barcode?Data=1&Data=2&Data=3&Data=4&Data=5"), 400},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Client client(Port());
        ASSERT_TRUE(client.Send(row.request));
        const std::optional<Reply> reply = client.Receive();
        ASSERT_TRUE(reply);
        EXPECT_EQ(Hex(reply->result_int()), Hex(row.status)) << reply->body();
        if (row.status == 431) {
            EXPECT_FALSE(reply->keep_alive());
            EXPECT_TRUE(client.ClosedByServer());
        }
    }
}

TEST_F(WebHostTest, DropsAClientThatStallsInTheHeadAtTheDeadline) {
    WebHostConfig config = LoopbackConfig();
    config.limits.headDeadline = 300ms;
    Serve(config);
    Client stalled(Port());
    const auto start = Clock::now();
    ASSERT_TRUE(stalled.Send("GET /healthz HTTP/1.1\r\nHost: loc"));
    // Meanwhile another client is served: the stalled one pins nothing.
    Client other(Port());
    ASSERT_TRUE(other.Send(Get("/healthz")));
    ASSERT_TRUE(other.Receive());
    EXPECT_TRUE(stalled.ClosedByServer());
    const auto waited = Clock::now() - start;
    EXPECT_GE(waited, 250ms);
    EXPECT_LT(waited, 3s);
}

TEST_F(WebHostTest, DropsATrickleThatNeverEndsItsHead) {
    WebHostConfig config = LoopbackConfig();
    config.limits.headDeadline = 400ms;
    Serve(config);
    Client trickle(Port());
    ASSERT_TRUE(trickle.Send("GET / HTTP/1.1\r\n"));
    const auto start = Clock::now();
    bool dropped = false;
    // One header byte every 50 ms would go on for ever without a deadline on the whole head.
    for (int i = 0; i < 100 && !dropped; ++i) {
        std::this_thread::sleep_for(50ms);
        dropped = !trickle.Send("X");
    }
    EXPECT_TRUE(dropped || trickle.ClosedByServer());
    EXPECT_LT(Clock::now() - start, 3s);
}

TEST_F(WebHostTest, KeepsAliveUpToTheRequestCapThenCloses) {
    WebHostConfig config = LoopbackConfig();
    config.limits.maxRequestsPerConnection = 3;
    Serve(config);
    Client client(Port());
    // The first two one at a time, the third pipelined behind the second.
    ASSERT_TRUE(client.Send(Get("/healthz")));
    const std::optional<Reply> first = client.Receive();
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->keep_alive());
    ASSERT_TRUE(client.Send(Get("/barcode?ImageTypeStr=PNG") + Get("/healthz")));
    const std::optional<Reply> second = client.Receive();
    const std::optional<Reply> third = client.Receive();
    ASSERT_TRUE(second && third);
    EXPECT_EQ(Header(*second, http::field::content_type), "image/png");
    EXPECT_TRUE(second->keep_alive());
    EXPECT_EQ(third->body(), "ok\n");
    EXPECT_FALSE(third->keep_alive());
    EXPECT_TRUE(client.ClosedByServer());
}

TEST_F(WebHostTest, ClosesWhenTheClientAsksOrWhenIdle) {
    WebHostConfig config = LoopbackConfig();
    config.limits.idleTimeout = 300ms;
    Serve(config);
    {
        Client client(Port());
        ASSERT_TRUE(client.Send("GET /healthz HTTP/1.1\r\nConnection: close\r\n\r\n"));
        const std::optional<Reply> reply = client.Receive();
        ASSERT_TRUE(reply);
        EXPECT_FALSE(reply->keep_alive());
        EXPECT_TRUE(client.ClosedByServer());
    }
    {
        Client client(Port());
        ASSERT_TRUE(client.Send("GET /healthz HTTP/1.0\r\n\r\n"));
        const std::optional<Reply> reply = client.Receive();
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->version(), 10u);
        EXPECT_TRUE(client.ClosedByServer());
    }
    {
        Client client(Port());
        ASSERT_TRUE(client.Send(Get("/healthz")));
        ASSERT_TRUE(client.Receive());
        const auto start = Clock::now();
        EXPECT_TRUE(client.ClosedByServer());
        EXPECT_GE(Clock::now() - start, 250ms);
    }
}

TEST_F(WebHostTest, AnswersARequestWithABodyAndThenCloses) {
    Serve();
    Client client(Port());
    ASSERT_TRUE(client.Send("POST /barcode HTTP/1.1\r\nContent-Length: 5\r\n\r\nhello"));
    const std::optional<Reply> reply = client.Receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ(Hex(reply->result_int()), Hex(405));
    EXPECT_FALSE(reply->keep_alive());
    EXPECT_TRUE(client.ClosedByServer());
}

TEST_F(WebHostTest, RefusesImagesBeyondTheBytesItMayHold) {
    WebHostConfig config = LoopbackConfig();
    config.limits.maxResponseBytesInFlight = 300; // the BMP stand-in is larger, JPEG smaller
    Serve(config);
    for (const auto& [format, status] : {std::pair{"BMP", 503u}, std::pair{"JPEG", 200u}}) {
        SCOPED_TRACE(format);
        Client client(Port());
        ASSERT_TRUE(client.Send(Get(std::string("/barcode?ImageTypeStr=") + format)));
        const std::optional<Reply> reply = client.Receive();
        ASSERT_TRUE(reply);
        EXPECT_EQ(Hex(reply->result_int()), Hex(status));
    }
}

TEST_F(WebHostTest, RefusesConnectionsBeyondTheCap) {
    WebHostConfig config = LoopbackConfig();
    config.limits.maxConnections = 1;
    Serve(config);
    {
        Client first(Port());
        ASSERT_TRUE(first.Send(Get("/healthz")));
        ASSERT_TRUE(first.Receive()); // the first connection is now surely accepted and open
        Client second(Port());
        second.Send(Get("/healthz"));
        EXPECT_FALSE(second.Receive());
    }
    for (int attempt = 0; attempt < 50; ++attempt) { // the slot frees once the close lands
        Client third(Port());
        if (third.Send(Get("/healthz")) && third.Receive()) return;
        std::this_thread::sleep_for(20ms);
    }
    ADD_FAILURE() << "the freed slot was never reused";
}

TEST_F(WebHostTest, StopsWithConnectionsStillOpen) {
    Serve();
    Client idle(Port());
    Client stalled(Port());
    ASSERT_TRUE(idle.Send(Get("/healthz")));
    ASSERT_TRUE(idle.Receive());
    ASSERT_TRUE(stalled.Send("GET / HTTP/1.1\r\n"));
    const auto start = Clock::now();
    host_.reset();
    EXPECT_LT(Clock::now() - start, 2s);
    EXPECT_TRUE(idle.ClosedByServer());
}

} // namespace
