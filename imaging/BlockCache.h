// Memory for a render's large buffers (pixel stores, recordings, encoded images), kept by
// each thread for its next render. Memory a process takes afresh is slow to touch the first
// time: the system maps each page in on its first write (on a virtual machine at several
// microseconds a page), so a 30 MB image would spend most of its time there. A block that a
// render gives back stays with its thread, and the next render that needs about as much
// gets it back already mapped.
//
// Blocks below MinKeptBlockBytes come from the heap as usual. A thread keeps at most
// MaxKeptBlocks blocks and MaxKeptBytes in all; a kept block is handed back to the system
// once its thread has taken IdleTakes allocations of any size through the cache without
// reusing it, and all of a thread's blocks go when the thread ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>

namespace quillax {

inline constexpr size_t MinKeptBlockBytes = size_t(128) << 10;
inline constexpr size_t MaxKeptBlocks = 16;
inline constexpr size_t MaxKeptBytes = size_t(128) << 20;
inline constexpr uint64_t IdleTakes = 512;

// A block of at least bytes, raising std::bad_alloc; a kept block of about that size where
// the thread has one.
void* TakeBlock(size_t bytes);
// Gives back a block taken with TakeBlock(bytes), on any thread.
void GiveBackBlock(void* block, size_t bytes) noexcept;
// The thread's kept blocks and their bytes.
size_t KeptBlockCount();
size_t KeptBlockBytes();

// A standard allocator over the cache.
template <class T>
struct TBlockAllocator {
    using value_type = T;
    TBlockAllocator() = default;
    template <class U>
    TBlockAllocator(const TBlockAllocator<U>&) noexcept {}
    T* allocate(size_t n) {
        if (n > std::numeric_limits<size_t>::max() / sizeof(T)) throw std::bad_array_new_length();
        return static_cast<T*>(TakeBlock(n * sizeof(T)));
    }
    void deallocate(T* p, size_t n) noexcept { GiveBackBlock(p, n * sizeof(T)); }
    template <class U>
    friend bool operator==(const TBlockAllocator&, const TBlockAllocator<U>&) noexcept {
        return true;
    }
};

} // namespace quillax
