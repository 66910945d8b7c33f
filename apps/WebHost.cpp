// The web host: Boost.Beast over Boost.Asio. One I/O thread runs every connection
// asynchronously; pages run on a small worker pool and their replies are posted back to the
// connection's strand. Every input a client controls is bounded: the head (bytes, deadline),
// the query (parameters), keep-alive (idle time, requests), connections, and the rendered
// bytes held for clients that read slowly.
#include "apps/WebHost.h"
#include "apps/ComponentHost.h"

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <array>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <exception>
#include <iostream>
#include <thread>

namespace quillax::web {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = boost::beast::http;
using tcp = net::ip::tcp;

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

// Well-formed UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF).
bool IsUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        char32_t code = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2, code = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3, code = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4, code = lead & 0x07;
        } else {
            return false;
        }
        if (i + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            code = (code << 6) | (next & 0x3F);
        }
        if ((length == 3 && code < 0x800) || (length == 4 && code < 0x10000) ||
            (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
            return false;
        i += length;
    }
    return true;
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

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
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

} // namespace

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

namespace {

// A page's Response object that keeps every call for the HTTP answer.
class TRecordedResponse final : public host::TResponseSink {
public:
    HRESULT Expires(LONG minutes) override {
        reply_.expiresMinutes = minutes;
        return S_OK;
    }
    HRESULT AddHeader(const std::string& name, const std::string& value) override {
        reply_.headers.emplace_back(name, value);
        return S_OK;
    }
    HRESULT ContentType(const std::string& type) override {
        reply_.contentType = type;
        return S_OK;
    }
    HRESULT BinaryWrite(std::span<const BYTE> bytes) override {
        reply_.body.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        return S_OK;
    }
    HRESULT Flush() override { return S_OK; }

    PageReply Take() { return std::move(reply_); }

private:
    PageReply reply_;
};

} // namespace

PageFunction ComponentPage(const host::TComponentLibrary& component) {
    return [&component](const std::vector<PageParameter>& parameters) {
        TRecordedResponse response;
        try {
            host::RunBarcodePage(component, parameters, response);
        } catch (const host::EUsageError& e) {
            throw PageUsageError(e.what());
        }
        return response.Take();
    };
}

std::pair<std::string, uint16_t> ParseListenAddress(const std::string& listen) {
    const auto bad = [&](const std::string& why) {
        return Exception("bad listen address \"" + listen + "\": " + why);
    };
    const std::size_t colon = listen.rfind(':');
    if (colon == listen.npos) throw bad("expected HOST:PORT");
    std::string host = listen.substr(0, colon);
    const std::string port = listen.substr(colon + 1);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    else if (host.find(':') != host.npos)
        throw bad("write an IPv6 host in brackets, e.g. [::1]:8080");
    if (host.empty()) throw bad("missing host");
    if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != port.npos ||
        std::stoul(port) > 65535)
        throw bad("the port must be a number from 0 to 65535");
    return {host, static_cast<uint16_t>(std::stoul(port))};
}

// ---------------------------------------------------------------------------------------
// Server state shared by the listener and every connection

namespace {

// A claim on a shared count (connections, bytes held), given back when destroyed.
class Claim {
public:
    Claim() = default;
    Claim(std::atomic<std::size_t>& pool, std::size_t amount) : pool_(&pool), amount_(amount) {}
    Claim(Claim&& other) noexcept
        : pool_(std::exchange(other.pool_, nullptr)), amount_(other.amount_) {}
    Claim& operator=(Claim&& other) noexcept {
        if (this != &other) {
            Release();
            pool_ = std::exchange(other.pool_, nullptr);
            amount_ = other.amount_;
        }
        return *this;
    }
    ~Claim() { Release(); }
    void Release() {
        if (pool_) pool_->fetch_sub(amount_);
        pool_ = nullptr;
    }

    // Takes amount from pool unless that would pass limit; an empty claim when it would.
    static std::optional<Claim> Try(std::atomic<std::size_t>& pool, std::size_t amount,
                                    std::size_t limit) {
        std::size_t held = pool.load();
        do {
            if (amount > limit || held > limit - amount) return std::nullopt;
        } while (!pool.compare_exchange_weak(held, held + amount));
        return Claim(pool, amount);
    }

private:
    std::atomic<std::size_t>* pool_ = nullptr;
    std::size_t amount_ = 0;
};

} // namespace

struct WebHostState {
    WebHostState(WebHostConfig c, PageFunction p)
        : config(std::move(c)), page(std::move(p)), workers(std::max(1u, config.limits.workers)) {}

