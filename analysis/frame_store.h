// Keeps the rectangle of the frames the first fit used, so that the second
// fit needs no further pass over the video. Memory is bounded: when the store
// is full, every other kept frame is dropped and from then on only every
// other offered frame is taken, so the kept frames still span the whole
// video and their number does not grow with its length.
#pragma once

#include "analysis/logo_analysis.h"
#include "analysis/ring_background.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pendra::analysis {

struct KeptFrame {
    int64_t frame = 0;
    int tier = 0; // how smooth its ring was (an index into the ring limits)
    Plane plane;
    Picture area;
    int64_t offer = 0; // its place among the frames offered
};

class FrameStore {
  public:
    // Room for `bytes` of rectangles of `frameBytes` each, and never less than `atLeast` frames.
    FrameStore(size_t bytes, size_t frameBytes, size_t atLeast);

    void offer(int64_t frame, int tier, const Plane &plane, const Picture &area);
    // Kept frames in the order offered (frame order).
    const std::vector<KeptFrame> &kept() const { return kept_; }

  private:
    size_t capacity_;
    int64_t every_ = 1;
    int64_t offered_ = 0;
    std::vector<KeptFrame> kept_;
};

} // namespace pendra::analysis
