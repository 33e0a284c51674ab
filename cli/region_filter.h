// A chain of filters run on the region of each decoded picture that they
// work on (see picture_region.h): the region alone goes to the module's
// 32-bit pixels, each filter runs on it as on a video of the region's size
// (its rectangle placed where it lies in the region), and the result is
// pasted back into a copy of the decoded picture. Frames outside every
// filter's frame range, and frames whose rectangles the filters left as they
// were, pass as decoded, without conversion or copy.
#pragma once

#include "cli/filter_session.h"
#include "cli/picture_region.h"
#include "cli/pixel_convert.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace pendra::cli {

// The filters of a job in the order the video host runs them: each takes the
// frame the one before it made.
using FilterChain = std::vector<FilterSession *>;

// Module pixels of the region, with where the region lies in the picture.
struct RegionPixels {
    const host::FrameBuffer &pixels;
    int left, top;
    // The pixel at picture column x, line (0 the top line); it must lie in the region.
    uint32_t atPicture(int x, int line) const {
        return pixels.at(pixels.height() - 1 - (line - top), x - left);
    }
};

// Sees each frame that a filter ran on, before and after the chain.
using FrameObserver =
    std::function<void(int64_t number, const RegionPixels &before, const RegionPixels &after)>;

class RegionFilter {
  public:
    // Checks the filters' rectangles against `first`'s size (naming `videoName`)
    // and starts them on the region. Pictures of a format that cannot be cut are
    // first converted whole to one that can.
    RegionFilter(const FilterChain &chain, const AVFrame &first, const std::string &videoName);
    // Puts the filters' own positions back.
    ~RegionFilter();
    RegionFilter(const RegionFilter &) = delete;
    RegionFilter &operator=(const RegionFilter &) = delete;

    // The picture to encode for `decoded`, frame `number` in decoding order: a
    // new reference to it, or a copy with the filtered region pasted in.
    FramePtr process(const AVFrame &decoded, int64_t number, const FrameObserver &observer = {});

    // After process(): whether a filter ran on the frame, and the region as
    // the module saw it and as the chain left it (valid only when one ran).
    bool ran() const { return ran_; }
    RegionPixels before() const;
    RegionPixels after() const;
    const PictureRegion &region() const { return *region_; }

  private:
    // A copy of `picture` that may be written, in buffers reused from frame to
    // frame: fresh buffers for every frame would cost the system's page
    // clearing each time.
    FramePtr writableCopy(const AVFrame &picture);
    // Gives each filter its own rectangle position back.
    void restorePositions();

    struct Position {
        FilterSession *session;
        int x, y; // the filter's own
    };
    FilterChain chain_;
    std::vector<Position> positions_;
    std::unique_ptr<PictureRegion> region_;
    std::unique_ptr<FormatConverter> toWorkable_;
    ToModulePixels toModule_;
    std::unique_ptr<FromModulePixels> fromModule_;
    host::FrameBuffer input_;
    const host::FrameBuffer *output_ = &input_;
    FramePtr view_;
    FramePtr regionOut_;
    std::vector<FramePtr> spares_;
    bool ran_ = false;
};

} // namespace pendra::cli
