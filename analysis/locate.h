// Finds where a logo may sit without being told: a logo is what stays still
// while the picture moves, and it stays put across the cuts between shots,
// where a still part of the picture (a slow pan's far side, a static shot)
// stays still within one shot only. Sampled frames are grouped into shots at
// cuts; within a shot the signed gradients of each pixel are summed, so a
// moving picture's edges cancel out and a still one's add up. Each shot where the pixel's edge
// stays still counts towards its persistence; the strength of an edge is its summed differences
// over all samples. Persistent edges close together form one mark; each mark, grown by a clean
// ring, is a candidate rectangle, ranked by the share of shots it persists in, where it sits and
// how strong it is against the level its region's texture sets (edge_level.h), and by how evenly
// its edges turn through all directions: lettering and emblems turn, where the still scenery a
// static camera shows (a door frame, a table's edge) runs mostly one way. On a static shot every
// still part of the scene persists as a logo does; there a mark whose edges all change at once
// while the shot goes on (a logo leaving for a break, fading, coming back) is the likelier logo.
#pragma once

#include "analysis/edge_level.h"
#include "analysis/edge_presence.h"
#include "analysis/logo_analysis.h"
#include "analysis/shot_cuts.h"

#include <cstdint>
#include <vector>

namespace pendra::analysis {

struct Mark;

class EdgePersistence {
  public:
    EdgePersistence(int width, int height);

    // Adds one sampled frame (the whole picture, or the area being looked at).
    void add(const Picture &frame);
    int samples() const { return samples_; }
    // Shots told apart by cuts among the samples so far.
    int shots() const { return shots_ + (shotSamples_ > 0 ? 1 : 0); }
    // Mean absolute change between consecutive samples, in levels: near 0
    // when the camera and the picture stand still.
    double motion() const;
    // Ends the last shot; add() after it starts a new one.
    void finish();
    // Candidate rectangles, each a mark with `ring` clean pixels around it,
    // best first. Call finish() first.
    std::vector<Candidate> candidates(int ring) const;
    // The persistent edge pixels inside `area`, 1 each, top line first.
    std::vector<uint8_t> edges(const Rect &area) const;
    // Those edges' mean differences over the samples, to tell frame by frame
    // whether the mark is there.
    EdgePattern pattern(const Rect &area) const;

  private:
    // Samples whose changes are kept, one bit each.
    static constexpr int changeSamples = 64;

    std::vector<float> strength() const;
    // Counts the open shot towards the persistence of each pixel whose edge
    // stayed still in it.
    void countStill();
    // The samples at which most of the mark's edges changed at once; none
    // when its edges change at most samples anyway.
    int changesTogether(const Mark &m) const;
    // How evenly the mark's persistent edges point in all directions: the
    // smaller over the larger spread of its summed gradients, 0 for one
    // straight edge, 1 for a ring.
    double turning(const Mark &m) const;
    // The level a persistent edge must pass, per pixel and as a whole.
    EdgeLevels levels(const std::vector<float> &strength) const;

    int width_;
    int height_;
    int samples_ = 0;
    // The open shot: per channel and pixel (each channel's plane in turn) the
    // summed horizontal and vertical differences, and per pixel the summed
    // magnitudes of those differences.
    std::vector<int32_t> shotX_, shotY_;
    std::vector<float> shotMagnitude_;
    int shotSamples_ = 0;
    // Over closed shots: the summed differences (the strength of an edge
    // still over the samples), and how many of the shots seen with two
    // samples or more kept the pixel's edge still.
    std::vector<int32_t> sumX_, sumY_;
    std::vector<uint16_t> stillShots_;
    int shots_ = 0;
    int evidenceShots_ = 0; // closed shots with two samples or more
    // Per pixel, the samples (within a shot, the first changeSamples) at
    // which its edge changed from the sample before.
    std::vector<uint64_t> changed_;
    // The last sample's differences, while changes are kept: per channel the
    // horizontal plane, then the vertical one.
    std::vector<int16_t> previousGradient_;
    // Scratch for add(), reused line after line: three lines' levels per
    // channel, one channel's differences along a line, and per pixel of a
    // line its squared differences and their change from the sample before.
    std::vector<int32_t> levels_, lineX_, lineY_, squares_, change_;
    // Where the samples' shots change.
    CutFinder cuts_;
    Picture previous_;
    double motionSum_ = 0;
    int motionPairs_ = 0;
};

} // namespace pendra::analysis
