// The web host serving the built component, loaded as `quillax serve` loads it: the image
// bytes and Response calls of ShowBarcode become the HTTP answer, usage errors become 400,
// an image that carries an error 422, and pages render side by side on the worker pool.
#include "LoopbackClient.h"
#include "ServeProcess.h"

#include "apps/page/ComponentHost.h"
#include "apps/web/WebAnswer.h"
#include "apps/web/WebHost.h"
#include "apps/web/WebRoutes.h"

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

std::string ErrorField(const Reply& reply) {
    const auto it = reply.find("X-Quillax-Error");
    return it == reply.end() ? std::string("<none>") : std::string(it->value());
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
        {"svg", "image/svg+xml", "<?xml", false},
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
        // A document a browser could run on its own: nothing to run, nothing to fetch.
        const bool svg = std::string(row.contentType) == "image/svg+xml";
        EXPECT_EQ(Header(reply, "Content-Security-Policy"), svg ? "default-src 'none'" : "<none>");
        EXPECT_EQ(Header(reply, "X-Content-Type-Options"), "nosniff");
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

TEST_F(WebHostComponentTest, UsageErrorsAre400) {
    struct Row {
        const char* query;
        const char* mentions; // in the body
    };
    const Row rows[] = {
        {"Colour=red", "Colour"},
        {"Height=tall", "tall"},
        {"Height=99999999999", "99999999999"},
        {"ShowBarcode=1", "ShowBarcode"},
        {"Data=1&ImageTypeStr=GIF", "BMP, PNG, JPG, JPEG or SVG"},
        {"Data=1&imagetypestr=", "BMP, PNG, JPG, JPEG or SVG"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.query);
        const Reply reply = Fetch(std::string("/barcode?") + row.query);
        EXPECT_EQ(Hex(reply.result_int()), Hex(400)) << reply.body();
        EXPECT_EQ(Header(reply, http::field::content_type), "text/plain; charset=utf-8");
        EXPECT_NE(reply.body().find(row.mentions), std::string::npos) << reply.body();
    }
}

// The error image goes out with 422, the object's message in X-Quillax-Error (printable ASCII
// only, 200 characters at most: data in the message cannot add a field) and no-store.
TEST_F(WebHostComponentTest, AnImageThatCarriesAnErrorIs422WithTheMessage) {
    const std::string longData(250, '1');
    struct Row {
        const char* name;
        std::string query;
        const char* contentType;
        std::string error;
    };
    const Row rows[] = {
        {"letters in EAN-13 data", "Data=ABC", "image/bmp", "Barcode must be numeric"},
        {"symbology past the table", "BarcodeType=25&Data=1234", "image/bmp",
         "TBarcodeEngine: wrong BarcodeType"},
        {"line break in the data", "BarcodeType=12&Data=A1%0D%0ASet-Cookie:%20x=1B", "image/bmp",
         "TBarcodeEngine:Codabar bad Data <A1??Set-Cookie: x=1B>"},
        {"character beyond ASCII", "BarcodeType=12&Data=A%C3%A9B", "image/bmp",
         "TBarcodeEngine:Codabar bad Data <A?B>"},
        {"long message", "BarcodeType=12&Data=A" + longData + "%C3%A9B", "image/bmp",
         ("TBarcodeEngine:Codabar bad Data <A" + longData).substr(0, 200)},
        {"JPEG wider than its format holds",
         "BarcodeType=6&NarrowBarWidth=31&Height=2&ImageTypeStr=JPEG&Data=" + std::string(200, 'Q'),
         "image/jpeg", "Cannot write the 69285 by 2 pixel image as JPG: JPEG error #41"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const Reply reply = Fetch("/barcode?" + row.query);
        EXPECT_EQ(Hex(reply.result_int()), Hex(422)) << reply.body();
        EXPECT_EQ(Header(reply, http::field::content_type), row.contentType);
        EXPECT_EQ(Header(reply, http::field::content_length), std::to_string(reply.body().size()));
        EXPECT_EQ(ErrorField(reply), row.error);
        EXPECT_EQ(Header(reply, http::field::cache_control), "no-store");
        EXPECT_EQ(Header(reply, http::field::etag), "<none>");
        EXPECT_EQ(Header(reply, http::field::set_cookie), "<none>");
        if (std::string(row.contentType) == "image/bmp") {
            ASSERT_GE(reply.body().size(), 26u);
            EXPECT_EQ(Little32(reply.body(), 18), 50u);
            EXPECT_EQ(Little32(reply.body(), 22), 30u);
        }
    }
}

// An error image is never kept: the same request renders again, and a tag cannot make it a
// 304. A clean image is kept as before.
TEST_F(WebHostComponentTest, AnErrorImageIsRenderedAgainForEachRequest) {
    for (const char* data : {"ABC", "5901234123457"}) {
        SCOPED_TRACE(data);
        const std::string target = std::string("/barcode?Data=") + data;
        const Reply first = Fetch(target);
        Client client(host_->Port());
        ASSERT_TRUE(client.Send("GET " + target +
                                " HTTP/1.1\r\nHost: localhost\r\nIf-None-Match: *\r\n\r\n"));
        const std::optional<Reply> again = client.Receive();
        ASSERT_TRUE(again);
        EXPECT_EQ(Hex(again->result_int()), Hex(first.result_int() == 422 ? 422 : 304));
    }
    const std::string metrics = Fetch("/metrics").body();
    EXPECT_NE(metrics.find("renders 3\n"), std::string::npos) << metrics;
    EXPECT_NE(metrics.find("cache_entries 1\n"), std::string::npos) << metrics;
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
    // "1" converts to every property type but the format's name, so only a misnamed field
    // gives 400.
    const std::string html(FormPageHtml());
    const std::size_t start = html.find("<form");
    const std::string form = html.substr(start, html.find("</form>") - start);
    int fields = 0;
    for (std::size_t at = form.find("name=\""); at != form.npos; at = form.find("name=\"", at)) {
        at += 6;
        const std::string name = form.substr(at, form.find('"', at) - at);
        SCOPED_TRACE(name);
        ++fields;
        const std::string value = name == "ImageTypeStr" ? "png" : "1";
        EXPECT_NE(Hex(Fetch("/barcode?" + name + "=" + value).result_int()), Hex(400));
    }
    EXPECT_EQ(fields, 16);
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
