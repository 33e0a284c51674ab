// The logo's colour lent to the pixels the frames alone describe poorly.
// Where the background under a pixel hardly varies, a faint light logo and a
// strong dark one explain the frames equally well, and the fit's opacity
// there is mostly noise (on dark, still footage whole letters come out
// missing). A logo's colour, though, changes little from a pixel to its
// neighbours: the colour of the clearly seen logo pixels nearby, taken as a
// prior with a small weight, settles those pixels and hardly moves the rest.
#pragma once

#include "analysis/opacity_fit.h"

#include <vector>

namespace pendra::analysis {

// The fit solved alone, then again with a colour prior per pixel: the median
// colour (a·L / a) of the clearly seen logo pixels around it, or of the whole
// logo where too few lie near; no prior where the logo has too few such
// pixels at all.
std::vector<PixelEstimate> solveWithColour(const OpacityFit &fit, int width, int height);

} // namespace pendra::analysis
