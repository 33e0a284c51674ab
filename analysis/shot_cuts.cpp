// Cut detection over coarse cells and the split of presence ranges into
// stretches; see shot_cuts.h.
#include "analysis/shot_cuts.h"

#include <algorithm>
#include <cmath>

namespace pendra::analysis {

namespace {

constexpr int cellsAcross = 8;
constexpr size_t recentFrames = 6;
// A cut's change must reach this many levels and this multiple of the
// recent frames' mean change: fast motion changes cells too, but steadily.
constexpr double leastCutChange = 12;
constexpr double cutOverRecent = 3;

double luma(uint32_t p) {
    return 0.299 * (p >> 16 & 0xFF) + 0.587 * (p >> 8 & 0xFF) + 0.114 * (p & 0xFF);
}

// Mean luma of each of cellsAcross x cellsAcross cells; averaging over a cell
// keeps motion inside it from counting.
std::vector<float> coarseCells(const Picture &frame) {
    std::vector<double> sum(cellsAcross * cellsAcross, 0);
    std::vector<int> count(sum.size(), 0);
    for (int line = 0; line < frame.height; ++line) {
        const int cy = line * cellsAcross / frame.height;
        for (int x = 0; x < frame.width; ++x) {
            const size_t cell =
                static_cast<size_t>(cy * cellsAcross + x * cellsAcross / frame.width);
            sum[cell] += luma(frame.at(x, line));
            ++count[cell];
        }
    }
    std::vector<float> cells(sum.size(), 0);
    for (size_t i = 0; i < sum.size(); ++i)
        cells[i] = count[i] > 0 ? static_cast<float>(sum[i] / count[i]) : 0.0f;
    return cells;
}

} // namespace

void CutFinder::add(const Picture &frame) {
    std::vector<float> cells = coarseCells(frame);
    if (!previous_.empty()) {
        double change = 0;
        for (size_t i = 0; i < cells.size(); ++i)
            change += std::fabs(cells[i] - previous_[i]);
        change /= static_cast<double>(cells.size());
        double recent = 0;
        for (double r : recent_)
            recent += r;
        recent = recent_.empty() ? 0 : recent / static_cast<double>(recent_.size());
        if (change >= leastCutChange && change >= cutOverRecent * recent)
            cuts_.push_back({frame_, change - recent});
        recent_.push_back(change);
        if (recent_.size() > recentFrames)
            recent_.erase(recent_.begin());
    }
    previous_ = std::move(cells);
    ++frame_;
}

namespace {

// Cut frames strictly inside the range whose shots on both sides are long
// enough; a range's ends count as cuts.
std::vector<Cut> usableCuts(const PresenceRange &range, const std::vector<Cut> &cuts,
                            int64_t shortest) {
    std::vector<Cut> inside;
    for (const Cut &c : cuts)
        if (c.frame > range.start && c.frame <= range.end)
            inside.push_back(c);
    std::vector<Cut> kept;
    for (size_t i = 0; i < inside.size(); ++i) {
        const int64_t before = i == 0 ? range.start : inside[i - 1].frame;
        const int64_t after = i + 1 == inside.size() ? range.end + 1 : inside[i + 1].frame;
        if (inside[i].frame - before >= shortest && after - inside[i].frame >= shortest)
            kept.push_back(inside[i]);
    }
    return kept;
}

} // namespace

std::vector<PresenceRange> splitAtCuts(const PresenceRange &range, const std::vector<Cut> &cuts,
                                       const StretchLimits &limits) {
    std::vector<Cut> kept = usableCuts(range, cuts, limits.shortestShot);
    if (limits.mostPerRange > 0 && kept.size() + 1 > limits.mostPerRange) {
        std::stable_sort(kept.begin(), kept.end(),
                         [](const Cut &a, const Cut &b) { return a.strength > b.strength; });
        kept.resize(limits.mostPerRange - 1);
        std::sort(kept.begin(), kept.end(),
                  [](const Cut &a, const Cut &b) { return a.frame < b.frame; });
    }
    std::vector<PresenceRange> stretches;
    int64_t from = range.start;
    for (const Cut &c : kept) {
        stretches.push_back({from, c.frame - 1, 0, 0});
        from = c.frame;
    }
    stretches.push_back({from, range.end, 0, 0});
    stretches.front().fadeIn = range.fadeIn;
    stretches.back().fadeOut = range.fadeOut;
    return stretches;
}

} // namespace pendra::analysis
