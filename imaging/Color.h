// Colours as the raster surface takes them: 0x00BBGGRR for an explicit colour, or a
// system colour named by its low byte when the top bit is set.
#pragma once

#include <cstdint>

namespace quillax {

using TColor = int32_t;

inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clRed = 0x0000FF;
inline constexpr TColor clBlue = 0xFF0000;
// Window text, the default font colour; black in the standard scheme.
inline constexpr TColor clWindowText = static_cast<TColor>(0xFF000008u);

inline constexpr uint8_t RedOf(uint32_t rgb) {
    return rgb & 0xFF;
}
inline constexpr uint8_t GreenOf(uint32_t rgb) {
    return (rgb >> 8) & 0xFF;
}
inline constexpr uint8_t BlueOf(uint32_t rgb) {
    return (rgb >> 16) & 0xFF;
}

} // namespace quillax
