// The web host serving the built component, loaded as `quillax serve` loads it: the image
// bytes and Response calls of ShowBarcode become the HTTP answer, usage errors become 400,
// and pages render side by side on the worker pool.
#include "LoopbackClient.h"
#include "ServeProcess.h"

#include "apps/ComponentHost.h"
#include "apps/WebAnswer.h"
#include "apps/WebHost.h"
#include "apps/WebRoutes.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

namespace {

using namespace quillax::web;
using namespace quillax::webtest;
using quillax::host::TComponentLibrary;
using quillax::webtest::BuildFolder;

const TComponentLibrary& Component() {
    return quillax::test::BuiltComponent();
}

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
        config.threads = 2;
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
            Fetch(std::string("/barcode?Data=5901234123457&Height=60&ImageTypeStr=") + row.format);
        EXPECT_EQ(Hex(reply.result_int()), Hex(200)) << reply.body();
        EXPECT_EQ(Header(reply, http::field::content_type), row.contentType);
        EXPECT_EQ(Header(reply, http::field::content_length), std::to_string(reply.body().size()));
        EXPECT_EQ(reply.body().rfind(row.magic, 0), 0u);
        EXPECT_EQ(Header(reply, http::field::access_control_allow_origin), "*");
        EXPECT_EQ(Header(reply, http::field::etag), EntityTag(reply.body()));
        if (row.expires) { // already expired: at the answer's own date, and never kept fresh
            EXPECT_EQ(Header(reply, http::field::expires), Header(reply, http::field::date));
            EXPECT_EQ(Header(reply, http::field::cache_control), "no-cache");
        } else {
            EXPECT_EQ(Header(reply, http::field::expires), "<none>");
            EXPECT_EQ(Header(reply, http::field::cache_control), "public, max-age=86400");
        }
    }
}

TEST_F(WebHostComponentTest, PropertiesReachTheObject) {
    // BMP: width at byte 18, height at 22; PNG: IHDR width at 16, height at 20.
    const Reply bmp = Fetch("/barcode?Data=5901234123457&Height=61&ImageTypeStr=BMP");
    ASSERT_GE(bmp.body().size(), 26u);
    EXPECT_EQ(Little32(bmp.body(), 22), 61u);
    const Reply narrow = Fetch("/barcode?Data=5901234123457&ImageTypeStr=PNG&NarrowBarWidth=1");
    const Reply wide = Fetch("/barcode?Data=5901234123457&ImageTypeStr=PNG&narrowbarwidth=3");
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
        {"BarcodeType=25&Data=1234", 200, "image/bmp"},
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

// BarcodeType takes a symbology's name as the command line does: the same image as its
// number, and 400 with the accepted names for a name that is none.
TEST_F(WebHostComponentTest, BarcodeTypeTakesASymbologyName) {
    const struct {
        const char* name;
        const char* number;
        const char* data;
    } rows[] = {{"Code128B", "6", "Quillax"},
                {"code-128-b", "6", "Quillax"},
                {"CODE%20128%20B", "6", "Quillax"},
                {"GS1%20128", "24", "(01)09501101530003(10)AB"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string data = std::string("&Data=") + row.data;
        const Reply reply = Fetch(std::string("/barcode?barcodetype=") + row.name + data);
        EXPECT_EQ(Hex(reply.result_int()), Hex(200));
        EXPECT_EQ(reply.body(),
                  Fetch(std::string("/barcode?BarcodeType=") + row.number + data).body());
        EXPECT_NE(Little32(reply.body(), 18), 50u); // not the 50 by 30 error image
    }
    const Reply unknown = Fetch("/barcode?BarcodeType=Code129&Data=Quillax");
    EXPECT_EQ(Hex(unknown.result_int()), Hex(400));
    EXPECT_NE(unknown.body().find("EAN13"), std::string::npos) << unknown.body();
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

} // namespace
