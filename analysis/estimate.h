// The estimation at one rectangle: every frame's rectangle read once; frames
// whose ring a plane fits closely feed a per-pixel blend fit, the fit tells
// how strongly the logo shows in each frame, and a second fit over the frames
// that show it fully, without outlying pixels, gives the bitmap set.
#pragma once

#include "analysis/frame_pass.h"

namespace pendra::analysis {

// Why a rectangle's opacity could not be estimated.
enum class Shortfall {
    Short,  // too few frames in the range
    Rough,  // the ring around it is rarely smooth enough to see through
    Still,  // the background under it hardly changes
    NoLogo, // nothing there blends with the background
};

class EstimateFailure : public Refusal {
  public:
    EstimateFailure(const std::string &why, Shortfall shortfall, int64_t read)
        : Refusal(why), kind(shortfall), frames(read) {}
    Shortfall kind;
    int64_t frames; // frames of the range read
};

// Estimates the logo in `rect`; `located` when the rectangle is the
// location's guess rather than the user's. When too few frames have smooth
// surroundings, `wholeVideo` lets the estimate rest on the whole video's
// gradients instead (where the place is surely a logo: the user's, or the
// first-ranked). Throws EstimateFailure.
LogoEstimate estimateAt(FrameSource &source, const Range &range, const Options &options,
                        const Rect &rect, bool located, int64_t &framesRead,
                        bool wholeVideo = true);

} // namespace pendra::analysis
