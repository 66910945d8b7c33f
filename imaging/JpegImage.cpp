// The JPEG writer. libjpeg reports fatal errors through a routine that must not return;
// ours records the message code and jumps back to the compressing function, whose frame
// holds nothing with a destructor, and the writer then throws EJPEG. Exceptions never
// cross libjpeg's C frames: the destination catches its stream's failures and reports
// them to the library as a failed write.
#include "imaging/JpegImage.h"

// clang-format off
#include <cstdio>
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include <csetjmp>
#include <string>

namespace quillax {

namespace {

constexpr size_t DestinationSize = 4096;

struct TErrorBridge {
    jpeg_error_mgr Manager;
    std::jmp_buf Jump;
    int Code = 0;
};

[[noreturn]] void ErrorExit(j_common_ptr info) {
    auto* bridge = reinterpret_cast<TErrorBridge*>(info->err);
    bridge->Code = info->err->msg_code;
    std::longjmp(bridge->Jump, 1);
}

void EmitMessage(j_common_ptr, int) {}
void OutputMessage(j_common_ptr) {}
void FormatMessage(j_common_ptr, char* buffer) {
    buffer[0] = '\0';
}
void ResetErrorManager(j_common_ptr info) {
    info->err->num_warnings = 0;
    info->err->msg_code = 0;
}

// Collects the compressed bytes in 4096-byte pieces into a stream.
struct TDestination {
    jpeg_destination_mgr Manager;
    TStream* Stream = nullptr;
    JOCTET* Buffer = nullptr;
};

bool WritePiece(TDestination& d, size_t count) noexcept {
    try {
        return d.Stream->Write(d.Buffer, count) == count;
    } catch (...) {
        return false;
    }
}

void InitDestination(j_compress_ptr info) {
    auto* d = reinterpret_cast<TDestination*>(info->dest);
    d->Buffer = static_cast<JOCTET*>((*info->mem->alloc_small)(reinterpret_cast<j_common_ptr>(info),
                                                               JPOOL_IMAGE, DestinationSize));
    d->Manager.next_output_byte = d->Buffer;
    d->Manager.free_in_buffer = DestinationSize;
}

boolean EmptyOutputBuffer(j_compress_ptr info) {
    auto* d = reinterpret_cast<TDestination*>(info->dest);
    if (!WritePiece(*d, DestinationSize)) ERREXIT(info, JERR_FILE_WRITE);
    d->Manager.next_output_byte = d->Buffer;
    d->Manager.free_in_buffer = DestinationSize;
    return TRUE;
}

void TermDestination(j_compress_ptr info) {
    auto* d = reinterpret_cast<TDestination*>(info->dest);
    const size_t pending = DestinationSize - d->Manager.free_in_buffer;
    if (pending > 0 && !WritePiece(*d, pending)) ERREXIT(info, JERR_FILE_WRITE);
}

// A compression object with its error bridge and destination. Creating one sets up its
// memory pools afresh; after an image libjpeg leaves the object ready for the next, so each
// thread keeps one and sets every parameter again for each image. After a library error the
// object is destroyed and the next image creates a new one.
struct TCompressor {
    TErrorBridge Bridge;
    TDestination Destination;
    jpeg_compress_struct Info{};
    bool Created = false;

