// A picture or part of one in memory, top line first, pixels 0x00RRGGBB: what
// the analysis reads and estimates, and what the command writes as bitmaps
// and pictures, so the two hand pictures over without conversion.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pendra::analysis {

// A picture or part of one, top line first, pixels 0x00RRGGBB.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;

    Picture() = default;
    Picture(int w, int h, uint32_t fill = 0)
        : width(w), height(h), pixels(static_cast<size_t>(w) * static_cast<size_t>(h), fill) {}
    uint32_t &at(int x, int line) { return pixels[static_cast<size_t>(line) * width + x]; }
    uint32_t at(int x, int line) const { return pixels[static_cast<size_t>(line) * width + x]; }
};

} // namespace pendra::analysis
