// The CSV reader over the shapes spreadsheets and hand-written files take: quoting, line
// breaks of every kind, the lines records start on, and malformed records that are refused
// without losing the records after them.
#include "apps/cli/Csv.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using quillax::host::CountCsvRecords;
using quillax::host::ECsvError;
using quillax::host::TCsvReader;

// Each record as "line: field|field|..." and each refusal as "line: !reason".
std::vector<std::string> Read(const std::string& text) {
    std::istringstream in(text);
    TCsvReader reader(in);
    std::vector<std::string> out;
    for (;;) {
        try {
            const auto record = reader.Next();
            if (!record) return out;
            std::string line = std::to_string(record->Line) + ":";
            for (std::size_t i = 0; i < record->Fields.size(); ++i)
                line += (i ? "|" : " ") + record->Fields[i];
            out.push_back(line);
        } catch (const ECsvError& e) {
            out.push_back(std::to_string(e.Line()) + ": !" + e.what());
        }
    }
}

TEST(CsvReader, ReadsRecordsAsWritten) {
    const struct {
        const char* name;
        std::string text;
        std::vector<std::string> records;
    } rows[] = {
        {"plain", "a,b,c\n1,2,3\n", {"1: a|b|c", "2: 1|2|3"}},
        {"CRLF", "a,b\r\n1,2\r\n", {"1: a|b", "2: 1|2"}},
        {"CR alone", "a,b\r1,2", {"1: a|b", "2: 1|2"}},
        {"no final line break", "a,b\n1,2", {"1: a|b", "2: 1|2"}},
        {"empty fields", ",,\n", {"1: ||"}},
        {"one empty quoted field", "\"\"\n", {"1: "}},
        {"spaces are data", " a , b \n", {"1:  a | b "}},
        {"quoted comma", "\"a,b\",c\n", {"1: a,b|c"}},
        {"doubled quote", "\"say \"\"hi\"\"\",x\n", {"1: say \"hi\"|x"}},
        {"line break inside quotes",
         "\"two\nlines\",x\nnext,y\n",
         {"1: two\nlines|x", "3: next|y"}},
        {"CRLF inside quotes kept", "\"a\r\nb\"\r\nc\r\n", {"1: a\r\nb", "3: c"}},
        {"lines holding nothing", "\n\na\n\r\n\nb\n\n", {"3: a", "6: b"}},
        {"byte order mark",
         "\xEF\xBB\xBF"
         "Data,Height\n",
         {"1: Data|Height"}},
        {"UTF-8 kept", "caf\xC3\xA9,\xE2\x82\xAC\n", {"1: caf\xC3\xA9|\xE2\x82\xAC"}},
        {"NUL is data", std::string("a\0b,c\n", 6), {std::string("1: a\0b|c", 8)}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.records, Read(row.text));
    }
}

TEST(CsvReader, RefusesMalformedRecordsAndGoesOnAtTheNextLine) {
    const struct {
        const char* name;
        std::string text;
        std::vector<std::string> records;
    } rows[] = {
        {"quote inside a field",
         "a,b\"c,d\nnext\n",
         {"1: !a double quote inside a field that does not start with one", "2: next"}},
        {"text after a closing quote",
         "ok\n\"a\"b,c\nnext\n",
         {"1: ok", "2: !text after the closing quote of a field", "3: next"}},
        {"quote never closed",
         "ok\n\"open,\nstill open\n",
         {"1: ok", "2: !a quoted field is not closed"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.records, Read(row.text));
    }
}

TEST(CsvReader, ARecordPastTheLimitIsRefusedNotKept) {
    const std::string longest(TCsvReader::kMaxRecordBytes, 'x');
    std::vector<std::string> records = Read(longest + "\nnext\n");
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ("1: " + longest, records[0]);
    records = Read("\"" + longest + "x\nnext\n");
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ("1: !the record is longer than 1048576 bytes", records[0]);
    EXPECT_EQ("2: next", records[1]);
}

TEST(CsvReader, CountsRecordsWithTheMalformedOnes) {
    const struct {
        std::string text;
        std::size_t count;
    } rows[] = {{"", 0}, {"\n\n", 0}, {"a\n", 1}, {"a\nb\"c\n\nd", 3}, {"a\n\"x\ny\"\nz\n", 3}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        std::istringstream in(row.text);
        EXPECT_EQ(row.count, CountCsvRecords(in));
    }
}

} // namespace
