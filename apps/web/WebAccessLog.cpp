// Access log lines and their writing.
#include "apps/web/WebAccessLog.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <unistd.h>

namespace quillax::web {

void AppendAccessLine(std::string& out, const AccessRecord& record) {
    using namespace std::chrono;
    const auto sinceEpoch = record.when.time_since_epoch();
    const std::time_t seconds = duration_cast<std::chrono::seconds>(sinceEpoch).count();
    const auto millis = duration_cast<milliseconds>(sinceEpoch).count() % 1000;
    std::tm t{};
    gmtime_r(&seconds, &t);
    char stamp[48];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ ", t.tm_year + 1900,
                  t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, static_cast<int>(millis));
    out += stamp;
    out += record.client.empty() ? "-" : record.client;
    out += ' ';
    out += record.method.empty() ? "-" : record.method;
    out += ' ';
    if (record.target.empty()) out += '-';
    for (const char c : record.target) {
        const auto u = static_cast<unsigned char>(c);
        if (u > 0x20 && u < 0x7F && c != '\\') {
            out += c;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", u);
            out += escaped;
        }
    }
    out += ' ';
    out += std::to_string(record.status);
    out += ' ';
    out += std::to_string(record.bytes);
    out += ' ';
    out += std::to_string(record.took.count());
    out += '\n';
}

void AccessLog::Flush() {
    std::size_t written = 0;
    while (written < pending_.size()) {
        const ssize_t n = ::write(fd_, pending_.data() + written, pending_.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break; // a log that cannot be written is dropped, never waited for
        written += static_cast<std::size_t>(n);
    }
    pending_.clear();
}

} // namespace quillax::web
