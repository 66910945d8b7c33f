// The web host: an HTTP server that runs one component page per GET /barcode request and
// answers with what the page told its Response object, plus a form page with a live preview
// and a health check. Asynchronous I/O on one thread, rendering on a small worker pool, and
// explicit bounds on everything a client controls (head size, parameters, deadlines,
// keep-alive, connections, bytes waiting to be sent).
#pragma once

#include "platform/SysUtils.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillax::host {
class TComponentLibrary;
}

namespace quillax::web {

// One NAME=VALUE pair of a request's query, decoded to UTF-8, in request order.
using PageParameter = std::pair<std::string, std::string>;

// What a page made of its Response object, in HTTP terms.
struct PageReply {
    std::optional<int32_t> expiresMinutes;                    // Response.Expires, when set
    std::vector<std::pair<std::string, std::string>> headers; // Response.AddHeader calls
    std::string contentType;                                  // Response.ContentType
    std::string body;                                         // every BinaryWrite, in order
};

// The request itself is wrong: an unknown property or a value that does not convert.
// The host answers 400 with the message; any other exception from a page is a 500.
class PageUsageError : public Exception {
public:
    using Exception::Exception;
};

// Runs one page with the given properties. Called on a worker thread, several at once.
using PageFunction = std::function<PageReply(const std::vector<PageParameter>&)>;

struct WebHostLimits {
    std::size_t maxHeadBytes = 8 * 1024;             // request line and header fields together
    std::size_t maxQueryParameters = 32;             // NAME=VALUE pairs on one /barcode request
    std::chrono::milliseconds headDeadline{10'000};  // whole request head, from its first byte
    std::chrono::milliseconds idleTimeout{15'000};   // keep-alive wait for the next request
    std::chrono::milliseconds writeDeadline{30'000}; // whole response
    unsigned maxRequestsPerConnection = 100;
    std::size_t maxConnections = 256;
    std::size_t maxResponseBytesInFlight = 128u * 1024 * 1024; // rendered bodies not yet sent
    unsigned workers = 2;                                      // render threads
};

struct WebHostConfig {
    std::string host = "127.0.0.1";
    uint16_t port = 8080; // 0 picks a free port; Port() tells which
    WebHostLimits limits;
};

// The server. Start() runs it on a thread of its own; Run() on the calling thread until
// Stop() (from any thread) or, with handleSignals, SIGINT or SIGTERM.
class WebHost {
public:
    WebHost(WebHostConfig config, PageFunction page);
    ~WebHost();
    WebHost(const WebHost&) = delete;
    WebHost& operator=(const WebHost&) = delete;

    uint16_t Port() const;   // the bound port
    std::string Url() const; // "http://HOST:PORT/"
    void Start();
    void Run(bool handleSignals = false);
    void Stop();

private:
    std::shared_ptr<struct WebHostState> state_;
};

// The component's barcode page: a new object per call, each parameter set as a property,
// then ShowBarcode, its Response calls recorded. The library must outlive the function.
PageFunction ComponentPage(const host::TComponentLibrary& component);

// Decodes an application/x-www-form-urlencoded query ("+" is a space, %XX a byte) into
// NAME=VALUE pairs. Empty segments are skipped; a segment without "=" or with an empty name,
// a malformed escape, text that is not UTF-8, a NUL, or more than maxParameters pairs raise
// PageUsageError.
std::vector<PageParameter> ParseQuery(std::string_view query, std::size_t maxParameters);

// The front page (GET /): the form and its live preview.
std::string_view FormPageHtml();

// Splits "HOST:PORT" ("[::1]:8080" for IPv6); throws Exception on a malformed text.
std::pair<std::string, uint16_t> ParseListenAddress(const std::string& listen);

} // namespace quillax::web

// `quillax serve`: serves the component on LISTEN until interrupted, printing the address
// first. Returns the process exit status (2 for a malformed address, 1 when it cannot listen).
int RunWebHost(const std::string& listen);
