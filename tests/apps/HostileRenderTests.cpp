// Hostile properties through the built command: each render exits with the status its step
// code gives, writes a whole image of the expected size (or the error image) and stays under
// the memory bound. How long each takes is the benchmark's business; the processor-time
// limit here only turns a hang into a failure.
#include "CommandFixture.h"
#include "HostileRenders.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>

namespace quillax::hostile {
namespace {

namespace fs = std::filesystem;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true; // shadow memory counts as resident
#else
constexpr bool kSanitized = false;
#endif
constexpr int64_t kMemoryBoundKiB = 300 * 1024;
constexpr int kCpuSecondsLimit = kSanitized ? 60 : 10;

uint32_t Little32(const std::string& b, size_t at) {
    return uint8_t(b[at]) | uint8_t(b[at + 1]) << 8 | uint8_t(b[at + 2]) << 16 |
           uint32_t(uint8_t(b[at + 3])) << 24;
}
uint32_t Big32(const std::string& b, size_t at) {
    return uint32_t(uint8_t(b[at])) << 24 | uint8_t(b[at + 1]) << 16 | uint8_t(b[at + 2]) << 8 |
           uint8_t(b[at + 3]);
}
uint32_t Big16(const std::string& b, size_t at) {
    return uint8_t(b[at]) << 8 | uint8_t(b[at + 1]);
}

struct TImageSize {
    std::string Format; // empty when the bytes are no whole image
    int64_t Width = 0, Height = 0;
};

// The format and size of a whole BMP (24 bits, every row there), PNG (signature, header,
// end chunk) or JPEG (frame header between start and end markers).
TImageSize SizeOf(const std::string& b) {
    if (b.size() >= 54 && b.compare(0, 2, "BM") == 0) {
        const int64_t w = int32_t(Little32(b, 18)), h = int32_t(Little32(b, 22));
        const int64_t stride = (3 * w + 3) / 4 * 4;
        if (Little32(b, 2) == b.size() && uint16_t(Little32(b, 28)) == 24 &&
            int64_t(b.size()) == Little32(b, 10) + stride * (h < 0 ? -h : h))
            return {"BMP", w, h < 0 ? -h : h};
    } else if (b.size() >= 45 && b.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0 &&
               b.compare(12, 4, "IHDR") == 0 && b.compare(b.size() - 8, 4, "IEND") == 0) {
        return {"PNG", Big32(b, 16), Big32(b, 20)};
    } else if (b.size() >= 4 && b.compare(0, 2, "\xFF\xD8") == 0 &&
               b.compare(b.size() - 2, 2, "\xFF\xD9") == 0) {
        for (size_t at = 2; at + 9 < b.size(); at += 2 + Big16(b, at + 2)) {
            if (uint8_t(b[at]) != 0xFF) break;
            const uint8_t marker = uint8_t(b[at + 1]);
            if (marker == 0xC0 || marker == 0xC1 || marker == 0xC2)
                return {"JPEG", Big16(b, at + 7), Big16(b, at + 5)};
        }
    }
    return {};
}

std::string FormatOf(const THostileCase& c) {
    for (const std::string& p : c.Properties)
        if (p.rfind("ImageTypeStr=", 0) == 0) return p.substr(13);
    return "BMP";
}

} // namespace

// Names the case in failure messages instead of dumping its bytes.
void PrintTo(const THostileCase& c, std::ostream* out) {
    *out << c.Name;
}

namespace {

class HostileRender : public ::testing::TestWithParam<THostileCase> {};

TEST_P(HostileRender, AnswersWithAWholeImageWithinTheMemoryBound) {
    const THostileCase& c = GetParam();
    const fs::path folder =
        fs::temp_directory_path() / ("quillax-hostile-" + std::to_string(getpid()) + "-" + c.Name);
    fs::create_directories(folder);
    const fs::path output = folder / "image";
    const TOutcome outcome =
        RunRender(clitest::Command().string(), c, output.string(), kCpuSecondsLimit);
    const TImageSize size = SizeOf(clitest::ReadFile(output));
    fs::remove_all(folder);

    const bool error = c.Width == 0;
    if (error) {
        // Measuring or drawing failed: step code 2 or 3.
        EXPECT_TRUE(outcome.Status == 12 || outcome.Status == 13) << "status " << outcome.Status;
    } else {
        EXPECT_EQ(outcome.Status, 0);
    }
    EXPECT_EQ(size.Format, FormatOf(c));
    EXPECT_EQ(size.Width, error ? kErrorWidth : c.Width);
    EXPECT_EQ(size.Height, error ? kErrorHeight : c.Height);
    if (!kSanitized) {
        EXPECT_LT(outcome.PeakKiB, kMemoryBoundKiB);
    }
}

std::string CaseName(const ::testing::TestParamInfo<THostileCase>& info) {
    std::string name = info.param.Name;
    for (char& ch : name)
        if (ch == '-') ch = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Cases, HostileRender, ::testing::ValuesIn(HostileCases()), CaseName);

} // namespace
} // namespace quillax::hostile