    TCompressor() {
        Info.err = jpeg_std_error(&Bridge.Manager);
        Bridge.Manager.error_exit = ErrorExit;
        Bridge.Manager.emit_message = EmitMessage;
        Bridge.Manager.output_message = OutputMessage;
        Bridge.Manager.format_message = FormatMessage;
        Bridge.Manager.reset_error_mgr = ResetErrorManager;
        Destination.Manager.init_destination = InitDestination;
        Destination.Manager.empty_output_buffer = EmptyOutputBuffer;
        Destination.Manager.term_destination = TermDestination;
    }
    TCompressor(const TCompressor&) = delete;
    TCompressor& operator=(const TCompressor&) = delete;
    ~TCompressor() { Destroy(); }
    void Destroy() {
        if (Created) jpeg_destroy_compress(&Info);
        Created = false;
    }
};

// Compresses bottom-up blue, green, red rows, top row first. Returns 0, or the library's
// message code after a fatal error. Nothing here has a destructor, so the jump back from
// ErrorExit skips none; the caller destroys the compression object after a failure.
int CompressRows(TCompressor& c, const uint8_t* pixels, int32_t stride, int32_t width,
                 int32_t height, int32_t resolution) {
    jpeg_compress_struct& info = c.Info;
    if (setjmp(c.Bridge.Jump)) return c.Bridge.Code;
    if (!c.Created) {
        jpeg_CreateCompress(&info, JPEG_LIB_VERSION, sizeof info);
        c.Created = true;
    }
    info.dest = &c.Destination.Manager;
    info.image_width = JDIMENSION(width);
    info.image_height = JDIMENSION(height);
    info.input_components = 3;
    info.in_color_space = JCS_EXT_BGR; // the store's own pixel order
    jpeg_set_defaults(&info);
    info.dct_method = JDCT_FLOAT;
    jpeg_set_quality(&info, 90, TRUE);
    if (resolution > 0) {
        info.density_unit = 1; // dots per inch
        info.X_density = info.Y_density = UINT16(resolution);
    }
    jpeg_start_compress(&info, TRUE);
    // The store is bottom-up: the row step is negative, so rows go one per call.
    const uint8_t* row = pixels + ptrdiff_t(height - 1) * stride;
    while (info.next_scanline < info.image_height) {
        JSAMPROW rows[1] = {const_cast<JSAMPROW>(row)};
        const JDIMENSION done = jpeg_write_scanlines(&info, rows, 1);
        row -= ptrdiff_t(done) * stride;
    }
    jpeg_finish_compress(&info);
    return 0;
}

} // namespace

TJPEGImage::TJPEGImage() : data_(std::make_shared<TJPEGData>()) {}

void TJPEGImage::Assign(const TBitmap& bitmap) {
    data_ = std::make_shared<TJPEGData>();
    compressed_ = false;
    width_ = bitmap.Width();
    height_ = bitmap.Height();
    pixels_ = bitmap.SharedStore();
    SetResolution(bitmap.Resolution());
}

void TJPEGImage::SetResolution(int32_t dotsPerInch) {
    CheckResolution(dotsPerInch);
    if (dotsPerInch == resolution_) return;
    resolution_ = dotsPerInch;
    compressed_ = false; // the header changes: compressed again when next saved
}

void TJPEGImage::Compress() {
    data_ = std::make_shared<TJPEGData>();
    compressed_ = true;
    if (!pixels_ || pixels_->empty() || width_ <= 0 || height_ <= 0) return;

    // The destination writes only into this image's own memory stream, so no other image
    // starts compressing on this thread while this one is.
    thread_local TCompressor compressor;
    compressor.Destination.Stream = &data_->Data;
    const int32_t stride = int32_t(((24 * int64_t(width_) + 31) / 32) * 4);
    const int code =
        CompressRows(compressor, pixels_->data(), stride, width_, height_, resolution_);
    if (code != 0) compressor.Destroy();
    if (code != 0) {
        data_ = std::make_shared<TJPEGData>();
        compressed_ = false;
        throw EJPEG("JPEG error #" + std::to_string(code));
    }
    data_->Data.SetPosition(0);
}

void TJPEGImage::SaveToStream(TStream& stream) {
    if (!compressed_) Compress();
    const auto& bytes = data_->Data.Bytes();
    if (!bytes.empty()) stream.Write(bytes.data(), bytes.size());
}

void TJPEGImage::SaveToFile(const std::string& fileName) {
    TFileStream file(fileName);
    SaveToStream(file);
}

} // namespace quillax
