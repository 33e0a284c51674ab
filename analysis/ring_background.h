// The background under the logo, guessed from the clean ring around it: one
// plane per channel, fitted by least squares to the ring's pixels. A frame
// whose ring the plane fits closely is one where the plane is also a fair
// guess of what the logo covers.
#pragma once

#include "analysis/logo_analysis.h"

namespace pendra::analysis {

struct Plane {
    double level[3] = {};  // value at the rectangle's centre
    double slopeX[3] = {}; // change per pixel to the right
    double slopeY[3] = {}; // change per line down
    double rms = 0;        // how far the ring's pixels lie from the planes, in levels
};

class RingBackground {
  public:
    RingBackground(int width, int height, int ring);

    int width() const { return width_; }
    int height() const { return height_; }
    int ring() const { return ring_; }
    bool inRing(int x, int y) const {
        return x < ring_ || y < ring_ || x >= width_ - ring_ || y >= height_ - ring_;
    }
    // Fits the planes to the ring of `area` (rectangle-sized).
    Plane fit(const Picture &area) const;
    double at(const Plane &plane, int c, int x, int y) const {
        return plane.level[c] + plane.slopeX[c] * (x - centreX_) + plane.slopeY[c] * (y - centreY_);
    }
    // Whether two fits describe nearly the same background.
    bool alike(const Plane &a, const Plane &b, double levels) const;

  private:
    int width_;
    int height_;
    int ring_;
    double centreX_;
    double centreY_;
    // The ring is symmetric about the centre, so the cross sums of the normal
    // equations vanish and each coefficient is one quotient.
    double count_ = 0;
    double sumXX_ = 0;
    double sumYY_ = 0;
};

} // namespace pendra::analysis
