// Inside the web host: what its threads share, one thread's part (a worker: its I/O
// context, its connections, its counters and log lines), and one client connection.
// Everything of a connection happens on its worker's thread, so nothing in it is locked.
#pragma once

#include "apps/web/WebAccessLog.h"
#include "apps/web/WebHost.h"
#include "apps/web/WebRenderPool.h"
#include "apps/web/WebRoutes.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core/buffers_suffix.hpp>
#include <boost/beast/core/flat_buffer.hpp>

#include <array>
#include <atomic>
#include <chrono>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>

namespace quillax::web {

namespace net = boost::asio;
namespace beast = boost::beast;
using tcp = net::ip::tcp;
using Clock = std::chrono::steady_clock;

// A claim on a shared count (connections, bytes held), given back when destroyed.
class Claim {
public:
    Claim() = default;
    Claim(Claim&& other) noexcept
        : pool_(std::exchange(other.pool_, nullptr)), amount_(other.amount_) {}
    Claim& operator=(Claim&& other) noexcept;
    ~Claim() { Release(); }
    void Release();
    explicit operator bool() const { return pool_ != nullptr; }

    // Takes amount from pool unless that would pass limit; an empty claim when it would.
    static Claim Try(std::atomic<std::size_t>& pool, std::size_t amount, std::size_t limit);

private:
    Claim(std::atomic<std::size_t>& pool, std::size_t amount) : pool_(&pool), amount_(amount) {}
    std::atomic<std::size_t>* pool_ = nullptr;
    std::size_t amount_ = 0;
};

// Connections open per client address, each held by a ClientClaim.
class ClientCounts {
public:
    class ClientClaim {
    public:
        ClientClaim() = default;
        ClientClaim(ClientClaim&& other) noexcept
            : counts_(std::exchange(other.counts_, nullptr)), address_(std::move(other.address_)) {}
        ClientClaim& operator=(ClientClaim&&) = delete;
        ~ClientClaim();
        explicit operator bool() const { return counts_ != nullptr; }

    private:
        friend class ClientCounts;
        ClientClaim(ClientCounts& counts, std::string address)
            : counts_(&counts), address_(std::move(address)) {}
        ClientCounts* counts_ = nullptr;
        std::string address_;
    };

    // A claim for one more connection from the address, or an empty one at the limit.
    ClientClaim Try(const std::string& address, std::size_t limit);

private:
    std::mutex lock_;
    std::unordered_map<std::string, std::size_t> open_;
};

class Connection;
struct Worker;

// What every thread of a host shares.
struct ServerShared {
    ServerShared(WebHostConfig c, PageSource page, std::function<std::string()> metrics);

    const WebHostConfig config;
    const WebHostLimits& limits;
    Routes routes;
    RenderPool renders;
    std::atomic<std::size_t> connections{0};
    std::atomic<std::size_t> refusals{0}; // connections being told 503
    std::atomic<std::size_t> bytesHeld{0};
    ClientCounts clients;
    std::atomic<bool> draining{false};
    // Called on a worker's thread whenever a connection has ended.
    std::function<void()> connectionEnded;
};

// One thread of the host and the connections it runs.
struct Worker {
    explicit Worker(ServerShared& s);
    ~Worker();

    // Closes connections past their deadline, every tick.
    void Sweep();
    // Closes one connection that is idle or has sent nothing, else the one longest in its
    // head if that has taken a second already, handing over its slot.
    Claim EvictIdle();
    // Closes one refused connection whose 503 has gone out, handing over its room.
    Claim EvictRefused();
    // Closes idle connections; the others end after the answer they are on.
    void BeginDrain();
    // Queues an access log line, written once the thread has nothing more pressing.
    void Log(const AccessRecord& record);

    ServerShared& shared;
    std::list<Connection*> connections; // declared before io: outlives its handlers
    RouteCounters counters;
    AccessLog log;
    bool logFlushQueued = false;
    net::io_context io{1};
    net::steady_timer sweepTimer{io};
    std::thread thread;
};

// One client connection: read a head, answer it, and again while keep-alive allows.
class Connection : public std::enable_shared_from_this<Connection> {
public:
    enum class Phase { FirstByte, Idle, Head, Render, Answer, Linger, Closed };

    // slot is the connection's place under the cap (or, for one being refused, among the
    // refusals).
    Connection(tcp::socket&& socket, Worker& worker, std::string client, Claim slot,
               ClientCounts::ClientClaim clientSlot);
    ~Connection();

    void Start();
    // Answers 503 at once, then closes: the host has no room for this connection.
    void Refuse(AnswerPtr answer);

    bool Idle() const { return phase_ == Phase::FirstByte || phase_ == Phase::Idle; }
    Claim TakeSlot() { return std::move(slot_); }
    void Close();

private:
    void ReadMore();
    void OnRead(boost::system::error_code ec, std::size_t n);
    void BeginHead();
    void Parse();
    void Respond();
    void Render(RenderRequest&& request);
    void Rendered(AnswerPtr answer);
    bool KeepAlive() const;
    void Send(Delivery delivery, bool keepAlive);
    void WriteMore();
    void OnWritten(boost::system::error_code ec);
    void Linger();
    void Enter(Phase phase, Clock::duration allowed);

    Worker& worker_;
    const WebHostLimits& limits_;
    tcp::socket socket_;
    std::string client_;
    std::list<Connection*>::iterator listed_;
    Claim slot_;
    bool refused_ = false; // told 503 for want of room: slot_ is a refusal's
    ClientCounts::ClientClaim clientSlot_;
    beast::flat_buffer buffer_;
    std::optional<RequestHead> head_;
    Phase phase_ = Phase::FirstByte;
    Clock::time_point deadline_;
    unsigned served_ = 0;
    bool keepAlive_ = false;
    Delivery delivery_;
    std::string sendFields_;
    std::optional<beast::buffers_suffix<std::array<net::const_buffer, 3>>> unsent_;
    Claim held_;
    std::size_t bodyBytes_ = 0;
    Clock::time_point answerStarted_;
    std::size_t drained_ = 0;

    friend struct Worker;
};

} // namespace quillax::web
