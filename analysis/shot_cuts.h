// The cuts between shots, found from consecutive frames, and the presence
// ranges split at them into stretches. A cut changes the coarse picture at
// once, where motion and fades change it a little from frame to frame, so a
// frame is a cut when the mean change of its coarse cells jumps well above
// that of the frames before it. Shots shorter than about a second are not
// worth settings of their own (rapid cutting, a flash): the cuts around them
// are dropped, as are the weakest when a range would hold too many stretches.
#pragma once

#include "analysis/logo_analysis.h"

#include <cstdint>
#include <vector>

namespace pendra::analysis {

struct Cut {
    int64_t frame = 0;   // the first frame of the new shot
    double strength = 0; // the jump in mean cell change, in levels
};

class CutFinder {
  public:
    explicit CutFinder(int64_t firstFrame = 0) : frame_(firstFrame) {}
    // The next frame (any part of the picture, the same each time), from firstFrame on.
    void add(const Picture &frame);
    const std::vector<Cut> &cuts() const { return cuts_; }

  private:
    std::vector<float> previous_;
    std::vector<double> recent_; // the last few frames' mean cell changes
    int64_t frame_ = 0;
    std::vector<Cut> cuts_;
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
