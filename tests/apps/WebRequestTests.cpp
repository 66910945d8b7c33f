// Reading requests: the query's decoding and cache key, targets, Host values, transfer
// codings, entity-tag lists, and request heads held to their limits, fed byte by byte or
// all at once as a client might send them.
#include "apps/web/WebHost.h"
#include "apps/web/WebRequest.h"
#include "tests/support/Utf8Cases.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace quillax::web;

TEST(WebHostQuery, DecodesFormEncodingAndRejectsMalformedQueries) {
    struct Row {
        const char* query;
        std::vector<PageParameter> expected;
        const char* error; // part of the usage error's message, or null
    };
    const Row rows[] = {
        {"", {}, nullptr},
        {"Data=123", {{"Data", "123"}}, nullptr},
        {"Data=a+b%20c&Height=50", {{"Data", "a b c"}, {"Height", "50"}}, nullptr},
        {"&&Data=&", {{"Data", ""}}, nullptr},
        {"Data=%26%3D%2B", {{"Data", "&=+"}}, nullptr},
        {"Data=x=y", {{"Data", "x=y"}}, nullptr},
        {"Data", {}, "NAME=VALUE"},
        {"=5", {}, "empty property name"},
        {"Data=%4", {}, "%-escape"},
        {"Data=%G0", {}, "%-escape"},
        {"Data=%", {}, "%-escape"},
        {"Data=%00", {}, "NUL"},
        {"a=1&b=2&c=3", {{"a", "1"}, {"b", "2"}, {"c", "3"}}, nullptr},
        {"a=1&b=2&c=3&d=4", {}, "too many query parameters (at most 3)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.query);
        if (row.error) {
            try {
                ParseQuery(row.query, 3);
                ADD_FAILURE() << "accepted";
            } catch (const PageUsageError& e) {
                EXPECT_NE(std::string(e.what()).find(row.error), std::string::npos) << e.what();
            }
        } else {
            EXPECT_EQ(ParseQuery(row.query, 3), row.expected);
        }
    }
}

// The query refuses what is not UTF-8, in every malformed form the codec knows.
TEST(WebHostQuery, AcceptsWellFormedUtf8Only) {
    for (const quillax::test::TUtf8Case& row : quillax::test::kUtf8Cases) {
        SCOPED_TRACE(row.name);
        const std::string text = "A" + std::string(row.bytes) + "B";
        std::string query = "Data=";
        for (const char c : text) {
            char escape[4];
            std::snprintf(escape, sizeof escape, "%%%02x", static_cast<unsigned char>(c));
            query += escape;
        }
        try {
            EXPECT_EQ(ParseQuery(query, 1), (std::vector<PageParameter>{{"Data", text}}));
            EXPECT_TRUE(row.wellFormed) << "accepted";
        } catch (const PageUsageError& e) {
            EXPECT_FALSE(row.wellFormed) << e.what();
            EXPECT_STREQ(e.what(), "the query is not UTF-8 text");
        }
    }
}

TEST(WebHostListen, SplitsHostAndPort) {
    struct Row {
        const char* listen;
        const char* host; // null: malformed
        uint16_t port;
    };
    const Row rows[] = {
        {"127.0.0.1:8080", "127.0.0.1", 8080},
        {"localhost:0", "localhost", 0},
        {"[::1]:65535", "::1", 65535},
        {"0.0.0.0:80", "0.0.0.0", 80},
        {"127.0.0.1", nullptr, 0},
        {":8080", nullptr, 0},
        {"::1:8080", nullptr, 0},
        {"127.0.0.1:65536", nullptr, 0},
        {"127.0.0.1:http", nullptr, 0},
        {"127.0.0.1:", nullptr, 0},
        {"127.0.0.1:-1", nullptr, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.listen);
        if (row.host) {
            EXPECT_EQ(ParseListenAddress(row.listen),
                      std::make_pair(std::string(row.host), row.port));
        } else {
            EXPECT_THROW(ParseListenAddress(row.listen), quillax::Exception);
        }
    }
}

TEST(WebHostQuery, KeysParametersAsThePageAppliesThem) {
    const auto key = [](const char* query) { return PageKey(ParseQuery(query, 32)); };
    // Names fold to one case; values, order and repetition count.
    EXPECT_EQ(key("Data=1&Height=50"), key("data=1&HEIGHT=50"));
    EXPECT_EQ(key("Data=a+b"), key("Data=a%20b"));
    EXPECT_NE(key("Data=abc"), key("Data=ABC"));
    EXPECT_NE(key("Data=1&Height=50"), key("Height=50&Data=1"));
    EXPECT_NE(key("Data=1"), key("Data=1&Data=1"));
    EXPECT_NE(key("Data=1&Height=50"), key("Data=1Height%3D50"));
    EXPECT_NE(key("Da=ta1"), key("Data=1"));
    EXPECT_EQ(key(""), "");
}

TEST(WebHostTarget, SplitsOriginAndAbsoluteFormsAndRefusesOthers) {
    struct Row {
        const char* target;
        const char* path; // null: refused
        const char* query;
        bool asterisk;
    };
    const Row rows[] = {
        {"/barcode?Data=1", "/barcode", "Data=1", false},
        {"/", "/", "", false},
        {"/healthz?", "/healthz", "", false},
        {"http://example.com/barcode?Data=1", "/barcode", "Data=1", false},
        {"HTTP://example.com:8080/healthz", "/healthz", "", false},
        {"https://[::1]:8080/", "/", "", false},
        {"http://example.com", "/", "", false},
        {"http://example.com?Data=1", "/", "Data=1", false},
        {"*", "", "", true},
        {"/barcode?Data=1#top", nullptr, "", false},
        {"/#", nullptr, "", false},
        {"ftp://example.com/", nullptr, "", false},
        {"http:///barcode", nullptr, "", false},
        {"http://exa mple.com/", nullptr, "", false},
        {"example.com:80", nullptr, "", false},
        {"barcode", nullptr, "", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.target);
        const std::optional<RequestTarget> target = SplitTarget(row.target);
        ASSERT_EQ(target.has_value(), row.path != nullptr);
        if (!target) continue;
        EXPECT_EQ(target->path, row.path);
        EXPECT_EQ(target->query, row.query);
        EXPECT_EQ(target->asterisk, row.asterisk);
    }
}

TEST(WebHostTarget, TellsValidHostValues) {
    for (const char* good : {"localhost", "localhost:8080", "127.0.0.1", "[::1]", "[::1]:80",
                             "a-b.example_1~x", "%41bc", ""}) {
        EXPECT_TRUE(IsValidHost(good)) << good;
    }
    for (const char* bad : {"local host", "host:port", "[::1", "[]", "[::1]x", "[g::1]", "a/b",
                            "a@b", "host:80:80", "h\"x"}) {
        EXPECT_FALSE(IsValidHost(bad)) << bad;
    }
}

TEST(WebHostFraming, AcceptsExactlyOneFinalChunked) {
    struct Row {
        const char* codings;
        bool sound;
    };
    const Row rows[] = {
        {"chunked", true},
        {"Chunked", true},
        {"gzip, chunked", true},
        {"gzip,chunked", true},
        {" chunked ", true},
        {"chunked, gzip", false},
        {"xchunked", false},
        {"chunked, chunked", false},
        {"chunkedx", false},
        {"gzip", false},
        {"", false},
        {"chunked;q=1", false},
        {"chunked, ", true},
        {"identity", false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(IsChunkedLast(row.codings), row.sound) << row.codings;
    }
}

TEST(WebHostConditions, MatchesEntityTagLists) {
    const std::string tag = "\"cc-1234abcd\"";
    struct Row {
        const char* list;
        bool strong; // If-Match
        bool weak;   // If-None-Match
    };
    const Row rows[] = {
        {"\"cc-1234abcd\"", true, true},
        {"*", true, true},
        {" * ", true, true},
        {"\"other\", \"cc-1234abcd\"", true, true},
        {"\"other\",\"cc-1234abcd\" ", true, true},
        {"W/\"cc-1234abcd\"", false, true},
        {"\"other\"", false, false},
        {"cc-1234abcd", false, false},
        {"\"cc-1234abcd", false, false},
        {"", false, false},
        {"\"CC-1234ABCD\"", false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.list);
        EXPECT_EQ(ListNamesTag(row.list, tag, TagComparison::Strong), row.strong);
        EXPECT_EQ(ListNamesTag(row.list, tag, TagComparison::Weak), row.weak);
    }
    // Without a tag only "*" names the answer.
    EXPECT_TRUE(ListNamesTag("*", "", TagComparison::Strong));
    EXPECT_FALSE(ListNamesTag("\"\"", "", TagComparison::Weak));
}

// Feeds a head in pieces of `piece` bytes, as reads would deliver it, and returns the head.
struct Fed {
    RequestHead::Progress progress;
    HeadRefusal refusal;
    std::size_t taken;
};
Fed Feed(const HeadLimits& limits, const std::string& bytes, std::size_t piece) {
    RequestHead head(limits);
    std::string buffer;
    std::size_t taken = 0;
    for (std::size_t at = 0; at < bytes.size() && head.State() == RequestHead::Progress::NeedMore;
         at += piece) {
        buffer += bytes.substr(at, piece);
        const std::size_t used = head.Feed({buffer.data(), buffer.size()});
        buffer.erase(0, used);
        taken += used;
    }
    return {head.State(), head.Refusal(), taken};
}

std::string Fields(int count) {
    std::string fields = "Host: x\r\n";
    for (int i = 1; i < count; ++i)
        fields += "X-" + std::to_string(i) + ": 1\r\n";
    return fields;
}

TEST(WebHostHead, HoldsTheLineHeadAndFieldLimitsExactly) {
    const HeadLimits limits; // line 8192, head 16384, 100 fields
    using P = RequestHead::Progress;
    // "GET " + target + " HTTP/1.1" is 13 bytes besides the target.
    const auto line = [](std::size_t length) {
        return "GET /" + std::string(length - 14, 'a') + " HTTP/1.1\r\n";
    };
    struct Row {
        const char* name;
        std::string bytes;
        P progress;
        HeadRefusal refusal;
    };
    const Row rows[] = {
        {"line at the limit", line(8192) + "Host: x\r\n\r\n", P::Done, HeadRefusal::None},
        {"line one past", line(8193) + "Host: x\r\n\r\n", P::Refused, HeadRefusal::LineTooLong},
        {"unfinished line past the limit", line(9000).substr(0, 8300), P::Refused,
         HeadRefusal::LineTooLong},
        {"unfinished line at the limit", line(9000).substr(0, 8192), P::NeedMore,
         HeadRefusal::None},
        {"100 fields", "GET / HTTP/1.1\r\n" + Fields(100) + "\r\n", P::Done, HeadRefusal::None},
        {"101 fields", "GET / HTTP/1.1\r\n" + Fields(101) + "\r\n", P::Refused,
         HeadRefusal::TooManyFields},
        {"150 fields", "GET / HTTP/1.1\r\n" + Fields(150) + "\r\n", P::Refused,
         HeadRefusal::TooManyFields},
        {"head past its size", "GET / HTTP/1.1\r\nHost: x\r\nX-Pad: " + std::string(17000, 'p'),
         P::Refused, HeadRefusal::HeadTooLarge},
        {"field line", "GET / HTTP/1.1\r\nHost: x\r\nBad Field: 1\r\n\r\n", P::Refused,
         HeadRefusal::Malformed},
        {"version", "GET / HTTP/2.0\r\nHost: x\r\n\r\n", P::Refused, HeadRefusal::Malformed},
    };
    for (const Row& row : rows) {
        for (std::size_t piece : {std::size_t{1}, std::size_t{1000}, row.bytes.size()}) {
            SCOPED_TRACE(std::string(row.name) + ", pieces of " + std::to_string(piece));
            const Fed fed = Feed(limits, row.bytes, piece);
            EXPECT_EQ(fed.progress, row.progress);
            EXPECT_EQ(fed.refusal, row.refusal);
            if (row.progress == P::Done) {
                EXPECT_EQ(fed.taken, row.bytes.size());
            }
        }
    }
}

TEST(WebHostHead, RefusesUnsoundFramingAndHosts) {
    struct Row {
        const char* head;
        HeadRefusal refusal;
        bool body; // Done with a body the host will not read
    };
    const Row rows[] = {
        {"GET / HTTP/1.1\r\nHost: x\r\n\r\n", HeadRefusal::None, false},
        {"GET / HTTP/1.0\r\n\r\n", HeadRefusal::None, false},
        {"POST / HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n", HeadRefusal::None,
         true},
        {"POST / HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: gzip, chunked\r\n\r\n",
         HeadRefusal::None, true},
        {"POST / HTTP/1.1\r\nHost: x\r\nContent-Length: 5\r\n\r\n", HeadRefusal::None, true},
        {"GET / HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\n\r\n", HeadRefusal::None, false},
        {"POST / HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked, gzip\r\n\r\n",
         HeadRefusal::BadFraming, false},
        {"POST / HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: xchunked\r\n\r\n",
         HeadRefusal::BadFraming, false},
        {"POST / HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked, chunked\r\n\r\n",
         HeadRefusal::BadFraming, false},
        {"POST / HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: gzip\r\nTransfer-Encoding: "
         "chunked\r\nTransfer-Encoding: gzip\r\n\r\n",
         HeadRefusal::Malformed, false},
        {"POST / HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: gzip\r\nContent-Length: 5\r\n\r\n",
         HeadRefusal::BadFraming, false},
        {"POST / HTTP/1.0\r\nTransfer-Encoding: chunked\r\n\r\n", HeadRefusal::BadFraming, false},
        {"GET / HTTP/1.1\r\n\r\n", HeadRefusal::BadHost, false},
        {"GET / HTTP/1.1\r\nHost: a\r\nHost: b\r\n\r\n", HeadRefusal::BadHost, false},
        {"GET / HTTP/1.0\r\nHost: a\r\nHost: a\r\n\r\n", HeadRefusal::BadHost, false},
        {"GET / HTTP/1.1\r\nHost: a b\r\n\r\n", HeadRefusal::BadHost, false},
        {"GET / HTTP/1.1\r\nHost:\r\n\r\n", HeadRefusal::None, false},
    };
    const HeadLimits limits;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.head);
        RequestHead head(limits);
        const std::string bytes = row.head;
        head.Feed({bytes.data(), bytes.size()});
        EXPECT_EQ(head.Refusal(), row.refusal) << head.RefusalText();
        if (row.refusal == HeadRefusal::None) {
            ASSERT_EQ(head.State(), RequestHead::Progress::Done);
            EXPECT_EQ(head.HasBody(), row.body);
        }
    }
}

TEST(WebHostHead, KeepsMethodTargetAndConditions) {
    const std::string bytes = "GET /barcode?Data=1 HTTP/1.1\r\nHost: x\r\nIf-None-Match: \"a\"\r\n"
                              "If-None-Match: \"b\"\r\nIf-Match: *\r\n\r\nGET /next";
    RequestHead head{HeadLimits{}};
    const std::size_t taken = head.Feed({bytes.data(), bytes.size()});
    ASSERT_EQ(head.State(), RequestHead::Progress::Done);
    EXPECT_EQ(bytes.substr(taken), "GET /next"); // the next request is left alone
    EXPECT_EQ(head.MethodText(), "GET");
    EXPECT_EQ(head.Target(), "/barcode?Data=1");
    EXPECT_EQ(head.Version(), 11u);
    EXPECT_EQ(head.IfNoneMatch().value_or("<none>"), "\"a\", \"b\"");
    EXPECT_EQ(head.IfMatch().value_or("<none>"), "*");
}

} // namespace
