// The part of a decoded picture that the filters work on, and the way back
// into the picture. Only this part goes to the module's pixels: the bounding
// box of the filters' rectangles, grown to the chroma grid and by a margin
// that the scaler's chroma interpolation reads, so that each rectangle gets
// the very pixels a conversion of the whole picture would give. On the way
// back only the samples that a rectangle covers are replaced; every other
// sample of the picture stays as decoded, whatever its depth, range or matrix.
#pragma once

#include "cli/av_support.h"

#include <vector>

namespace pendra::cli {

// Picture coordinates: x from the left edge, y from the top line.
struct PixelRect {
    int x = 0, y = 0, width = 0, height = 0;
};

class PictureRegion {
  public:
    // `rectangles` lie inside the width x height picture of `format`, which
    // must be one workablePixelFormat() accepts.
    PictureRegion(AVPixelFormat format, int width, int height,
                  const std::vector<PixelRect> &rectangles);

    // The region in the picture.
    const PixelRect &area() const { return area_; }
    // `region` becomes the area of `picture` as a picture of its own, sharing
    // its buffers (a new reference).
    void view(const AVFrame &picture, AVFrame &region) const;
    // Copies the samples of `region` (an area-sized picture of the same format)
    // that the rectangles cover into the writable `picture`.
    void paste(const AVFrame &region, AVFrame &picture) const;

    // Whether a region can be cut from pictures of this format and written
    // back: planar or packed samples of whole bytes that the scaler reads and
    // writes (not palettes, bit-packed or hardware pictures).
    static bool workablePixelFormat(AVPixelFormat format);
    // What pictures of `decoded` format become first so that a region can be
    // cut from them: the format itself when workable, else 4:4:4 YUV or BGR0.
    static AVPixelFormat workableFormatFor(AVPixelFormat decoded);

  private:
    struct PlaneLayout {
        int shiftX = 0, shiftY = 0; // subsampling of the plane's samples
        int bytesPerUnit = 0;       // bytes of one sample position on a line
    };
    AVPixelFormat format_;
    PixelRect area_;
    std::vector<PixelRect> rectangles_;
    std::vector<PlaneLayout> planes_;
};

} // namespace pendra::cli
