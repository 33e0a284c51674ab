// The logo's shape from its contrast (logo_contrast.h): which pixels are the
// logo's, how much of each, and of which of its two parts. A logo often has
// a light part and a dark one (an outline, a drop shadow) or two colours
// (letters on a box), of one opacity or two; each part is measured against
// its own solid contrast.
#pragma once

#include "analysis/logo_contrast.h"

#include <cstdint>
#include <vector>

namespace pendra::analysis {

// A pixel is solid from this share of the solid part's contrast; a logo
// needs at least so many.
inline constexpr double solidShare = 0.5;
inline constexpr int minSolid = 8;
// The level is read off the pixels at least this share of the solid part's
// contrast: where the integrated contrast blurs an edge, its share
// understates the pixel's opacity and the level came out low (0.573 for a
// 0.6 logo at 0.5 and over, 0.581 at 0.9).
inline constexpr double levelShare = 0.9;

// Per pixel its contrast as a share of its part's solid contrast (0 where
// clean, about 1 where solid), and the whole logo's solid contrast in levels.
struct Shape {
    std::vector<double> share;
    std::vector<uint8_t> light; // its part: 1 the lighter one on the whole, 0 the other
    std::vector<double> other;  // its share of the other part, where the parts' colours differ
    double contrast = 0;
    int solid = 0;
};

// The shape of the logo whose contrast over a `width` x `height` rectangle
// is `contrast`.
Shape shapeOf(const Contrast &contrast, int width, int height);

} // namespace pendra::analysis
