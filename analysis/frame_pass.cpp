// The range of frames looked at (see frame_pass.h).
#include "analysis/frame_pass.h"

#include <limits>

namespace pendra::analysis {

std::string rectText(const Rect &r) {
    return std::to_string(r.x) + "," + std::to_string(r.y) + "," + std::to_string(r.width) + "," +
           std::to_string(r.height);
}

Range frameRange(const FrameSource &source, const Options &options) {
    Range r;
    int64_t count = source.frameCount();
    r.first = options.start;
    r.last = options.end > 0 ? options.end : std::numeric_limits<int64_t>::max();
    if (count > 0)
        r.last = std::min(r.last, count - 1);
    if (r.first < 0 || r.first > r.last)
        throw Refusal("the range to analyse holds no frames (start " +
                      std::to_string(options.start) +
                      "); give a start before the end and inside the video");
    if (r.last != std::numeric_limits<int64_t>::max())
        r.known = r.last - r.first + 1;
    return r;
}

} // namespace pendra::analysis
