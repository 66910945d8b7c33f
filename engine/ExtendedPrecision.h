// The x87 precision the engine's geometry needs, for the scope of a render.
#pragma once

#include <cstdint>

namespace quillax {

// The geometry of turned pictures computes in long double, whose results depend on the
// precision-control field of the x87 control word. Linux and MinGW programs start with 64-bit
// significands, but a Windows host process (a script host, a web server) runs with 53, which
// moved points of a turned picture by a unit and changed its bytes. The guard sets 64 bits
// and gives the caller its own word back. Elsewhere than x86 long double needs nothing.
class TExtendedPrecision {
public:
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    TExtendedPrecision() {
        __asm__ volatile("fnstcw %0" : "=m"(saved_));
        const uint16_t extended = saved_ | kPrecisionControl; // both bits: 64-bit significands
        if (extended != saved_) __asm__ volatile("fldcw %0" : : "m"(extended));
    }
    ~TExtendedPrecision() {
        __asm__ volatile("fldcw %0" : : "m"(saved_));
    }
#else
    TExtendedPrecision() = default;
#endif
    TExtendedPrecision(const TExtendedPrecision&) = delete;
    TExtendedPrecision& operator=(const TExtendedPrecision&) = delete;

    static constexpr uint16_t kPrecisionControl = 0x0300;

private:
    [[maybe_unused]] uint16_t saved_ = 0;
};

} // namespace quillax
