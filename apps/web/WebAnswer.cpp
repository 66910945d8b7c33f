// Building the web host's answers and the fields added when one is sent.
#include "apps/web/WebAnswer.h"

// The hash is compiled in: no library to load for it.
#define XXH_INLINE_ALL
#include <xxhash.h>

#include <array>
#include <cctype>
#include <cstdio>

namespace quillax::web {

namespace {

// Cache lifetime of an image that the page did not mark as expiring: the same request
// always renders the same bytes.
constexpr std::string_view kImageCaching = "Cache-Control: public, max-age=86400\r\n";

// The longest X-Quillax-Error value: the start of the message says what went wrong.
constexpr std::size_t kErrorFieldLength = 200;

// An error message as a header value: printable ASCII only (any other character, a control or
// a UTF-8 sequence, becomes one "?"), at most kErrorFieldLength characters, no blanks at its
// ends. Nothing in it can end the field or start another.
std::string ErrorFieldValue(std::string_view message) {
    std::string value;
    for (char c : message) {
        if (value.size() == kErrorFieldLength) break;
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x80 && u < 0xC0) continue; // a UTF-8 continuation: its lead gave the "?"
        value += u >= 0x20 && u < 0x7F ? c : '?';
    }
    const std::size_t first = value.find_first_not_of(' ');
    if (first == std::string::npos) return "?";
    return value.substr(first, value.find_last_not_of(' ') - first + 1);
}

// RFC 9110 token characters, for header names a page adds.
bool IsToken(std::string_view text) {
    static constexpr std::string_view kSpecials = "!#$%&'*+-.^_`|~";
    if (text.empty()) return false;
    for (char c : text)
        if (!std::isalnum(static_cast<unsigned char>(c)) && kSpecials.find(c) == kSpecials.npos)
            return false;
    return true;
}

// A header value a page adds: no line breaks or other controls apart from tab.
bool IsFieldValue(std::string_view text) {
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\t') || u == 0x7F) return false;
    }
    return true;
}

// IMF-fixdate ("Sun, 06 Nov 1994 08:49:37 GMT"), independent of the locale.
std::string HttpDate(std::time_t when) {
    static constexpr std::array<const char*, 7> kDays{"Sun", "Mon", "Tue", "Wed",
                                                      "Thu", "Fri", "Sat"};
    static constexpr std::array<const char*, 12> kMonths{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm t{};
    gmtime_r(&when, &t);
    char text[40];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[t.tm_wday],
                  t.tm_mday, kMonths[t.tm_mon], t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec);
    return text;
}

// The date of the current second, formatted once per second and thread.
const std::string& DateOf(std::time_t now) {
    thread_local std::time_t second = -1;
    thread_local std::string text;
    if (now != second) {
        second = now;
        text = HttpDate(now);
    }
    return text;
}

std::string StatusLine(status code) {
    const auto reason = boost::beast::http::obsolete_reason(code);
    return "HTTP/1.1 " + std::to_string(static_cast<unsigned>(code)) + " " +
           std::string(reason.data(), reason.size()) + "\r\nServer: Quillax\r\n";
}

std::string LengthField(std::size_t size) {
    return "Content-Length: " + std::to_string(size) + "\r\n";
}

} // namespace

AnswerPtr TextAnswer(status code, std::string_view text, std::string_view fields) {
    auto answer = std::make_shared<Answer>();
    answer->code = code;
    answer->body = std::string(text) + "\n";
    answer->head = StatusLine(code) + "Content-Type: text/plain; charset=utf-8\r\n" +
                   LengthField(answer->body.size()) + "X-Content-Type-Options: nosniff\r\n" +
                   std::string(fields);
    return answer;
}

AnswerPtr EmptyAnswer(status code, std::string_view fields) {
    auto answer = std::make_shared<Answer>();
    answer->code = code;
    answer->head = StatusLine(code) + std::string(fields);
    const auto value = static_cast<unsigned>(code);
    if (value != 204 && value != 304) answer->head += LengthField(0);
    return answer;
}

AnswerPtr HtmlAnswer(std::string_view html) {
    auto answer = std::make_shared<Answer>();
    answer->body = std::string(html);
    answer->head = StatusLine(status::ok) + "Content-Type: text/html; charset=utf-8\r\n" +
                   LengthField(answer->body.size()) +
                   "Cache-Control: no-cache\r\nX-Content-Type-Options: nosniff\r\n";
    return answer;
}