    WebHostConfig config;
    PageFunction page;
    std::atomic<std::size_t> connections{0};
    std::atomic<std::size_t> bytesHeld{0};
    // Declared after what handlers refer to: destroying the context destroys its pending
    // handlers and the connections they keep.
    net::io_context io{1};
    tcp::acceptor acceptor{io};
    net::steady_timer acceptPause{io};
    std::optional<net::signal_set> signals;
    net::thread_pool workers;
    std::thread ioThread;
    std::atomic<bool> stopped{false};
    uint16_t port = 0;
};

namespace {

using Response = http::response<http::string_body>;

// A page's outcome, carried from the worker back to the connection.
struct PageOutcome {
    http::status status = http::status::ok;
    std::string message; // the plain-text reason when status is not 200
    PageReply reply;
};

PageOutcome RunPage(const PageFunction& page, const std::vector<PageParameter>& parameters) {
    PageOutcome outcome;
    try {
        outcome.reply = page(parameters);
    } catch (const PageUsageError& e) {
        outcome.status = http::status::bad_request;
        outcome.message = e.what();
    } catch (const std::exception& e) {
        outcome.status = http::status::internal_server_error;
        outcome.message = e.what();
    } catch (...) {
        outcome.status = http::status::internal_server_error;
        outcome.message = "the page failed";
    }
    return outcome;
}

Response PlainText(http::status status, unsigned version, std::string text) {
    Response res{status, version};
    res.set(http::field::content_type, "text/plain; charset=utf-8");
    res.body() = std::move(text);
    if (!res.body().empty() && res.body().back() != '\n') res.body() += '\n';
    return res;
}

// One connection: read a head, answer it, and again while keep-alive allows.
class Connection : public std::enable_shared_from_this<Connection> {
public:
    Connection(tcp::socket&& socket, WebHostState& state, Claim slot)
        : state_(state), limits_(state.config.limits), stream_(std::move(socket)),
          buffer_(limits_.maxHeadBytes), slot_(std::move(slot)) {}

    void Start() {
        net::dispatch(stream_.get_executor(), [self = shared_from_this()] { self->ReadHead(); });
    }

private:
    // Waits for the first byte of the next request, at most the idle time.
    void AwaitNextRequest() {
        if (buffer_.size() > 0) return ReadHead();
        stream_.expires_after(limits_.idleTimeout);
        stream_.async_read_some(buffer_.prepare(buffer_.max_size() - buffer_.size()),
                                [self = shared_from_this()](beast::error_code ec, std::size_t n) {
                                    if (ec) return self->Close();
                                    self->buffer_.commit(n);
                                    self->ReadHead();
                                });
    }

    // Reads the head in pieces so its whole size is counted: the parser alone bounds only
    // the part it has not yet consumed, and it consumes header fields one by one.
    void ReadHead() {
        parser_.emplace();
        parser_->header_limit(static_cast<std::uint32_t>(limits_.maxHeadBytes));
        headBytes_ = 0;
        stream_.expires_after(limits_.headDeadline);
        ReadHeadPiece();
    }

    void ReadHeadPiece() {
        http::async_read_some(stream_, buffer_, *parser_,
                              [self = shared_from_this()](beast::error_code ec, std::size_t n) {
                                  self->headBytes_ += n;
                                  if (!ec && self->headBytes_ > self->limits_.maxHeadBytes)
                                      ec = http::error::header_limit;
                                  if (ec || self->parser_->is_header_done())
                                      return self->OnHead(ec);
                                  self->ReadHeadPiece();
                              });
    }

    void OnHead(beast::error_code ec) {
        if (ec == http::error::header_limit || ec == http::error::buffer_overflow)
            return Send(PlainText(http::status::request_header_fields_too_large, 11,
                                  "request head too large"),
                        false);
        if (ec == http::error::end_of_stream || ec == http::error::partial_message ||
            (ec && ec.category() != make_error_code(http::error::bad_method).category()))
            return Close(); // deadline passed, or the client went away
        if (ec)
            return Send(PlainText(http::status::bad_request, 11, "bad request: " + ec.message()),
                        false);
        stream_.expires_never();
        Handle(parser_->get());
    }

    void Handle(const http::request<http::empty_body>& req) {
        ++served_;
        version_ = req.version() == 10 ? 10 : 11;
        head_ = req.method() == http::verb::head;
        // No request we serve has a body; one that comes with a body ends the connection
        // after the answer rather than being read.
        keepAlive_ = req.keep_alive() && parser_->is_done() &&
                     served_ < limits_.maxRequestsPerConnection && !state_.stopped;

        if (req.method() != http::verb::get && req.method() != http::verb::head) {
            Response res =
                PlainText(http::status::method_not_allowed, version_, "method not allowed");
            res.set(http::field::allow, "GET, HEAD");
            return Send(std::move(res), keepAlive_);
        }
        const std::string_view target(req.target().data(), req.target().size());
        const std::size_t question = target.find('?');
        const std::string_view path = target.substr(0, question);
        const std::string_view query =
            question == target.npos ? std::string_view{} : target.substr(question + 1);

        if (path == "/healthz")
            return Send(PlainText(http::status::ok, version_, "ok"), keepAlive_);
        if (path == "/") {
            Response res{http::status::ok, version_};
            res.set(http::field::content_type, "text/html; charset=utf-8");
            res.set(http::field::cache_control, "no-cache");
            res.body() = std::string(FormPageHtml());
            return Send(std::move(res), keepAlive_);
        }
        if (path == "/barcode") {
            std::vector<PageParameter> parameters;
            try {
                parameters = ParseQuery(query, limits_.maxQueryParameters);
            } catch (const PageUsageError& e) {
                return Send(PlainText(http::status::bad_request, version_, e.what()), keepAlive_);
            }
            return RenderOnWorker(std::move(parameters));
        }
        Send(PlainText(http::status::not_found, version_, "not found"), keepAlive_);
    }

