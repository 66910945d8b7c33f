// Staging and committing a batch's images over POSIX calls.
#include "apps/cli/BatchFiles.h"

#include "platform/SysUtils.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace quillax::host {

namespace {

namespace fs = std::filesystem;

constexpr int kTemporaryNameAttempts = 16;
constexpr int kMaxLinks = 40; // as the system follows them

std::string WriteProblem(const std::string& fileName, int error) {
    return "could not write " + fileName + ": " + std::strerror(error);
}

[[noreturn]] void RaiseWriteError(const std::string& fileName, int error) {
    throw Exception(WriteProblem(fileName, error));
}

// The file a name finally points to (the name itself unless it is a symbolic link), and
// what is there now.
struct TTarget {
    fs::path Path;
    bool Exists = false;
    struct stat Status {};
};

TTarget FinalTarget(const std::string& fileName) {
    TTarget target{fileName};
    for (int link = 0; link < kMaxLinks; ++link) {
        target.Exists = ::lstat(target.Path.c_str(), &target.Status) == 0;
        if (!target.Exists || !S_ISLNK(target.Status.st_mode)) return target;
        std::error_code failed;
        const fs::path next = fs::read_symlink(target.Path, failed);
        if (failed) RaiseWriteError(fileName, failed.value());
        target.Path = next.is_absolute() ? next : target.Path.parent_path() / next;
    }
    RaiseWriteError(fileName, ELOOP);
}

// A name beside the target that no other writer is likely to pick.
std::string TemporaryName(const fs::path& target) {
    static std::atomic<unsigned long long> counter{0};
    static const int process = static_cast<int>(::getpid());
    thread_local std::mt19937_64 random{
        std::random_device{}() ^ static_cast<unsigned long long>(
                                     std::chrono::steady_clock::now().time_since_epoch().count())};
    char name[64];
    std::snprintf(name, sizeof name, ".quillax-%d-%016llx-%llu", process,
                  static_cast<unsigned long long>(random()), counter.fetch_add(1));
    return (target.parent_path() / name).string();
}

void WriteAll(int fd, std::span<const char> bytes, const std::string& fileName) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            RaiseWriteError(fileName, errno);
        }
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
}

// A descriptor closed when it goes.
struct TDescriptor {
    int fd = -1;
    ~TDescriptor() {
        if (fd >= 0) ::close(fd);
    }
    // Closes now; a late write failure shows here.
    int Close() {
        const int result = ::close(fd);
        fd = -1;
        return result;
    }
};

// A device or a pipe takes the bytes as they are; a pipe without a reader is an error
// rather than a wait.
TStagedImage WriteInPlace(const std::string& fileName, const fs::path& target,
                          std::span<const char> bytes) {
    TDescriptor file{::open(target.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)};
    if (file.fd < 0) RaiseWriteError(fileName, errno);
    ::fcntl(file.fd, F_SETFL, ::fcntl(file.fd, F_GETFL) & ~O_NONBLOCK);
    WriteAll(file.fd, bytes, fileName);
    if (file.Close() != 0) RaiseWriteError(fileName, errno);
    return {target.string(), {}};
}

// Opens a new temporary file beside the target.
TDescriptor CreateTemporary(const std::string& fileName, const fs::path& target,
                            std::string& temporary) {
    TDescriptor file;
    for (int attempt = 0; attempt < kTemporaryNameAttempts && file.fd < 0; ++attempt) {
        temporary = TemporaryName(target);
        // 0666 so that the process's umask decides, as for any newly created file.
        file.fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (file.fd < 0 && errno != EEXIST) break;
    }
    if (file.fd < 0) RaiseWriteError(fileName, errno);
    return file;
}

