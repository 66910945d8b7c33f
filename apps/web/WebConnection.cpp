// A connection's life on its worker's thread, the worker's sweep over deadlines, and the
// counts connections claim.
#include "apps/web/WebConnection.h"

#include <boost/asio/post.hpp>
#include <boost/asio/write.hpp>

#include <array>
#include <ctime>

namespace quillax::web {

namespace {

// Time after an answer that ends a connection for the client to read it and close, and what
// it may still send meanwhile (read and dropped). Closing with unread bytes sends a reset, which
// can destroy the answer before the client reads it: a client refused for a request line of a
// megabyte, sent in one write, still gets its 414.
constexpr auto kLinger = std::chrono::seconds(1);
constexpr std::size_t kLingerBytes = 4 * 1024 * 1024;
// Bodies from this size on count towards the bytes the host holds for slow readers; smaller
// ones are bounded well enough by the connection cap.
constexpr std::size_t kHeldBodyBytes = 64 * 1024;

} // namespace

// ---------------------------------------------------------------------------------------
// Counts

Claim& Claim::operator=(Claim&& other) noexcept {
    if (this != &other) {
        Release();
        pool_ = std::exchange(other.pool_, nullptr);
        amount_ = other.amount_;
    }
    return *this;
}

void Claim::Release() {
    if (pool_) pool_->fetch_sub(amount_);
    pool_ = nullptr;
}

Claim Claim::Try(std::atomic<std::size_t>& pool, std::size_t amount, std::size_t limit) {
    std::size_t held = pool.load();
    do {
        if (amount > limit || held > limit - amount) return {};
    } while (!pool.compare_exchange_weak(held, held + amount));
    return Claim(pool, amount);
}

ClientCounts::ClientClaim::~ClientClaim() {
    if (!counts_) return;
    const std::lock_guard hold(counts_->lock_);
    const auto found = counts_->open_.find(address_);
    if (found != counts_->open_.end() && --found->second == 0) counts_->open_.erase(found);
}

ClientCounts::ClientClaim ClientCounts::Try(const std::string& address, std::size_t limit) {
    const std::lock_guard hold(lock_);
    std::size_t& open = open_[address];
    if (open >= limit) {
        if (open == 0) open_.erase(address);
        return {};
    }
    ++open;
    return ClientClaim(*this, address);
}

ServerShared::ServerShared(WebHostConfig c, PageSource page, std::function<std::string()> metrics)
    : config(std::move(c)), limits(config.limits),
      routes(std::move(page), config.cacheBytes, config.limits.maxQueryParameters,
             config.render.memoryBytes, std::move(metrics)),
      renders(config.render) {}

// ---------------------------------------------------------------------------------------
// Worker

namespace {
constexpr auto kSweepTick = std::chrono::milliseconds(100);
}

Worker::Worker(ServerShared& s) : shared(s), log(s.config.accessLogFd) {
    Sweep();
}

Worker::~Worker() {
    if (thread.joinable()) thread.join();
}

void Worker::Sweep() {
    const Clock::time_point now = Clock::now();
    for (auto it = connections.begin(); it != connections.end();) {
        Connection* connection = *it++;
        if (connection->phase_ != Connection::Phase::Closed && now >= connection->deadline_)
            connection->Close();
    }
    sweepTimer.expires_after(kSweepTick);
    sweepTimer.async_wait([this](boost::system::error_code ec) {
        if (!ec) Sweep();
    });
}

namespace {
// A head that has taken this long is the slowest's to lose when the host is full.
constexpr auto kSlowHead = std::chrono::seconds(1);
} // namespace

Claim Worker::EvictIdle() {
    Connection* slowest = nullptr;
    for (Connection* connection : connections) {
        if (!connection->slot_ || connection->refused_) continue;
        if (connection->Idle()) {
            slowest = connection;
            break;
        }
        if (connection->phase_ == Connection::Phase::Head &&
            (!slowest || connection->deadline_ < slowest->deadline_))
            slowest = connection;
    }
    if (!slowest) return {};
    if (!slowest->Idle() &&
        slowest->deadline_ - shared.limits.headDeadline + kSlowHead > Clock::now())
        return {};
    Claim slot = slowest->TakeSlot();
    slowest->Close();
    return slot;
}

Claim Worker::EvictRefused() {
    for (Connection* connection : connections) {
        if (connection->refused_ && connection->slot_ &&
            connection->phase_ == Connection::Phase::Linger) {
            Claim room = connection->TakeSlot();
            connection->Close();
            return room;
        }
    }
    return {};
}

void Worker::BeginDrain() {
    for (auto it = connections.begin(); it != connections.end();) {
        Connection* connection = *it++;
        if (connection->Idle()) connection->Close();
    }
}

void Worker::Log(const AccessRecord& record) {
    if (shared.config.accessLogFd < 0) return;
    log.Record(record);
    if (log.Full()) return log.Flush();
    if (logFlushQueued) return;
    logFlushQueued = true;
    net::post(io, [this] {
        logFlushQueued = false;
        log.Flush();
    });
}

// ---------------------------------------------------------------------------------------
// Connection

Connection::Connection(tcp::socket&& socket, Worker& worker, std::string client, Claim slot,
                       ClientCounts::ClientClaim clientSlot)
    : worker_(worker), limits_(worker.shared.limits), socket_(std::move(socket)),
      client_(std::move(client)), slot_(std::move(slot)), clientSlot_(std::move(clientSlot)),
      buffer_(limits_.head.maxHeadBytes) {
    listed_ = worker_.connections.insert(worker_.connections.end(), this);
    boost::system::error_code ignored;
    socket_.set_option(tcp::no_delay(true), ignored);
}

Connection::~Connection() {
    worker_.connections.erase(listed_);
    slot_.Release();
    if (worker_.shared.connectionEnded) worker_.shared.connectionEnded();
}

void Connection::Start() {
    // Accepted just before the host began to drain, and silent so far: nothing to finish.
    if (worker_.shared.draining.load()) return Close();
    Enter(Phase::FirstByte, limits_.firstByteDeadline);
    ReadMore();
}

void Connection::Refuse(AnswerPtr answer) {
    refused_ = true;
    answerStarted_ = Clock::now();
    Send({std::move(answer)}, false);
}

void Connection::Enter(Phase phase, Clock::duration allowed) {
    phase_ = phase;
    deadline_ = Clock::now() + allowed;
}

void Connection::Close() {
    if (phase_ == Phase::Closed) return;
    phase_ = Phase::Closed;
    boost::system::error_code ignored;
    socket_.shutdown(tcp::socket::shutdown_both, ignored);
    socket_.close(ignored);
}

void Connection::ReadMore() {
    socket_.async_read_some(buffer_.prepare(buffer_.max_size() - buffer_.size()),
                            [self = shared_from_this()](boost::system::error_code ec,
                                                        std::size_t n) { self->OnRead(ec, n); });
}

void Connection::OnRead(boost::system::error_code ec, std::size_t n) {
    if (ec || phase_ == Phase::Closed) return Close();
    buffer_.commit(n);
    if (phase_ != Phase::Head) BeginHead();
    Parse();
}

void Connection::BeginHead() {
    Enter(Phase::Head, limits_.headDeadline);
    head_.emplace(limits_.head);
}

void Connection::Parse() {
    buffer_.consume(head_->Feed(buffer_.data()));
    if (head_->State() != RequestHead::Progress::NeedMore) answerStarted_ = Clock::now();
    switch (head_->State()) {
    case RequestHead::Progress::NeedMore:
        return ReadMore();
    case RequestHead::Progress::Refused:
        return Send({Routes::RefusalAnswer(head_->Refusal(), head_->RefusalText())}, false);
    case RequestHead::Progress::Done:
        return Respond();
    }
}

void Connection::Respond() {
    ++served_;
    Routed routed = worker_.shared.routes.Respond(*head_, worker_.counters);
    if (routed.render) return Render(std::move(*routed.render));
    Send(std::move(routed.delivery), KeepAlive());
}

// A request with a body ends the connection after its answer: the body is never read.
bool Connection::KeepAlive() const {
    return head_->keep_alive() && !head_->HasBody() && served_ < limits_.maxRequestsPerConnection &&
           !worker_.shared.draining.load(std::memory_order_relaxed);
}

// Hands the page to the render threads; its answer comes back to this connection's thread.
// Meanwhile no deadline runs: the wait is the host's, not the client's.
void Connection::Render(RenderRequest&& request) {
    phase_ = Phase::Render;
    deadline_ = Clock::time_point::max();
    const std::size_t charge = request.Charge();
    RenderPool::Job job{
        charge, [self = shared_from_this(), request = std::move(request)]() mutable {
            Worker& worker = self->worker_;
            AnswerPtr answer = worker.shared.routes.Render(request, worker.counters);
            // The connection is let go on its own thread only.
            net::post(worker.io, [self = std::move(self), answer = std::move(answer)]() mutable {
                self->Rendered(std::move(answer));
            });
        }};
    if (!worker_.shared.renders.TrySubmit(std::move(job))) Send({Routes::BusyAnswer()}, false);
}

void Connection::Rendered(AnswerPtr answer) {
    if (phase_ == Phase::Closed) return;
    Send(worker_.shared.routes.Deliver(*head_, std::move(answer)), KeepAlive());
}

void Connection::Send(Delivery delivery, bool keepAlive) {
    Enter(Phase::Answer, limits_.writeDeadline);
    const bool body = delivery.part == AnswerPart::Whole;
    if (body && delivery.answer->body.size() >= kHeldBodyBytes) {
        held_ = Claim::Try(worker_.shared.bytesHeld, delivery.answer->body.size(),
                           limits_.maxResponseBytesInFlight);
        if (!held_)
            delivery = {TextAnswer(status::service_unavailable,
                                   "too many images waiting to be sent; try again",
                                   "Retry-After: 1\r\n")};
    }
    delivery_ = std::move(delivery);
    keepAlive_ = keepAlive;
    const Answer& answer = *delivery_.answer;
    const ConnectionFate fate = !keepAlive                       ? ConnectionFate::Close
                                : head_ && head_->Version() < 11 ? ConnectionFate::KeepAlive10
                                                                 : ConnectionFate::KeepAlive;
    sendFields_.clear();
    AppendSendFields(sendFields_, answer, fate, std::time(nullptr));
    const std::string& head =
        delivery_.part == AnswerPart::NotModified ? answer.notModifiedHead : answer.head;
    bodyBytes_ = delivery_.part == AnswerPart::Whole ? answer.body.size() : 0;
    unsent_.emplace(std::array<net::const_buffer, 3>{net::buffer(head), net::buffer(sendFields_),
                                                     net::buffer(answer.body.data(), bodyBytes_)});
    WriteMore();
}

// Writes what the socket takes; the write deadline runs from the last write that sent
// something, so a client that keeps reading is never cut off.
void Connection::WriteMore() {
    socket_.async_write_some(
        *unsent_, [self = shared_from_this()](boost::system::error_code ec, std::size_t n) {
            if (!ec && self->phase_ == Phase::Answer) {
                self->unsent_->consume(n);
                if (net::buffer_size(*self->unsent_) > 0) {
                    self->deadline_ = Clock::now() + self->limits_.writeDeadline;
                    return self->WriteMore();
                }
            }
            self->OnWritten(ec);
        });
}

void Connection::OnWritten(boost::system::error_code ec) {
    const bool line = head_ && !head_->MethodText().empty();
    // A 304 goes out in place of the answer it stands for: the log names what was sent.
    const unsigned sent = delivery_.part == AnswerPart::NotModified
                              ? static_cast<unsigned>(status::not_modified)
                              : static_cast<unsigned>(delivery_.answer->code);
    worker_.Log(
        {std::chrono::system_clock::now(), client_, line ? head_->MethodText() : "",
         line ? std::string_view(head_->Target()) : "", sent, ec ? 0 : bodyBytes_,
         std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - answerStarted_)});
    held_.Release();
    unsent_.reset();
    delivery_ = {};
    if (ec || phase_ == Phase::Closed) return Close();
    if (!keepAlive_ || worker_.shared.draining.load(std::memory_order_relaxed)) return Linger();
    if (buffer_.size() > 0) { // the next request is already here
        BeginHead();
        return Parse();
    }
    head_.reset();
    Enter(Phase::Idle, limits_.idleTimeout);
    ReadMore();
}

// Ends the connection after an answer: stop sending, then drain what the client still
// sends for a moment, so the answer is not lost to a reset.
void Connection::Linger() {
    if (phase_ != Phase::Linger) {
        Enter(Phase::Linger, kLinger);
        boost::system::error_code ignored;
        socket_.shutdown(tcp::socket::shutdown_send, ignored);
    }
    buffer_.consume(buffer_.size());
    socket_.async_read_some(
        buffer_.prepare(buffer_.max_size()),
        [self = shared_from_this()](boost::system::error_code ec, std::size_t n) {
            self->drained_ += n;
            if (ec || self->phase_ == Phase::Closed || self->drained_ > kLingerBytes)
                return self->Close();
            self->Linger();
        });
}

} // namespace quillax::web
