// BMP by hand, PNG through libpng's simplified reader, JPEG through libjpeg.
#include "tests/support/ImageFiles.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <jpeglib.h>
#include <png.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace quillax::test {

uint32_t TRgbImage::Pixel(int x, int y) const {
    const uint8_t* p = &Rgb[(static_cast<size_t>(y) * Width + x) * 3];
    return p[0] | (p[1] << 8) | (p[2] << 16);
}

uint8_t TRgbImage::Luminance(int x, int y) const {
    const uint8_t* p = &Rgb[(static_cast<size_t>(y) * Width + x) * 3];
    return static_cast<uint8_t>((299 * p[0] + 587 * p[1] + 114 * p[2]) / 1000);
}

TRgbImage TRgbImage::Padded(int border, uint8_t level) const {
    TRgbImage out{Width + 2 * border, Height + 2 * border, {}};
    out.Rgb.assign(static_cast<size_t>(out.Width) * out.Height * 3, level);
    for (int y = 0; y < Height; ++y)
        std::copy_n(&Rgb[static_cast<size_t>(y) * Width * 3], Width * 3,
                    &out.Rgb[(static_cast<size_t>(y + border) * out.Width + border) * 3]);
    return out;
}

std::vector<uint8_t> TRgbImage::Gray() const {
    std::vector<uint8_t> gray(static_cast<size_t>(Width) * Height);
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x)
            gray[static_cast<size_t>(y) * Width + x] = Luminance(x, y);
    return gray;
}

namespace {

uint32_t LittleEndian(std::span<const uint8_t> bytes, size_t offset, size_t size) {
    if (offset + size > bytes.size()) throw std::runtime_error("BMP: truncated");
    uint32_t value = 0;
    for (size_t i = 0; i < size; ++i)
        value |= static_cast<uint32_t>(bytes[offset + i]) << (8 * i);
    return value;
}

} // namespace

// 24-bit uncompressed files only, which is all the surface writes; an empty stream is the
// image of an empty surface.
TRgbImage DecodeBmp(std::span<const uint8_t> bytes) {
    if (bytes.empty()) return {};
    if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M')
        throw std::runtime_error("BMP: no file header");
    const uint32_t dataOffset = LittleEndian(bytes, 10, 4);
    const int width = static_cast<int32_t>(LittleEndian(bytes, 18, 4));
    const int rawHeight = static_cast<int32_t>(LittleEndian(bytes, 22, 4));
    if (LittleEndian(bytes, 28, 2) != 24 || LittleEndian(bytes, 30, 4) != 0)
        throw std::runtime_error("BMP: not 24-bit BI_RGB");
    const bool bottomUp = rawHeight > 0;
    const int height = bottomUp ? rawHeight : -rawHeight;
    const size_t stride = (static_cast<size_t>(width) * 3 + 3) / 4 * 4;
    if (width < 0 || dataOffset + stride * height > bytes.size())
        throw std::runtime_error("BMP: truncated pixel data");
    TRgbImage image{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 3)};
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = &bytes[dataOffset + stride * (bottomUp ? height - 1 - y : y)];
        for (int x = 0; x < width; ++x) {
            uint8_t* out = &image.Rgb[(static_cast<size_t>(y) * width + x) * 3];
            out[0] = row[x * 3 + 2];
            out[1] = row[x * 3 + 1];
            out[2] = row[x * 3 + 0];
        }
    }
    return image;
}

TRgbImage DecodePng(std::span<const uint8_t> bytes) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&png, bytes.data(), bytes.size()))
        throw std::runtime_error(std::string("PNG: ") + png.message);
    png.format = PNG_FORMAT_RGB;
    TRgbImage image{static_cast<int>(png.width), static_cast<int>(png.height), {}};
    image.Rgb.resize(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, image.Rgb.data(), 0, nullptr)) {
        png_image_free(&png);
        throw std::runtime_error(std::string("PNG: ") + png.message);
    }
    return image;
}

namespace {

struct JpegErrorManager {
    jpeg_error_mgr Standard;
    std::jmp_buf Jump;
};

} // namespace

