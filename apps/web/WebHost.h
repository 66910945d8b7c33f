// The web host: an HTTP/1.1 server that answers GET /barcode with what one component page
// told its Response object, plus HTTP's caching (a strong ETag, 304, Cache-Control, CORS)
// and a bounded cache of recent answers; a form page with a live preview; a health check
// and counters. Its network threads each run their own connections asynchronously: they
// parse, route, answer from the cache and write, and never render. Pages run on render
// threads fed by a bounded queue and admitted against a memory budget, so a health check or
// a cached answer never waits behind a render, and slow clients pin no thread.
// Everything a client controls is bounded exactly: the request line, the head's size,
// fields and deadlines, keep-alive, connections (in all and per address), and the bytes
// held for slow readers. It stops gracefully: no answer in flight is cut off.
#pragma once

#include "apps/web/WebBarcodePage.h"
#include "apps/web/WebRenderPool.h"
#include "apps/web/WebRequest.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

namespace quillax::web {

struct WebHostLimits {
    HeadLimits head;                                    // request line, head size, fields
    std::size_t maxQueryParameters = 32;                // NAME=VALUE pairs on one request
    std::chrono::milliseconds firstByteDeadline{5'000}; // a new connection's first byte
    std::chrono::milliseconds headDeadline{10'000};     // whole request head, from its first byte
    std::chrono::milliseconds idleTimeout{15'000};      // keep-alive wait for the next request
    std::chrono::milliseconds writeDeadline{30'000};    // between two writes of a response
    unsigned maxRequestsPerConnection = 10'000;
    std::size_t maxConnections = 512;
    std::size_t maxConnectionsPerClient = 128; // a quarter of the cap; 0: no share per address
    std::size_t maxResponseBytesInFlight = 128u * 1024 * 1024; // large bodies not yet sent
};

struct WebHostConfig {
    std::string host = "127.0.0.1";
    uint16_t port = 8080;                       // 0 picks a free port; Port() tells which
    unsigned threads = 0;                       // network threads; 0: one per core
    RenderPoolLimits render;                    // render threads, queue, memory
    std::size_t cacheBytes = 64u * 1024 * 1024; // 0: no response cache
    int accessLogFd = -1;                       // where access log lines go; -1: nowhere
    WebHostLimits limits;
};

// The server. Start() runs it on threads of its own; Run() also waits until it has stopped.
class WebHost {
public:
    WebHost(WebHostConfig config, PageSource page);
    WebHost(WebHostConfig config, PageFunction page)
        : WebHost(std::move(config), PageSource(std::move(page))) {}
    ~WebHost();
    WebHost(const WebHost&) = delete;
    WebHost& operator=(const WebHost&) = delete;

    uint16_t Port() const;   // the bound port
    std::string Url() const; // "http://HOST:PORT/"
    void Start();
    // Start(), then Wait(). With handleSignals, the first SIGINT or SIGTERM drains and a
    // second stops at once.
    bool Run(bool handleSignals = false);
    // Waits until the host has stopped; true when it drained, false when stopped at once.
    bool Wait();
    // Stops accepting, closes idle connections, lets every answer in flight finish (each
    // within its deadlines), then stops. Any thread.
    void Drain();
    // Stops at once, cutting off answers in flight. Any thread but the host's own.
    void Stop();

private:
    std::shared_ptr<struct WebHostState> state_;
};

// Splits "HOST:PORT" ("[::1]:8080" for IPv6); throws Exception on a malformed text.
std::pair<std::string, uint16_t> ParseListenAddress(const std::string& listen);

} // namespace quillax::web

// `quillax serve`: serves the component on LISTEN ("HOST:PORT"), otherwise as configured,
// until interrupted, printing the address first. Returns the process exit status: 0 after a
// graceful stop, 2 for a malformed address, 1 when it cannot listen or was stopped at once
// by a second signal.
int RunWebHost(const std::string& listen, quillax::web::WebHostConfig config);
