// The CSV reader: a state machine over the bytes of one record.
#include "apps/cli/Csv.h"

namespace quillax::host {

namespace {

constexpr int kEnd = std::char_traits<char>::eof();

} // namespace

int TCsvReader::Get() {
    return in_.sbumpc();
}

int TCsvReader::Peek() {
    return in_.sgetc();
}

bool TCsvReader::AtLineBreak(int c) {
    if (c == '\r' && Peek() == '\n') Get();
    if (c != '\r' && c != '\n') return false;
    ++line_;
    return true;
}

void TCsvReader::SkipLine() {
    for (int c = Get(); c != kEnd; c = Get()) {
        if (AtLineBreak(c)) return;
    }
}

void TCsvReader::Fail(std::size_t line, const std::string& reason) {
    SkipLine();
    throw ECsvError(line, reason);
}

std::optional<TCsvRecord> TCsvReader::Next() {
    if (!started_) {
        started_ = true;
        // A UTF-8 byte order mark, as spreadsheets write one.
        if (Peek() == 0xEF) {
            Get();
            if (Peek() == 0xBB) Get();
            if (Peek() == 0xBF) Get();
        }
    }
    int c = Get();
    while (c != kEnd && AtLineBreak(c))
        c = Get(); // lines that hold nothing
    if (c == kEnd) return std::nullopt;

    TCsvRecord record{line_, {}};
    std::string field;
    enum class State { FieldStart, Unquoted, Quoted, AfterQuote } state = State::FieldStart;
    std::size_t bytes = 0; // of the record's fields
    const auto keep = [&](int byte) {
        if (++bytes > kMaxRecordBytes)
            Fail(record.Line,
                 "the record is longer than " + std::to_string(kMaxRecordBytes) + " bytes");
        field += static_cast<char>(byte);
    };
    for (;; c = Get()) {
        if (state == State::Quoted) {
            if (c == kEnd) throw ECsvError(record.Line, "a quoted field is not closed");
            if (c == '"' && Peek() == '"') {
                Get();
                keep('"');
            } else if (c == '"') {
                state = State::AfterQuote;
            } else {
                // A line break inside quotes is data, and still a line of the text.
                if (c == '\n' || (c == '\r' && Peek() != '\n')) ++line_;
                keep(c);
            }
            continue;
        }
        if (c == kEnd || AtLineBreak(c) || c == ',') {
            record.Fields.push_back(std::move(field));
            field.clear();
            if (c != ',') return record;
            state = State::FieldStart;
        } else if (state == State::AfterQuote) {
            Fail(record.Line, "text after the closing quote of a field");
        } else if (c == '"' && state == State::FieldStart) {
            state = State::Quoted;
        } else if (c == '"') {
            Fail(record.Line, "a double quote inside a field that does not start with one");
        } else {
            keep(c);
            state = State::Unquoted;
        }
    }
}

std::size_t CountCsvRecords(std::istream& in) {
    TCsvReader reader(in);
    std::size_t count = 0;
    for (;;) {
        try {
            if (!reader.Next()) return count;
        } catch (const ECsvError&) {
        }
        ++count;
    }
}

} // namespace quillax::host
