// The bounded store of rectangles for the second fit (see frame_store.h).
#include "analysis/frame_store.h"

#include <algorithm>

namespace pendra::analysis {

FrameStore::FrameStore(size_t bytes, size_t frameBytes, size_t atLeast)
    : capacity_(std::max(atLeast, bytes / std::max<size_t>(frameBytes, 1))) {}

void FrameStore::offer(int64_t frame, int tier, const Plane &plane, const Picture &area) {
    int64_t place = offered_++;
    if (place % every_ != 0)
        return;
    if (kept_.size() >= capacity_) {
        every_ *= 2;
        std::erase_if(kept_, [this](const KeptFrame &k) { return k.offer % every_ != 0; });
        if (place % every_ != 0)
            return;
    }
    kept_.push_back({frame, tier, plane, area, place});
}

} // namespace pendra::analysis
