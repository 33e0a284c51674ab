// What choosing settings stretch by stretch needs from the video, in one
// more pass over the frames where a logo is present: the cuts between shots
// (from the middle of the picture, which a cut changes and a logo does not)
// and each logo's rectangle, with a little room, in frames spread over the
// pass, thinned as it goes so that memory stays bounded however long the video.
#pragma once

#include "analysis/logo_analysis.h"
#include "analysis/shot_cuts.h"

#include <functional>
#include <utility>
#include <vector>

namespace pendra::cli {

struct AreaSamples {
    analysis::Rect area; // the logo's rectangle with room around it, in the picture
    std::vector<std::pair<int64_t, analysis::Picture>> frames; // by frame number, ascending
};

struct StretchSamples {
    std::vector<analysis::Cut> cuts;
    std::vector<AreaSamples> logos; // in the order of the rectangles asked for
};

// Reads frames `first` to `last` of `source` (from the start: it rewinds).
// `progress` gets how far the pass is, 0 to 1.
StretchSamples gatherStretchSamples(analysis::FrameSource &source,
                                    const std::vector<analysis::Rect> &rects, int64_t first,
                                    int64_t last, const std::function<void(double)> &progress);

// The logo's rectangle with the room kept around it, inside the picture.
analysis::Rect withRoom(const analysis::Rect &r, int width, int height);
// The middle of the picture, where cuts are looked for: it changes at a cut,
// holds no corner logo, and costs a quarter of the whole to convert.
analysis::Rect middleOf(int width, int height);
// Samples kept per rectangle at most, for these rectangles together.
size_t sampleCap(const std::vector<AreaSamples> &logos);
// The frames whose rectangles gatherStretchSamples() keeps over first..last,
// at most `cap` of them.
std::vector<int64_t> thinnedFrames(int64_t first, int64_t last, size_t cap);

// Up to `count` frames of `samples` inside first..last, spread evenly; and
// then, for each shot there (its first frames in `shotStarts`) that none of
// them fell in, the sample nearest its middle: a short shot joined to a long
// one is judged too.
std::vector<const analysis::Picture *> framesWithin(const AreaSamples &samples, int64_t first,
                                                    int64_t last, size_t count,
                                                    const std::vector<int64_t> &shotStarts = {});

} // namespace pendra::cli
