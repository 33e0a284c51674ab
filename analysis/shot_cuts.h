// The cuts between shots, and the presence ranges split at them into
// stretches. A cut changes the picture's coarse layout (block means per
// channel) at once: by many levels beyond the change of the whole picture's
// level, which a fade or a drift shares with every block; or, that level
// included, by as many and well above the frames before (a smooth picture's
// layout moves little at a cut). The same rule tells the location's sampled
// shots apart and the stretches' every frame. Shots shorter than about a
// second are not worth settings of their own (rapid cutting, a flash): the
// cuts around them are dropped, as are the weakest when a range would hold
// too many stretches.
#pragma once

#include "analysis/logo_analysis.h"

#include <cstdint>
#include <span>
#include <vector>

namespace pendra::analysis {

struct Cut {
    int64_t frame = 0;   // the first frame of the new shot
    double strength = 0; // the layout's mean change, its level included, in levels
};

class CutFinder {
  public:
    explicit CutFinder(int64_t firstFrame = 0) : frame_(firstFrame) {}
    // The next frame (any part of the picture, the same each time), from
    // firstFrame on; true when a new shot starts with it.
    bool add(const Picture &frame);
    // The block sums per channel that add() makes its layout from, for a
    // caller that works them out during another pass and adds them later
    // with addSums() and the picture's size: add() in two steps.
    static std::vector<int32_t> sumsOf(const Picture &frame);
    bool addSums(std::span<const int32_t> sums, int width, int height);
    const std::vector<Cut> &cuts() const { return cuts_; }

  private:
    std::vector<double> previous_; // the last frame's block means
    std::vector<double> recent_;   // the last few frames' layout changes
    int64_t frame_ = 0;
    std::vector<Cut> cuts_;
    std::vector<int> counts_; // each block's sampled pixels, for the size counted
    int countedWidth_ = 0, countedHeight_ = 0;
};

struct StretchLimits {
    int64_t shortestShot = 24; // frames; cuts next to a shorter shot are dropped
    size_t mostPerRange = 32;  // stretches per presence range at most
};

// `range` split at the cuts inside it: the first stretch keeps its fade-in,
// the last its fade-out; every stretch is one shot or more.
std::vector<PresenceRange> splitAtCuts(const PresenceRange &range, const std::vector<Cut> &cuts,
                                       const StretchLimits &limits = {});

} // namespace pendra::analysis
