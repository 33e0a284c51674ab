// The demo's sample material: a clip of moving, textured pictures and a
// semi-transparent logo of known opacity, with the captures a user would make
// of it (over black, over white) and the interpolate mask.
#pragma once

#include "cli/bmp_file.h"
#include "host/frame_buffer.h"

#include <vector>

namespace pendra::cli {

// Draws frame `index` of the clean sample clip into `frame` (any size).
// Two shots, each a textured landscape panning under a moving ball.
void drawSampleFrame(int index, int frameCount, host::FrameBuffer &frame);

class SampleLogo {
  public:
    // A logo of the given size (its rectangle, clean border included).
    SampleLogo(int width, int height, double opacity, uint32_t colour);

    int width() const { return width_; }
    int height() const { return height_; }
    // Opacity of the logo at (x, line) of its rectangle, 0 to `opacity`.
    double alphaAt(int x, int line) const { return alpha_[line * width_ + x]; }

    // Lays the logo over `frame` with its rectangle's top-left corner at (x, y).
    void composite(host::FrameBuffer &frame, int x, int y) const;
    // The logo over a uniform background, as a capture of the rectangle.
    RgbImage over(uint32_t background) const;
    // The interpolate mask: key colour black for clean pixels, white over
    // every pixel the logo touches, one pixel wider as a user paints it.
    RgbImage interpolateMask() const;

  private:
    uint32_t blend(uint32_t picture, double a) const;
    int width_;
    int height_;
    uint32_t colour_;
    std::vector<double> alpha_;
};

} // namespace pendra::cli