// The length and a 64-bit hash of the bytes: a strong tag that any instance gives the same
// image, at several gigabytes a second.
std::string EntityTag(std::string_view body) {
    const XXH64_hash_t hash = XXH3_64bits(body.data(), body.size());
    char text[48];
    std::snprintf(text, sizeof text, "\"%zx-%016llx\"", body.size(),
                  static_cast<unsigned long long>(hash));
    return text;
}

AnswerPtr ImageAnswer(PageReply reply) {
    const auto failed = [](std::string_view why) {
        return TextAnswer(status::internal_server_error, why);
    };
    std::string pageFields;
    for (const auto& [name, value] : reply.headers) {
        if (!IsToken(name) || !IsFieldValue(value))
            return failed("the page added a malformed header");
        if (EqualsNoCase(name, "Content-Length")) {
            if (value != std::to_string(reply.body.size()))
                return failed("the page's Content-Length does not match its body");
            continue; // the length is written from the body
        }
        if (EqualsNoCase(name, "Transfer-Encoding") || EqualsNoCase(name, "Connection"))
            return failed("the page added a framing header");
        pageFields += name + ": " + value + "\r\n";
    }
    if (!IsFieldValue(reply.contentType)) return failed("the page set a malformed content type");

    // An SVG is a document a browser would run scripts and fetch resources for, opened on its
    // own: ours has neither, and the policy keeps it so.
    if (EqualsNoCase(reply.contentType, "image/svg+xml"))
        pageFields = "Content-Security-Policy: default-src 'none'\r\n" + pageFields;

    auto answer = std::make_shared<Answer>();
    answer->expiresMinutes = reply.expiresMinutes;
    if (reply.lastResult != 0) {
        // An image that carries an error: never kept by a cache, never validated by a tag.
        answer->code = status::unprocessable_entity;
        answer->head = StatusLine(answer->code);
        if (!reply.contentType.empty())
            answer->head += "Content-Type: " + reply.contentType + "\r\n";
        answer->head += LengthField(reply.body.size()) +
                        "Cache-Control: no-store\r\n"
                        "X-Quillax-Error: " +
                        ErrorFieldValue(reply.lastError) +
                        "\r\n"
                        "Access-Control-Allow-Origin: *\r\n"
                        "Access-Control-Expose-Headers: X-Quillax-Error\r\n"
                        "X-Content-Type-Options: nosniff\r\n" +
                        pageFields;
        answer->body = std::move(reply.body);
        return answer;
    }
    answer->etag = EntityTag(reply.body);
    // An image the page marked as expiring is revalidated every time; any other keeps.
    std::string caching;
    if (!reply.expiresMinutes)
        caching = kImageCaching;
    else if (*reply.expiresMinutes <= 0)
        caching = "Cache-Control: no-cache\r\n";
    else
        caching = "Cache-Control: public, max-age=" +
                  std::to_string(static_cast<long long>(*reply.expiresMinutes) * 60) + "\r\n";
    const std::string validators =
        "ETag: " + answer->etag + "\r\n" + caching + "Access-Control-Allow-Origin: *\r\n";
    answer->head = StatusLine(status::ok);
    if (!reply.contentType.empty()) answer->head += "Content-Type: " + reply.contentType + "\r\n";
    answer->head += LengthField(reply.body.size()) + validators +
                    "X-Content-Type-Options: nosniff\r\n" + pageFields;
    answer->notModifiedHead = StatusLine(status::not_modified) + validators;
    answer->body = std::move(reply.body);
    return answer;
}

void AppendSendFields(std::string& out, const Answer& answer, ConnectionFate fate,
                      std::time_t now) {
    out += "Date: ";
    out += DateOf(now);
    out += "\r\n";
    if (answer.expiresMinutes) {
        out += "Expires: ";
        out += *answer.expiresMinutes == 0
                   ? DateOf(now)
                   : HttpDate(now + static_cast<std::time_t>(*answer.expiresMinutes) * 60);
        out += "\r\n";
    }
    if (fate == ConnectionFate::Close) out += "Connection: close\r\n";
    if (fate == ConnectionFate::KeepAlive10) out += "Connection: keep-alive\r\n";
    out += "\r\n";
}

} // namespace quillax::web
