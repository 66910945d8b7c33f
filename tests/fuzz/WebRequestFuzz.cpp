// Fuzz target: the web host's request handling without a network. The input is what a client
// sends on one connection (any bytes: request heads, targets, queries, pipelined requests),
// arriving in pieces of any size, under limits the input may tighten. Each head is parsed as
// the connection parses it, refused or routed, and every answer must be a well-formed HTTP
// response with its status; the connection never waits on a full buffer. The barcode page sets
// the query's properties on an in-process object as the real page does, and answers with the
// page key instead of an image (renders have fuzz targets of their own).
#include "FuzzObject.h"

#include "apps/page/ComponentHost.h"
#include "apps/page/SymbologyNames.h"
#include "apps/web/WebRoutes.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/string_body.hpp>

#include <cstring>
#include <ctime>
#include <optional>
#include <string>

using namespace quillax;
using namespace quillax::web;
namespace http = boost::beast::http;

namespace {

[[noreturn]] void Fail(const char* what, long value = 0) {
    fuzz::Fail("WebRequestFuzz", what, value);
}

// A Response that nothing is sent to: the page answers with its own reply below.
class TIgnoredResponse final : public host::TResponseSink {
public:
    HRESULT Expires(LONG) override { return S_OK; }
    HRESULT AddHeader(const std::string&, const std::string&) override { return S_OK; }
    HRESULT ContentType(const std::string&) override { return S_OK; }
    HRESULT BinaryWrite(std::span<const BYTE>) override { return S_OK; }
    HRESULT Flush() override { return S_OK; }
};

// The barcode page without the render: names and values reach the object as they do on the
// host (unknown names and values that do not convert are the request's fault); the reply
// carries the page key, the "x-" parameters as headers and "expires" as Response.Expires, so
// that replies no client could be sent reach the answer's checks too.
PageReply FuzzPage(const std::vector<PageParameter>& parameters) {
    PageReply reply;
    try {
        const std::vector<PageParameter> settings = host::WithSymbologyNumbers(parameters);
        TIgnoredResponse response;
        ComPtr<IScriptingContext> context = host::MakeScriptingContext(response);
        ComPtr<IDispatch> barcode = fuzz::NewBarcodeObject();
        host::StartPage(barcode.Get(), context.Get());
        for (const auto& [name, value] : settings) {
            if (name.starts_with("x-")) {
                reply.headers.emplace_back(name.substr(2), value);
            } else if (name == "expires") {
                reply.expiresMinutes =
                    static_cast<int32_t>(std::strtol(value.c_str(), nullptr, 10));
            } else if (name == "type") {
                reply.contentType = value;
            } else {
                host::PutProperty(barcode.Get(), name, value);
            }
        }
        host::EndPage(barcode.Get());
    } catch (const host::EUsageError& e) {
        throw PageUsageError(e.what());
    }
    reply.body = PageKey(parameters);
    return reply;
}

// What goes out for a delivery must read back as one whole HTTP response of its status.
void CheckSent(const Delivery& delivery, ConnectionFate fate, bool headRequest) {
    if (!delivery.answer) Fail("no answer");
    const Answer& answer = *delivery.answer;
    const unsigned code = static_cast<unsigned>(answer.code);
    if (code < 200 || code > 599) Fail("a status outside 200-599", code);
    std::string sent =
        delivery.part == AnswerPart::NotModified ? answer.notModifiedHead : answer.head;
    if (!sent.starts_with("HTTP/1.1 ")) Fail("a head without a status line");
    AppendSendFields(sent, answer, fate, std::time(nullptr));
    const bool body = delivery.part == AnswerPart::Whole;
    if (body) sent += answer.body;

    http::response_parser<http::string_body> parser;
    parser.body_limit(64 * 1024 * 1024);
    parser.skip(headRequest || !body);
    boost::beast::error_code ec;
    std::size_t used = 0;
    while (!ec && !parser.is_done() && used < sent.size())
        used += parser.put(boost::asio::buffer(sent.data() + used, sent.size() - used), ec);
    if (!ec && !parser.is_done())
        parser.put_eof(ec); // a body without a length ends with the connection
    if (ec) Fail("an answer that does not parse as HTTP");
    if (used != sent.size()) Fail("bytes after the answer's end", long(sent.size() - used));
    if (body && !headRequest && parser.get().body() != answer.body) Fail("another body");
    const unsigned parsed = parser.get().result_int();
    if (delivery.part == AnswerPart::NotModified ? parsed != 304 : parsed != code)
        Fail("a head of another status", parsed);
}

HeadLimits ConsumeLimits(FuzzedDataProvider& in) {
    HeadLimits limits;
    if (in.ConsumeBool()) {
        limits.maxLineBytes = in.ConsumeIntegralInRange<std::size_t>(1, 600);
        limits.maxHeadBytes = in.ConsumeIntegralInRange<std::size_t>(1, 1200);
        limits.maxFields = in.ConsumeIntegralInRange<std::size_t>(0, 12);
    }
    return limits;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const HeadLimits limits = ConsumeLimits(in);
    const std::size_t maxParameters = in.ConsumeIntegralInRange<std::size_t>(0, 40);
    const std::size_t piece = in.ConsumeIntegralInRange<std::size_t>(1, 64);
    const std::string bytes = in.ConsumeRemainingBytesAsString();
    {
        Routes routes(PageSource{FuzzPage}, 1 << 20, maxParameters, std::size_t{1} << 30,
                      [] { return std::string("metrics\n"); });
        RouteCounters counters;
        boost::beast::flat_buffer buffer(limits.maxHeadBytes);
        std::optional<RequestHead> head;
        std::size_t next = 0;
        // As a connection reads: whatever fits the buffer, up to one piece at a time.
        while (true) {
            if (!head) head.emplace(limits);
            const std::size_t room = buffer.max_size() - buffer.size();
            const std::size_t count = std::min({room, piece, bytes.size() - next});
            if (count > 0) {
                auto target = buffer.prepare(count);
                std::memcpy(target.data(), bytes.data() + next, count);
                buffer.commit(count);
                next += count;
            }
            buffer.consume(head->Feed(buffer.data()));
            if (head->State() == RequestHead::Progress::NeedMore) {
                if (buffer.size() >= buffer.max_size()) Fail("waits for bytes with a full buffer");
                if (next == bytes.size()) break; // the client sent no more
                continue;
            }
            if (head->State() == RequestHead::Progress::Refused) {
                const AnswerPtr refusal =
                    Routes::RefusalAnswer(head->Refusal(), head->RefusalText());
                const unsigned code = static_cast<unsigned>(refusal->code);
                if (code != 400 && code != 414 && code != 431) Fail("a refusal of status", code);
                CheckSent({refusal}, ConnectionFate::Close, false);
                break; // a refused head ends the connection
            }
            Routed routed = routes.Respond(*head, counters);
            const Delivery delivery =
                routed.render ? routes.Deliver(*head, routes.Render(*routed.render, counters))
                              : std::move(routed.delivery);
            const bool keepAlive = head->keep_alive() && !head->HasBody();
            CheckSent(delivery,
                      !keepAlive             ? ConnectionFate::Close
                      : head->Version() < 11 ? ConnectionFate::KeepAlive10
                                             : ConnectionFate::KeepAlive,
                      head->Method() == http::verb::head);
            if (!keepAlive) break;
            head.reset(); // the next request on the connection
            if (buffer.size() == 0 && next == bytes.size()) break;
        }
    }
    fuzz::CheckNoObjectLeft("WebRequestFuzz");
    return 0;
}
