// The front page in a real browser: headless Chromium, driven over its DevTools protocol,
// loads `quillax serve`'s page; the preview and the download link are there before any
// script runs; after a change of symbology and data in the form the preview, the hint, the
// download's name and the URL and tag to copy follow; zoom is pixel for pixel; an image that
// carries an error shows the reason. Screenshots are kept in the build folder
// (test-artifacts/web-page.png, web-page-error.png).
#include "LoopbackClient.h"
#include "ServeProcess.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
namespace net = boost::asio;
namespace beast = boost::beast;
using namespace quillax::webtest;
using namespace std::chrono_literals;

constexpr const char* kChromium = "/usr/bin/chromium";

// The text of the JSON string that follows `"key":` in text (escapes \" \\ \/ and \n
// undone), or nothing.
std::optional<std::string> JsonString(const std::string& text, const std::string& key) {
    const std::string marker = "\"" + key + "\":";
    std::size_t at = text.find(marker);
    if (at == text.npos) return std::nullopt;
    at = text.find_first_not_of(' ', at + marker.size());
    if (at == text.npos || text[at] != '"') return std::nullopt;
    std::string value;
    for (++at; at < text.size() && text[at] != '"'; ++at) {
        if (text[at] == '\\' && at + 1 < text.size()) {
            const char escaped = text[++at];
            value += escaped == 'n' ? '\n' : escaped;
        } else {
            value += text[at];
        }
    }
    return value;
}

std::string JsonQuote(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c == '\n' ? ' ' : c;
    }
    return quoted + "\"";
}

std::string Base64Decode(const std::string& text) {
    static const std::string kAlphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string bytes;
    unsigned bits = 0, value = 0;
    for (char c : text) {
        const std::size_t digit = kAlphabet.find(c);
        if (digit == kAlphabet.npos) continue;
        value = value << 6 | static_cast<unsigned>(digit);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes += static_cast<char>((value >> bits) & 0xFF);
        }
    }
    return bytes;
}

// Headless Chromium with a fresh profile, listening for DevTools on a port it picks.
class Chromium {
public:
    Chromium()
        : profile_(fs::temp_directory_path() / ("quillax-chromium-" + std::to_string(getpid()))) {
        fs::remove_all(profile_);
        fs::create_directories(profile_);
        pid_ = fork();
        if (pid_ == 0) {
            const std::string profile = "--user-data-dir=" + profile_.string();
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, STDOUT_FILENO);
            dup2(null, STDERR_FILENO);
            execl(kChromium, kChromium, "--headless", "--no-sandbox", "--disable-gpu",
                  "--disable-quic", "--no-first-run", "--disable-background-networking",
                  "--disable-component-update", "--disable-sync", "--window-size=1100,800",
                  "--remote-debugging-port=0", profile.c_str(), "about:blank",
                  static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~Chromium() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        std::error_code ignored;
        fs::remove_all(profile_, ignored);
    }

    // The DevTools port, once Chromium has written it; 0 when it did not start.
    uint16_t DevToolsPort() {
        for (int i = 0; i < 300; ++i) {
            std::ifstream file(profile_ / "DevToolsActivePort");
            unsigned port = 0;
            if (file >> port && port != 0) return static_cast<uint16_t>(port);
            if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
                pid_ = -1;
                return 0;
            }
            std::this_thread::sleep_for(50ms);
        }
        return 0;
    }

private:
    fs::path profile_;
    pid_t pid_ = -1;
};

