// Cut detection over the coarse layout and the split of presence ranges into
// stretches; see shot_cuts.h.
#include "analysis/shot_cuts.h"

#include "analysis/pixel_channels.h"

#include <algorithm>
#include <cmath>
#include <span>

namespace pendra::analysis {

namespace {

// The layout's blocks. A cut moves the blocks, less the whole picture's
// level, by more than cutLevels; or moves them, with that level, by as much
// and by cutOverRecent times the recent frames' mean move: a smooth picture's
// layout moves little at a cut, a drifting one's level much within a shot.
constexpr int gridColumns = 16;
constexpr int gridRows = 9;
constexpr double cutLevels = 12.0;
constexpr double cutOverRecent = 3.0;
constexpr size_t recentFrames = 6;

// Which block each sampled pixel falls in: every other pixel of every other
// line; the blocks of the columns are worked out once rather than per pixel.
std::vector<int> columnBlocks(int width) {
    std::vector<int> columnBlock(static_cast<size_t>(width));
    for (int x = 0; x < width; x += 2)
        columnBlock[static_cast<size_t>(x)] = x * gridColumns / width;
    return columnBlock;
}

// How many pixels of a picture of this size each block samples: its
// sampled columns times its sampled lines.
std::vector<int> blockCounts(int width, int height) {
    std::vector<int> columns(gridColumns, 0), lines(gridRows, 0), counts(gridColumns * gridRows);
    const std::vector<int> columnBlock = columnBlocks(width);
    for (int x = 0; x < width; x += 2)
        ++columns[static_cast<size_t>(columnBlock[static_cast<size_t>(x)])];
    for (int y = 0; y < height; y += 2)
        ++lines[static_cast<size_t>(y * gridRows / height)];
    for (int b = 0; b < gridColumns * gridRows; ++b)
        counts[static_cast<size_t>(b)] = lines[static_cast<size_t>(b / gridColumns)] *
                                         columns[static_cast<size_t>(b % gridColumns)];
    return counts;
}

// Block means from the blocks' sums per channel and their pixel counts.
std::vector<double> means(std::span<const int32_t> sums, const std::vector<int> &counts) {
    std::vector<double> out(sums.size());
    for (size_t b = 0; b < counts.size(); ++b)
        for (size_t c = 0; c < 3; ++c)
            out[b * 3 + c] = static_cast<double>(sums[b * 3 + c]) / std::max(1, counts[b]);
    return out;
}

} // namespace

std::vector<int32_t> CutFinder::sumsOf(const Picture &p) {
    // Whole-level sums are exact in integers; a block of a picture up to
    // 16384 pixels wide and high sums to less than 2^31.
    std::vector<int32_t> sums(gridColumns * gridRows * 3, 0);
    const std::vector<int> columnBlock = columnBlocks(p.width);
    for (int y = 0; y < p.height; y += 2) {
        const int rowBlock = (y * gridRows / p.height) * gridColumns;
        const uint32_t *row = p.pixels.data() + static_cast<size_t>(y) * p.width;
        for (int x = 0; x < p.width; x += 2) {
            const int b = rowBlock + columnBlock[static_cast<size_t>(x)];
            for (int c = 0; c < 3; ++c)
                sums[b * 3 + c] += channel(row[x], c);
        }
    }
    return sums;
}

namespace {

struct LayoutChange {
    double layout = 0; // per block and channel, less each channel's mean change
    double level = 0;  // each channel's mean change, in absolute value
};

LayoutChange layoutChange(const std::vector<double> &now, const std::vector<double> &before) {
    const double blocks = static_cast<double>(now.size() / 3);
    const size_t count = now.size() / 3;
    double shift[3] = {};
    for (size_t b = 0; b < count; ++b)
        for (int c = 0; c < 3; ++c)
            shift[c] += (now[b * 3 + c] - before[b * 3 + c]) / blocks;
    double change = 0;
    for (size_t b = 0; b < count; ++b)
        for (int c = 0; c < 3; ++c)
            change += std::fabs(now[b * 3 + c] - before[b * 3 + c] - shift[c]);
    return {change / (3.0 * blocks),
            (std::fabs(shift[0]) + std::fabs(shift[1]) + std::fabs(shift[2])) / 3.0};
}

} // namespace

bool CutFinder::add(const Picture &frame) {
    return addSums(sumsOf(frame), frame.width, frame.height);
}

bool CutFinder::addSums(std::span<const int32_t> sums, int width, int height) {
    // The counts hang on the picture's size alone, the same frame after frame.
    if (width != countedWidth_ || height != countedHeight_) {
        counts_ = blockCounts(width, height);
        countedWidth_ = width, countedHeight_ = height;
    }
    std::vector<double> now = means(sums, counts_);
    bool cut = false;
    if (!previous_.empty()) {
        const LayoutChange change = layoutChange(now, previous_);
        const double whole = change.layout + change.level;
        double recent = 0;
        for (double r : recent_)
            recent += r / static_cast<double>(recent_.size());
        cut = change.layout > cutLevels ||
              (whole > cutLevels && !recent_.empty() && whole > cutOverRecent * recent);
        if (cut)
            cuts_.push_back({frame_, whole});
        recent_.push_back(whole);
        if (recent_.size() > recentFrames)
            recent_.erase(recent_.begin());
    }
    previous_ = std::move(now);
    ++frame_;
    return cut;
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
