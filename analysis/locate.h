// Finds where a logo may sit without being told: a logo is what stays still
// while the picture moves. Over frames sampled across the video, the signed
// gradients of each pixel are summed; a moving picture's edges cancel out, a
// still mark's edges add up. Persistent edges close together form one mark;
// each mark, grown by a clean ring, is a candidate rectangle.
#pragma once

#include "analysis/logo_analysis.h"

#include <cstdint>
#include <vector>

namespace pendra::analysis {

class EdgePersistence {
  public:
    EdgePersistence(int width, int height);

    // Adds one sampled frame (the whole picture).
    void add(const Picture &frame);
    int samples() const { return samples_; }
    // Mean absolute change between consecutive samples, in levels: near 0
    // when the camera and the picture stand still.
    double motion() const;
    // Candidate rectangles, each a mark with `ring` clean pixels around it,
    // those in the picture's border bands first, then by score.
    std::vector<Candidate> candidates(int ring) const;

  private:
    int width_;
    int height_;
    int samples_ = 0;
    std::vector<int32_t> sumX_; // per pixel and channel: summed horizontal differences
    std::vector<int32_t> sumY_; // and vertical ones
    Picture previous_;
    double motionSum_ = 0;
    int motionPairs_ = 0;
};

} // namespace pendra::analysis
