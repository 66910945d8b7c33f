// The per-thread cache of large blocks.
//
// A large block carries a header in front of what its user sees, with the block's own size:
// a kept block may be handed out for a smaller request, and is given back with the size
// that request asked for.
#include "imaging/BlockCache.h"

#include <algorithm>
#include <vector>

namespace quillax {

namespace {

// Room in front of a large block for its size; keeps the user's bytes 64-byte aligned.
constexpr size_t HeaderBytes = 64;

void* NewLargeBlock(size_t bytes) {
    if (bytes > std::numeric_limits<size_t>::max() - HeaderBytes) throw std::bad_alloc();
    auto* raw = static_cast<char*>(::operator new(bytes + HeaderBytes, std::align_val_t(64)));
    *reinterpret_cast<size_t*>(raw) = bytes;
    return raw + HeaderBytes;
}

char* RawOf(void* block) {
    return static_cast<char*>(block) - HeaderBytes;
}

size_t SizeOf(void* block) {
    return *reinterpret_cast<size_t*>(RawOf(block));
}

void DeleteLargeBlock(void* block) {
    ::operator delete(RawOf(block), std::align_val_t(64));
}

class TThreadBlocks;

// Whether this thread's cache exists yet, and whether it has already been destroyed.
enum class TCacheState : uint8_t { csUnborn, csAlive, csGone };
thread_local TCacheState cacheState = TCacheState::csUnborn;

class TThreadBlocks {
public:
    static TThreadBlocks& Instance() {
        thread_local TThreadBlocks blocks;
        return blocks;
    }
    TThreadBlocks(const TThreadBlocks&) = delete;
    TThreadBlocks& operator=(const TThreadBlocks&) = delete;
    ~TThreadBlocks() {
        for (const TKept& k : kept_)
            DeleteLargeBlock(k.Block);
        cacheState = TCacheState::csGone;
    }

    void* Take(size_t bytes) {
        if (++takes_ % 64 == 0) ReleaseIdle();
        if (bytes < MinKeptBlockBytes) return ::operator new(bytes);
        // The smallest kept block that holds the request without being twice its size.
        auto best = kept_.end();
        for (auto it = kept_.begin(); it != kept_.end(); ++it)
            if (it->Bytes >= bytes && it->Bytes / 2 <= bytes &&
                (best == kept_.end() || it->Bytes < best->Bytes))
                best = it;
        if (best == kept_.end()) return NewLargeBlock(bytes);
        void* block = best->Block;
        keptBytes_ -= best->Bytes;
        kept_.erase(best);
        return block;
    }

    void GiveBack(void* block) {
        const size_t bytes = SizeOf(block);
        if (bytes > MaxKeptBytes) {
            DeleteLargeBlock(block);
            return;
        }
        // Room is made by letting the blocks that came back longest ago go.
        while (!kept_.empty() &&
               (kept_.size() >= MaxKeptBlocks || keptBytes_ + bytes > MaxKeptBytes)) {
            DeleteLargeBlock(kept_.front().Block);
            keptBytes_ -= kept_.front().Bytes;
            kept_.erase(kept_.begin());
        }
        kept_.push_back({block, bytes, takes_});
        keptBytes_ += bytes;
    }

    size_t Count() const { return kept_.size(); }
    size_t Bytes() const { return keptBytes_; }

private:
    TThreadBlocks() {
        kept_.reserve(MaxKeptBlocks);
        cacheState = TCacheState::csAlive;
    }

    void ReleaseIdle() {
        std::erase_if(kept_, [&](const TKept& k) {
            if (takes_ - k.GivenBackAt < IdleTakes) return false;
            DeleteLargeBlock(k.Block);
            keptBytes_ -= k.Bytes;
            return true;
        });
    }

    struct TKept {
        void* Block;
        size_t Bytes;
        uint64_t GivenBackAt; // takes_ then
    };
    std::vector<TKept> kept_; // in the order they came back
    size_t keptBytes_ = 0;
    uint64_t takes_ = 0;
};

} // namespace

void* TakeBlock(size_t bytes) {
    if (cacheState == TCacheState::csGone)
        return bytes < MinKeptBlockBytes ? ::operator new(bytes) : NewLargeBlock(bytes);
    return TThreadBlocks::Instance().Take(bytes);
}

void GiveBackBlock(void* block, size_t bytes) noexcept {
    if (!block) return;
    if (bytes < MinKeptBlockBytes) {
        ::operator delete(block);
        return;
    }
    if (cacheState == TCacheState::csGone) {
        DeleteLargeBlock(block);
        return;
    }
    try {
        TThreadBlocks::Instance().GiveBack(block);
    } catch (...) {
        DeleteLargeBlock(block); // the cache could not be made: the block goes at once
    }
}

size_t KeptBlockCount() {
    return cacheState == TCacheState::csAlive ? TThreadBlocks::Instance().Count() : 0;
}

size_t KeptBlockBytes() {
    return cacheState == TCacheState::csAlive ? TThreadBlocks::Instance().Bytes() : 0;
}

} // namespace quillax
