// The logo's image as it stands out from the video, from many frames at once.
// In any one frame the scene's edges mix with the logo's; over frames of a
// moving picture the scene's differences between neighbouring pixels come
// and go with either sign while the logo's stay put, so their median keeps
// the logo's and loses the scene's (as in Dekel et al., "On the Effectiveness
// of Visible Watermarks", 2017). Integrated, they give the logo's contrast
// against the typical background: a·(L - s̄) per channel, zero where it is clean.
#pragma once

#include "analysis/picture.h"

#include <array>
#include <vector>

namespace pendra::analysis {

// Per pixel of the rectangle (top line first), per channel: what the logo adds
// to the typical background under it, in levels.
using Contrast = std::vector<std::array<double, 3>>;

// From rectangle-sized frames sampled across the video.
Contrast logoContrast(const std::vector<const Picture *> &frames, int width, int height);

} // namespace pendra::analysis
