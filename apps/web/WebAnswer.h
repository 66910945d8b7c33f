// The web host's answers: built once, shared by every connection that sends them (an image
// answer lives in the response cache), and completed at sending time by the fields that
// depend on the moment and the connection.
#pragma once

#include "apps/web/WebBarcodePage.h"

#include <boost/beast/http/status.hpp>

#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace quillax::web {

using boost::beast::http::status;

struct Answer {
    status code = status::ok;
    std::string head; // status line and fixed fields, each line ending CRLF
    std::string body;
    // Images only: the strong entity tag (quotes included) and the head of a 304.
    std::string etag;
    std::string notModifiedHead;
    // Response.Expires in minutes, when the page set it: Expires is written at sending time.
    std::optional<int32_t> expiresMinutes;
};
using AnswerPtr = std::shared_ptr<const Answer>;

// Which part of an answer goes out: all of it, the head alone (HEAD), or a 304 for it.
enum class AnswerPart { Whole, Head, NotModified };

// A short text answer (text/plain), with further fields each ending CRLF.
AnswerPtr TextAnswer(status code, std::string_view text, std::string_view fields = {});
// An answer without a body (204, 412 ...): no Content-Length where the status has no body.
AnswerPtr EmptyAnswer(status code, std::string_view fields = {});
// An HTML page that caches must revalidate.
AnswerPtr HtmlAnswer(std::string_view html);

// The answer for a page's Response calls: 200 with the page's content type, length and
// headers, an entity tag, caching fields and CORS; an SVG also Content-Security-Policy:
// default-src 'none'. An image that carries an error (the
// reply's lastResult is not 0) is a 422 with the same body and headers, the error in
// X-Quillax-Error, Cache-Control: no-store and no entity tag. A reply no client could be
// sent unchanged (a header with a line break, a Content-Length that is not the body's, a
// framing header) is a 500.
AnswerPtr ImageAnswer(PageReply reply);

// A strong entity tag for the bytes.
std::string EntityTag(std::string_view body);

// The send-time fields that end a head: Date, Expires for an answer that set it, the
// connection's fate, and the empty line.
enum class ConnectionFate { KeepAlive, KeepAlive10, Close };
void AppendSendFields(std::string& out, const Answer& answer, ConnectionFate fate, std::time_t now);

} // namespace quillax::web
