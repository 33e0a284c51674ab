// Synthetic footage for the benchmarks: moving, textured 32-bit frames with
// cuts at a realistic rate, and a semi-transparent logo of known opacity laid
// over a fixed rectangle, with its captures over black and white and the
// interpolate mask a user would draw.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pendra::bench {

// A picture of 0x00RRGGBB words, row 0 = bottom line (as frames and bitmaps store it).
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    uint32_t &at(int row, int col) { return pixels[static_cast<size_t>(row) * width + col]; }
    uint32_t at(int row, int col) const { return pixels[static_cast<size_t>(row) * width + col]; }
};

// A logo: per-pixel opacity (0..1) and colour over a w x h rectangle.
struct Logo {
    int width = 0;
    int height = 0;
    std::vector<double> opacity; // row 0 = bottom line
    std::vector<uint32_t> colour;
    // Builds a text-and-emblem logo with a clean border of `border` pixels.
    static Logo make(int width, int height, double maxOpacity, int border = 6);
    // The capture over a uniform background (0 for black, 255 for white), rounded.
    Picture capture(int background) const;
    // The interpolate mask: key colour (black) where clean, white over the logo.
    Picture mask() const;
};

// Frames of moving content: a slow pan over a texture, cut to a new texture
// every `sceneLength` frames.
class FootageGenerator {
  public:
    FootageGenerator(int width, int height, int sceneLength = 75);
    // The clean frame number n.
    void frame(int n, Picture &out) const;

  private:
    int width_;
    int height_;
    int sceneLength_;
};

// Lays the logo over the picture at picture position (x, y) = (left, top).
void overlayLogo(Picture &picture, const Logo &logo, int x, int y);

// PSNR in dB of the rectangle (x, y from the picture's top-left) of a against b.
double rectanglePsnr(const Picture &a, const Picture &b, int x, int y, int w, int h);

// Writes a 24-bit bottom-up BMP of the picture.
void writeBmp(const std::string &path, const Picture &picture);

} // namespace pendra::bench
