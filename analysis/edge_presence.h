// Whether a mark repaired without its opacity is there, frame by frame. With
// no fitted blend to project on, a frame's gradients are projected on the
// mark's own: the mean of the differences that persisted at its edges over
// the sampled frames. A frame showing the mark gives about that mean; one
// without it gives the scene's gradients, which point anywhere and cancel.
// The strengths then pass through the same ranges rule as a fitted logo's,
// so a repair stops where the logo leaves for a break or fades out, instead
// of rubbing out whatever the picture shows there meanwhile.
#pragma once

#include "analysis/logo_analysis.h"

#include <cstdint>
#include <vector>

namespace pendra::analysis {

// The mark's mean central differences per edge pixel and channel; no pixel
// when nothing persisted.
struct EdgePattern {
    int width = 0;
    std::vector<int> at;       // edge pixels, y * width + x, inside the border
    std::vector<float> gx, gy; // per edge pixel and channel (3 each)
    double energy = 0;         // the sum of their squares
    bool empty() const { return energy <= 0; }
};

// The share of the pattern a frame's rectangle shows: about 1 where the mark
// is fully there, about 0 where it is not.
float patternStrength(const Picture &area, const EdgePattern &pattern);

// Presence ranges from every frame's pattern strength, from `firstFrame` on,
// scaled so that a frame showing the whole mark is 1.
std::vector<PresenceRange> patternPresence(std::vector<float> strengths, int64_t firstFrame);

} // namespace pendra::analysis
