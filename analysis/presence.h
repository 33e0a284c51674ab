// Whether the logo is there, frame by frame. The strength of a frame is how
// much of the logo's own edge pattern it shows: the differences between
// neighbouring pixels of the frame, less the background's plane, projected on
// those the fitted logo would add. 1 where the logo is fully present, 0 where
// it is absent (un-blending would leave its negative ghost there), in between
// while it fades. Strengths are smoothed over time so that a dark or busy
// moment does not flip the verdict, and turned into ranges with fade lengths.
#pragma once

#include "analysis/logo_analysis.h"
#include "analysis/opacity_fit.h"
#include "analysis/ring_background.h"

#include <vector>

namespace pendra::analysis {

// The logo's strength in one frame's rectangle; NaN when the background there
// hides the logo's edges (the logo's colour on a background of the same colour).
double logoStrength(const Picture &area, const Plane &plane, const RingBackground &ring,
                    const std::vector<PixelEstimate> &logo);

// The strength of a frame that shows the whole logo, from every frame's:
// the median of those above half of the strong ones (the 90th percentile).
// Dividing by it undoes a fit or pattern that frames without the logo
// weakened.
double typicalStrength(const std::vector<float> &strengths);

// Ranges of frames where the logo is present, from the strengths of frames
// firstFrame, firstFrame + 1, ... A range's fadeIn (fadeOut) counts the frames
// at its start (end) where the logo is only partly there.
std::vector<PresenceRange> presenceRanges(const std::vector<float> &strengths, int64_t firstFrame);

} // namespace pendra::analysis
