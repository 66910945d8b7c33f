// Request heads, targets, queries and entity-tag lists, as the web host reads them.
#include "apps/web/WebRequest.h"

#include "platform/Utf8.h"

#include <algorithm>
#include <cctype>
#include <limits>

namespace quillax::web {

namespace http = boost::beast::http;
using boost::beast::error_code;
using boost::beast::string_view;

// ---------------------------------------------------------------------------------------
// Text helpers

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Form decoding of one name or value: "+" is a space, %XX a byte.
std::string FormDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+') {
            out += ' ';
        } else if (c == '%') {
            const int high = i + 2 < text.size() ? HexValue(text[i + 1]) : -1;
            const int low = i + 2 < text.size() ? HexValue(text[i + 2]) : -1;
            if (high < 0 || low < 0) throw PageUsageError("malformed %-escape in the query");
            out += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

// ASCII case folding, as property names and HTTP tokens fold.
char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string_view TrimSpace(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// Calls visit(element) for each comma-separated element of a field list, trimmed; empty
// elements are skipped, as lists allow.
template <class Visit>
void ForEachListElement(std::string_view list, Visit visit) {
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        const std::string_view element = TrimSpace(list.substr(0, comma));
        list = comma == list.npos ? std::string_view{} : list.substr(comma + 1);
        if (!element.empty()) visit(element);
    }
}

void AppendToList(std::optional<std::string>& list, string_view value) {
    if (list)
        *list += ", ";
    else
        list.emplace();
    list->append(value.data(), value.size());
}

} // namespace

// ---------------------------------------------------------------------------------------
// Queries

std::vector<PageParameter> ParseQuery(std::string_view query, std::size_t maxParameters) {
    std::vector<PageParameter> parameters;
    while (!query.empty()) {
        const std::size_t end = query.find('&');
        const std::string_view segment = query.substr(0, end);
        query = end == query.npos ? std::string_view{} : query.substr(end + 1);
        if (segment.empty()) continue;
        if (parameters.size() == maxParameters)
            throw PageUsageError("too many query parameters (at most " +
                                 std::to_string(maxParameters) + ")");
        const std::size_t equals = segment.find('=');
        if (equals == segment.npos)
            throw PageUsageError("expected NAME=VALUE in the query, got \"" +
                                 std::string(segment.substr(0, 64)) + "\"");
        std::string name = FormDecode(segment.substr(0, equals));
        std::string value = FormDecode(segment.substr(equals + 1));
        if (name.empty()) throw PageUsageError("empty property name in the query");
        if (!IsUtf8(name) || !IsUtf8(value)) throw PageUsageError("the query is not UTF-8 text");
        if (name.find('\0') != name.npos || value.find('\0') != value.npos)
            throw PageUsageError("NUL in the query");
        parameters.emplace_back(std::move(name), std::move(value));
    }
    return parameters;
}

std::string PageKey(const std::vector<PageParameter>& parameters) {
    // NUL never occurs in a name or value, so it separates them unambiguously.
    std::size_t size = 0;
    for (const auto& [name, value] : parameters)
        size += name.size() + value.size() + 2;
    std::string key;
    key.reserve(size);
    for (const auto& [name, value] : parameters) {
        std::transform(name.begin(), name.end(), std::back_inserter(key), Lower);
        key += '\0';
        key += value;
        key += '\0';
    }
    return key;
}

// ---------------------------------------------------------------------------------------
// Request heads

RequestHead::RequestHead(const HeadLimits& limits) : limits_(limits) {
    header_limit(static_cast<std::uint32_t>(limits.maxHeadBytes));
    // Bodies are never read, only noticed. (An empty limit would compare below every length.)
    body_limit(std::numeric_limits<std::uint64_t>::max());
    eager(false);
}

