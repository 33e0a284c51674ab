// Clumps of dimmed variation beside the logo (see missing_part.h).
#include "analysis/missing_part.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace pendra::analysis {

namespace {

// A flagged clean pixel counts as part of a clump when at least this many of
// the nine around it (itself included) are flagged too: lone ones are the
// variances' noise (on big buck bunny's outlined text, once its shape was
// whole, 9% of its few clean pixels, none of them the logo's).
constexpr int clumpNeighbours = 5;
// A missing part lies within this many pixels of the clean area's inner
// edge (an emblem a letter's gap from the text); clumps farther out are
// still scenery in the rectangle's corners.
constexpr int nearShape = 4;

// Calls `visit` with each pixel within `reach` of pixel k, k included.
template <typename Visit> void around(size_t k, int reach, int width, int height, Visit &&visit) {
    const int x = static_cast<int>(k % static_cast<size_t>(width));
    const int y = static_cast<int>(k / static_cast<size_t>(width));
    for (int v = std::max(0, y - reach); v <= std::min(height - 1, y + reach); ++v)
        for (int u = std::max(0, x - reach); u <= std::min(width - 1, x + reach); ++u)
            visit(static_cast<size_t>(v) * width + u);
}

// The flagged pixels joined, through flagged ones, to the logo's side of the
// clean area.
std::vector<uint8_t> againstTheShape(const std::vector<uint8_t> &flags,
                                     const std::vector<uint8_t> &clean, int width) {
    const int height = static_cast<int>(clean.size() / static_cast<size_t>(width));
    std::vector<uint8_t> joined(flags.size(), 0);
    std::vector<size_t> open;
    for (size_t k = 0; k < flags.size(); ++k) {
        bool against = false;
        if (flags[k])
            around(k, nearShape, width, height, [&](size_t n) { against = against || !clean[n]; });
        if (against)
            joined[k] = 1, open.push_back(k);
    }
    while (!open.empty()) {
        const size_t k = open.back();
        open.pop_back();
        around(k, 1, width, height, [&](size_t n) {
            if (flags[n] && !joined[n])
                joined[n] = 1, open.push_back(n);
        });
    }
    return joined;
}

// The share of `count` clean pixels that are flagged, in a clump, and
// joined to the logo's side.
double clumpedShare(const std::vector<uint8_t> &flags, const std::vector<uint8_t> &clean,
                    double count, int width) {
    const int height = static_cast<int>(clean.size() / static_cast<size_t>(width));
    const std::vector<uint8_t> joined = againstTheShape(flags, clean, width);
    double clumped = 0;
    for (size_t k = 0; k < joined.size(); ++k) {
        if (!joined[k])
            continue;
        int near = 0;
        around(k, 1, width, height, [&](size_t n) { near += flags[n]; });
        clumped += near >= clumpNeighbours;
    }
    return count > 0 ? clumped / count : 0;
}

} // namespace

double missingShare(const std::vector<double> &ratio, const std::vector<uint8_t> &clean,
                    double dimming, int width) {
    std::vector<uint8_t> dimmed(clean.size(), 0), lifted(clean.size(), 0);
    double count = 0;
    for (size_t k = 0; k < clean.size(); ++k) {
        if (!clean[k] || !std::isfinite(ratio[k]))
            continue;
        count += 1;
        dimmed[k] = 1 - ratio[k] > dimming;
        lifted[k] = ratio[k] * (1 - dimming) > 1;
    }
    // Still texture and coding noise lift the variation in clumps as often
    // as they dim it (fur's streaks under a ring emblem): only dimming beyond
    // that is the logo's.
    return std::fmax(0.0, clumpedShare(dimmed, clean, count, width) -
                              clumpedShare(lifted, clean, count, width));
}

} // namespace pendra::analysis
