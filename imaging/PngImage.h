// The PNG writer: an image object holding an ordered list of chunk objects, each of which
// writes itself in the common frame (length, type, data, CRC-32).
#pragma once

#include "imaging/Graphics.h"

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace quillax {

class TPNGObject;

// CRC-32 as PNG frames use it (reflected 0xEDB88320, all ones in and out).
uint32_t PngCrc(std::span<const uint8_t> bytes, uint32_t crc = 0xFFFFFFFFu);

class TChunk {
public:
    explicit TChunk(TPNGObject& owner) : owner_(owner) {}
    virtual ~TChunk() = default;
    TChunk(const TChunk&) = delete;
    TChunk& operator=(const TChunk&) = delete;
    // The four-letter chunk type.
    virtual std::string Name() const = 0;
    // Writes the chunk's frame around its data.
    virtual void SaveToStream(TStream& stream);
    const std::vector<uint8_t>& Data() const { return data_; }

protected:
    // Writes one frame of this chunk's type around data.
    void WriteFrame(TStream& stream, std::span<const uint8_t> data) const;
    TPNGObject& owner_;
    std::vector<uint8_t> data_;
};

// The header, and the image store it was filled from.
class TChunkIHDR : public TChunk {
public:
    using TChunk::TChunk;
    std::string Name() const override { return "IHDR"; }
    void SaveToStream(TStream& stream) override;

    uint32_t Width = 0;
    uint32_t Height = 0;
    uint8_t BitDepth = 8;
    uint8_t ColorType = 2;
    uint8_t CompressionMethod = 0;
    uint8_t FilterMethod = 0;
    uint8_t InterlaceMethod = 0;
    // Blue, green, red, rows padded to 4 bytes, bottom row first. The surface's own store is
    // held, not copied: the surface copies it before it changes while the header holds it.
    std::shared_ptr<const TPixelStore> ImageData;
    int32_t Stride = 0;
};

// The physical pixel size: pixels per metre on both axes (unit 1, the metre).
class TChunkpHYs : public TChunk {
public:
    using TChunk::TChunk;
    std::string Name() const override { return "pHYs"; }
    void SaveToStream(TStream& stream) override;
    uint32_t PixelsPerUnitX = 0;
    uint32_t PixelsPerUnitY = 0;
    uint8_t Unit = 1;
};

// Writes the image data as one or more IDAT chunks of at most the owner's maximum size.
class TChunkIDAT : public TChunk {
public:
    using TChunk::TChunk;
    std::string Name() const override { return "IDAT"; }
    void SaveToStream(TStream& stream) override;
};

class TChunkIEND : public TChunk {
public:
    using TChunk::TChunk;
    std::string Name() const override { return "IEND"; }
};

class TPNGObject {
public:
    TPNGObject();
    ~TPNGObject();
    TPNGObject(const TPNGObject&) = delete;
    TPNGObject& operator=(const TPNGObject&) = delete;

    // Replaces the whole content with the surface (nothing for a surface without pixels),
    // its resolution included.
    void Assign(const TBitmap& bitmap);
    // Dots per inch recorded in a pHYs chunk after the header; 0 writes none. Outside
    // 0..MaxResolution raises EInvalidGraphic.
    int32_t Resolution() const { return resolution_; }
    void SetResolution(int32_t dotsPerInch);
    // The signature and every chunk in order; nothing for an empty image.
    void SaveToStream(TStream& stream);
    void SaveToFile(const std::string& fileName);

    TChunkIHDR* Header() const;
    int CompressionLevel() const { return 7; }
    uint32_t MaxIdatSize() const { return maxIdatSize_; }
    // Values below 65535 (or beyond a chunk's largest length) store 65535.
    void SetMaxIdatSize(uint32_t size) {
        maxIdatSize_ = size < 65535 || size > 0x7FFFFFFFu ? 65535 : size;
    }

private:
    std::vector<std::unique_ptr<TChunk>> chunks_;
    uint32_t maxIdatSize_ = 65535;
    int32_t resolution_ = 0;
};

} // namespace quillax
