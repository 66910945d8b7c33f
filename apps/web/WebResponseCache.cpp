// The response cache's shards: a recency list and an index into it, under one lock each.
#include "apps/web/WebResponseCache.h"

#include <algorithm>
#include <functional>

namespace quillax::web {

ResponseCache::ResponseCache(std::size_t capacityBytes, std::size_t shards)
    : shardCount_(std::max<std::size_t>(1, shards)), shardCapacity_(capacityBytes / shardCount_),
      shards_(std::make_unique<Shard[]>(shardCount_)) {}

std::size_t ResponseCache::Cost(std::string_view key, const Answer& answer) {
    // The list node, the index node and the answer's own allocation, roughly.
    constexpr std::size_t kBookkeeping = 256;
    return key.size() + answer.head.size() + answer.body.size() + answer.etag.size() +
           answer.notModifiedHead.size() + kBookkeeping;
}

ResponseCache::Shard& ResponseCache::ShardOf(std::string_view key) {
    return shards_[std::hash<std::string_view>{}(key) % shardCount_];
}

AnswerPtr ResponseCache::Find(std::string_view key) {
    if (shardCapacity_ == 0) return nullptr;
    Shard& shard = ShardOf(key);
    const std::lock_guard hold(shard.lock);
    const auto found = shard.index.find(key);
    if (found == shard.index.end()) return nullptr;
    shard.recency.splice(shard.recency.begin(), shard.recency, found->second);
    return found->second->answer;
}

void ResponseCache::Insert(std::string key, AnswerPtr answer) {
    const std::size_t cost = Cost(key, *answer);
    if (cost > shardCapacity_ / 2) return;
    Shard& shard = ShardOf(key);
    const std::lock_guard hold(shard.lock);
    if (shard.index.count(key) != 0) return; // another thread rendered it meanwhile
    while (shard.bytes + cost > shardCapacity_) {
        const Entry& oldest = shard.recency.back();
        shard.bytes -= oldest.cost;
        shard.index.erase(oldest.key);
        shard.recency.pop_back();
    }
    shard.recency.push_front(Entry{std::move(key), std::move(answer), cost});
    shard.index.emplace(shard.recency.front().key, shard.recency.begin());
    shard.bytes += cost;
}

ResponseCache::Totals ResponseCache::Count() const {
    Totals totals;
    for (std::size_t i = 0; i < shardCount_; ++i) {
        const Shard& shard = shards_[i];
        const std::lock_guard hold(shard.lock);
        totals.entries += shard.index.size();
        totals.bytes += shard.bytes;
    }
    return totals;
}

} // namespace quillax::web
