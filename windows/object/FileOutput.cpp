// Atomic file replacement over the platform's file calls: a new file beside the target,
// written and flushed to the disk, then moved over the target in one step.
#include "object/FileOutput.h"

#include "platform/ComBase.h"
#include "platform/SysUtils.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <utility>

namespace quillax {

namespace {

constexpr int kTemporaryNameAttempts = 16;

[[noreturn]] void RaiseFileError(const std::string& fileName, DWORD error) {
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string reason(text != nullptr ? text : "", length);
    LocalFree(text);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r'))
        reason.pop_back();
    throw Exception("Cannot create file \"" + fileName + "\". " + reason);
}

// The folder part of a path, with its trailing separator ("" for a bare name).
std::string FolderOf(const std::string& path) {
    const size_t separator = path.find_last_of("\\/");
    return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

// A name for a temporary file beside the target that no other writer is likely to pick.
std::string TemporaryName(const std::string& folder) {
    static std::atomic<unsigned long long> counter{0};
    char name[64];
    std::snprintf(name, sizeof name, ".quillax-%lu-%llu-%llu", GetCurrentProcessId(),
                  static_cast<unsigned long long>(GetTickCount64()), counter.fetch_add(1));
    return folder + name;
}

// An open temporary file that is closed, and removed unless committed, when it goes.
class TemporaryFile {
public:
    explicit TemporaryFile(const std::string& target) {
        const std::string folder = FolderOf(target);
        DWORD error = ERROR_FILE_EXISTS;
        for (int attempt = 0; attempt < kTemporaryNameAttempts && error == ERROR_FILE_EXISTS;
             ++attempt) {
            path_ = TemporaryName(folder);
            handle_ = CreateFileA(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
            error = handle_ == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
        }
        if (handle_ == INVALID_HANDLE_VALUE) RaiseFileError(target, error);
    }
    ~TemporaryFile() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
        if (!committed_) DeleteFileA(path_.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    void WriteAll(std::span<const uint8_t> bytes, const std::string& target) {
        while (!bytes.empty()) {
            const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1u << 30));
            DWORD written = 0;
            if (!WriteFile(handle_, bytes.data(), chunk, &written, nullptr) || written == 0)
                RaiseFileError(target, GetLastError());
            bytes = bytes.subspan(written);
        }
    }
    // Flushes the bytes to the disk and closes the file; raises with the failure.
    void Close(const std::string& target) {
        const bool flushed = FlushFileBuffers(handle_);
        const DWORD error = GetLastError();
        CloseHandle(std::exchange(handle_, INVALID_HANDLE_VALUE));
        if (!flushed) RaiseFileError(target, error);
    }
    const std::string& Path() const { return path_; }
    void Commit() { committed_ = true; }

private:
    std::string path_;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    bool committed_ = false;
};

} // namespace

void ReplaceFileAtomically(const std::string& fileName, std::span<const uint8_t> bytes) {
    // A read-only file, or a folder, is not replaced.
    const DWORD attributes = GetFileAttributesA(fileName.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0)
        RaiseFileError(fileName, ERROR_ACCESS_DENIED);
    TemporaryFile temporary(fileName);
    temporary.WriteAll(bytes, fileName);
    temporary.Close(fileName);
    if (!MoveFileExA(temporary.Path().c_str(), fileName.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        RaiseFileError(fileName, GetLastError());
    temporary.Commit();
}

} // namespace quillax
