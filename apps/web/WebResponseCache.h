// The response cache: image answers kept in memory for repeated requests, keyed by the
// parameters as the page applies them (PageKey), bounded in bytes. Shared by every thread
// of the host: the keys are spread over shards with a lock each, held only to look up or
// insert, and each shard drops its least recently used answers to stay within its share.
#pragma once

#include "apps/web/WebAnswer.h"

#include <cstddef>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace quillax::web {

class ResponseCache {
public:
    // capacityBytes 0 keeps nothing; each shard holds its share of it.
    explicit ResponseCache(std::size_t capacityBytes, std::size_t shards = 8);
    ResponseCache(const ResponseCache&) = delete;
    ResponseCache& operator=(const ResponseCache&) = delete;

    // The answer kept for the key, or null.
    AnswerPtr Find(std::string_view key);
    // Keeps the answer unless it would take more than half a shard's share.
    void Insert(std::string key, AnswerPtr answer);

    struct Totals {
        std::size_t entries = 0;
        std::size_t bytes = 0;
    };
    Totals Count() const;

    // What an entry is charged: its key, its answer's texts and the bookkeeping around them.
    static std::size_t Cost(std::string_view key, const Answer& answer);

private:
    struct Entry {
        std::string key;
        AnswerPtr answer;
        std::size_t cost = 0;
    };
    struct Shard {
        mutable std::mutex lock;
        std::list<Entry> recency; // most recently used first
        std::unordered_map<std::string_view, std::list<Entry>::iterator> index;
        std::size_t bytes = 0;
    };

    Shard& ShardOf(std::string_view key);

    std::size_t shardCount_;
    std::size_t shardCapacity_;
    std::unique_ptr<Shard[]> shards_;
};

} // namespace quillax::web
