// The nginx site of deploy/ in front of two web hosts, as Debian's nginx runs it: the site is
// rewritten only where it names the machine (its ports and cache folder), and each request
// goes through nginx while the instances' /metrics show what reached them.
#include "LoopbackClient.h"
#include "ServeProcess.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <cstdlib>
#include <map>
#include <memory>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quillax::webtest {
namespace {

namespace fs = std::filesystem;

constexpr const char* kNginx = "/usr/sbin/nginx";

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Replaces `from`, which must occur exactly once: a site that no longer names what the test
// rewrites fails here instead of running with the machine's own ports and folders.
void ReplaceOnce(std::string& text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << "the site no longer contains \"" << from << "\"";
    ASSERT_EQ(text.find(from, at + 1), std::string::npos) << "\"" << from << "\" twice";
    text.replace(at, from.size(), to);
}

// A loopback port free at the moment of asking.
uint16_t FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), size);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(fd);
    return ntohs(address.sin_port);
}

// nginx in the foreground as this process's child, everything it writes in `folder`.
class Nginx {
public:
    Nginx(const fs::path& folder, const std::string& site) : folder_(folder) {
        std::ofstream(folder / "quillax.conf") << site;
        std::ofstream conf(folder / "nginx.conf");
        conf << "daemon off;\nworker_processes 1;\npid " << (folder / "nginx.pid").string()
             << ";\nevents { worker_connections 256; }\nhttp {\n"
             << "    log_format upstream '$request_uri $upstream_cache_status $upstream_status';\n"
             << "    log_subrequest on;\n    access_log " << (folder / "access.log").string()
             << " upstream;\n";
        for (const char* temp : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
            conf << "    " << temp << "_temp_path " << (folder / temp).string() << ";\n";
        conf << "    include " << (folder / "quillax.conf").string() << ";\n}\n";
        conf.close();
        pid_ = fork();
        if (pid_ == 0) {
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, STDOUT_FILENO);
            dup2(null, STDERR_FILENO);
            const std::string prefix = folder.string() + "/", config = prefix + "nginx.conf",
                              errors = prefix + "error.log";
            execl(kNginx, kNginx, "-p", prefix.c_str(), "-c", config.c_str(), "-e", errors.c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~Nginx() {
        if (pid_ <= 0 || exited_) return;
        kill(pid_, SIGTERM);
        for (int i = 0; i < 500 && waitpid(pid_, nullptr, WNOHANG) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    Nginx(const Nginx&) = delete;
    Nginx& operator=(const Nginx&) = delete;

    // Whether it accepts on `port` within five seconds (false at once if it exited).
    bool Accepting(uint16_t port) {
        for (int i = 0; i < 500; ++i) {
            if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
                exited_ = true;
                return false;
            }
            if (Client(port).Connected()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    std::string ErrorLog() const { return ReadFile(folder_ / "error.log"); }

private:
    fs::path folder_;
    pid_t pid_ = -1;
    bool exited_ = false;
};

// One instance's counters from its own /metrics.
std::map<std::string, std::uint64_t> Metrics(uint16_t port) {
    Client client(port);
    std::map<std::string, std::uint64_t> counts;
    if (!client.Send(Get("/metrics"))) return counts;
    const auto reply = client.Receive();
    if (!reply) return counts;
    std::istringstream text(reply->body());
    std::string name;
    std::uint64_t value;
    while (text >> name >> value)
        counts[name] = value;
    return counts;
}

std::string CacheStatus(const Reply& reply) {
    const auto it = reply.find("X-Cache-Status");
    return it == reply.end() ? "<none>" : std::string(it->value());
}

class NginxFront : public testing::Test {
protected:
    void SetUp() override {
        if (access(kNginx, X_OK) != 0)
            GTEST_SKIP() << kNginx << " is not installed; the nginx site is not checked";
        std::string pattern = (fs::temp_directory_path() / "quillax-nginx-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
        // Run as root, nginx's workers drop to an unprivileged user that must reach the cache.
        chmod(folder_.c_str(), 0755);
        for (auto& instance : instances_) {
            instance.process = std::make_unique<ServeProcess>(
                std::vector<std::string>{"--listen", "127.0.0.1:0", "--threads", "1", "--quiet"});
            instance.port = instance.process->ListeningPort();
            ASSERT_NE(instance.port, 0) << instance.process->Errors();
        }
        std::string site = ReadFile(fs::path(QUILLAX_SOURCE_DIR) / "deploy/quillax-nginx.conf");
        ASSERT_FALSE(site.empty());
        port_ = FreePort();
        ReplaceOnce(site, "server 127.0.0.1:8081;",
                    "server 127.0.0.1:" + std::to_string(instances_[0].port) + ";");
        ReplaceOnce(site, "server 127.0.0.1:8082;",
                    "server 127.0.0.1:" + std::to_string(instances_[1].port) + ";");
        ReplaceOnce(site, "listen 80;", "listen 127.0.0.1:" + std::to_string(port_) + ";");
        ReplaceOnce(site, "listen [::]:80;", "");
        ReplaceOnce(site, "/var/lib/nginx/quillax-cache", (folder_ / "cache").string());
        Adjust(site);
        if (HasFatalFailure()) return;
        nginx_ = std::make_unique<Nginx>(folder_, site);
        ASSERT_TRUE(nginx_->Accepting(port_)) << nginx_->ErrorLog();
    }
    void TearDown() override {
        nginx_.reset();
        for (auto& instance : instances_)
            instance.process.reset();
        std::error_code ignored;
        if (!folder_.empty()) fs::remove_all(folder_, ignored);
    }

    // What a fixture changes in the site beyond the machine's names.
    virtual void Adjust(std::string& /*site*/) {}

    // A counter of each instance's /metrics; "requests" leaves out this test's own reads.
    std::vector<std::uint64_t> Counts(const std::string& name) {
        ++metricsReads_; // each read counts itself
        std::vector<std::uint64_t> counts;
        for (const auto& instance : instances_) {
            const std::uint64_t value = Metrics(instance.port)[name];
            counts.push_back(name == "requests" ? value - metricsReads_ : value);
        }
        return counts;
    }

    // A request through nginx on a connection of its own.
    std::optional<Reply> Front(const std::string& request) {
        Client client(port_);
        if (!client.Send(request)) return std::nullopt;
        return client.Receive();
    }

    struct Instance {
        std::unique_ptr<ServeProcess> process;
        uint16_t port = 0;
    };
    Instance instances_[2];
    fs::path folder_;
    uint16_t port_ = 0;
    std::unique_ptr<Nginx> nginx_;
    std::uint64_t metricsReads_ = 0;
};

std::string Barcode(int n) {
    return "/barcode?BarcodeType=EAN13&Data=400638133" + std::to_string(100 + n) +
           "&Checksum=true&ImageTypeStr=PNG";
}

std::uint64_t Sum(const std::vector<std::uint64_t>& counts) {
    std::uint64_t sum = 0;
    for (const std::uint64_t count : counts)
        sum += count;
    return sum;
}

TEST_F(NginxFront, SpreadsRequestsOverBothInstancesOnKeptConnections) {
    Client client(port_);
    constexpr int kImages = 8;
    for (int n = 0; n < kImages; ++n) {
        ASSERT_TRUE(client.Send(Get(Barcode(n))));
        const auto reply = client.Receive();
        ASSERT_TRUE(reply) << nginx_->ErrorLog();
        EXPECT_EQ(reply->result_int(), 200u);
        EXPECT_EQ(Header(*reply, http::field::content_type), "image/png");
        EXPECT_EQ(CacheStatus(*reply), "MISS");
    }
    // nginx keeps its connection to each instance open between requests: each has two, that
    // one and this first /metrics request's own.
    for (const std::uint64_t connections : Counts("connections"))
        EXPECT_EQ(connections, 2u);
    const std::vector<std::uint64_t> renders = Counts("renders");
    EXPECT_GT(renders[0], 0u);
    EXPECT_GT(renders[1], 0u);
    EXPECT_EQ(Sum(renders), static_cast<std::uint64_t>(kImages)) << "each image rendered once";
}

TEST_F(NginxFront, RepeatedImageComesFromTheCacheAsTheHostSentIt) {
    const auto first = Front(Get(Barcode(1)));
    ASSERT_TRUE(first) << nginx_->ErrorLog();
    ASSERT_EQ(first->result_int(), 200u);
    EXPECT_EQ(CacheStatus(*first), "MISS");
    const std::uint64_t reached = Sum(Counts("requests"));

    const auto again = Front(Get(Barcode(1)));
    ASSERT_TRUE(again);
    EXPECT_EQ(again->result_int(), 200u);
    EXPECT_EQ(CacheStatus(*again), "HIT");
    EXPECT_EQ(again->body(), first->body());
    for (const auto field : {http::field::etag, http::field::cache_control,
                             http::field::content_type, http::field::access_control_allow_origin})
        EXPECT_EQ(Header(*again, field), Header(*first, field)) << http::to_string(field);

    // A client's revalidation with the ETag is answered by nginx too.
    const auto revalidated =
        Front("GET " + Barcode(1) + " HTTP/1.1\r\nHost: localhost\r\n" +
              "If-None-Match: " + Header(*first, http::field::etag) + "\r\n\r\n");
    ASSERT_TRUE(revalidated);
    EXPECT_EQ(revalidated->result_int(), 304u);
    EXPECT_EQ(Sum(Counts("requests")), reached) << "the cached image reached no instance";
}

// What the host marks as not to be kept, or gives no lifetime, goes to an instance every
// time; /metrics stays with the instances.
TEST_F(NginxFront, KeepsNothingTheHostDoesNotLetItKeep) {
    struct Case {
        std::string target;
        unsigned status;
    };
    const Case cases[] = {
        {"/", 200}, // Cache-Control: no-cache
        // A JPEG the page marks as expiring at once (Cache-Control: no-cache): the host's
        // own cache answers it.
        {"/barcode?Data=123&ImageTypeStr=JPEG", 200},
        {"/healthz", 200},                  // Cache-Control: no-store
        {"/barcode?NoSuchProperty=1", 400}, // an error, with no lifetime
        {"/nowhere", 404},
    };
    for (const Case& c : cases) {
        const std::uint64_t before = Sum(Counts("requests"));
        for (int i = 0; i < 2; ++i) {
            const auto reply = Front(Get(c.target));
            ASSERT_TRUE(reply) << c.target;
            EXPECT_EQ(reply->result_int(), c.status) << c.target;
            EXPECT_NE(CacheStatus(*reply), "HIT") << c.target;
        }
        EXPECT_EQ(Sum(Counts("requests")), before + 2) << c.target;
    }
    const auto metrics = Front(Get("/metrics"));
    ASSERT_TRUE(metrics);
    EXPECT_EQ(metrics->result_int(), 403u);
}

// An image past its lifetime is served at once while nginx asks again with its ETag, and the
// host's 304 renews it in nginx's cache, whichever instance answers: the tag is the image's
// own, the same from every instance. The day the host gives an image is cut to a second
// here, the one change to how the site caches.
class NginxFrontShortLived : public NginxFront {
protected:
    void Adjust(std::string& site) override {
        ReplaceOnce(site, "proxy_cache_lock on;",
                    "proxy_cache_lock on;\n"
                    "        proxy_ignore_headers Cache-Control Expires;\n"
                    "        proxy_cache_valid 200 1s;");
    }
    // Whether nginx's log shows a request to an instance for `target` answered with `status`
    // within 5 s.
    bool AskedUpstream(const std::string& target, const std::string& status) {
        for (int i = 0; i < 100; ++i) {
            std::istringstream log(ReadFile(folder_ / "access.log"));
            for (std::string line; std::getline(log, line);)
                if (line.rfind(target + " ", 0) == 0 && line.ends_with(" " + status)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }
};

TEST_F(NginxFrontShortLived, ExpiredImageIsServedAtOnceAndRenewedByItsETag) {
    const auto first = Front(Get(Barcode(1)));
    ASSERT_TRUE(first) << nginx_->ErrorLog();
    ASSERT_EQ(CacheStatus(*first), "MISS");
    // nginx counts lifetimes in whole seconds: one second kept may last up to two.
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));

    // Expired: the kept image at once, while nginx asks an instance with its ETag.
    const auto stale = Front(Get(Barcode(1)));
    ASSERT_TRUE(stale) << nginx_->ErrorLog();
    EXPECT_EQ(stale->result_int(), 200u);
    EXPECT_EQ(CacheStatus(*stale), "STALE");
    EXPECT_EQ(stale->body(), first->body());
    EXPECT_TRUE(AskedUpstream(Barcode(1), "304")) << ReadFile(folder_ / "access.log");

    // Renewed by that 304: kept again, the same image.
    std::string status;
    for (int i = 0; i < 40 && status != "HIT"; ++i) {
        const auto renewed = Front(Get(Barcode(1)));
        ASSERT_TRUE(renewed);
        EXPECT_EQ(renewed->body(), first->body());
        status = CacheStatus(*renewed);
        if (status != "HIT") std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(status, "HIT");
}

// An instance stopped (drained by SIGTERM, or killed with its kept connections cut) fails no
// request: nginx takes each to the other one.
class NginxFrontStopping : public NginxFront, public testing::WithParamInterface<int> {};

TEST_P(NginxFrontStopping, StoppedInstanceFailsNoRequest) {
    // Connections to both kept open in nginx first.
    for (int n = 0; n < 4; ++n)
        ASSERT_TRUE(Front(Get(Barcode(n))));
    ASSERT_GT(Counts("renders")[0], 0u);
    EXPECT_NE(instances_[0].process->Stop(GetParam()), -1);
    const std::uint64_t before = Counts("renders")[1];

    constexpr int kImages = 10;
    for (int n = 100; n < 100 + kImages; ++n) {
        const auto reply = Front(Get(Barcode(n)));
        ASSERT_TRUE(reply) << nginx_->ErrorLog();
        EXPECT_EQ(reply->result_int(), 200u) << Barcode(n) << "\n" << nginx_->ErrorLog();
        EXPECT_EQ(Header(*reply, http::field::content_type), "image/png");
    }
    EXPECT_EQ(Counts("renders")[1], before + kImages);
}

INSTANTIATE_TEST_SUITE_P(Signals, NginxFrontStopping, testing::Values(SIGTERM, SIGKILL),
                         [](const testing::TestParamInfo<int>& info) {
                             return info.param == SIGTERM ? "Drained" : "Killed";
                         });

} // namespace
} // namespace quillax::webtest
