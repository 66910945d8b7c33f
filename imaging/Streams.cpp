// The byte sinks the writers fill: memory for the HTTP response, files for saved images.
#include "imaging/Graphics.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace quillax {

void TStream::WriteBuffer(const void* data, size_t count) {
    if (count != 0 && Write(data, count) != count) throw EWriteError("Stream write error");
}

size_t TMemoryStream::Write(const void* data, size_t count) {
    if (count == 0) return 0;
    const auto* bytes = static_cast<const uint8_t*>(data);
    // Over what is there, then appended: the stream grows without clearing what it adds.
    if (position_ > bytes_.size()) bytes_.resize(position_, 0);
    const size_t over = std::min(count, bytes_.size() - position_);
    if (over != 0) std::memcpy(bytes_.data() + position_, bytes, over);
    bytes_.append(bytes + over, count - over);
    position_ += count;
    return count;
}

size_t TMemoryStream::Read(void* data, size_t count) {
    if (position_ >= bytes_.size()) return 0;
    count = std::min(count, bytes_.size() - position_);
    std::memcpy(data, bytes_.data() + position_, count);
    position_ += count;
    return count;
}

void TMemoryStream::Clear() {
    bytes_.clear();
    position_ = 0;
}

namespace {

[[noreturn]] void CannotCreate(const std::string& fileName, int error) {
    throw EFCreateError("Cannot create file \"" + fileName + "\". " + std::strerror(error));
}

} // namespace

TFileStream::TFileStream(const std::string& fileName) {
    // Truncated only once the exclusive lock is held, so a file in use stays whole.
    fd_ = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ < 0) CannotCreate(fileName, errno);
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0 || ::ftruncate(fd_, 0) != 0) {
        const int error = errno;
        ::close(fd_);
        fd_ = -1;
        CannotCreate(fileName, error);
    }
}

TFileStream::~TFileStream() {
    if (fd_ >= 0) ::close(fd_);
}

size_t TFileStream::Write(const void* data, size_t count) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    size_t done = 0;
    while (done < count) {
        ssize_t n = ::write(fd_, bytes + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += size_t(n);
    }
    return done;
}

} // namespace quillax
