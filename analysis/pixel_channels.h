// Channel access for 0x00RRGGBB pixels, shared by every pass: channel 0 is
// red, 1 green, 2 blue.
#pragma once

#include <cstdint>

namespace pendra::analysis {

inline int channel(uint32_t pixel, int c) {
    return static_cast<int>((pixel >> (16 - 8 * c)) & 255u);
}

inline uint32_t packRgb(int red, int green, int blue) {
    return (static_cast<uint32_t>(red) << 16) | (static_cast<uint32_t>(green) << 8) |
           static_cast<uint32_t>(blue);
}

} // namespace pendra::analysis
