// The routes and the conditional requests on their answers.
#include "apps/web/WebRoutes.h"

namespace quillax::web {

namespace http = boost::beast::http;

namespace {

constexpr std::string_view kAllowed = "Allow: GET, HEAD, OPTIONS\r\n";

enum class Path { Front, Barcode, Health, Metrics, None };

Path PathOf(std::string_view path) {
    if (path == "/") return Path::Front;
    if (path == "/barcode") return Path::Barcode;
    if (path == "/healthz") return Path::Health;
    if (path == "/metrics") return Path::Metrics;
    return Path::None;
}

} // namespace

Routes::Routes(PageSource page, std::size_t cacheBytes, std::size_t maxQueryParameters,
               std::size_t renderBudget, std::function<std::string()> metrics)
    : page_(std::move(page)), renderBudget_(renderBudget), cache_(cacheBytes),
      maxQueryParameters_(maxQueryParameters), metrics_(std::move(metrics)),
      formPage_(HtmlAnswer(FormPageHtml())),
      healthy_(TextAnswer(status::ok, "ok", "Cache-Control: no-store\r\n")),
      notFound_(TextAnswer(status::not_found, "not found")),
      notImplemented_(TextAnswer(status::not_implemented, "method not implemented")),
      badTarget_(TextAnswer(status::bad_request, "bad request target")),
      preconditionFailed_(TextAnswer(status::precondition_failed, "precondition failed")),
      allowAll_(EmptyAnswer(status::no_content, kAllowed)),
      allowBarcode_(EmptyAnswer(
          status::no_content, std::string(kAllowed) + "Access-Control-Allow-Origin: *\r\n"
                                                      "Access-Control-Allow-Methods: GET, HEAD\r\n"
                                                      "Access-Control-Max-Age: 86400\r\n")),
      notAllowed_(TextAnswer(status::method_not_allowed, "method not allowed", kAllowed)) {
    auto notModified = std::make_shared<Answer>(*EmptyAnswer(status::not_modified));
    notModified->notModifiedHead = notModified->head;
    notModified_ = std::move(notModified);
}

AnswerPtr Routes::RefusalAnswer(HeadRefusal refusal, const std::string& text) {
    switch (refusal) {
    case HeadRefusal::LineTooLong:
        return TextAnswer(status::uri_too_long, text);
    case HeadRefusal::TooManyFields:
    case HeadRefusal::HeadTooLarge:
        return TextAnswer(status::request_header_fields_too_large, text);
    default:
        return TextAnswer(status::bad_request, text);
    }
}

AnswerPtr Routes::BusyAnswer() {
    static const AnswerPtr busy =
        TextAnswer(status::service_unavailable, "every render thread is busy; try again",
                   "Retry-After: 1\r\n");
    return busy;
}

Routed Routes::Respond(const RequestHead& head, RouteCounters& counters) {
    counters.requests.fetch_add(1, std::memory_order_relaxed);
    Routed routed = Route(head, counters);
    // HEAD gets the head of whatever GET would get, errors included.
    if (head.Method() == http::verb::head && routed.delivery.part == AnswerPart::Whole)
        routed.delivery.part = AnswerPart::Head;
    return routed;
}

Routed Routes::Route(const RequestHead& head, RouteCounters& counters) {
    const http::verb method = head.Method();
    if (!IsKnownMethod(method)) return notImplemented_;
    const std::optional<RequestTarget> target = SplitTarget(head.Target());
    if (!target) return badTarget_;
    if (target->asterisk) return method == http::verb::options ? allowAll_ : badTarget_;

    const Path path = PathOf(target->path);
    if (path == Path::None) return notFound_;
    if (method == http::verb::options) return path == Path::Barcode ? allowBarcode_ : allowAll_;
    if (method != http::verb::get && method != http::verb::head) return notAllowed_;
    switch (path) {
    case Path::Front:
        return Conditional(head, formPage_);
    case Path::Health:
        return Conditional(head, healthy_);
    case Path::Metrics:
        return Conditional(head, TextAnswer(status::ok, metrics_(), "Cache-Control: no-store\r\n"));
    default:
        return Barcode(head, target->query, counters);
    }
}

Routed Routes::Barcode(const RequestHead& head, std::string_view query, RouteCounters& counters) {
    std::vector<PageParameter> parameters;
    try {
        parameters = ParseQuery(query, maxQueryParameters_);
    } catch (const PageUsageError& e) {
        return TextAnswer(status::bad_request, e.what());
    }
    std::string key = PageKey(parameters);
    if (AnswerPtr kept = cache_.Find(key)) {
        counters.cacheHits.fetch_add(1, std::memory_order_relaxed);
        return Conditional(head, std::move(kept));
    }
    RenderRequest render{std::move(key), std::move(parameters)};
    try {
        render.cost = page_.cost ? page_.cost(render.parameters) : 0;
    } catch (const PageUsageError& e) {
        return TextAnswer(status::bad_request, e.what());
    }
    render.tooLarge = render.cost > renderBudget_;
    if (render.tooLarge && !page_.tooLarge) return BusyAnswer();
    return render;
}

AnswerPtr Routes::Render(RenderRequest& request, RouteCounters& counters) {
    counters.renders.fetch_add(1, std::memory_order_relaxed);
    AnswerPtr answer;
    try {
        answer = ImageAnswer(
            request.tooLarge
                ? page_.tooLarge(request.parameters,
                                 "the image would take more memory than the host renders in "
                                 "(about " +
                                     std::to_string(request.cost >> 20) + " of " +
                                     std::to_string(renderBudget_ >> 20) + " MiB)")
                : page_.run(request.parameters));
    } catch (const PageUsageError& e) {
        return TextAnswer(status::bad_request, e.what());
    } catch (const std::exception& e) {
        return TextAnswer(status::internal_server_error, e.what());
    }
    if (answer->code == status::ok) cache_.Insert(std::move(request.key), answer);
    return answer;
}

Delivery Routes::Deliver(const RequestHead& head, AnswerPtr answer) const {
    Delivery delivery = Conditional(head, std::move(answer));
    if (head.Method() == http::verb::head && delivery.part == AnswerPart::Whole)
        delivery.part = AnswerPart::Head;
    return delivery;
}

// Conditions apply to answers that succeed: If-Match first (412 unless it names the
// current tag), then If-None-Match (304 when it does).
Delivery Routes::Conditional(const RequestHead& head, AnswerPtr answer) const {
    if (answer->code != status::ok) return {std::move(answer)};
    if (head.IfMatch() && !ListNamesTag(*head.IfMatch(), answer->etag, TagComparison::Strong))
        return {preconditionFailed_};
    if (head.IfNoneMatch() && ListNamesTag(*head.IfNoneMatch(), answer->etag, TagComparison::Weak))
        return {answer->notModifiedHead.empty() ? notModified_ : std::move(answer),
                AnswerPart::NotModified};
    return {std::move(answer)};
}

} // namespace quillax::web
