// What the web host answers to a request head: the routes (/, /barcode, /healthz, /metrics),
// the methods each serves, the response cache in front of the barcode page, and the
// conditional requests (If-Match, If-None-Match) on what a route answers.
#pragma once

#include "apps/WebAnswer.h"
#include "apps/WebRequest.h"
#include "apps/WebResponseCache.h"

#include <atomic>
#include <cstdint>
#include <functional>
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

class Routes {
public:
    // metrics gives the text of /metrics at the moment of the request.
    Routes(PageFunction page, std::size_t cacheBytes, std::size_t maxQueryParameters,
           std::function<std::string()> metrics);

    Delivery Respond(const RequestHead& head, RouteCounters& counters);

    ResponseCache& Cache() { return cache_; }
    static AnswerPtr RefusalAnswer(HeadRefusal refusal, const std::string& text);

private:
    Delivery Route(const RequestHead& head, RouteCounters& counters);
    AnswerPtr Barcode(std::string_view query, RouteCounters& counters);
    Delivery Conditional(const RequestHead& head, AnswerPtr answer) const;

    PageFunction page_;
    ResponseCache cache_;
    std::size_t maxQueryParameters_;
    std::function<std::string()> metrics_;
    AnswerPtr formPage_, healthy_, notFound_, notImplemented_, badTarget_, preconditionFailed_,
        notModified_, allowAll_, allowBarcode_, notAllowed_;
};

} // namespace quillax::web
