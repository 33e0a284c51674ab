// The logo's strength in every frame of the one pass that also makes the fit
// measuring it. The fit is known only part way through the pass, so frames
// seen before it are held (up to a number of bytes) and scored when it comes;
// later frames are scored as they arrive. One pass over the video instead of
// a second one for presence, except where the hold fills before any fit
// could measure: those frames are let go and read again at the end.
#pragma once

#include "analysis/opacity_fit.h"
#include "analysis/ring_background.h"

#include <cstddef>
#include <vector>

namespace pendra::analysis {

class StrengthLog {
  public:
    StrengthLog(const RingBackground &ring, size_t holdBytes)
        : ring_(ring), holdBytes_(holdBytes) {}

    // Whether the fit has come.
    bool measuring() const { return !logo_.empty(); }
    // Whether the held frames reached the byte limit: the fit cannot wait longer.
    bool full() const { return heldBytes_ >= holdBytes_; }
    // The next frame: scored now, or held until measureWith().
    void add(const Picture &area, const Plane &plane);
    // The fit to measure with; scores the held frames and lets them go.
    void measureWith(std::vector<PixelEstimate> logo);
    // Lets the held frames go unscored, for want of a fit to measure them.
    void release();
    // How many frames from the first were let go; each is to be given again
    // with measureAgain() once measuring.
    size_t released() const { return released_; }
    void measureAgain(size_t index, const Picture &area, const Plane &plane);
    // Strengths of the frames added, in order (NaN where the logo could not
    // be seen, or no fit ever came).
    const std::vector<float> &strengths() const { return strengths_; }

  private:
    struct Held {
        size_t index;
        Plane plane;
        Picture area;
    };
    const RingBackground &ring_;
    size_t holdBytes_;
    size_t heldBytes_ = 0;
    size_t released_ = 0;
    std::vector<Held> held_;
    std::vector<PixelEstimate> logo_;
    std::vector<float> strengths_;
};

} // namespace pendra::analysis
