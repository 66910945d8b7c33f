// The response cache: what it keeps, what it drops first to stay within its bytes, and the
// same answers for threads that look up and insert at once.
#include "apps/web/WebResponseCache.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

using namespace quillax::web;

AnswerPtr AnswerOf(std::size_t bodyBytes, char fill = 'b') {
    auto answer = std::make_shared<Answer>();
    answer->body.assign(bodyBytes, fill);
    return answer;
}

std::string Key(int n) {
    return "data" + std::string(1, '\0') + std::to_string(n) + std::string(1, '\0');
}

TEST(WebResponseCache, KeepsAnswersWithinItsBytesDroppingTheLeastRecentlyUsed) {
    const std::size_t cost = ResponseCache::Cost(Key(0), *AnswerOf(1000));
    ResponseCache cache(3 * cost + 10, 1); // room for three
    for (int n = 0; n < 3; ++n)
        cache.Insert(Key(n), AnswerOf(1000, static_cast<char>('a' + n)));
    EXPECT_EQ(cache.Count().entries, 3u);
    EXPECT_EQ(cache.Count().bytes, 3 * cost);
    ASSERT_TRUE(cache.Find(Key(0))); // now the most recently used
    cache.Insert(Key(3), AnswerOf(1000));
    struct Row {
        int key;
        bool kept;
    };
    for (const Row row : {Row{0, true}, Row{1, false}, Row{2, true}, Row{3, true}}) {
        EXPECT_EQ(cache.Find(Key(row.key)) != nullptr, row.kept) << row.key;
    }
    EXPECT_EQ(cache.Find(Key(2))->body, std::string(1000, 'c'));
    EXPECT_LE(cache.Count().bytes, 3 * cost + 10);
}

TEST(WebResponseCache, KeepsNothingTooLargeOrTwiceOrWithoutRoom) {
    const std::size_t cost = ResponseCache::Cost(Key(0), *AnswerOf(1000));
    struct Row {
        const char* name;
        std::size_t capacity;
        std::size_t body;
        bool kept;
    };
    const Row rows[] = {
        {"half the room", 2 * cost, 1000, true},
        {"more than half the room", 2 * cost - 2, 1000, false},
        {"no room at all", 0, 10, false},
        {"a 1,000-byte body in a 1,500-byte cache", 1500, 1000, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ResponseCache cache(row.capacity, 1);
        cache.Insert(Key(1), AnswerOf(row.body));
        EXPECT_EQ(cache.Find(Key(1)) != nullptr, row.kept);
        EXPECT_EQ(cache.Count().entries, row.kept ? 1u : 0u);
        EXPECT_GE(cache.Count().bytes, row.kept ? row.body : 0u); // the body counts in full
    }
    // A second insert of a key keeps the first answer (both are the same image).
    ResponseCache cache(1 << 20);
    const AnswerPtr first = AnswerOf(10, 'x');
    cache.Insert(Key(7), first);
    cache.Insert(Key(7), AnswerOf(10, 'y'));
    EXPECT_EQ(cache.Find(Key(7)), first);
    EXPECT_EQ(cache.Count().entries, 1u);
}

TEST(WebResponseCacheConcurrency, ThreadsFindWhatOthersInsert) {
    ResponseCache cache(64 * 1024); // small: threads also evict under each other
    constexpr int kThreads = 4, kRounds = 2000, kKeys = 64;
    std::vector<std::thread> threads;
    std::vector<int> wrong(kThreads, 0);
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kRounds; ++i) {
                const int n = (i * 7 + t) % kKeys;
                if (AnswerPtr found = cache.Find(Key(n))) {
                    if (found->body != std::string(100 + n, static_cast<char>('a' + n % 26)))
                        ++wrong[t];
                } else {
                    cache.Insert(Key(n), AnswerOf(100 + n, static_cast<char>('a' + n % 26)));
                }
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(wrong, std::vector<int>(kThreads, 0));
    EXPECT_LE(cache.Count().bytes, 64u * 1024);
}

} // namespace
