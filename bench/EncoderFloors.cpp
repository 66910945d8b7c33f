// The bare encoders over zlib and libjpeg.
#include "EncoderFloors.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

namespace quillax::bench {

namespace {

void PutLittle16(std::vector<uint8_t>& out, uint32_t v) {
    out.insert(out.end(), {uint8_t(v), uint8_t(v >> 8)});
}
void PutLittle32(std::vector<uint8_t>& out, uint32_t v) {
    out.insert(out.end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
}
void PutBig32(std::vector<uint8_t>& out, uint32_t v) {
    out.insert(out.end(), {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
}

// One PNG chunk: length, type, data, CRC over type and data.
void PutChunk(std::vector<uint8_t>& out, const char* type, const uint8_t* data, size_t size) {
    PutBig32(out, uint32_t(size));
    const size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    if (size) out.insert(out.end(), data, data + size);
    PutBig32(out, uint32_t(crc32(0, out.data() + typeAt, uInt(4 + size))));
}

} // namespace

TBmpFloor::TBmpFloor(const TPixels& p) : pixels_(p), rows_(size_t(p.Height)) {
    const size_t rowBytes = 3 * size_t(p.Width);
    for (int32_t y = 0; y < p.Height; ++y) {
        const uint8_t* row = p.Bits + size_t(y) * p.Stride;
        if (y > 0 && std::memcmp(row, row - p.Stride, rowBytes) == 0) continue;
        for (int32_t x = 0; x < p.Width;) {
            const uint8_t* first = row + 3 * size_t(x);
            int32_t end = x + 1;
            while (end < p.Width && std::memcmp(row + 3 * size_t(end), first, 3) == 0)
                ++end;
            rows_[size_t(y)].push_back({x, end - x, first[0], first[1], first[2]});
            x = end;
        }
    }
}

std::vector<uint8_t> TBmpFloor::Encode() const {
    const TPixels& p = pixels_;
    const uint32_t imageSize = uint32_t(p.Stride) * uint32_t(p.Height);
    std::vector<uint8_t> out;
    out.reserve(54 + imageSize);
    out.insert(out.end(), {'B', 'M'});
    PutLittle32(out, 54 + imageSize);
    PutLittle32(out, 0);
    PutLittle32(out, 54);
    PutLittle32(out, 40);
    PutLittle32(out, uint32_t(p.Width));
    PutLittle32(out, uint32_t(p.Height));
    PutLittle16(out, 1);
    PutLittle16(out, 24);
    PutLittle32(out, 0);
    PutLittle32(out, imageSize);
    out.resize(54 + imageSize, 0); // the header's other fields and the rows' padding
    uint8_t* row = out.data() + 54;
    for (const std::vector<TRun>& runs : rows_) {
        if (runs.empty()) {
            std::memcpy(row, row - p.Stride, 3 * size_t(p.Width));
        } else {
            for (const TRun& run : runs)
                for (uint8_t *q = row + 3 * size_t(run.Start), *end = q + 3 * size_t(run.Count);
                     q < end; q += 3)
                    q[0] = run.Blue, q[1] = run.Green, q[2] = run.Red;
        }
        row += p.Stride;
    }
    return out;
}

TPngFloor::TPngFloor() {
    if (deflateInit2(&stream_, 7, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::bad_alloc();
}

TPngFloor::~TPngFloor() {
    deflateEnd(&stream_);
}

std::vector<uint8_t> TPngFloor::Encode(const TPixels& p) {
    deflateReset(&stream_);
    const size_t rowBytes = 3 * size_t(p.Width);
    row_.resize(rowBytes + 1);
    deflated_.resize(deflateBound(&stream_, uLong(p.Height * (rowBytes + 1))));
    stream_.next_out = deflated_.data();
    stream_.avail_out = uInt(deflated_.size());
    for (int32_t y = 0; y < p.Height; ++y) {
        const uint8_t* bgr = p.Bits + size_t(p.Height - 1 - y) * p.Stride;
        uint8_t* out = row_.data();
        out[0] = 1; // Sub
        uint8_t left[3] = {0, 0, 0};
        for (size_t x = 0; x < rowBytes; x += 3) {
            const uint8_t r = bgr[x + 2], g = bgr[x + 1], b = bgr[x];
            out[1 + x] = uint8_t(r - left[0]);
            out[2 + x] = uint8_t(g - left[1]);
            out[3 + x] = uint8_t(b - left[2]);
            left[0] = r, left[1] = g, left[2] = b;
        }
        stream_.next_in = row_.data();
        stream_.avail_in = uInt(row_.size());
        deflate(&stream_, Z_NO_FLUSH);
    }
    deflate(&stream_, Z_FINISH);
    const size_t compressed = deflated_.size() - stream_.avail_out;

    std::vector<uint8_t> out;
    out.reserve(8 + 25 + compressed + 12 * (compressed / 65535 + 1) + 12);
    out.insert(out.end(), {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A});
    const uint8_t header[13] = {uint8_t(p.Width >> 24),
                                uint8_t(p.Width >> 16),
                                uint8_t(p.Width >> 8),
                                uint8_t(p.Width),
                                uint8_t(p.Height >> 24),
                                uint8_t(p.Height >> 16),
                                uint8_t(p.Height >> 8),
                                uint8_t(p.Height),
                                8,
                                2,
                                0,
                                0,
                                0};
    PutChunk(out, "IHDR", header, sizeof header);
    for (size_t at = 0; at < compressed; at += 65535)
        PutChunk(out, "IDAT", deflated_.data() + at, std::min<size_t>(65535, compressed - at));
    PutChunk(out, "IEND", nullptr, 0);
    return out;
}

namespace {

TJpegFloor::TDestination& DestinationOf(j_compress_ptr info) {
    return *reinterpret_cast<TJpegFloor::TDestination*>(info->dest);
}

void StartBytes(j_compress_ptr info) {
    auto& d = DestinationOf(info);
    if (d.Bytes.empty()) d.Bytes.resize(16384);
    d.Manager.next_output_byte = d.Bytes.data();
    d.Manager.free_in_buffer = d.Bytes.size();
}

boolean MoreBytes(j_compress_ptr info) {
    auto& d = DestinationOf(info);
    const size_t used = d.Bytes.size();
    d.Bytes.resize(2 * used);
    d.Manager.next_output_byte = d.Bytes.data() + used;
    d.Manager.free_in_buffer = d.Bytes.size() - used;
    return TRUE;
}

void EndBytes(j_compress_ptr info) {
    auto& d = DestinationOf(info);
    d.Used = d.Bytes.size() - d.Manager.free_in_buffer;
}

} // namespace

TJpegFloor::TJpegFloor() {
    info_.err = jpeg_std_error(&errors_);
    jpeg_create_compress(&info_);
    destination_.Manager.init_destination = StartBytes;
    destination_.Manager.empty_output_buffer = MoreBytes;
    destination_.Manager.term_destination = EndBytes;
    info_.dest = &destination_.Manager;
}

TJpegFloor::~TJpegFloor() {
    jpeg_destroy_compress(&info_);
}

std::vector<uint8_t> TJpegFloor::Encode(const TPixels& p) {
    info_.image_width = JDIMENSION(p.Width);
    info_.image_height = JDIMENSION(p.Height);
    info_.input_components = 3;
    info_.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&info_);
    info_.dct_method = JDCT_FLOAT;
    jpeg_set_quality(&info_, 90, TRUE);
    jpeg_start_compress(&info_, TRUE);
    while (info_.next_scanline < info_.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(
            p.Bits + ptrdiff_t(p.Height - 1 - int32_t(info_.next_scanline)) * p.Stride);
        jpeg_write_scanlines(&info_, &row, 1);
    }
    jpeg_finish_compress(&info_);
    return {destination_.Bytes.begin(), destination_.Bytes.begin() + ptrdiff_t(destination_.Used)};
}

} // namespace quillax::bench
