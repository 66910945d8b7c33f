// The web host's threads, its listener and what it admits, and how it stops. Each worker
// thread runs an I/O context of its own with its connections; the listener runs on the
// first and hands each new connection to the next worker in turn.
#include "apps/web/WebHost.h"
#include "apps/page/ComponentHost.h"
#include "apps/web/WebConnection.h"

#include <boost/asio/post.hpp>
#include <boost/asio/signal_set.hpp>

#include <condition_variable>
#include <csignal>
#include <exception>
#include <iostream>
#include <sys/resource.h>

namespace quillax::web {

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
// State

namespace {

// Connections that may be told 503 at once, beyond the cap. Past that a refusal whose 503 has
// gone out makes room; only when none has are newcomers closed unanswered.
std::size_t RefusalRoom(const WebHostLimits& limits) {
    return std::max<std::size_t>(64, limits.maxConnections);
}

unsigned ThreadCount(unsigned asked) {
    return asked != 0 ? asked : std::max(1u, std::thread::hardware_concurrency());
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

struct WebHostState {
    WebHostState(WebHostConfig config, PageSource page)
        : shared(std::move(config), std::move(page), [this] { return MetricsText(); }),
          workers(MakeWorkers(shared)) {
        shared.connectionEnded = [this] { OnConnectionEnded(); };
    }
    // The network threads have stopped: renders still running hand their answers to stopped
    // contexts, and the connections go with the workers, on this thread.
    ~WebHostState() { shared.renders.Stop(); }

    static std::vector<std::unique_ptr<Worker>> MakeWorkers(ServerShared& shared) {
        std::vector<std::unique_ptr<Worker>> workers;
        for (unsigned i = 0; i < ThreadCount(shared.config.threads); ++i)
            workers.push_back(std::make_unique<Worker>(shared));
        return workers;
    }

    void Listen();
    void Accept();
    void Admit(std::size_t home, tcp::socket socket);
    void EvictOrRefuse(std::size_t at, std::size_t triesLeft, Worker& home, tcp::socket socket,
                       ClientCounts::ClientClaim client, std::string address);
    static void Refuse(Worker& worker, tcp::socket socket, Claim room, std::string address,
                       std::string_view why);
    void Drain();
    void OnConnectionEnded();
    void Finish(bool drained);
    std::string MetricsText();

    ServerShared shared;
    std::mutex finishLock;
    std::condition_variable finishedSignal;
    bool finished = false;
    bool drained = false;
    bool started = false;
    uint16_t port = 0;
    std::size_t nextWorker = 0;
    // Declared after what their handlers use; the listener and timers run on the first
    // worker's context and go before it.
    std::vector<std::unique_ptr<Worker>> workers;
    tcp::acceptor acceptor{workers.front()->io};
    net::steady_timer acceptPause{workers.front()->io};
    net::steady_timer drainLimit{workers.front()->io};
    std::optional<net::signal_set> signals;
};

void WebHostState::Listen() {
    const std::string where = shared.config.host + ":" + std::to_string(shared.config.port);
    try {
        tcp::resolver resolver(workers.front()->io);
        const auto results = resolver.resolve(
            shared.config.host, std::to_string(shared.config.port), tcp::resolver::passive);
        const tcp::endpoint endpoint = results.begin()->endpoint();
        acceptor.open(endpoint.protocol());
        acceptor.set_option(net::socket_base::reuse_address(true));
        acceptor.bind(endpoint);
        acceptor.listen(net::socket_base::max_listen_connections);
        port = acceptor.local_endpoint().port();
    } catch (const boost::system::system_error& e) {
        throw Exception("cannot listen on " + where + ": " + e.code().message());
    }
    Accept();
}

void WebHostState::Accept() {
    const std::size_t home = nextWorker++ % workers.size();
    acceptor.async_accept(workers[home]->io,
                          [this, home](boost::system::error_code ec, tcp::socket socket) {
                              if (ec == net::error::operation_aborted || !acceptor.is_open())
                                  return;
                              if (ec) {
                                  // Out of descriptors or memory, most likely: pause rather than
                                  // spin on the error.
                                  acceptPause.expires_after(std::chrono::milliseconds(100));
                                  acceptPause.async_wait([this](boost::system::error_code waited) {
                                      if (!waited) Accept();
                                  });
                                  return;
                              }
                              Admit(home, std::move(socket));
                              Accept();
                          });
}

// A new connection gets a slot under the cap; at the cap an idle connection on some worker
// makes room, and otherwise the newcomer is told 503. An address past its share is told 503
// at once.
void WebHostState::Admit(std::size_t homeIndex, tcp::socket socket) {
    Worker& home = *workers[homeIndex];
    boost::system::error_code ec;
    const tcp::endpoint peer = socket.remote_endpoint(ec);
    if (ec) return; // gone already
    std::string address = peer.address().to_string();
    // A share of 0: no share per address (every client comes through one trusted front).
    const std::size_t share = shared.limits.maxConnectionsPerClient;
    ClientCounts::ClientClaim client =
        share != 0 ? shared.clients.Try(address, share) : ClientCounts::ClientClaim{};
    if (share != 0 && !client)
        return net::post(
            home.io, [&home, socket = std::move(socket), address,
                      room = Claim::Try(shared.refusals, 1, RefusalRoom(shared.limits))]() mutable {
                Refuse(home, std::move(socket), std::move(room), std::move(address),
                       "too many connections from this address");
            });
    Claim slot = Claim::Try(shared.connections, 1, shared.limits.maxConnections);
    if (!slot)
        return EvictOrRefuse(homeIndex, workers.size(), home, std::move(socket), std::move(client),
                             std::move(address));
    net::post(home.io, [&home, socket = std::move(socket), slot = std::move(slot),
                        client = std::move(client), address = std::move(address)]() mutable {
        std::make_shared<Connection>(std::move(socket), home, std::move(address), std::move(slot),
                                     std::move(client))
            ->Start();
    });
}

// Asks each worker in turn for an idle connection's slot, then starts the newcomer on its
// own worker with it, or refuses it there.
void WebHostState::EvictOrRefuse(std::size_t at, std::size_t triesLeft, Worker& home,
                                 tcp::socket socket, ClientCounts::ClientClaim client,
                                 std::string address) {
    Worker& asked = *workers[at];
    net::post(asked.io, [this, at, triesLeft, &asked, &home, socket = std::move(socket),
                         client = std::move(client), address = std::move(address)]() mutable {
        Claim slot = asked.EvictIdle();
        if (!slot && triesLeft > 1)
            return EvictOrRefuse((at + 1) % workers.size(), triesLeft - 1, home, std::move(socket),
                                 std::move(client), std::move(address));
        net::post(home.io, [this, &home, socket = std::move(socket), slot = std::move(slot),
                            client = std::move(client), address = std::move(address)]() mutable {
            if (!slot)
                return Refuse(home, std::move(socket),
                              Claim::Try(shared.refusals, 1, RefusalRoom(shared.limits)),
                              std::move(address), "too many connections");
            std::make_shared<Connection>(std::move(socket), home, std::move(address),
                                         std::move(slot), std::move(client))
                ->Start();
        });
    });
}

void WebHostState::Refuse(Worker& worker, tcp::socket socket, Claim room, std::string address,
                          std::string_view why) {
    if (!room) room = worker.EvictRefused();
    if (!room) return; // refusing too many already: the socket just closes
    std::make_shared<Connection>(std::move(socket), worker, std::move(address), std::move(room),
                                 ClientCounts::ClientClaim{})
        ->Refuse(TextAnswer(status::service_unavailable, why, "Retry-After: 1\r\n"));
}

void WebHostState::Drain() {
    // Seen at once by every connection that finishes a head from now on.
    if (shared.draining.exchange(true)) return;
    net::post(workers.front()->io, [this] {
        boost::system::error_code ignored;
        acceptor.close(ignored);
        acceptPause.cancel();
        // Every connection ends within its own deadlines; this only guards against a
        // render that never returns.
        const auto& limits = shared.limits;
        drainLimit.expires_after(limits.headDeadline + limits.writeDeadline +
                                 std::chrono::seconds(5));
        drainLimit.async_wait([this](boost::system::error_code ec) {
            if (!ec) Finish(false);
        });
        for (auto& worker : workers)
            net::post(worker->io, [this, &worker = *worker] {
                worker.BeginDrain();
                OnConnectionEnded();
            });
    });
}

void WebHostState::OnConnectionEnded() {
    if (shared.draining.load() && shared.connections.load() == 0 && shared.refusals.load() == 0)
        Finish(true);
}

void WebHostState::Finish(bool cleanly) {
    {
        const std::lock_guard hold(finishLock);
        if (finished) return;
        finished = true;
        drained = cleanly;
    }
    for (auto& worker : workers)
        worker->io.stop();
    finishedSignal.notify_all();
}

std::string WebHostState::MetricsText() {
    std::uint64_t requests = 0, renders = 0, hits = 0;
    for (const auto& worker : workers) {
        requests += worker->counters.requests.load(std::memory_order_relaxed);
        renders += worker->counters.renders.load(std::memory_order_relaxed);
        hits += worker->counters.cacheHits.load(std::memory_order_relaxed);
    }
    const ResponseCache::Totals cache = shared.routes.Cache().Count();
    const RenderPool::Totals pool = shared.renders.Count();
    return "requests " + std::to_string(requests) + "\nrenders " + std::to_string(renders) +
           "\ncache_hits " + std::to_string(hits) + "\ncache_entries " +
           std::to_string(cache.entries) + "\ncache_bytes " + std::to_string(cache.bytes) +
           "\nconnections " + std::to_string(shared.connections.load()) + "\nthreads " +
           std::to_string(workers.size()) + "\nrender_threads " +
           std::to_string(shared.renders.Threads()) + "\nrenders_running " +
           std::to_string(pool.running) + "\nrenders_queued " + std::to_string(pool.queued) +
           "\nrender_bytes " + std::to_string(pool.bytesInFlight);
}

// ---------------------------------------------------------------------------------------
// WebHost

WebHost::WebHost(WebHostConfig config, PageSource page)
    : state_(std::make_shared<WebHostState>(std::move(config), std::move(page))) {
    state_->Listen();
}

WebHost::~WebHost() {
    Stop();
}

uint16_t WebHost::Port() const {
    return state_->port;
}

std::string WebHost::Url() const {
    const std::string& host = state_->shared.config.host;
    const bool v6 = host.find(':') != host.npos;
    return "http://" + (v6 ? "[" + host + "]" : host) + ":" + std::to_string(Port()) + "/";
}

void WebHost::Start() {
    WebHostState& s = *state_;
    const std::lock_guard hold(s.finishLock);
    if (s.started || s.finished) return;
    s.started = true;
    for (auto& worker : s.workers)
        worker->thread = std::thread([&io = worker->io] { RunContext(io); });
}

bool WebHost::Run(bool handleSignals) {
    WebHostState& s = *state_;
    if (handleSignals) {
        s.signals.emplace(s.workers.front()->io, SIGINT, SIGTERM);
        s.signals->async_wait([&s](boost::system::error_code ec, int) {
            if (ec) return;
            s.Drain();
            s.signals->async_wait([&s](boost::system::error_code again, int) {
                if (!again) s.Finish(false);
            });
        });
    }
    Start();
    return Wait();
}

bool WebHost::Wait() {
    WebHostState& s = *state_;
    {
        std::unique_lock hold(s.finishLock);
        s.finishedSignal.wait(hold, [&s] { return s.finished || !s.started; });
    }
    for (auto& worker : s.workers)
        if (worker->thread.joinable()) worker->thread.join();
    return s.drained;
}

void WebHost::Drain() {
    state_->Drain();
}

void WebHost::Stop() {
    state_->Finish(false);
    Wait();
}

} // namespace quillax::web

int RunWebHost(const std::string& listen, quillax::web::WebHostConfig config) {
    using namespace quillax::web;
    try {
        std::tie(config.host, config.port) = ParseListenAddress(listen);
    } catch (const quillax::Exception& e) {
        std::cerr << "quillax serve: " << e.what() << '\n';
        return 2;
    }
    // Room for the connection cap: descriptors up to the hard limit.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }
    std::signal(SIGPIPE, SIG_IGN);
    try {
        const quillax::host::TComponentLibrary component(
            quillax::host::TComponentLibrary::DefaultPath());
        WebHost host(std::move(config), ComponentPageSource(component));
        std::cout << "Quillax listening on " << host.Url() << std::endl;
        return host.Run(true) ? 0 : 1;
    } catch (const std::exception& e) {
        std::cerr << "quillax serve: " << e.what() << '\n';
        return 1;
    }
}
