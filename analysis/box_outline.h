// A tinted box behind a logo's lettering: its outline shows in the picture's
// mean gradients (over many frames the scene's own edges average out, the
// box's stay), but over a dark or busy ground it is too faint or too seldom
// still to form persistent edges of its own, so the mark found is the
// lettering, or the lettering with the box's top. The box is looked for as
// four straight lines around the mark, each running nearly its whole side,
// close enough to be the same logo; the mark then spans the box.
#pragma once

#include "analysis/marks.h"

#include <cstdint>
#include <vector>

namespace pendra::analysis {

// Per channel and pixel (each channel's plane in turn) the horizontal and
// vertical differences summed over `samples` frames.
struct GradientSums {
    int width = 0;
    int height = 0;
    const std::vector<int32_t> &x;
    const std::vector<int32_t> &y;
    int samples = 0;
};

// Widens `m` to the box whose four sides are lines of the mean gradients
// around it; leaves it as it is when there is no such box.
void spanBox(const GradientSums &sums, Mark &m);

} // namespace pendra::analysis
