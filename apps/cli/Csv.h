// Comma-separated values as RFC 4180 writes them, read one record at a time: fields separated
// by commas, records by line breaks (CRLF, LF or CR), a field in double quotes holding commas,
// line breaks and doubled quotes. Spreadsheets' habits are tolerated: a UTF-8 byte order mark
// at the start, lines that hold nothing, and a last record without its line break.
#pragma once

#include "platform/SysUtils.h"

#include <cstddef>
#include <istream>
#include <optional>
#include <string>
#include <vector>

namespace quillax::host {

// One record and the line of the text it starts on (from 1).
struct TCsvRecord {
    std::size_t Line = 0;
    std::vector<std::string> Fields;
};

// A record that breaks the format: the line it starts on and what is wrong with it.
class ECsvError : public Exception {
public:
    ECsvError(std::size_t line, const std::string& reason) : Exception(reason), line_(line) {}
    std::size_t Line() const { return line_; }

private:
    std::size_t line_;
};

class TCsvReader {
public:
    // A record longer than this is refused, so that an unclosed quote cannot make one field
    // of the whole input.
    static constexpr std::size_t kMaxRecordBytes = 1 << 20;

    explicit TCsvReader(std::istream& in) : in_(*in.rdbuf()) {}

    // The next record, or nothing at the end of the text. A malformed record raises
    // ECsvError; reading then goes on at the line after the one where the fault was found.
    std::optional<TCsvRecord> Next();

private:
    int Get();
    int Peek();
    bool AtLineBreak(int c); // consumes the LF of a CRLF
    void SkipLine();
    [[noreturn]] void Fail(std::size_t line, const std::string& reason);

    std::streambuf& in_;
    std::size_t line_ = 1;
    bool started_ = false;
};

// The number of records of a text (malformed ones included, lines holding nothing not).
std::size_t CountCsvRecords(std::istream& in);

} // namespace quillax::host