// Syncs a folder, so that the names in it survive a crash. Best effort: the names are
// already given, and a file system that refuses to sync a folder does not undo that.
void SyncFolder(const fs::path& folder) {
    TDescriptor handle{
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (handle.fd >= 0) ::fsync(handle.fd);
}

// Makes the temporaries of the images durable: one sync of each file system they are on, or
// where the system refuses that, a sync of each file. Records a failure per image.
void MakeDurable(std::span<const TStagedImage> images, std::vector<std::string>& problems) {
    std::map<std::string, dev_t> deviceOf; // by folder: a group is mostly one folder
    std::map<dev_t, std::vector<std::size_t>> byDevice;
    for (std::size_t i = 0; i < images.size(); ++i) {
        if (images[i].Temporary.empty()) continue;
        const std::string folder = fs::path(images[i].Temporary).parent_path().string();
        auto known = deviceOf.find(folder);
        if (known == deviceOf.end()) {
            struct stat info {};
            if (::stat(folder.empty() ? "." : folder.c_str(), &info) != 0) {
                problems[i] = WriteProblem(images[i].Target, errno);
                continue;
            }
            known = deviceOf.emplace(folder, info.st_dev).first;
        }
        byDevice[known->second].push_back(i);
    }
    for (const auto& [device, members] : byDevice) {
        TDescriptor any{::open(images[members.front()].Temporary.c_str(), O_RDONLY | O_CLOEXEC)};
        if (any.fd >= 0 && ::syncfs(any.fd) == 0) continue;
        for (std::size_t i : members) {
            TDescriptor file{::open(images[i].Temporary.c_str(), O_RDONLY | O_CLOEXEC)};
            if (file.fd < 0 || ::fdatasync(file.fd) != 0)
                problems[i] = WriteProblem(images[i].Target, errno);
        }
    }
}

} // namespace

TStagedImage StageImage(const std::string& fileName, std::span<const char> bytes) {
    const TTarget target = FinalTarget(fileName);
    const mode_t mode = target.Status.st_mode;
    if (target.Exists && S_ISDIR(mode)) RaiseWriteError(fileName, EISDIR);
    if (target.Exists && !S_ISREG(mode)) return WriteInPlace(fileName, target.Path, bytes);
    // A file that could not be opened for writing is not replaced either.
    if (target.Exists && ::access(target.Path.c_str(), W_OK) != 0) RaiseWriteError(fileName, errno);

    TStagedImage staged{target.Path.string(), {}};
    TDescriptor file = CreateTemporary(fileName, target.Path, staged.Temporary);
    try {
        WriteAll(file.fd, bytes, fileName);
        // A file that is replaced keeps its permissions.
        if (target.Exists) ::fchmod(file.fd, mode & 07777);
        if (file.Close() != 0) RaiseWriteError(fileName, errno);
    } catch (...) {
        ::unlink(staged.Temporary.c_str());
        throw;
    }
    return staged;
}

std::vector<std::string> CommitImages(std::span<const TStagedImage> images) {
    std::vector<std::string> problems(images.size());
    MakeDurable(images, problems);
    std::set<fs::path> changed;
    for (std::size_t i = 0; i < images.size(); ++i) {
        const TStagedImage& image = images[i];
        if (image.Temporary.empty()) continue;
        if (problems[i].empty() && ::rename(image.Temporary.c_str(), image.Target.c_str()) != 0)
            problems[i] = WriteProblem(image.Target, errno);
        if (problems[i].empty())
            changed.insert(fs::path(image.Target).parent_path());
        else
            DiscardImage(image);
    }
    for (const fs::path& folder : changed)
        SyncFolder(folder);
    return problems;
}

void MakeFolders(const fs::path& folder) {
    std::error_code failed;
    if (folder.empty() || fs::is_directory(folder, failed)) return;
    MakeFolders(folder.parent_path());
    if (fs::create_directory(folder, failed)) SyncFolder(folder.parent_path());
    if (failed)
        throw Exception("cannot make the folder " + folder.string() + ": " + failed.message());
}

void DiscardImage(const TStagedImage& image) {
    if (!image.Temporary.empty()) ::unlink(image.Temporary.c_str());
}

} // namespace quillax::host