    // Runs the page on the worker pool; the reply comes back on this connection's strand.
    void RenderOnWorker(std::vector<PageParameter> parameters) {
        net::post(state_.workers, [self = shared_from_this(),
                                   parameters = std::move(parameters)]() mutable {
            PageOutcome outcome = RunPage(self->state_.page, parameters);
            net::post(self->stream_.get_executor(), [self, outcome = std::move(outcome)]() mutable {
                self->Send(self->PageResponse(std::move(outcome)), self->keepAlive_);
            });
        });
    }

    // The HTTP answer for a page's Response calls: status 200, its headers and content
    // type, Expires as both an HTTP date and a max-age, and its body.
    Response PageResponse(PageOutcome outcome) {
        if (outcome.status != http::status::ok)
            return PlainText(outcome.status, version_, outcome.message);
        PageReply& reply = outcome.reply;
        Response res{http::status::ok, version_};
        for (const auto& [name, value] : reply.headers) {
            if (!IsToken(name) || !IsFieldValue(value))
                return PlainText(http::status::internal_server_error, version_,
                                 "the page added a malformed header");
            if (EqualsNoCase(name, "Content-Length")) {
                if (value != std::to_string(reply.body.size()))
                    return PlainText(http::status::internal_server_error, version_,
                                     "the page's Content-Length does not match its body");
                continue; // the length is set below, from the body
            }
            if (EqualsNoCase(name, "Transfer-Encoding") || EqualsNoCase(name, "Connection"))
                return PlainText(http::status::internal_server_error, version_,
                                 "the page added a framing header");
            res.insert(name, value);
        }
        if (!reply.contentType.empty()) {
            if (!IsFieldValue(reply.contentType))
                return PlainText(http::status::internal_server_error, version_,
                                 "the page set a malformed content type");
            res.set(http::field::content_type, reply.contentType);
        }
        if (reply.expiresMinutes) {
            const std::time_t now = std::time(nullptr);
            const long long seconds = static_cast<long long>(*reply.expiresMinutes) * 60;
            res.set(http::field::date, HttpDate(now));
            res.set(http::field::expires, HttpDate(now + seconds));
            res.set(http::field::cache_control,
                    "max-age=" + std::to_string(seconds > 0 ? seconds : 0));
        }
        std::optional<Claim> held =
            Claim::Try(state_.bytesHeld, reply.body.size(), limits_.maxResponseBytesInFlight);
        if (!held)
            return PlainText(http::status::service_unavailable, version_,
                             "too many images waiting to be sent; try again");
        held_ = std::move(*held);
        res.body() = std::move(reply.body);
        return res;
    }

    void Send(Response res, bool keepAlive) {
        keepAlive_ = keepAlive;
        res.set(http::field::server, "Quillax");
        if (res.find(http::field::date) == res.end())
            res.set(http::field::date, HttpDate(std::time(nullptr)));
        res.set("X-Content-Type-Options", "nosniff");
        res.keep_alive(keepAlive);
        res.content_length(res.body().size());
        if (head_) res.body().clear(); // the length stays that of the GET answer
        response_ = std::move(res);
        stream_.expires_after(limits_.writeDeadline);
        http::async_write(stream_, response_,
                          [self = shared_from_this()](beast::error_code ec, std::size_t) {
                              self->held_.Release();
                              self->response_ = {};
                              if (ec) return self->Close();
                              if (!self->keepAlive_) return self->Linger();
                              self->head_ = false;
                              self->AwaitNextRequest();
                          });
    }

    // Ends the connection after an answer: stop sending, then drain what the client still
    // sends for a moment, so the answer is not lost to a reset.
    void Linger() {
        beast::error_code ignored;
        stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
        stream_.expires_after(std::chrono::seconds(1));
        buffer_.consume(buffer_.size());
        stream_.async_read_some(buffer_.prepare(buffer_.max_size()),
                                [self = shared_from_this()](beast::error_code ec, std::size_t n) {
                                    self->drained_ += n;
                                    if (ec || self->drained_ > 64 * 1024) return self->Close();
                                    self->Linger();
                                });
    }

