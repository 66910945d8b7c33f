// The access log: one line per request, "TIME CLIENT METHOD TARGET STATUS BYTES MICROSECONDS",
// gathered per thread and written to a file descriptor (standard error) in few system calls.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillax::web {

struct AccessRecord {
    std::chrono::system_clock::time_point when;
    std::string_view client;
    std::string_view method; // "-" when the request line never arrived whole
    std::string_view target;
    unsigned status = 0;
    std::size_t bytes = 0; // body bytes sent
    std::chrono::microseconds took{0};
};

// Appends the record's line: UTC time to the millisecond, then the fields separated by
// spaces, bytes outside printable ASCII in the target written as \xHH.
void AppendAccessLine(std::string& out, const AccessRecord& record);

// One thread's lines not yet written.
class AccessLog {
public:
    explicit AccessLog(int fd) : fd_(fd) {}
    AccessLog(const AccessLog&) = delete;
    AccessLog& operator=(const AccessLog&) = delete;
    ~AccessLog() { Flush(); }

    void Record(const AccessRecord& record) { AppendAccessLine(pending_, record); }
    bool Pending() const { return !pending_.empty(); }
    bool Full() const { return pending_.size() >= 16 * 1024; }
    void Flush();

private:
    int fd_;
    std::string pending_;
};

} // namespace quillax::web
