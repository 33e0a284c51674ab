// The logos laid over the corpus's clips, as a colour plane and an opacity
// plane, so that the blend (and the true captures) can be made exactly.
#pragma once

#include "bench/corpus/corpus_case.h"

#include <cstdint>
#include <filesystem>
#include <vector>

namespace pendra::corpus {

struct LogoArt {
    int width = 0, height = 0;
    std::vector<double> alpha;    // 0..1, the case's opacity included
    std::vector<uint32_t> colour; // 0x00RRGGBB where alpha > 0
    double alphaAt(int x, int line) const { return alpha[size_t(line) * width + x]; }
    uint32_t colourAt(int x, int line) const { return colour[size_t(line) * width + x]; }
};

// The case's logo, cropped to where it has any opacity; `work` receives the
// rendered letters.
LogoArt makeLogo(const Case &c, const std::filesystem::path &work);

// (1 - a) under + a colour, per channel, rounded.
uint32_t blendPixel(uint32_t under, uint32_t colour, double a);

} // namespace pendra::corpus
