// Turns the fitted opacities and colours into the bitmap set the module
// loads: the logo over black, over white, and the interpolate mask.
//
// The module un-blends every pixel whose black capture differs from the
// black key colour in all three channels, and rebuilds from the clean pixels
// around it every pixel the mask marks. So logo pixels keep their black
// capture at least 1 in each channel, the mask marks only pixels that
// un-blending cannot restore well (nearly opaque, or poorly fitted), and the
// rectangle's outermost line stays clean: it holds the key colours (the
// loader reads them from the bottom-left pixel) and gives the repair a clean
// pixel on every side of every marked pixel.
#pragma once

#include "analysis/logo_analysis.h"
#include "analysis/opacity_fit.h"

#include <vector>

namespace pendra::analysis {

// Opacity above which a pixel belongs to the logo.
inline constexpr double logoOpacity = 0.03;
// Opacity from which un-blending would amplify noise more than about sevenfold.
inline constexpr double repairOpacity = 0.85;

struct Captures {
    Picture black;
    Picture white;
    Picture mask;
    OpacityStats stats;
};

Captures buildCaptures(const std::vector<PixelEstimate> &estimates, int width, int height);

} // namespace pendra::analysis
