// Candidates read together (see shared_reading.h).
#include "analysis/shared_reading.h"

namespace pendra::analysis {

void SharedReadings::readFrom(size_t index, const std::function<bool(const Candidate &)> &mayTry,
                              int spare, bool watchEdges) {
    // Each reading keeps the memory it would have alone, so the estimates are
    // those of separate passes; together they stay within what one reading
    // may hold at most.
    // Readings left from an earlier pass are of places before `index`,
    // passed over: estimates are asked for in rank order.
    readings_.clear();
    const size_t budget = Reading::most(options_.holdBytes);
    size_t held = Reading::need(candidates_[index].rect, range_, options_.holdBytes);
    std::vector<Reading *> together;
    const Rect &first = candidates_[index].rect;
    together.push_back(
        &readings_
             .try_emplace(index, first, options_.holdBytes,
                          watchEdges && edges_ ? edges_->pattern(first) : EdgePattern{})
             .first->second);
    for (size_t i = index + 1; i < candidates_.size() && spare > 0; ++i) {
        const Candidate &c = candidates_[i];
        if (readings_.count(i) || !mayTry(c))
            continue;
        const size_t need = Reading::need(c.rect, range_, options_.holdBytes);
        if (held + need > budget)
            break;
        held += need;
        --spare;
        together.push_back(&readings_.try_emplace(i, c.rect, options_.holdBytes).first->second);
    }
    readTogether(source_, range_, options_, together);
    ++passes_;
}

LogoEstimate SharedReadings::estimate(size_t index,
                                      const std::function<bool(const Candidate &)> &mayTry,
                                      int spare, bool wholeVideo, int64_t &framesRead) {
    if (!readings_.count(index))
        readFrom(index, mayTry, spare, wholeVideo);
    Reading reading = std::move(readings_.at(index));
    readings_.erase(index);
    return estimateFrom(reading, source_, range_, options_, true, framesRead, wholeVideo);
}

} // namespace pendra::analysis
