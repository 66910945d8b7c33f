// A growable buffer of bytes over the block cache. Growing it leaves the new bytes as they
// come (whoever sizes it writes each one, so no time goes into clearing what is painted or
// copied at once), and moving to a larger block copies only the bytes in use.
#pragma once

#include "imaging/BlockCache.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace quillax {

class TByteBuffer {
public:
    using value_type = uint8_t;
    using iterator = uint8_t*;
    using const_iterator = const uint8_t*;

    TByteBuffer() = default;
    // count bytes of value.
    TByteBuffer(size_t count, uint8_t value) {
        resize(count);
        if (count) std::memset(data_, value, count);
    }
    TByteBuffer(const TByteBuffer& other) { append(other.data_, other.size_); }
    TByteBuffer(TByteBuffer&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)),
          capacity_(std::exchange(other.capacity_, 0)) {}
    TByteBuffer& operator=(TByteBuffer other) noexcept {
        std::swap(data_, other.data_);
        std::swap(size_, other.size_);
        std::swap(capacity_, other.capacity_);
        return *this;
    }
    ~TByteBuffer() { GiveBackBlock(data_, capacity_); }

    uint8_t* data() { return data_; }
    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    uint8_t* begin() { return data_; }
    uint8_t* end() { return data_ + size_; }
    const uint8_t* begin() const { return data_; }
    const uint8_t* end() const { return data_ + size_; }
    uint8_t& operator[](size_t i) { return data_[i]; }
    const uint8_t& operator[](size_t i) const { return data_[i]; }

    // New bytes are left as they come.
    void resize(size_t count) {
        if (count > capacity_) Grow(count);
        size_ = count;
    }
    // New bytes are set to value.
    void resize(size_t count, uint8_t value) {
        const size_t old = size_;
        resize(count);
        if (count > old) std::memset(data_ + old, value, count - old);
    }
    void append(const uint8_t* bytes, size_t count) {
        if (count == 0) return;
        const size_t old = size_;
        resize(old + count);
        std::memcpy(data_ + old, bytes, count);
    }
    void clear() { size_ = 0; }

    friend bool operator==(const TByteBuffer& a, const TByteBuffer& b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end());
    }
    friend bool operator==(const TByteBuffer& a, const std::vector<uint8_t>& b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end());
    }

private:
    // At least count bytes, and at least half as much again as now when appending.
    void Grow(size_t count) {
        const size_t capacity = std::max(count, capacity_ + capacity_ / 2);
        auto* grown = static_cast<uint8_t*>(TakeBlock(capacity));
        if (size_) std::memcpy(grown, data_, size_);
        GiveBackBlock(data_, capacity_);
        data_ = grown;
        capacity_ = capacity;
    }

    uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
};

} // namespace quillax
