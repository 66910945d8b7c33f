// A small HTTP/1.1 client over loopback for the web host's tests: blocking sockets whose
// every read and write gives up after a few seconds, so no test can hang.
#pragma once

#include <boost/beast/http/message.hpp>
#include <boost/beast/http/string_body.hpp>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

namespace quillax::webtest {

namespace http = boost::beast::http;
using Reply = http::response<http::string_body>;

// A blocking loopback client whose every read and write gives up after a few seconds.
class Client {
public:
    explicit Client(uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
        timeval limit{5, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        ::setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~Client() { ::close(fd_); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool Connected() const { return connected_; }

    // Reads like a slow client: at most `chunk` bytes at a time, with a pause before each
    // read, through a small receive buffer.
    void ReadSlowly(std::size_t chunk, std::chrono::milliseconds pause) {
        chunk_ = chunk;
        pause_ = pause;
        const int small = 16 * 1024;
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    }

    bool Send(const std::string& bytes) {
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) return false;
            sent += static_cast<std::size_t>(n);
        }
        return true;
    }

    // The next response, or nothing when the connection ends, stalls or sends no valid
    // head first. Bodies are framed by Content-Length, which every answer of this host has
    // but those that never have a body; toHead reads the answer to a HEAD request.
    std::optional<Reply> Receive(bool toHead = false) {
        std::size_t end;
        while ((end = pending_.find("\r\n\r\n")) == std::string::npos)
            if (!ReadMore()) return std::nullopt;
        std::istringstream head(pending_.substr(0, end + 2));
        pending_.erase(0, end + 4);
        Reply reply;
        std::string line, version;
        unsigned status = 0;
        std::getline(head, line);
        std::istringstream(line) >> version >> status;
        if (version.rfind("HTTP/1.", 0) != 0) return std::nullopt;
        reply.version(version == "HTTP/1.0" ? 10 : 11);
        reply.result(status);
        while (std::getline(head, line) && line != "\r") {
            const std::size_t colon = line.find(':');
            if (colon == line.npos || line.back() != '\r') return std::nullopt;
            const std::size_t start = line.find_first_not_of(' ', colon + 1);
            reply.insert(line.substr(0, colon), line.substr(start, line.size() - 1 - start));
        }
        // HEAD answers, 204 and 304 end with their head.
        if (toHead || status == 204 || status == 304) return reply;
        const auto length = reply.find(http::field::content_length);
        if (length == reply.end()) return std::nullopt;
        const std::size_t size = std::stoul(std::string(length->value()));
        while (pending_.size() < size)
            if (!ReadMore()) return std::nullopt;
        reply.body() = pending_.substr(0, size);
        pending_.erase(0, size);
        return reply;
    }

    // Whether the server ends the connection (EOF or reset) before the read limit.
    bool ClosedByServer() {
        char chunk[4096];
        for (;;) {
            const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
            if (n == 0) return true;
            if (n < 0) return errno == ECONNRESET;
        }
    }

private:
    bool ReadMore() {
        char chunk[16 * 1024];
        if (pause_.count() > 0) std::this_thread::sleep_for(pause_);
        const ssize_t n = ::recv(fd_, chunk, std::min(sizeof chunk, chunk_), 0);
        if (n <= 0) return false;
        pending_.append(chunk, static_cast<std::size_t>(n));
        return true;
    }

    int fd_;
    bool connected_ = false;
    std::size_t chunk_ = 16 * 1024;
    std::chrono::milliseconds pause_{0};
    std::string pending_;
};

inline std::string Get(const std::string& target, const std::string& method = "GET") {
    return method + " " + target + " HTTP/1.1\r\nHost: localhost\r\n\r\n";
}

template <class Name> // http::field, or a field name Beast does not know
std::string Header(const Reply& reply, Name name) {
    const auto it = reply.find(name);
    return it == reply.end() ? std::string("<none>") : std::string(it->value());
}

inline std::string Hex(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

} // namespace quillax::webtest
