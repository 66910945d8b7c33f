// The runtime's general error class and the conversions that raise it. Every failure
// inside the component travels as an Exception (or a class derived from it) carrying
// its message; the automation boundary turns it into a status and an error record.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace quillax {

// General error: a message and a help context (0 unless a raiser sets one).
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message, int helpContext = 0)
        : std::runtime_error(message), helpContext_(helpContext) {}
    const std::string Message() const { return what(); }
    int HelpContext() const { return helpContext_; }

private:
    int helpContext_;
};

// A text that does not convert to a number: "'%s' is not a valid integer value".
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// A failure reported by an object-model call: carries the call's failed status.
class EOleError : public Exception {
public:
    using Exception::Exception;
};

class EOleSysError : public EOleError {
public:
    EOleSysError(const std::string& message, std::int32_t errorCode, int helpContext = 0)
        : EOleError(message, helpContext), errorCode_(errorCode) {}
    std::int32_t ErrorCode() const { return errorCode_; }

private:
    std::int32_t errorCode_;
};

} // namespace quillax
