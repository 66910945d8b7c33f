// Files for saved images, over the C runtime's file calls: opened deny-read-write, so a file
// in use by another writer is refused before it is truncated.
#include "imaging/Graphics.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

namespace quillax {

namespace {

[[noreturn]] void CannotCreate(const std::string& fileName, int error) {
    throw EFCreateError("Cannot create file \"" + fileName + "\". " + std::strerror(error));
}

} // namespace

TFileStream::TFileStream(const std::string& fileName) {
    if (_sopen_s(&fd_, fileName.c_str(), _O_WRONLY | _O_CREAT | _O_BINARY | _O_NOINHERIT,
                 _SH_DENYRW, _S_IREAD | _S_IWRITE) != 0) {
        fd_ = -1;
        CannotCreate(fileName, errno);
    }
    if (_chsize_s(fd_, 0) != 0) {
        const int error = errno;
        _close(fd_);
        fd_ = -1;
        CannotCreate(fileName, error);
    }
}

TFileStream::~TFileStream() {
    if (fd_ >= 0) _close(fd_);
}

size_t TFileStream::Write(const void* data, size_t count) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    size_t done = 0;
    while (done < count) {
        // The runtime writes at most INT_MAX bytes at a time.
        const unsigned chunk = static_cast<unsigned>(std::min<size_t>(count - done, 1u << 30));
        const int n = _write(fd_, bytes + done, chunk);
        if (n <= 0) break;
        done += size_t(n);
    }
    return done;
}

} // namespace quillax
