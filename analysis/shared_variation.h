// The variation over time that neighbouring pixels share. Coding noise and
// grain vary each pixel on its own, so they add to a pixel's own variance
// but hardly to its covariance with the pixel beside it, while the moving
// background and a logo's dimming of it are common to both. A covariance
// therefore measures the dimmed background's variation without the noise
// floor that would otherwise read as less dimming.
#pragma once

#include "analysis/picture.h"

#include <cstdint>
#include <vector>

namespace pendra::analysis {

// Per pixel of `frames` (each `width` x `height`), the covariance over the
// frames with its right and lower neighbours where `kind` is the same and not
// zero, averaged over those pairs and the channels; NaN where no such pair is.
std::vector<double> sharedVariance(const std::vector<const Picture *> &frames,
                                   const std::vector<uint8_t> &kind, int width, int height);

} // namespace pendra::analysis
