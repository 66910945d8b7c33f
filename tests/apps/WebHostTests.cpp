// The web host over loopback: routes, limits, deadlines, keep-alive, the connection cap, the
// response cache and the graceful stop, with a stand-in page that answers the way the
// component's ShowBarcode does (Expires for JPEG, Content-Length, content type, one write of
// bytes).
#include "apps/web/WebHost.h"

#include "LoopbackClient.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

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
    std::size_t size = 400;
    for (const auto& [name, value] : parameters) {
        if (name == "ImageTypeStr")
            format = value;
        else if (name == "Size") // a BMP of this many bytes
            size = std::stoul(value);
        else if (name == "Sleep") // a render that takes this many milliseconds
            std::this_thread::sleep_for(std::chrono::milliseconds(std::stoul(value)));
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
        reply.body = "BM" + std::string(size - 2, 'b');
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
        {Get("/barcode", "DELETE"), 405, "text/plain; charset=utf-8", "method not allowed"},
        {Get("/barcode", "BREW"), 501, "text/plain; charset=utf-8", "method not implemented"},
        {Get("/", "PROPFIND"), 501, "text/plain; charset=utf-8", "method not implemented"},
        {Get("/barcode?Data=1#frag"), 400, "text/plain; charset=utf-8", "bad request target"},
        {Get("*"), 400, "text/plain; charset=utf-8", "bad request target"},
        {Get("http://example.com/barcode?ImageTypeStr=PNG"), 200, "image/png", "\x89PNG"},
        {Get("http://example.com:81/healthz"), 200, "text/plain; charset=utf-8", "ok"},
        {Get("/metrics"), 200, "text/plain; charset=utf-8", "requests "},
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
            EXPECT_EQ(Header(*reply, http::field::allow), "GET, HEAD, OPTIONS");
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
    config.limits.head.maxHeadBytes = 1024;
    config.limits.maxQueryParameters = 4;
    Serve(config);
    struct Row {
        const char* name;
        std::string request;
        unsigned status;
    };
    const Row rows[] = {
        {"long target", Get("/barcode?Data=" + std::string(2000, '1')), 431},
        {"long header",
         "GET / HTTP/1.1\r\nHost: x\r\nX-Pad: " + std::string(2000, 'x') + "\r\n\r\n", 431},
        {"many headers",
         "GET / HTTP/1.1\r\nHost: x\r\n" +
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
        ASSERT_TRUE(client.Send("GET /healthz HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n"));
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
        EXPECT_EQ(reply->version(), 11u); // the server's own version
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
    ASSERT_TRUE(client.Send("POST /barcode HTTP/1.1\r\nHost: x\r\nContent-Length: 5\r\n\r\nhello"));
    const std::optional<Reply> reply = client.Receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ(Hex(reply->result_int()), Hex(405));
    EXPECT_FALSE(reply->keep_alive());
    EXPECT_TRUE(client.ClosedByServer());
}

// An answer holds its bytes only while it is being sent: clients that stay connected after
// theirs do not keep the next one out. (Each asks once more on its connection, which is
// answered only after the server has finished sending the image.)
TEST_F(WebHostTest, RefusesImagesBeyondTheBytesItMayHold) {
    WebHostConfig config = LoopbackConfig();
    config.limits.maxResponseBytesInFlight = 150'000;
    Serve(config);
    std::vector<std::unique_ptr<Client>> keptOpen;
    for (const auto& [size, status] : {std::pair{"200000", 503u}, std::pair{"140000", 200u},
                                       std::pair{"140001", 200u}, std::pair{"140002", 200u}}) {
        SCOPED_TRACE(size);
        keptOpen.push_back(std::make_unique<Client>(Port()));
        Client& client = *keptOpen.back();
        ASSERT_TRUE(client.Send(Get(std::string("/barcode?Size=") + size)));
        const std::optional<Reply> reply = client.Receive();
        ASSERT_TRUE(reply);
        EXPECT_EQ(Hex(reply->result_int()), Hex(status));
        if (status == 503) {
            EXPECT_EQ(Header(*reply, http::field::retry_after), "1");
            continue;
        }
        ASSERT_TRUE(client.Send(Get("/healthz")));
        ASSERT_TRUE(client.Receive());
    }
}

TEST_F(WebHostTest, MakesRoomAtTheCapByClosingIdleConnections) {
    WebHostConfig config = LoopbackConfig();
    config.threads = 1; // one list of connections: the oldest idle one goes first
    config.limits.maxConnections = 2;
    Serve(config);
    Client idle(Port()); // answered, then waiting for its next request
    ASSERT_TRUE(idle.Send(Get("/healthz")));
    ASSERT_TRUE(idle.Receive());
    Client silent(Port()); // has not sent a byte
    ASSERT_TRUE(silent.Connected());
    std::this_thread::sleep_for(100ms); // both surely admitted
    // Each newcomer is served, and one of the two is closed to make room for it.
    std::vector<std::unique_ptr<Client>> newcomers;
    for (const char* name : {"first newcomer", "second newcomer"}) {
        SCOPED_TRACE(name);
        newcomers.push_back(std::make_unique<Client>(Port()));
        ASSERT_TRUE(newcomers.back()->Send(Get("/healthz")));
        const std::optional<Reply> reply = newcomers.back()->Receive();
        ASSERT_TRUE(reply);
        EXPECT_EQ(Hex(reply->result_int()), Hex(200));
    }
    EXPECT_TRUE(idle.ClosedByServer());
    EXPECT_TRUE(silent.ClosedByServer());
}

TEST_F(WebHostTest, TellsNewcomers503WhenNoConnectionCanMakeRoom) {
    struct Row {
        const char* name;
        std::size_t cap;
        std::size_t perClient;
        const char* message;
    };
    const Row rows[] = {
        {"every connection busy", 1, 8, "too many connections"},
        {"this address at its share", 8, 1, "too many connections from this address"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        WebHostConfig config = LoopbackConfig();
        config.limits.maxConnections = row.cap;
        config.limits.maxConnectionsPerClient = row.perClient;
        Serve(config);
        Client busy(Port()); // in the middle of its head: not idle
        ASSERT_TRUE(busy.Send("GET /healthz HTTP/1.1\r\n"));
        std::this_thread::sleep_for(100ms);
        Client newcomer(Port());
        newcomer.Send(Get("/healthz"));
        const std::optional<Reply> reply = newcomer.Receive();
        ASSERT_TRUE(reply);
        EXPECT_EQ(Hex(reply->result_int()), Hex(503));
        EXPECT_EQ(Header(*reply, http::field::retry_after), "1");
        EXPECT_EQ(reply->body(), std::string(row.message) + "\n");
        EXPECT_TRUE(newcomer.ClosedByServer());
        // The busy one is unharmed.
        ASSERT_TRUE(busy.Send("Host: x\r\n\r\n"));
        const std::optional<Reply> finished = busy.Receive();
        ASSERT_TRUE(finished);
        EXPECT_EQ(finished->body(), "ok\n");
        host_.reset();
    }
}

// However many newcomers arrive past an address's share, each is told 503, none is closed
// unanswered (refusals already answered make room for the next).
TEST_F(WebHostTest, TellsEveryNewcomerPastTheShare503) {
    WebHostConfig config = LoopbackConfig();
    config.limits.maxConnections = 8;
    config.limits.maxConnectionsPerClient = 2;
    Serve(config);
    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < 2; ++i) { // the share, idle
        clients.push_back(std::make_unique<Client>(Port()));
        ASSERT_TRUE(clients.back()->Send(Get("/healthz")));
        ASSERT_TRUE(clients.back()->Receive());
    }
    int refused = 0;
    for (int i = 0; i < 150; ++i) { // each kept open, lingering
        clients.push_back(std::make_unique<Client>(Port()));
        clients.back()->Send(Get("/healthz"));
        const std::optional<Reply> reply = clients.back()->Receive();
        refused += reply && reply->result_int() == 503 ? 1 : 0;
    }
    EXPECT_EQ(refused, 150);
}

TEST_F(WebHostTest, GivesTheFirstByteLessTimeThanTheRestOfTheHead) {
    WebHostConfig config = LoopbackConfig();
    config.limits.firstByteDeadline = 200ms;
    config.limits.headDeadline = 2s;
    Serve(config);
    const auto start = Clock::now();
    Client silent(Port());
    Client started(Port());
    ASSERT_TRUE(started.Send("G"));
    EXPECT_TRUE(silent.ClosedByServer());
    const auto waited = Clock::now() - start;
    EXPECT_GE(waited, 150ms);
    EXPECT_LT(waited, 1500ms);
    std::this_thread::sleep_for(400ms); // past the first-byte deadline, within the head's
    ASSERT_TRUE(started.Send("ET /healthz HTTP/1.1\r\nHost: x\r\n\r\n"));
    const std::optional<Reply> reply = started.Receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->body(), "ok\n");
}

TEST_F(WebHostTest, AnswersRepeatedRequestsFromTheCache) {
    std::atomic<int> renders{0};
    const PageFunction counted = [&renders](const std::vector<PageParameter>& parameters) {
        ++renders;
        return StandInPage(parameters);
    };
    struct Row {
        const char* name;
        std::size_t cacheBytes;
        std::string first, second;
        int renders; // for both
    };
    const Row rows[] = {
        {"the same request", 1 << 20, "/barcode?Data=1", "/barcode?Data=1", 1},
        {"names in another case", 1 << 20, "/barcode?Data=1", "/barcode?data=1", 1},
        {"the same values encoded otherwise", 1 << 20, "/barcode?Data=a+b", "/barcode?Data=a%20b",
         1},
        {"another value", 1 << 20, "/barcode?Data=1", "/barcode?Data=2", 2},
        {"another order", 1 << 20, "/barcode?Data=1&ImageTypeStr=PNG",
         "/barcode?ImageTypeStr=PNG&Data=1", 2},
        {"a usage error", 1 << 20, "/barcode?Colour=red", "/barcode?Colour=red", 2},
        {"a failed call", 1 << 20, "/barcode?Fail=x", "/barcode?Fail=x", 2},
        {"the cache off", 0, "/barcode?Data=1", "/barcode?Data=1", 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        WebHostConfig config = LoopbackConfig();
        config.cacheBytes = row.cacheBytes;
        Serve(config, counted);
        renders = 0;
        Client client(Port());
        ASSERT_TRUE(client.Send(Get(row.first) + Get(row.second)));
        const std::optional<Reply> first = client.Receive();
        const std::optional<Reply> second = client.Receive();
        ASSERT_TRUE(first && second);
        EXPECT_EQ(renders, row.renders);
        if (row.first == row.second) {
            EXPECT_EQ(second->body(), first->body());
            EXPECT_EQ(Header(*second, http::field::etag), Header(*first, http::field::etag));
        }
        host_.reset();
    }
}

TEST_F(WebHostTest, AnswersConditionalHeadAndOptionsRequests) {
    Serve();
    Client probe(Port());
    ASSERT_TRUE(probe.Send(Get("/barcode?ImageTypeStr=PNG")));
    const std::optional<Reply> image = probe.Receive();
    ASSERT_TRUE(image);
    const std::string tag = Header(*image, http::field::etag);
    ASSERT_EQ(tag.front(), '"');
    const auto with = [](const std::string& target, const std::string& fields,
                         const std::string& method = "GET") {
        return method + " " + target + " HTTP/1.1\r\nHost: x\r\n" + fields + "\r\n";
    };
    const std::string png = "/barcode?ImageTypeStr=PNG";
    struct Row {
        const char* name;
        std::string request;
        unsigned status;
        bool body;
    };
    const Row rows[] = {
        {"matching tag", with(png, "If-None-Match: " + tag + "\r\n"), 304, false},
        {"weak form of the tag", with(png, "If-None-Match: W/" + tag + "\r\n"), 304, false},
        {"tag in a list", with(png, "If-None-Match: \"x\", " + tag + "\r\n"), 304, false},
        {"any tag", with(png, "If-None-Match: *\r\n"), 304, false},
        {"another tag", with(png, "If-None-Match: \"x\"\r\n"), 200, true},
        {"another image's tag", with("/barcode?ImageTypeStr=BMP", "If-None-Match: " + tag + "\r\n"),
         200, true},
        {"HEAD with the tag", with(png, "If-None-Match: " + tag + "\r\n", "HEAD"), 304, false},
        {"If-Match on the tag", with(png, "If-Match: " + tag + "\r\n"), 200, true},
        {"If-Match on another tag", with(png, "If-Match: \"x\"\r\n"), 412, true},
        {"If-Match weak", with(png, "If-Match: W/" + tag + "\r\n"), 412, true},
        {"If-Match on the page", with("/", "If-Match: \"x\"\r\n"), 412, true},
        {"If-Match any", with("/", "If-Match: *\r\n"), 200, true},
        {"If-Match failing and If-None-Match", with(png, "If-Match: \"x\"\r\nIf-None-Match: *\r\n"),
         412, true},
        {"condition on a usage error", with("/barcode?Colour=1", "If-None-Match: *\r\n"), 400,
         true},
        {"HEAD on a missing page", with("/nothing", "", "HEAD"), 404, true},
        {"HEAD on a usage error", with("/barcode?Colour=1", "", "HEAD"), 400, true},
        {"HEAD with If-Match failing", with(png, "If-Match: \"x\"\r\n", "HEAD"), 412, true},
        {"OPTIONS on the barcode", with("/barcode", "", "OPTIONS"), 204, false},
        {"OPTIONS on the server", with("*", "", "OPTIONS"), 204, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Client client(Port());
        // A /healthz behind each answer proves where the answer ended.
        ASSERT_TRUE(client.Send(row.request + Get("/healthz")));
        const std::optional<Reply> reply = client.Receive(row.request.starts_with("HEAD"));
        ASSERT_TRUE(reply);
        EXPECT_EQ(Hex(reply->result_int()), Hex(row.status));
        const bool hasLength = reply->find(http::field::content_length) != reply->end();
        EXPECT_EQ(hasLength, row.body) << "bodiless statuses carry no length";
        if (row.status == 304) {
            EXPECT_EQ(Header(*reply, http::field::etag), tag);
            EXPECT_EQ(Header(*reply, http::field::cache_control), "public, max-age=86400");
            EXPECT_EQ(Header(*reply, http::field::content_type), "<none>");
        }
        if (row.status == 204) {
            EXPECT_EQ(Header(*reply, http::field::allow), "GET, HEAD, OPTIONS");
        }
        const std::optional<Reply> next = client.Receive();
        ASSERT_TRUE(next);
        EXPECT_EQ(next->body(), "ok\n");
    }
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

TEST_F(WebHostTest, LogsOneLinePerRequest) {
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    WebHostConfig config = LoopbackConfig();
    config.accessLogFd = pipeEnds[1];
    config.threads = 1; // lines are gathered per thread: one thread keeps them in order
    Serve(config);
    struct Row {
        std::string request;
        const char* line; // after the time and the client
    };
    const Row rows[] = {
        {Get("/healthz"), "GET /healthz 200 3"},
        {Get("/barcode?ImageTypeStr=PNG", "HEAD"), "HEAD /barcode?ImageTypeStr=PNG 200 0"},
        {Get("/nothing"), "GET /nothing 404 10"},
        {Get("/a\x80\\b"), "GET /a\\x80\\x5Cb 404 10"},
        {"GET /" + std::string(9000, 'a') + " HTTP/1.1\r\n", "- - 414 22"},
    };
    for (const Row& row : rows) {
        Client client(Port());
        ASSERT_TRUE(client.Send(row.request));
        ASSERT_TRUE(client.Receive(row.request.starts_with("HEAD")));
    }
    host_->Drain(); // every answer's line is written by the time it has stopped
    EXPECT_TRUE(host_->Wait());
    host_.reset();
    close(pipeEnds[1]);
    std::string log;
    char chunk[4096];
    for (ssize_t n; (n = read(pipeEnds[0], chunk, sizeof chunk)) > 0;)
        log.append(chunk, static_cast<std::size_t>(n));
    close(pipeEnds[0]);
    // "2026-01-31T12:34:56.789Z 127.0.0.1 " + the row's fields + " MICROSECONDS"
    const auto isStamp = [](const std::string& text) {
        const std::string shape = "dddd-dd-ddTdd:dd:dd.dddZ";
        if (text.size() != shape.size()) return false;
        for (std::size_t i = 0; i < shape.size(); ++i)
            if (shape[i] == 'd' ? !std::isdigit(static_cast<unsigned char>(text[i]))
                                : text[i] != shape[i])
                return false;
        return true;
    };
    std::size_t at = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        const std::size_t end = log.find('\n', at);
        ASSERT_NE(end, log.npos) << log;
        const std::string text = log.substr(at, end - at);
        const std::size_t first = text.find(' ');
        const std::size_t last = text.rfind(' ');
        ASSERT_NE(first, last) << text;
        EXPECT_TRUE(isStamp(text.substr(0, first))) << text;
        EXPECT_EQ(text.substr(first + 1, last - first - 1), std::string("127.0.0.1 ") + row.line);
        const std::string micros = text.substr(last + 1);
        EXPECT_EQ(micros.find_first_not_of("0123456789"), std::string::npos) << text;
        at = end + 1;
    }
    EXPECT_EQ(at, log.size());
}

// Renders held on a latch: a page with Hold waits until Release(), so a test can keep every
// render thread busy for as long as it needs.
class HeldRenders {
public:
    PageFunction Page() {
        return [this](std::vector<PageParameter> parameters) {
            if (std::erase_if(parameters, [](const PageParameter& p) { return p.first == "Hold"; }))
                Wait();
            return StandInPage(parameters);
        };
    }
    // Waits until count pages hold, at most five seconds.
    bool Holding(int count) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 5s, [&] { return held_ >= count; });
    }
    void Release() {
        const std::lock_guard lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }
    ~HeldRenders() { Release(); }

private:
    void Wait() {
        std::unique_lock lock(mutex_);
        ++held_;
        changed_.notify_all();
        changed_.wait(lock, [&] { return released_; });
    }
    std::mutex mutex_;
    std::condition_variable changed_;
    int held_ = 0;
    bool released_ = false;
};

// With its one render thread held and its queue full, the host still answers health checks
// and cached images at once, a large one whole, and tells a further render 503.
TEST_F(WebHostTest, AnswersWhileEveryRenderThreadIsHeld) {
    HeldRenders held;
    WebHostConfig config = LoopbackConfig();
    config.threads = 1;
    config.render.threads = 1;
    config.render.queueLength = 1;
    Serve(config, held.Page());
    const std::string large = "/barcode?Size=" + std::to_string(4'000'000);
    Client reader(Port());
    ASSERT_TRUE(reader.Send(Get(large)));
    ASSERT_TRUE(reader.Receive()); // rendered, and kept

    Client holding(Port()), queued(Port()), refused(Port());
    ASSERT_TRUE(holding.Send(Get("/barcode?Hold=1&Data=1")));
    ASSERT_TRUE(held.Holding(1));
    ASSERT_TRUE(queued.Send(Get("/barcode?Hold=1&Data=2")));
    std::this_thread::sleep_for(100ms); // surely queued
    ASSERT_TRUE(refused.Send(Get("/barcode?Data=3")));
    const std::optional<Reply> busy = refused.Receive();
    ASSERT_TRUE(busy);
    EXPECT_EQ(Hex(busy->result_int()), Hex(503));
    EXPECT_EQ(Header(*busy, http::field::retry_after), "1");

    for (const std::string& target : {std::string("/healthz"), large}) {
        SCOPED_TRACE(target);
        ASSERT_TRUE(reader.Send(Get(target)));
        const std::optional<Reply> reply = reader.Receive();
        ASSERT_TRUE(reply);
        EXPECT_EQ(Hex(reply->result_int()), Hex(200));
        EXPECT_EQ(Header(*reply, http::field::content_length),
                  std::to_string(reply->body().size()));
    }
    held.Release();
    for (Client* client : {&holding, &queued}) {
        const std::optional<Reply> reply = client->Receive();
        ASSERT_TRUE(reply);
        EXPECT_EQ(Hex(reply->result_int()), Hex(200));
    }
}

// A render whose cost could never fit the render memory gets the page's error image as 422,
// never cached; one that fits is rendered as usual.
TEST_F(WebHostTest, AnswersARenderThatCanNeverFitWithTheErrorImage) {
    WebHostConfig config = LoopbackConfig();
    config.render.memoryBytes = 1'000'000;
    PageSource source(StandInPage);
    source.cost = [](const std::vector<PageParameter>& parameters) {
        for (const auto& [name, value] : parameters)
            if (name == "Size") return std::stoul(value);
        return 0ul;
    };
    source.tooLarge = [](const std::vector<PageParameter>&, const std::string& why) {
        PageReply reply = StandInPage({});
        reply.lastResult = 2;
        reply.lastError = why + "\r\nSet-Cookie: x";
        return reply;
    };
    host_.emplace(config, source);
    host_->Start();
    for (const auto& [size, status] : {std::pair{"1000001", 422u}, std::pair{"999999", 200u}}) {
        SCOPED_TRACE(size);
        Client client(Port());
        ASSERT_TRUE(client.Send(Get(std::string("/barcode?Size=") + size)));
        const std::optional<Reply> reply = client.Receive();
        ASSERT_TRUE(reply);
        EXPECT_EQ(Hex(reply->result_int()), Hex(status));
        EXPECT_EQ(reply->body().substr(0, 2), "BM");
        if (status == 422) {
            const std::string error = Header(*reply, "X-Quillax-Error");
            EXPECT_NE(error.find("memory"), std::string::npos) << error;
            EXPECT_EQ(error.find('\r'), std::string::npos);
            EXPECT_EQ(Header(*reply, http::field::cache_control), "no-store");
            EXPECT_EQ(Header(*reply, http::field::etag), "<none>");
        }
    }
}

TEST(WebHostConcurrency, DrainFinishesAnswersInFlightAndClosesIdleConnections) {
    WebHostConfig config = LoopbackConfig();
    config.threads = 2;
    config.limits.writeDeadline = 10s;
    WebHost host(config, StandInPage);
    host.Start();
    constexpr std::size_t kBig = 4'000'000;

    Client idle(host.Port());
    ASSERT_TRUE(idle.Send(Get("/healthz")));
    ASSERT_TRUE(idle.Receive());
    Client slow(host.Port()); // reads a large answer slowly
    slow.ReadSlowly(32 * 1024, 2ms);
    ASSERT_TRUE(slow.Send(Get("/barcode?Size=" + std::to_string(kBig))));
    Client rendering(host.Port()); // its page is still running when the drain begins
    ASSERT_TRUE(rendering.Send(Get("/barcode?Sleep=300")));
    Client silent(host.Port());
    std::this_thread::sleep_for(100ms);

    const auto start = Clock::now();
    host.Drain();
    std::optional<Reply> big;
    std::thread reader([&] { big = slow.Receive(); });
    EXPECT_TRUE(idle.ClosedByServer());
    EXPECT_TRUE(silent.ClosedByServer());
    EXPECT_LT(Clock::now() - start, 1s);
    const std::optional<Reply> rendered = rendering.Receive();
    ASSERT_TRUE(rendered);
    EXPECT_EQ(Hex(rendered->result_int()), Hex(200));
    EXPECT_FALSE(rendered->keep_alive());
    reader.join();
    ASSERT_TRUE(big);
    EXPECT_EQ(big->body().size(), kBig);
    EXPECT_TRUE(slow.ClosedByServer());
    EXPECT_TRUE(host.Wait()); // drained, not cut off
    EXPECT_LT(Clock::now() - start, 8s);
    Client late(host.Port());
    EXPECT_TRUE(!late.Connected() || late.ClosedByServer());
}

TEST(WebHostConcurrency, StopCutsADrainShort) {
    WebHostConfig config = LoopbackConfig();
    WebHost host(config, StandInPage);
    host.Start();
    Client slow(host.Port());
    slow.ReadSlowly(1024, 50ms);
    ASSERT_TRUE(slow.Send(Get("/barcode?Size=8000000")));
    std::this_thread::sleep_for(100ms);
    host.Drain();
    std::this_thread::sleep_for(100ms);
    host.Stop();
    EXPECT_FALSE(host.Wait());
}

TEST(WebHostConcurrency, ThreadsShareTheCacheAndAnswerAlike) {
    std::atomic<int> renders{0};
    WebHostConfig config = LoopbackConfig();
    config.threads = 3;
    WebHost host(config, [&renders](const std::vector<PageParameter>& parameters) {
        ++renders;
        return StandInPage(parameters);
    });
    host.Start();
    constexpr int kClients = 6, kRequests = 40, kImages = 5;
    const auto target = [](int n) { return "/barcode?Size=" + std::to_string(1000 + n); };
    std::vector<std::thread> clients;
    std::atomic<int> right{0};
    for (int c = 0; c < kClients; ++c)
        clients.emplace_back([&, c] {
            Client client(host.Port());
            for (int r = 0; r < kRequests; ++r) {
                const int n = (c + r) % kImages;
                if (!client.Send(Get(target(n)))) return;
                const std::optional<Reply> reply = client.Receive();
                if (reply && reply->body().size() == static_cast<std::size_t>(1000 + n)) ++right;
            }
        });
    for (std::thread& t : clients)
        t.join();
    EXPECT_EQ(right, kClients * kRequests);
    // Threads that miss the same image at once may each render it; no more than that.
    EXPECT_GE(renders, kImages);
    EXPECT_LE(renders, kImages * static_cast<int>(config.threads));
}

} // namespace
