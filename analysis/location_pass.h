// The location pass: frames sampled across the range, whole or only the
// area being looked at, fed to an EdgePersistence; by seeking where the
// source has keyframes enough, else while decoding in order.
#pragma once

#include "analysis/frame_pass.h"
#include "analysis/locate.h"

namespace pendra::analysis {

// Clean ring around a mark, in pixels.
inline constexpr int ringWidth = 4;

// The persistence of edges in `area` over frames sampled across the range, all shots ended.
EdgePersistence sampleEdges(FrameSource &source, const Range &range, const Options &options,
                            const Rect &area);

// Where a logo may be, over whole frames: the candidates, best first, and the
// edges they came from. Throws Refusal (with what was tried) when the samples
// are too few, the picture stands still or nothing stays put.
struct Location {
    EdgePersistence edges;
    std::vector<Candidate> candidates;
};
Location locate(FrameSource &source, const Range &range, const Options &options, int64_t &sampled);

} // namespace pendra::analysis
