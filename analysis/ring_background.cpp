// Plane fits to the clean ring around the logo's rectangle (see
// ring_background.h). Coordinates are taken from the rectangle's centre, where
// the ring's symmetry makes the least-squares system diagonal.
#include "analysis/ring_background.h"

#include "analysis/pixel_channels.h"

#include <cmath>

namespace pendra::analysis {

RingBackground::RingBackground(int width, int height, int ring)
    : width_(width), height_(height), ring_(ring), centreX_((width - 1) / 2.0),
      centreY_((height - 1) / 2.0) {
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x)
            if (inRing(x, y)) {
                count_ += 1;
                sumXX_ += (x - centreX_) * (x - centreX_);
                sumYY_ += (y - centreY_) * (y - centreY_);
            }
}

Plane RingBackground::fit(const Picture &area) const {
    Plane plane;
    double sum[3] = {}, sumX[3] = {}, sumY[3] = {}, sumSq[3] = {};
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x) {
            if (!inRing(x, y))
                continue;
            uint32_t p = area.at(x, y);
            for (int c = 0; c < 3; ++c) {
                double v = channel(p, c);
                sum[c] += v;
                sumX[c] += v * (x - centreX_);
                sumY[c] += v * (y - centreY_);
                sumSq[c] += v * v;
            }
        }
    double residual = 0;
    for (int c = 0; c < 3; ++c) {
        plane.level[c] = sum[c] / count_;
        plane.slopeX[c] = sumXX_ > 0 ? sumX[c] / sumXX_ : 0;
        plane.slopeY[c] = sumYY_ > 0 ? sumY[c] / sumYY_ : 0;
        // Residual sum of squares of a least-squares fit: total minus explained.
        residual += sumSq[c] - plane.level[c] * sum[c] - plane.slopeX[c] * sumX[c] -
                    plane.slopeY[c] * sumY[c];
    }
    plane.rms = std::sqrt(std::fmax(residual, 0.0) / (3 * count_));
    return plane;
}

bool RingBackground::alike(const Plane &a, const Plane &b, double levels) const {
    for (int c = 0; c < 3; ++c) {
        // Compare the planes where they differ most: at the rectangle's corners.
        double corner = std::fabs(a.level[c] - b.level[c]) +
                        std::fabs(a.slopeX[c] - b.slopeX[c]) * centreX_ +
                        std::fabs(a.slopeY[c] - b.slopeY[c]) * centreY_;
        if (corner >= levels)
            return false;
    }
    return true;
}

} // namespace pendra::analysis
