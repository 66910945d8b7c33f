// The PNG writer: 8-bit RGB from the 24-bit store, every row Sub-filtered, one zlib stream
// (level 7) cut into IDAT chunks of the maximum size, then IEND.
#include "imaging/PngImage.h"

#include <zlib.h>

#include <cstring>
#include <memory>
#include <new>
#include <span>
#include <vector>

namespace quillax {

namespace {

constexpr uint8_t Signature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};

void PutBig32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

// A compressor with its buffers. Starting a deflate stream maps its state (about 256 KiB)
// afresh and ending one hands it back, which costs more than compressing a barcode; so each
// thread keeps one stream and resets it for the next image, which gives the same bytes as a
// new stream of the same settings.
struct TDeflateState {
    z_stream Stream{};
    int Level = -1;             // what the stream was started with; -1 before it is
    std::vector<uint8_t> Row;   // one row as it is compressed: the filter type, the row
    std::vector<uint8_t> Chunk; // the IDAT chunk being filled
    TDeflateState() = default;
    TDeflateState(const TDeflateState&) = delete;
    TDeflateState& operator=(const TDeflateState&) = delete;
    ~TDeflateState() {
        if (Level >= 0) deflateEnd(&Stream);
    }
};

// Buffers larger than this are not kept for the next image.
constexpr size_t KeptBufferBytes = size_t(1) << 20;

// Lends the thread's kept compressor for one image, or a new one while that is lent.
class TDeflater {
public:
    explicit TDeflater(int level) {
        thread_local TDeflateState kept;
        thread_local bool lent = false;
        if (!lent) {
            state_ = &kept;
            lent_ = &lent;
            lent = true;
        } else {
            own_ = std::make_unique<TDeflateState>();
            state_ = own_.get();
        }
        Start(level);
    }
    ~TDeflater() {
        if (!lent_) return;
        for (auto* buffer : {&state_->Row, &state_->Chunk})
            if (buffer->capacity() > KeptBufferBytes) std::vector<uint8_t>().swap(*buffer);
        *lent_ = false;
    }
    TDeflater(const TDeflater&) = delete;
    TDeflater& operator=(const TDeflater&) = delete;
    z_stream* operator->() { return &state_->Stream; }
    z_stream* get() { return &state_->Stream; }
    std::span<uint8_t> Row(size_t size) {
        state_->Row.resize(size);
        return state_->Row;
    }
    std::span<uint8_t> Chunk(size_t size) {
        state_->Chunk.resize(size);
        return state_->Chunk;
    }

private:
    void Start(int level) {
        z_stream& z = state_->Stream;
        if (state_->Level == level) {
            if (deflateReset(&z) != Z_OK) throw std::bad_alloc();
            return;
        }
        if (state_->Level >= 0) deflateEnd(&z);
        state_->Level = -1;
        z = z_stream{};
        if (deflateInit2(&z, level, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            throw std::bad_alloc();
        state_->Level = level;
    }

    TDeflateState* state_ = nullptr;
    bool* lent_ = nullptr;
    std::unique_ptr<TDeflateState> own_;
};

// Sub for 8-bit RGB: the store's blue, green, red become red, green, blue, each byte less the
// same byte of the pixel to its left (0 left of the first).
void SubFilterRgb(const uint8_t* row, size_t width, uint8_t* to) {
    if (width == 0) return;
    to[0] = row[2];
    to[1] = row[1];
    to[2] = row[0];
    for (size_t i = 3; i < 3 * width; i += 3) {
        to[i] = uint8_t(row[i + 2] - row[i - 1]);
        to[i + 1] = uint8_t(row[i + 1] - row[i - 2]);
        to[i + 2] = uint8_t(row[i] - row[i - 3]);
    }
}

} // namespace

uint32_t PngCrc(std::span<const uint8_t> bytes, uint32_t crc) {
    static const auto table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    for (uint8_t b : bytes)
        crc = table[(crc ^ b) & 0xFF] ^ (crc >> 8);
    return crc;
}

// --- Chunks -----------------------------------------------------------------------------

void TChunk::WriteFrame(TStream& stream, std::span<const uint8_t> data) const {
    const std::string type = Name();
    uint8_t head[8];
    PutBig32(head, uint32_t(data.size()));
    std::memcpy(head + 4, type.data(), 4);
    uint32_t crc = PngCrc(std::span(head + 4, 4));
    crc = PngCrc(data, crc) ^ 0xFFFFFFFFu;
    uint8_t tail[4];
    PutBig32(tail, crc);
    stream.Write(head, sizeof head);
    if (!data.empty()) stream.Write(data.data(), data.size());
    stream.Write(tail, sizeof tail);
}

void TChunk::SaveToStream(TStream& stream) {
    WriteFrame(stream, data_);
}

void TChunkIHDR::SaveToStream(TStream& stream) {
    data_.assign(13, 0);
    PutBig32(&data_[0], Width);
    PutBig32(&data_[4], Height);
    data_[8] = BitDepth;
    data_[9] = ColorType;
    data_[10] = CompressionMethod;
    data_[11] = FilterMethod;
    data_[12] = InterlaceMethod; // the object never interlaces
    TChunk::SaveToStream(stream);
}

void TChunkpHYs::SaveToStream(TStream& stream) {
    data_.assign(9, 0);
    PutBig32(&data_[0], PixelsPerUnitX);
    PutBig32(&data_[4], PixelsPerUnitY);
    data_[8] = Unit;
    TChunk::SaveToStream(stream);
}

void TChunkIDAT::SaveToStream(TStream& stream) {
    const TChunkIHDR* header = owner_.Header();
    if (!header || !header->ImageData || header->ImageData->empty()) return;
    const size_t width = header->Width;
    const size_t bytesPerRow = width * 3;

    TDeflater z(owner_.CompressionLevel());
    const std::span<uint8_t> filtered = z.Row(bytesPerRow + 1);
    // The chunk being filled; never read before deflate has written it.
    const std::span<uint8_t> out = z.Chunk(owner_.MaxIdatSize());
    z->next_out = out.data();
    z->avail_out = uInt(out.size());
    auto flushFull = [&] {
        if (z->avail_out == 0) {
            WriteFrame(stream, out);
            z->next_out = out.data();
            z->avail_out = uInt(out.size());
        }
    };
    // Rows from the top of the image: from the last row of the bottom-up store.
    for (size_t y = 0; y < header->Height; ++y) {
        const uint8_t* row = header->ImageData->data() + (header->Height - 1 - y) * header->Stride;
        filtered[0] = 1; // Sub
        SubFilterRgb(row, width, filtered.data() + 1);
        z->next_in = filtered.data();
        z->avail_in = uInt(filtered.size());
        while (z->avail_in > 0) {
            if (deflate(z.get(), Z_NO_FLUSH) == Z_STREAM_ERROR) throw std::bad_alloc();
            flushFull();
        }
    }
    int result;
    do {
        result = deflate(z.get(), Z_FINISH);
        if (result == Z_STREAM_ERROR) throw std::bad_alloc();
        flushFull();
    } while (result != Z_STREAM_END);
    const size_t pending = out.size() - z->avail_out;
    if (pending > 0) WriteFrame(stream, std::span(out.data(), pending));
}

// --- Image object -----------------------------------------------------------------------

TPNGObject::TPNGObject() = default;

TPNGObject::~TPNGObject() = default;

TChunkIHDR* TPNGObject::Header() const {
    return chunks_.empty() ? nullptr : dynamic_cast<TChunkIHDR*>(chunks_.front().get());
}

void TPNGObject::Assign(const TBitmap& bitmap) {
    chunks_.clear();
    if (bitmap.Empty()) return; // no rows or no columns: an empty output
    auto header = std::make_unique<TChunkIHDR>(*this);
    TChunkIHDR& ihdr = *header;
    chunks_.push_back(std::move(header));
    chunks_.push_back(std::make_unique<TChunkIDAT>(*this));
    chunks_.push_back(std::make_unique<TChunkIEND>(*this));
    ihdr.Width = uint32_t(bitmap.Width());
    ihdr.Height = uint32_t(std::abs(bitmap.Height()));
    ihdr.BitDepth = 8;
    ihdr.ColorType = 2; // truecolour: the surface's 24-bit store is the header's as it is
    ihdr.ImageData = bitmap.SharedStore();
    ihdr.Stride = bitmap.Stride();
    SetResolution(bitmap.Resolution());
}

void TPNGObject::SetResolution(int32_t dotsPerInch) {
    CheckResolution(dotsPerInch);
    resolution_ = dotsPerInch;
    std::erase_if(chunks_, [](const auto& chunk) { return chunk->Name() == "pHYs"; });
    if (chunks_.empty() || dotsPerInch == 0) return;
    auto phys = std::make_unique<TChunkpHYs>(*this);
    phys->PixelsPerUnitX = phys->PixelsPerUnitY = uint32_t(PixelsPerMetre(dotsPerInch));
    chunks_.insert(chunks_.begin() + 1, std::move(phys)); // after the header, before the data
}

void TPNGObject::SaveToStream(TStream& stream) {
    if (chunks_.empty()) return;
    stream.Write(Signature, sizeof Signature);
    for (auto& chunk : chunks_)
        chunk->SaveToStream(stream);
}

void TPNGObject::SaveToFile(const std::string& fileName) {
    TFileStream file(fileName);
    SaveToStream(file);
}

} // namespace quillax
