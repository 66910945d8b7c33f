// A FIFO that the test holds open for reading and writing: a writer never waits for a reader
// and the test never waits for a writer, so an output that replaced the FIFO instead of
// writing into it fails a test instead of hanging it. Holds up to the pipe's capacity
// (64 KiB).
#pragma once

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace quillax::test {

class TOpenFifo {
public:
    // Makes the FIFO at path; Opened() tells whether that worked.
    explicit TOpenFifo(const std::string& path) {
        if (::mkfifo(path.c_str(), 0600) == 0) fd_ = ::open(path.c_str(), O_RDWR | O_NONBLOCK);
    }
    ~TOpenFifo() {
        if (fd_ >= 0) ::close(fd_);
    }
    TOpenFifo(const TOpenFifo&) = delete;
    TOpenFifo& operator=(const TOpenFifo&) = delete;

    bool Opened() const { return fd_ >= 0; }
    // Everything written into the FIFO so far.
    std::string Drain() {
        std::string bytes;
        char chunk[4096];
        for (ssize_t n; (n = ::read(fd_, chunk, sizeof chunk)) > 0 || (n < 0 && errno == EINTR);)
            if (n > 0) bytes.append(chunk, static_cast<size_t>(n));
        return bytes;
    }

private:
    int fd_ = -1;
};

} // namespace quillax::test
