// The per-thread cache of large blocks: which requests get a kept block back, what is kept
// at all, the bounds on what a thread keeps, and blocks that change threads. Each case runs
// on a thread of its own, which starts with an empty cache.
#include "imaging/BlockCache.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

using namespace quillax;

namespace {

constexpr size_t KiB = 1024, MiB = 1024 * KiB;

template <class F>
void OnNewThread(F body) {
    std::jthread([&] { body(); }).join();
}

TEST(BlockCache, AGivenBackBlockServesTheNextRequestOfAboutItsSize) {
    struct Row {
        size_t First, Next;
        bool Reused;
    } const rows[] = {
        {MiB, MiB, true},             // the same size again
        {MiB, 600 * KiB, true},       // more than half of it
        {MiB, 400 * KiB, false},      // less than half: a new block
        {MiB, 2 * MiB, false},        // more than it holds
        {200 * KiB, 200 * KiB, true}, // just above the smallest kept size
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.First) + " then " + std::to_string(row.Next));
        OnNewThread([&] {
            void* first = TakeBlock(row.First);
            std::memset(first, 1, row.First);
            GiveBackBlock(first, row.First);
            void* next = TakeBlock(row.Next);
            std::memset(next, 2, row.Next);
            EXPECT_EQ(next == first, row.Reused);
            GiveBackBlock(next, row.Next);
        });
    }
}

TEST(BlockCache, KeepsBoundedCountsAndBytes) {
    struct Row {
        const char* Name;
        std::vector<size_t> GivenBack; // taken together, then given back in this order
        size_t Count, Bytes;           // kept afterwards
    } const rows[] = {
        {"a few", {MiB, 2 * MiB}, 2, 3 * MiB},
        {"small ones are not kept", {KiB, 127 * KiB}, 0, 0},
        {"at most MaxKeptBlocks", std::vector<size_t>(MaxKeptBlocks + 3, 256 * KiB), MaxKeptBlocks,
         MaxKeptBlocks * 256 * KiB},
        {"the oldest go to stay within MaxKeptBytes", {100 * MiB, 20 * MiB, 60 * MiB}, 2, 80 * MiB},
        {"one larger than MaxKeptBytes is not kept", {MaxKeptBytes + 1, MiB}, 1, MiB},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        OnNewThread([&] {
            std::vector<void*> blocks;
            for (size_t bytes : row.GivenBack)
                blocks.push_back(TakeBlock(bytes));
            for (size_t i = 0; i < blocks.size(); ++i)
                GiveBackBlock(blocks[i], row.GivenBack[i]);
            EXPECT_EQ(KeptBlockCount(), row.Count);
            EXPECT_EQ(KeptBlockBytes(), row.Bytes);
        });
    }
}

TEST(BlockCache, LetsIdleBlocksGo) {
    OnNewThread([] {
        GiveBackBlock(TakeBlock(MiB), MiB);
        for (uint64_t i = 0; i + 1 < IdleTakes; ++i)
            GiveBackBlock(TakeBlock(64), 64);
        EXPECT_EQ(KeptBlockCount(), 1u) << "not idle long enough yet";
        for (int i = 0; i < 64; ++i)
            GiveBackBlock(TakeBlock(64), 64);
        EXPECT_EQ(KeptBlockCount(), 0u);
    });
}

TEST(BlockCache, ABlockGivenBackOnAnotherThreadStaysWithThatThread) {
    OnNewThread([] {
        void* block = TakeBlock(MiB);
        OnNewThread([&] {
            GiveBackBlock(block, MiB);
            EXPECT_EQ(KeptBlockCount(), 1u);
            EXPECT_EQ(TakeBlock(MiB), block);
            GiveBackBlock(block, MiB); // kept, and let go when this thread ends
        });
        EXPECT_EQ(KeptBlockCount(), 0u);
    });
}

} // namespace