std::size_t RequestHead::Feed(boost::asio::const_buffer bytes) {
    error_code ec;
    const std::size_t used = put(bytes, ec);
    taken_ += used;
    // What is left is the unfinished rest of this head; the parser takes none of it until the
    // head is whole, so the request line starts it.
    const std::string_view pending(static_cast<const char*>(bytes.data()) + used,
                                   bytes.size() - used);
    if (refusal_ != HeadRefusal::None) {
        progress_ = Progress::Refused;
    } else if (ec && ec != http::error::need_more && !lineSeen_ && LineTooLong(pending)) {
        // However the line arrives, a line over the limit is that, not a head too large.
        Refuse(HeadRefusal::LineTooLong, "request line too long", ec);
        progress_ = Progress::Refused;
    } else if (ec == http::error::need_more) {
        if (!lineSeen_ && LineTooLong(pending))
            Refuse(HeadRefusal::LineTooLong, "request line too long", ec);
        else if (taken_ + pending.size() >= limits_.maxHeadBytes)
            Refuse(HeadRefusal::HeadTooLarge, "request head too large", ec);
        if (refusal_ != HeadRefusal::None) progress_ = Progress::Refused;
    } else if (ec == http::error::header_limit) {
        Refuse(HeadRefusal::HeadTooLarge, "request head too large", ec);
        progress_ = Progress::Refused;
    } else if (ec) {
        Refuse(HeadRefusal::Malformed, "bad request: " + ec.message(), ec);
        progress_ = Progress::Refused;
    } else if (is_header_done()) {
        progress_ = Folded({static_cast<const char*>(bytes.data()), used}) ? Progress::Refused
                                                                           : Progress::Done;
    }
    return used;
}

// A field line continued on the next (obsolete line folding) could hide a field from this
// end that a proxy in front of it sees, or the other way round: the head is refused.
bool RequestHead::Folded(std::string_view head) {
    for (std::size_t at = head.find('\n'); at != head.npos && at + 1 < head.size();
         at = head.find('\n', at + 1)) {
        if (head[at + 1] == ' ' || head[at + 1] == '\t') {
            error_code ignored;
            Refuse(HeadRefusal::Malformed, "bad request: obsolete line folding", ignored);
            return true;
        }
    }
    return false;
}

// Whether the request line at the start of the unparsed bytes is, or will be, too long.
// Each byte is looked at once, however the head arrives.
bool RequestHead::LineTooLong(std::string_view pending) {
    if (lineLength_ == 0) {
        const std::size_t end = pending.find('\n', lineScanned_);
        lineScanned_ = pending.size();
        if (end != pending.npos) lineLength_ = end - (end > 0 && pending[end - 1] == '\r' ? 1 : 0);
    }
    if (lineLength_ != 0) return lineLength_ > limits_.maxLineBytes;
    return pending.size() - (pending.ends_with('\r') ? 1 : 0) > limits_.maxLineBytes;
}

void RequestHead::Refuse(HeadRefusal why, std::string text, error_code& ec) {
    refusal_ = why;
    refusalText_ = std::move(text);
    ec = http::error::bad_value; // stops the parser
}

void RequestHead::on_request_impl(http::verb method, string_view methodText, string_view target,
                                  int version, error_code& ec) {
    lineSeen_ = true;
    // method SP target SP "HTTP/1.x": the parser takes no other spacing.
    if (methodText.size() + target.size() + 10 > limits_.maxLineBytes)
        return Refuse(HeadRefusal::LineTooLong, "request line too long", ec);
    method_ = method;
    methodText_.assign(methodText.data(), methodText.size());
    target_.assign(target.data(), target.size());
    version_ = static_cast<unsigned>(version);
}

void RequestHead::on_field_impl(http::field name, string_view, string_view value, error_code& ec) {
    if (++fields_ > limits_.maxFields)
        return Refuse(HeadRefusal::TooManyFields,
                      "too many header fields (at most " + std::to_string(limits_.maxFields) + ")",
                      ec);
    switch (name) {
    case http::field::host:
        ++hosts_;
        host_.assign(value.data(), value.size());
        break;
    case http::field::transfer_encoding:
        AppendToList(transferEncoding_, value);
        break;
    case http::field::content_length:
        contentLength_ = true;
        break;
    case http::field::if_none_match:
        AppendToList(ifNoneMatch_, value);
        break;
    case http::field::if_match:
        AppendToList(ifMatch_, value);
        break;
    default:
        break;
    }
}

