// What the web host reads from a client: the request head, held to exact limits and to the
// framing rules of HTTP/1.1; its target split into path and query; the query decoded into
// NAME=VALUE pairs; and the entity-tag lists of conditional requests.
#pragma once

#include "platform/SysUtils.h"

#include <boost/asio/buffer.hpp>
#include <boost/beast/http/basic_parser.hpp>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillax::web {

// One NAME=VALUE pair of a request's query, decoded to UTF-8, in request order.
using PageParameter = std::pair<std::string, std::string>;

// The request itself is wrong: an unknown property or a value that does not convert.
// The host answers 400 with the message; any other exception from a page is a 500.
class PageUsageError : public Exception {
public:
    using Exception::Exception;
};

// Decodes an application/x-www-form-urlencoded query ("+" is a space, %XX a byte) into
// NAME=VALUE pairs. Empty segments are skipped; a segment without "=" or with an empty name,
// a malformed escape, text that is not UTF-8, a NUL, or more than maxParameters pairs raise
// PageUsageError.
std::vector<PageParameter> ParseQuery(std::string_view query, std::size_t maxParameters);

// The parameters as a page applies them, as one text: names folded to lower case, values as
// sent, in order. Two requests with the same key get the same image.
std::string PageKey(const std::vector<PageParameter>& parameters);

// Bounds on a request head. The request line is the method, target and version without the
// line end; the head is every byte up to and including the empty line that ends it.
struct HeadLimits {
    std::size_t maxLineBytes = 8 * 1024;
    std::size_t maxHeadBytes = 16 * 1024;
    std::size_t maxFields = 100;
};

// Why a head was refused, each with the status it is answered with.
enum class HeadRefusal {
    None,
    LineTooLong,   // 414
    TooManyFields, // 431
    HeadTooLarge,  // 431
    Malformed,     // 400: the parser's own rules, and no obsolete line folding
    BadFraming,    // 400: Transfer-Encoding not exactly one final chunked, or on HTTP/1.0
    BadHost,       // 400: HTTP/1.1 without exactly one valid Host
};

// One request head, parsed by Beast as bytes arrive. Only the head is parsed: a request that
// has a body is answered and its connection closed, so no body byte is ever taken for the
// start of another request.
class RequestHead final : public boost::beast::http::basic_parser<true> {
public:
    enum class Progress { NeedMore, Done, Refused };

    explicit RequestHead(const HeadLimits& limits);

    // Parses what it can of the bytes (those not taken yet by earlier calls) and returns
    // how many it took; the rest belong to a later call, or to the next request once Done.
    std::size_t Feed(boost::asio::const_buffer bytes);
    Progress State() const { return progress_; }
    HeadRefusal Refusal() const { return refusal_; }
    const std::string& RefusalText() const { return refusalText_; }

    // Meaningful once Done.
    boost::beast::http::verb Method() const { return method_; }
    const std::string& MethodText() const { return methodText_; }
    const std::string& Target() const { return target_; }
    unsigned Version() const { return version_; }
    bool HasBody() const { return !is_done(); }
    // All If-None-Match / If-Match fields joined as one list; none when absent.
    const std::optional<std::string>& IfNoneMatch() const { return ifNoneMatch_; }
    const std::optional<std::string>& IfMatch() const { return ifMatch_; }

private:
    void Refuse(HeadRefusal why, std::string text, boost::beast::error_code& ec);
    bool LineTooLong(std::string_view pending);
    bool Folded(std::string_view head);

    void on_request_impl(boost::beast::http::verb method, boost::beast::string_view methodText,
                         boost::beast::string_view target, int version,
                         boost::beast::error_code& ec) override;
    void on_response_impl(int, boost::beast::string_view, int, boost::beast::error_code&) override {
    }
    void on_field_impl(boost::beast::http::field name, boost::beast::string_view nameText,
                       boost::beast::string_view value, boost::beast::error_code& ec) override;
    void on_header_impl(boost::beast::error_code& ec) override;
    void on_body_init_impl(const boost::optional<std::uint64_t>&,
                           boost::beast::error_code&) override {}
    std::size_t on_body_impl(boost::beast::string_view body, boost::beast::error_code&) override {
        return body.size();
    }
    void on_chunk_header_impl(std::uint64_t, boost::beast::string_view,
                              boost::beast::error_code&) override {}
    std::size_t on_chunk_body_impl(std::uint64_t, boost::beast::string_view body,
                                   boost::beast::error_code&) override {
        return body.size();
    }
    void on_finish_impl(boost::beast::error_code&) override {}

    const HeadLimits limits_;
    Progress progress_ = Progress::NeedMore;
    HeadRefusal refusal_ = HeadRefusal::None;
    std::string refusalText_;
    std::size_t taken_ = 0;
    bool lineSeen_ = false;
    std::size_t lineScanned_ = 0; // bytes of the unparsed head searched for the line's end
    std::size_t lineLength_ = 0;  // once its end has arrived
    std::size_t fields_ = 0;

    boost::beast::http::verb method_ = boost::beast::http::verb::unknown;
    std::string methodText_;
    std::string target_;
    unsigned version_ = 11;
    unsigned hosts_ = 0;
    std::string host_;
    std::optional<std::string> transferEncoding_;
    bool contentLength_ = false;
    std::optional<std::string> ifNoneMatch_;
    std::optional<std::string> ifMatch_;
};

// A request target split for routing. Origin form ("/path?query") and absolute form
// ("http://host/path?query", routed by its path) give a path and a query; "*" is the
// asterisk form. A fragment, or any other form, is not a target a server accepts.
struct RequestTarget {
    std::string_view path;
    std::string_view query;
    bool asterisk = false;
};
std::optional<RequestTarget> SplitTarget(std::string_view target);

// A Host field value: a registered name, IPv4 address or bracketed IPv6 literal, with an
// optional port; empty is allowed (a target without an authority).
bool IsValidHost(std::string_view host);

// Transfer codings that frame a request body soundly: a list that ends in chunked and
// names chunked only there.
bool IsChunkedLast(std::string_view codings);

// Whether an If-Match / If-None-Match list names the entity tag (quotes included): "*"
// names any current representation; weak comparison ignores a W/ prefix, strong comparison
// never matches one. A missing tag (empty) is matched by "*" only.
enum class TagComparison { Strong, Weak };
bool ListNamesTag(std::string_view list, std::string_view etag, TagComparison comparison);

// Whether two texts are equal apart from the case of ASCII letters.
bool EqualsNoCase(std::string_view a, std::string_view b);

// Methods HTTP defines. Others are answered 501; these are 405 where a route does not
// serve them.
bool IsKnownMethod(boost::beast::http::verb method);

} // namespace quillax::web
