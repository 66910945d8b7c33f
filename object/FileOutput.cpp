// Atomic file replacement over POSIX calls, following symbolic links to the file they name.
#include "object/FileOutput.h"

#include "platform/SysUtils.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace quillax {

namespace {

constexpr int kTemporaryNameAttempts = 16;
// Links followed before giving up, as the system does for a path (its SYMLOOP_MAX).
constexpr int kMaxLinkHops = 40;

[[noreturn]] void RaiseFileError(const std::string& fileName, int error) {
    throw Exception("Cannot create file \"" + fileName + "\". " + std::strerror(error));
}

// The folder part of a path, with its trailing '/' ("" for a bare name).
std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// A name for a temporary file beside the target that no other writer is likely to pick.
std::string TemporaryName(const std::string& folder) {
    static std::atomic<uint64_t> counter{0};
    thread_local std::mt19937_64 random{
        std::random_device{}() ^
        static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count())};
    char name[64];
    std::snprintf(name, sizeof name, ".quillax-%d-%016llx-%llu", static_cast<int>(getpid()),
                  static_cast<unsigned long long>(random()),
                  static_cast<unsigned long long>(counter.fetch_add(1)));
    return folder + name;
}

// An open temporary file that is closed, and removed unless committed, when it goes.
class TemporaryFile {
public:
    // fileName: the name the caller gave, for the error message.
    TemporaryFile(const std::string& target, const std::string& fileName) {
        const std::string folder = FolderOf(target);
        for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
            path_ = TemporaryName(folder);
            // 0666 so that the process's umask decides, as for any newly created file.
            fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd_ >= 0 || errno != EEXIST) break;
        }
        if (fd_ < 0) RaiseFileError(fileName, errno);
    }
    ~TemporaryFile() {
        if (fd_ >= 0) ::close(fd_);
        if (!committed_) ::unlink(path_.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    int Descriptor() const { return fd_; }
    const std::string& Path() const { return path_; }
    // Closes the file; raises with the close error (a late write failure shows here).
    void Close(const std::string& target) {
        int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0) RaiseFileError(target, errno);
    }
    void Commit() { committed_ = true; }

private:
    std::string path_;
    int fd_ = -1;
    bool committed_ = false;
};

void WriteAll(int fd, std::span<const uint8_t> bytes, const std::string& target) {
    while (!bytes.empty()) {
        ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            RaiseFileError(target, errno);
        }
        bytes = bytes.subspan(static_cast<size_t>(written));
    }
}

// Makes a rename in the folder durable. Best effort: the file already has its new name,
// and a folder that cannot be synced (some file systems refuse it) does not undo that.
void SyncFolder(const std::string& folder) {
    const int fd =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// The path that fileName's chain of symbolic links ends at (fileName itself when it is no
// link). A relative link is read from the folder of the link; the end may not exist yet.
std::string FinalTarget(const std::string& fileName) {
    std::string path = fileName;
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        struct stat status {};
        if (::lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return path;
        std::string target(static_cast<size_t>(status.st_size) + 1, '\0');
        const ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
        if (length < 0) RaiseFileError(fileName, errno);
        if (static_cast<size_t>(length) >= target.size()) RaiseFileError(fileName, ENAMETOOLONG);
        target.resize(static_cast<size_t>(length));
        path = target.front() == '/' ? target : FolderOf(path) + target;
    }
    RaiseFileError(fileName, ELOOP);
}

// A device, a FIFO or a socket cannot be replaced by a file: the bytes go into it.
void WriteInPlace(const std::string& path, std::span<const uint8_t> bytes,
                  const std::string& fileName) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) RaiseFileError(fileName, errno);
    try {
        WriteAll(fd, bytes, fileName);
    } catch (...) {
        ::close(fd);
        throw;
    }
    if (::close(fd) != 0) RaiseFileError(fileName, errno);
}

} // namespace

void ReplaceFileAtomically(const std::string& fileName, std::span<const uint8_t> bytes) {
    const std::string target = FinalTarget(fileName);
    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode) && !S_ISDIR(existing.st_mode))
        return WriteInPlace(target, bytes, fileName);

    // A file that could not be opened for writing is not replaced either.
    if (::access(target.c_str(), W_OK) != 0 && errno != ENOENT) RaiseFileError(fileName, errno);
    TemporaryFile temporary(target, fileName);
    WriteAll(temporary.Descriptor(), bytes, fileName);

    // A file that is replaced keeps its permissions.
    if (exists && S_ISREG(existing.st_mode))
        ::fchmod(temporary.Descriptor(), existing.st_mode & 07777);

    // The bytes reach the disk before the name moves, so a crash leaves old or new, whole.
    if (::fdatasync(temporary.Descriptor()) != 0) RaiseFileError(fileName, errno);
    temporary.Close(fileName);
    if (::rename(temporary.Path().c_str(), target.c_str()) != 0) RaiseFileError(fileName, errno);
    temporary.Commit();
    SyncFolder(FolderOf(target));
}

} // namespace quillax
