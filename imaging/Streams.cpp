// The byte sinks the writers fill: memory for the HTTP response (files: FileStream.cpp).
#include "imaging/Graphics.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace quillax {

void TStream::WriteBuffer(const void* data, size_t count) {
    if (count != 0 && Write(data, count) != count) throw EWriteError("Stream write error");
}

size_t TMemoryStream::Write(const void* data, size_t count) {
    if (count == 0) return 0;
    const auto* bytes = static_cast<const uint8_t*>(data);
    // Over what is there, then appended: the stream grows without clearing what it adds.
    if (position_ > bytes_.size()) bytes_.resize(position_, 0);
    const size_t over = std::min(count, bytes_.size() - position_);
    if (over != 0) std::memcpy(bytes_.data() + position_, bytes, over);
    bytes_.append(bytes + over, count - over);
    position_ += count;
    return count;
}

size_t TMemoryStream::Read(void* data, size_t count) {
    if (position_ >= bytes_.size()) return 0;
    count = std::min(count, bytes_.size() - position_);
    std::memcpy(data, bytes_.data() + position_, count);
    position_ += count;
    return count;
}

void TMemoryStream::Clear() {
    bytes_.clear();
    position_ = 0;
}

} // namespace quillax