// One page's DevTools session: commands in order, each waiting for its own answer, with the
// events that arrive meanwhile remembered.
class DevToolsPage {
public:
    DevToolsPage(uint16_t port, const std::string& path) : socket_(io_) {
        net::ip::tcp::socket& raw = socket_.next_layer();
        raw.connect({net::ip::make_address("127.0.0.1"), port});
        timeval limit{15, 0};
        setsockopt(raw.native_handle(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        socket_.read_message_max(64 * 1024 * 1024);
        socket_.handshake("127.0.0.1:" + std::to_string(port), path);
    }

    // The whole answer to the command.
    std::string Call(const std::string& method, const std::string& params = "{}") {
        const int id = ++lastId_;
        socket_.write(net::buffer("{\"id\":" + std::to_string(id) + ",\"method\":\"" + method +
                                  "\",\"params\":" + params + "}"));
        const std::string mine = "{\"id\":" + std::to_string(id) + ",";
        for (;;) {
            const std::string message = Read();
            if (message.rfind(mine, 0) == 0) return message;
            events_ += message + "\n";
        }
    }

    // Waits for an event by name, seen already or arriving within the read limit.
    bool Await(const std::string& event) {
        const std::string marker = "\"method\":\"" + event + "\"";
        while (events_.find(marker) == std::string::npos) {
            const std::string message = Read();
            if (message.empty()) return false;
            events_ += message + "\n";
        }
        events_.clear();
        return true;
    }

    // The string a script expression gives (or the promise it gives settles to), evaluated
    // in the page.
    std::string Evaluate(const std::string& expression) {
        const std::string answer =
            Call("Runtime.evaluate", "{\"expression\":" + JsonQuote(expression) +
                                         ",\"returnByValue\":true,\"awaitPromise\":true}");
        return JsonString(answer, "value").value_or("<no value: " + answer.substr(0, 300) + ">");
    }

    // What the expression gives once it gives expected, or its last answer after 5 s.
    std::string WaitFor(const std::string& expression, const std::string& expected) {
        std::string given;
        for (int i = 0; i < 100 && (given = Evaluate(expression)) != expected; ++i)
            std::this_thread::sleep_for(50ms);
        return given;
    }

    // A screenshot of the whole page into the build folder's test-artifacts.
    void Screenshot(const std::string& name) {
        const std::string height = Evaluate("String(document.documentElement.scrollHeight)");
        const std::string shot =
            Call("Page.captureScreenshot",
                 R"({"format":"png","captureBeyondViewport":true,"clip":{"x":0,"y":0,)"
                 R"("width":1100,"height":)" +
                     height + R"(,"scale":1}})");
        const std::optional<std::string> data = JsonString(shot, "data");
        ASSERT_TRUE(data);
        const fs::path artifacts = BuildFolder() / "test-artifacts";
        fs::create_directories(artifacts);
        std::ofstream(artifacts / name, std::ios::binary) << Base64Decode(*data);
        EXPECT_GT(fs::file_size(artifacts / name), 1000u);
    }

private:
    std::string Read() {
        beast::flat_buffer buffer;
        beast::error_code ec;
        socket_.read(buffer, ec);
        return ec ? std::string() : beast::buffers_to_string(buffer.data());
    }

    net::io_context io_;
    beast::websocket::stream<net::ip::tcp::socket> socket_;
    int lastId_ = 0;
    std::string events_;
};

// The page's preview: whether it loaded, its natural width and its source.
constexpr const char* kPreview = R"js((() => {
  const image = document.getElementById("image");
  return image.complete + " " + image.naturalWidth + " " + image.getAttribute("src");
})())js";

// The text of an element, or the value of a form field, by id.
std::string TextOf(const std::string& id) {
    return "(() => { const e = document.getElementById('" + id +
           "'); return 'value' in e ? e.value : e.textContent; })()";
}

// Sets a form control by id, as a person's change would.
std::string Choose(const std::string& id, const std::string& value) {
    return "(() => { const e = document.getElementById('" + id + "'); e.value = '" + value +
           "'; e.dispatchEvent(new Event('change', {bubbles: true})); return ''; })()";
}

// Replaces the data by typing, as a person would.
void TypeData(DevToolsPage& page, const std::string& text) {
    page.Evaluate("(() => { const d = document.getElementById('Data'); d.focus(); d.select(); "
                  "return ''; })()");
    page.Call("Input.insertText", "{\"text\":" + JsonQuote(text) + "}");
}

