// Strengths scored now or once the fit comes (see strength_log.h).
#include "analysis/strength_log.h"

#include "analysis/presence.h"

#include <cmath>

namespace pendra::analysis {

void StrengthLog::add(const Picture &area, const Plane &plane) {
    if (measuring()) {
        strengths_.push_back(static_cast<float>(logoStrength(area, plane, ring_, logo_)));
        return;
    }
    strengths_.push_back(std::nanf(""));
    held_.push_back({strengths_.size() - 1, plane, area});
    heldBytes_ += area.pixels.size() * sizeof(area.pixels[0]) + sizeof(Held);
}

void StrengthLog::release() {
    released_ = strengths_.size();
    held_.clear();
    held_.shrink_to_fit();
    heldBytes_ = 0;
}

void StrengthLog::measureAgain(size_t index, const Picture &area, const Plane &plane) {
    strengths_.at(index) = static_cast<float>(logoStrength(area, plane, ring_, logo_));
}

void StrengthLog::measureWith(std::vector<PixelEstimate> logo) {
    logo_ = std::move(logo);
    for (const Held &h : held_)
        strengths_[h.index] = static_cast<float>(logoStrength(h.area, h.plane, ring_, logo_));
    held_.clear();
    held_.shrink_to_fit();
    heldBytes_ = 0;
}

} // namespace pendra::analysis