TRgbImage DecodeJpeg(std::span<const uint8_t> bytes) {
    jpeg_decompress_struct info{};
    JpegErrorManager errors{};
    info.err = jpeg_std_error(&errors.Standard);
    errors.Standard.error_exit = [](j_common_ptr cinfo) {
        std::longjmp(reinterpret_cast<JpegErrorManager*>(cinfo->err)->Jump, 1);
    };
    TRgbImage image;
    if (setjmp(errors.Jump)) {
        jpeg_destroy_decompress(&info);
        throw std::runtime_error("JPEG: cannot decode");
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    image.Width = static_cast<int>(info.output_width);
    image.Height = static_cast<int>(info.output_height);
    image.Rgb.resize(static_cast<size_t>(image.Width) * image.Height * 3);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = &image.Rgb[static_cast<size_t>(info.output_scanline) * image.Width * 3];
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return image;
}

TDecoder DecoderFor(const std::string& format) {
    if (format == "PNG") return DecodePng;
    if (format == "JPEG" || format == "JPG") return DecodeJpeg;
    return DecodeBmp;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw std::runtime_error("cannot open " + path);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

namespace {

// A folder of its own under /tmp for one run of an outside tool, removed with what is in it.
class TScratchFolder {
public:
    TScratchFolder() {
        if (!mkdtemp(path_)) throw std::runtime_error("cannot make a scratch folder");
    }
    ~TScratchFolder() {
        for (const std::string& file : files_)
            unlink(file.c_str());
        rmdir(path_);
    }
    TScratchFolder(const TScratchFolder&) = delete;
    TScratchFolder& operator=(const TScratchFolder&) = delete;
    std::string File(const std::string& name) {
        return files_.emplace_back(std::string(path_) + "/" + name);
    }

private:
    char path_[32] = "/tmp/quillax-tool-XXXXXX";
    std::vector<std::string> files_;
};

// Runs a program found on the PATH with its standard output into a file, and its standard
// error dropped when asked; its exit status, or -1 when it did not run or did not exit.
int RunTool(std::vector<std::string> args, const std::string& outputPath, bool dropErrors) {
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    if (dropErrors) posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    int status = -1;
    const bool ran = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0 &&
                     waitpid(pid, &status, 0) == pid && WIFEXITED(status);
    posix_spawn_file_actions_destroy(&actions);
    return ran ? WEXITSTATUS(status) : -1;
}

} // namespace

TRgbImage RasteriseSvg(std::span<const uint8_t> svg, int dotsPerInch) {
    TScratchFolder folder;
    const std::string in = folder.File("in.svg"), out = folder.File("out.png");
    std::ofstream(in, std::ios::binary)
        .write(reinterpret_cast<const char*>(svg.data()), std::streamsize(svg.size()));
    const std::string dpi = std::to_string(dotsPerInch);
    std::vector<std::string> args = {"rsvg-convert", "-o", out};
    if (dotsPerInch > 0) args.insert(args.end(), {"--dpi-x", dpi, "--dpi-y", dpi});
    args.push_back(in);
    if (RunTool(args, folder.File("log"), false) != 0)
        throw std::runtime_error("rsvg-convert failed (is librsvg2-bin installed?)");
    return DecodePng(ReadFileBytes(out));
}

std::string ReadWithZbar(const TRgbImage& image) {
    TScratchFolder folder;
    const std::string in = folder.File("in.ppm"), out = folder.File("out.txt");
    std::ofstream ppm(in, std::ios::binary);
    ppm << "P6\n" << image.Width << " " << image.Height << "\n255\n";
    ppm.write(reinterpret_cast<const char*>(image.Rgb.data()), std::streamsize(image.Rgb.size()));
    ppm.close();
    const int status = RunTool({"zbarimg", "-q", "-Sean2.enable=1", "-Sean5.enable=1",
                                "-Supca.enable=1", "-Supce.enable=1", in},
                               out, true); // zbar's own chatter
    if (status == 4) return "";            // nothing found
    if (status != 0) throw std::runtime_error("zbarimg failed (is zbar-tools installed?)");
    std::ifstream found(out);
    std::vector<std::string> lines;
    for (std::string line; std::getline(found, line);)
        lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    std::string sorted;
    for (const std::string& line : lines)
        sorted += (sorted.empty() ? "" : " ") + line;
    return sorted;
}

} // namespace quillax::test