void RequestHead::on_header_impl(error_code& ec) {
    // A body framed two ways, or in a way this end might read differently from a proxy in
    // front of it, is refused: otherwise its bytes could pass for another request.
    if (transferEncoding_) {
        if (version_ < 11)
            return Refuse(HeadRefusal::BadFraming, "Transfer-Encoding on an HTTP/1.0 request", ec);
        if (!IsChunkedLast(*transferEncoding_) || contentLength_)
            return Refuse(HeadRefusal::BadFraming,
                          "Transfer-Encoding must be exactly one final chunked, without "
                          "Content-Length",
                          ec);
    }
    if (hosts_ > 1 || (version_ >= 11 && hosts_ == 0) || (hosts_ == 1 && !IsValidHost(host_)))
        return Refuse(HeadRefusal::BadHost, "an HTTP/1.1 request needs exactly one valid Host", ec);
}

// ---------------------------------------------------------------------------------------
// Targets, hosts, codings, entity tags

std::optional<RequestTarget> SplitTarget(std::string_view target) {
    if (target.find('#') != target.npos) return std::nullopt;
    if (target == "*") return RequestTarget{{}, {}, true};
    if (!target.starts_with('/')) {
        // Absolute form: scheme "://" authority, then the path (empty means "/").
        const std::size_t colon = target.find("://");
        if (colon == target.npos) return std::nullopt;
        const std::string_view scheme = target.substr(0, colon);
        if (!EqualsNoCase(scheme, "http") && !EqualsNoCase(scheme, "https")) return std::nullopt;
        const std::string_view rest = target.substr(colon + 3);
        const std::size_t pathStart = rest.find_first_of("/?");
        if (!IsValidHost(rest.substr(0, pathStart)) || pathStart == 0) return std::nullopt;
        if (pathStart == rest.npos) return RequestTarget{"/", {}, false};
        if (rest[pathStart] == '?') return RequestTarget{"/", rest.substr(pathStart + 1), false};
        target = rest.substr(pathStart);
    }
    const std::size_t question = target.find('?');
    return RequestTarget{target.substr(0, question),
                         question == target.npos ? std::string_view{} : target.substr(question + 1),
                         false};
}

bool IsValidHost(std::string_view host) {
    const auto isDigits = [](std::string_view text) {
        return std::all_of(text.begin(), text.end(),
                           [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
    };
    std::string_view name = host;
    if (host.starts_with('[')) {
        const std::size_t close = host.find(']');
        if (close == host.npos || close == 1) return false;
        const std::string_view literal = host.substr(1, close - 1);
        if (literal.find_first_not_of("0123456789abcdefABCDEF:.") != literal.npos) return false;
        const std::string_view after = host.substr(close + 1);
        return after.empty() || (after.starts_with(':') && isDigits(after.substr(1)));
    }
    const std::size_t colon = host.find(':');
    if (colon != host.npos) {
        if (!isDigits(host.substr(colon + 1))) return false;
        name = host.substr(0, colon);
    }
    // A registered name: unreserved characters, %-escapes and sub-delimiters.
    static constexpr std::string_view kAllowed = "-._~!$&'()*+,;=%";
    return std::all_of(name.begin(), name.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || kAllowed.find(c) != kAllowed.npos;
    });
}

bool IsChunkedLast(std::string_view codings) {
    std::size_t chunked = 0;
    bool last = false;
    ForEachListElement(codings, [&](std::string_view coding) {
        last = EqualsNoCase(coding, "chunked");
        chunked += last ? 1 : 0;
    });
    return chunked == 1 && last;
}

bool ListNamesTag(std::string_view list, std::string_view etag, TagComparison comparison) {
    if (TrimSpace(list) == "*") return true;
    bool named = false;
    ForEachListElement(list, [&](std::string_view tag) {
        if (tag.starts_with("W/")) {
            if (comparison == TagComparison::Strong) return;
            tag.remove_prefix(2);
        }
        named = named || (!etag.empty() && tag == etag);
    });
    return named;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return Lower(x) == Lower(y); });
}

bool IsKnownMethod(http::verb method) {
    switch (method) {
    case http::verb::get:
    case http::verb::head:
    case http::verb::post:
    case http::verb::put:
    case http::verb::delete_:
    case http::verb::connect:
    case http::verb::options:
    case http::verb::trace:
    case http::verb::patch:
        return true;
    default:
        return false;
    }
}

} // namespace quillax::web