TEST(WebPageBrowser, ThePageIsAToolForTheBarcodeOfItsForm) {
    if (access(kChromium, X_OK) != 0) GTEST_SKIP() << "Chromium is not installed at " << kChromium;
    ServeProcess serve({"--listen", "127.0.0.1:0", "--quiet"});
    const uint16_t port = serve.ListeningPort();
    ASSERT_NE(port, 0);
    Chromium chromium;
    const uint16_t devtools = chromium.DevToolsPort();
    if (devtools == 0) GTEST_SKIP() << "Chromium could not start headless here";

    // The blank page's own DevTools endpoint.
    Client lister(devtools);
    ASSERT_TRUE(lister.Send(Get("/json/list")));
    const std::optional<Reply> list = lister.Receive();
    ASSERT_TRUE(list);
    // Targets are listed one object each; the page is the one of type "page".
    const std::string& targets = list->body();
    const std::size_t pageAt = targets.find("\"type\": \"page\"");
    ASSERT_NE(pageAt, std::string::npos) << targets;
    const std::size_t objectAt = targets.rfind('{', pageAt);
    const std::optional<std::string> socketUrl = JsonString(
        targets.substr(objectAt, targets.find('}', pageAt) - objectAt), "webSocketDebuggerUrl");
    ASSERT_TRUE(socketUrl) << list->body();
    DevToolsPage page(devtools, socketUrl->substr(socketUrl->find("/devtools/")));
    page.Call("Page.enable");
    const std::string origin = "http://127.0.0.1:" + std::to_string(port);
    const std::string front = origin + "/";

    // Without scripts the served page already holds a working preview, its download link
    // and the hint for its symbology.
    page.Call("Emulation.setScriptExecutionDisabled", R"({"value":true})");
    page.Call("Page.navigate", "{\"url\":\"" + front + "\"}");
    ASSERT_TRUE(page.Await("Page.loadEventFired"));
    const std::string bare = page.Evaluate(kPreview);
    EXPECT_EQ(bare.rfind("true ", 0), 0u) << bare;
    const std::string defaults = "/barcode?BarcodeType=14&Data=5901234123457&";
    EXPECT_NE(bare.find(" " + defaults), std::string::npos) << bare;
    const long bareWidth = std::stol(bare.substr(5));
    EXPECT_GT(bareWidth, 100);
    const std::string link = "(() => { const a = document.getElementById('download'); "
                             "return a.download + ' ' + a.getAttribute('href'); })()";
    EXPECT_EQ(page.Evaluate(link), "ean13-5901234123457.png " + bare.substr(bare.find(" /") + 1));
    EXPECT_EQ(page.Evaluate(TextOf("hint")),
              "up to 13 digits, 12 with Checksum; +NN or +NNNNN add-on; "
              "check digit: mod 10 with Checksum");

    // With scripts, the same preview, its size and nothing in error.
    page.Call("Emulation.setScriptExecutionDisabled", R"({"value":false})");
    page.Call("Page.navigate", "{\"url\":\"" + front + "\"}");
    ASSERT_TRUE(page.Await("Page.loadEventFired"));
    EXPECT_EQ(page.Evaluate(kPreview), bare) << "the script changed the preview of the defaults";
    EXPECT_EQ(page.WaitFor(TextOf("status"), std::to_string(bareWidth) + " x 80 pixels"),
              std::to_string(bareWidth) + " x 80 pixels");

    // A change of symbology and data: a new barcode, its hint, its file name, its URL and tag.
    page.Evaluate(Choose("BarcodeType", "6"));
    TypeData(page, "QUILLAX-IN-A-BROWSER");
    std::string changed;
    for (int i = 0; i < 100; ++i) {
        changed = page.Evaluate(kPreview);
        if (changed.find("BarcodeType=6&Data=QUILLAX-IN-A-BROWSER&") != std::string::npos &&
            changed.rfind("true ", 0) == 0 && std::stol(changed.substr(5)) != bareWidth)
            break;
        std::this_thread::sleep_for(50ms);
    }
    ASSERT_EQ(changed.rfind("true ", 0), 0u) << changed;
    EXPECT_NE(changed.find("BarcodeType=6&Data=QUILLAX-IN-A-BROWSER&"), std::string::npos)
        << changed;
    const std::string width = std::to_string(std::stol(changed.substr(5)));
    EXPECT_NE(width, std::to_string(bareWidth)) << changed;
    const std::string src = changed.substr(changed.find(" /") + 1);
    EXPECT_EQ(page.Evaluate(TextOf("hint")), "ASCII 32-127; check digit: mod 103");
    EXPECT_EQ(page.WaitFor(link, "code128b-QUILLAX-IN-A-BROWSER.png " + src),
              "code128b-QUILLAX-IN-A-BROWSER.png " + src);
    EXPECT_EQ(page.Evaluate(TextOf("url")), origin + src);
    std::string escaped = origin + src;
    for (std::size_t at = escaped.find('&'); at != std::string::npos;
         at = escaped.find('&', at + 1))
        escaped.insert(at + 1, "amp;");
    EXPECT_EQ(page.WaitFor(TextOf("tag"), "<img src=\"" + escaped +
                                              "\" alt=\"QUILLAX-IN-A-BROWSER\" width=\"" + width +
                                              "\" height=\"80\">"),
              "<img src=\"" + escaped + "\" alt=\"QUILLAX-IN-A-BROWSER\" width=\"" + width +
                  "\" height=\"80\">");

    // Copy URL puts the image's URL on the clipboard.
    page.Call("Browser.grantPermissions", "{\"origin\":\"" + origin +
                                              "\",\"permissions\":[\"clipboardReadWrite\"," +
                                              "\"clipboardSanitizedWrite\"]}");
    page.Evaluate("document.getElementById('copyUrl').click(), ''");
    EXPECT_EQ(page.WaitFor(TextOf("copied"), "Copied"), "Copied");
    EXPECT_EQ(page.Evaluate("navigator.clipboard.readText()"), origin + src);

    // Zoom 2x: every image pixel two screen pixels wide and high, never blended.
    page.Evaluate("document.querySelector('input[name=zoom][value=\"2\"]').click(), ''");
    const std::string zoomed = "image.clientWidth + ' ' + image.clientHeight + ' ' + "
                               "getComputedStyle(image).imageRendering";
    EXPECT_EQ(page.WaitFor(zoomed, std::to_string(2 * std::stol(width)) + " 160 pixelated"),
              std::to_string(2 * std::stol(width)) + " 160 pixelated");
    page.Screenshot("web-page.png");

    // Data the symbology cannot carry: the reason the host gives, shown as an error.
    page.Evaluate(Choose("BarcodeType", "14"));
    TypeData(page, "12345ABC");
    EXPECT_EQ(page.WaitFor(TextOf("status"), "The image carries an error: Barcode must be numeric"),
              "The image carries an error: Barcode must be numeric");
    EXPECT_EQ(page.Evaluate("document.getElementById('status').className"), "error");
    page.Screenshot("web-page-error.png");
}

} // namespace
