// What the web host answers to a request head: the routes (/, /barcode, /healthz, /metrics),
// the methods each serves, the response cache in front of the barcode page, and the
// conditional requests (If-Match, If-None-Match) on what a route answers.
#pragma once

#include "apps/web/WebAnswer.h"
#include "apps/web/WebRequest.h"
#include "apps/web/WebResponseCache.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace quillax::web {

// The front page (GET /): the form, and a preview that shows the form's defaults before any
// script runs.
std::string_view FormPageHtml();

// What one thread counts, read by /metrics from any thread.
struct alignas(64) RouteCounters {
    std::atomic<std::uint64_t> requests{0};
    std::atomic<std::uint64_t> renders{0};   // barcode pages run
    std::atomic<std::uint64_t> cacheHits{0}; // barcode answers from the cache
};

// What goes out for a request: an answer, and which part of it.
struct Delivery {
    AnswerPtr answer;
    AnswerPart part = AnswerPart::Whole;
};

// A /barcode request that the cache could not answer: the page to run on a render thread,
// and the bytes its render may take.
struct RenderRequest {
    std::string key; // PageKey of the parameters
    std::vector<PageParameter> parameters;
    std::size_t cost = 0;  // bytes, as the page estimates them
    bool tooLarge = false; // more than the render memory: its error image is all it gets
    // What the render is charged against the render memory.
    std::size_t Charge() const { return tooLarge ? 0 : cost; }
};

// A request routed: answered at once, or waiting for a render.
struct Routed {
    Routed(AnswerPtr answer) : delivery{std::move(answer)} {}
    Routed(Delivery at) : delivery(std::move(at)) {}
    Routed(RenderRequest&& later) : render(std::move(later)) {}

    Delivery delivery;
    std::optional<RenderRequest> render;
};

class Routes {
public:
    // metrics gives the text of /metrics at the moment of the request; renderBudget is the
    // memory renders in flight may take together.
    Routes(PageSource page, std::size_t cacheBytes, std::size_t maxQueryParameters,
           std::size_t renderBudget, std::function<std::string()> metrics);

    Routed Respond(const RequestHead& head, RouteCounters& counters);
    // Runs the page of a request (on a render thread) and keeps a clean answer in the cache.
    AnswerPtr Render(RenderRequest& request, RouteCounters& counters);
    // What goes out for a rendered answer to the request: conditions and HEAD applied.
    Delivery Deliver(const RequestHead& head, AnswerPtr answer) const;

    ResponseCache& Cache() { return cache_; }
    static AnswerPtr RefusalAnswer(HeadRefusal refusal, const std::string& text);
    // 503 with Retry-After: every render thread is busy and the queue is full.
    static AnswerPtr BusyAnswer();

private:
    Routed Route(const RequestHead& head, RouteCounters& counters);
    Routed Barcode(const RequestHead& head, std::string_view query, RouteCounters& counters);
    Delivery Conditional(const RequestHead& head, AnswerPtr answer) const;

    PageSource page_;
    std::size_t renderBudget_;
    ResponseCache cache_;
    std::size_t maxQueryParameters_;
    std::function<std::string()> metrics_;
    AnswerPtr formPage_, healthy_, notFound_, notImplemented_, badTarget_, preconditionFailed_,
        notModified_, allowAll_, allowBarcode_, notAllowed_;
};

} // namespace quillax::web