    void Close() {
        beast::error_code ignored;
        stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
        stream_.close();
    }

    WebHostState& state_;
    const WebHostLimits& limits_;
    beast::tcp_stream stream_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::empty_body>> parser_;
    Response response_;
    Claim slot_;
    Claim held_;
    unsigned served_ = 0;
    unsigned version_ = 11;
    bool head_ = false;
    bool keepAlive_ = false;
    std::size_t headBytes_ = 0;
    std::size_t drained_ = 0;
};

void Accept(WebHostState& state) {
    state.acceptor.async_accept(
        net::make_strand(state.io), [&state](beast::error_code ec, tcp::socket socket) {
            if (ec == net::error::operation_aborted || !state.acceptor.is_open()) return;
            if (ec) {
                // Out of descriptors or memory, most likely: pause rather than spin on the error.
                state.acceptPause.expires_after(std::chrono::milliseconds(100));
                state.acceptPause.async_wait([&state](beast::error_code waited) {
                    if (!waited) Accept(state);
                });
                return;
            }
            std::optional<Claim> slot =
                Claim::Try(state.connections, 1, state.config.limits.maxConnections);
            if (slot) {
                std::make_shared<Connection>(std::move(socket), state, std::move(*slot))->Start();
            } else {
                beast::error_code ignored;
                socket.close(ignored); // full: refuse rather than queue
            }
            Accept(state);
        });
}

void RunContext(net::io_context& io) {
    for (;;) {
        try {
            io.run();
            return;
        } catch (const std::exception& e) {
            std::cerr << "quillax serve: " << e.what() << '\n';
        }
    }
}

} // namespace

// ---------------------------------------------------------------------------------------
// WebHost

WebHost::WebHost(WebHostConfig config, PageFunction page)
    : state_(std::make_shared<WebHostState>(std::move(config), std::move(page))) {
    WebHostState& s = *state_;
    const std::string where = s.config.host + ":" + std::to_string(s.config.port);
    try {
        tcp::resolver resolver(s.io);
        const auto results =
            resolver.resolve(s.config.host, std::to_string(s.config.port), tcp::resolver::passive);
        const tcp::endpoint endpoint = results.begin()->endpoint();
        s.acceptor.open(endpoint.protocol());
        s.acceptor.set_option(net::socket_base::reuse_address(true));
        s.acceptor.bind(endpoint);
        s.acceptor.listen(net::socket_base::max_listen_connections);
        s.port = s.acceptor.local_endpoint().port();
    } catch (const boost::system::system_error& e) {
        throw Exception("cannot listen on " + where + ": " + e.code().message());
    }
    Accept(s);
}

WebHost::~WebHost() {
    Stop();
}

uint16_t WebHost::Port() const {
    return state_->port;
}

std::string WebHost::Url() const {
    const std::string& host = state_->config.host;
    const bool v6 = host.find(':') != host.npos;
    return "http://" + (v6 ? "[" + host + "]" : host) + ":" + std::to_string(Port()) + "/";
}

void WebHost::Start() {
    WebHostState& s = *state_;
    if (s.ioThread.joinable() || s.stopped) return;
    s.ioThread = std::thread([&s] { RunContext(s.io); });
}

void WebHost::Run(bool handleSignals) {
    WebHostState& s = *state_;
    if (handleSignals) {
        s.signals.emplace(s.io, SIGINT, SIGTERM);
        s.signals->async_wait([this](beast::error_code ec, int) {
            if (!ec) Stop();
        });
    }
    RunContext(s.io);
}

void WebHost::Stop() {
    WebHostState& s = *state_;
    if (s.stopped.exchange(true)) return;
    net::post(s.io, [&s] {
        beast::error_code ignored;
        s.acceptor.close(ignored);
        s.acceptPause.cancel();
        if (s.signals) s.signals->cancel(ignored);
        s.io.stop();
    });
    if (s.ioThread.joinable() && s.ioThread.get_id() != std::this_thread::get_id())
        s.ioThread.join();
    s.workers.stop();
    s.workers.join();
}

} // namespace quillax::web

int RunWebHost(const std::string& listen) {
    using namespace quillax::web;
    WebHostConfig config;
    try {
        std::tie(config.host, config.port) = ParseListenAddress(listen);
    } catch (const quillax::Exception& e) {
        std::cerr << "quillax serve: " << e.what() << '\n';
        return 2;
    }
    try {
        const quillax::host::TComponentLibrary component(
            quillax::host::TComponentLibrary::DefaultPath());
        WebHost host(std::move(config), ComponentPage(component));
        std::cout << "Quillax listening on " << host.Url() << std::endl;
        host.Run(true);
    } catch (const std::exception& e) {
        std::cerr << "quillax serve: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
