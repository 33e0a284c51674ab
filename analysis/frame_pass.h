// What every pass over the video shares: the range of frames looked at, and
// a visit of its frames in order that reports progress.
#pragma once

#include "analysis/logo_analysis.h"

#include <algorithm>
#include <cstdint>
#include <string>

namespace pendra::analysis {

// How often progress is reported, in frames.
inline constexpr int64_t progressEvery = 16;

struct Range {
    int64_t first = 0;
    int64_t last = 0;  // inclusive; max() when only the end will tell
    int64_t known = 0; // frames in the range when known, else 0
};

// The range `options` asks for, checked against the video; throws Refusal.
Range frameRange(const FrameSource &source, const Options &options);

std::string rectText(const Rect &r);

// Visits frames first..last in order, calling visit(frame) for each; reports progress.
template <typename Visit>
int64_t eachFrame(FrameSource &source, const Range &range, const Options &options,
                  const std::string &pass, Visit visit) {
    source.rewind();
    int64_t frame = -1, visited = 0;
    while (frame < range.last && source.advance()) {
        ++frame;
        if (frame < range.first)
            continue;
        visit(frame);
        ++visited;
        if (options.progress && visited % progressEvery == 0)
            options.progress(
                pass, range.known > 0 ? std::min(1.0, double(visited) / double(range.known)) : 0.0);
    }
    if (options.progress)
        options.progress(pass, 1.0);
    return visited;
}

} // namespace pendra::analysis
