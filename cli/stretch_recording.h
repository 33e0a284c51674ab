// The stretch pass's samples gathered early, while the analysis reads the
// video in order anyway: the middle's layout of every frame and, around
// each area the analysis reads, its every frame where there is room, else
// the frames the stretch pass would keep if that area turns out to be a
// logo's over the whole video. When the logos are known, samples
// recorded in full stand in for the stretch pass, which then decodes
// nothing; otherwise the pass runs as before. Either way the samples are the
// same, as the same frames give the same pixels.
#pragma once

#include "analysis/logo_analysis.h"
#include "cli/stretch_samples.h"

#include <optional>
#include <vector>

namespace pendra::cli {

class StretchRecording {
  public:
    // For a video of `frames` frames (0: unknown, and nothing is recorded).
    StretchRecording(int width, int height, int64_t frames);

    // Records what frame `frame` (the source's current one) holds for the
    // stretch pass, after the analysis read `area` of it.
    void watch(analysis::FrameSource &source, int64_t frame, const analysis::Rect &area);

    // What gatherStretchSamples() would give for these rectangles over
    // first..last, when everything it needs was recorded.
    std::optional<StretchSamples> samples(const std::vector<analysis::Rect> &rects, int64_t first,
                                          int64_t last) const;

  private:
    // Each area's frames, and the layouts, are kept in one block each,
    // allocated once: small pictures kept long among the analysis's own
    // would scatter the heap, which then grows by more than they take.
    struct Area {
        analysis::Rect area;
        int64_t stride = 1;           // frames recorded: the multiples of it
        std::vector<uint32_t> pixels; // frame n's at n / stride
        std::vector<bool> recorded;
    };
    Area *areaFor(const analysis::Rect &grown);

    int width_;
    int height_;
    int64_t frames_;
    // The middle's block sums of frames layoutsFrom_ on, without a gap, one
    // frame's after another.
    std::vector<int32_t> layouts_;
    size_t layoutFrames_ = 0;
    int64_t layoutsFrom_ = 0;
    bool layoutsOpen_ = true;
    std::vector<Area> areas_;
    size_t bytes_ = 0;
};

} // namespace pendra::cli
