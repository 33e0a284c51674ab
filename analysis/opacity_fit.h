// Per-pixel least-squares fit of the blend o = (1 - a)·s + a·L: for each
// pixel one opacity a for all three channels and the logo's premultiplied
// colour a·L per channel, from observed values o and guessed backgrounds s.
// Only running sums are kept, so memory does not grow with the video.
#pragma once

#include <cstddef>
#include <vector>

namespace pendra::analysis {

struct PixelEstimate {
    double opacity = 0;           // a, 0 to 1
    double premultiplied[3] = {}; // a·L per channel, 0 to 255·a
    double rms = 0;               // the fit's residual, in levels
    double frames = 0;            // frames the fit rests on
    double residualSquares = 0;   // sum of squared residuals over frames and channels
};

// The logo's colour where most of it was seen clearly, lent to pixels whose
// background hardly varied: there the frames alone cannot tell a faint light
// logo from a strong dark one. `weight` is in frames per frame of the pixel's
// own, so that it counts alike at any length of video.
struct ColourPrior {
    double colour[3] = {};
    double weight = 0;
};

class OpacityFit {
  public:
    explicit OpacityFit(size_t pixels) : sums_(pixels) {}

    size_t pixels() const { return sums_.size(); }
    void add(size_t k, const double background[3], const int observed[3]);
    // Adds another fit's frames (of the same rectangle).
    void merge(const OpacityFit &other);
    PixelEstimate solve(size_t k, const ColourPrior &prior = {}) const;
    // How much the background under pixel k varied: its standard deviation
    // over the frames, averaged over the channels.
    double backgroundSpread(size_t k) const;

  private:
    // y = o - s; the model is y = m - a·s with m = a·L.
    struct Sums {
        double n = 0;
        double s[3] = {}, ss[3] = {}, y[3] = {}, sy[3] = {}, yy[3] = {};
    };
    std::vector<Sums> sums_;
};

} // namespace pendra::analysis
