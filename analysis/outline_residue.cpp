// The reference-free residue of a logo in a filtered rectangle; see outline_residue.h.
#include "analysis/outline_residue.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

namespace pendra::analysis {

namespace {

// Levels squared: the gradient energy of mild coding noise, so that a ring as
// flat as a studio wall does not turn a level or two of error into a large ratio.
constexpr double energyFloor = 6.0;
// Mean distance (pixels) from the clean ones under which a repair reaches
// no further than a stroke's half width; texture lost beyond counts more,
// up to this many times.
constexpr double thinReach = 2.0;
constexpr double mostReachWeight = 4.0;
// Opacity steps below this are not the logo's edges.
constexpr double leastEdge = 0.02;

// Squared forward-difference gradient, summed over the three channels.
double gradientEnergy(const Picture &p, int x, int line) {
    const uint32_t here = p.at(x, line), right = p.at(x + 1, line), below = p.at(x, line + 1);
    double sum = 0;
    for (int shift : {0, 8, 16}) {
        const int v = static_cast<int>(here >> shift & 0xFF);
        const int dx = static_cast<int>(right >> shift & 0xFF) - v;
        const int dy = static_cast<int>(below >> shift & 0xFF) - v;
        sum += dx * dx + dy * dy;
    }
    return sum / 3;
}

// Mean energy of one kind of pixel.
struct Mean {
    double sum = 0, weight = 0;
    void add(double v, double w = 1) {
        sum += v * w;
        weight += w;
    }
    double value() const { return weight > 0 ? sum / weight : 0; }
};

enum Kind { Ring, Under, Edge, Other };

// A pixel is ring when it is clean and away from the logo's edges.
Kind kindOf(const std::vector<float> &opacity, const Picture &mask, int x, int line) {
    if ((mask.at(x, line) & 0xFF) >= 128)
        return Under;
    return opacity[static_cast<size_t>(line) * mask.width + x] < leastEdge ? Ring : Other;
}

double edgeAt(const std::vector<float> &opacity, int w, int x, int line) {
    auto alpha = [&](int cx, int cl) { return opacity[static_cast<size_t>(cl) * w + cx]; };
    const double dx = alpha(x + 1, line) - alpha(x, line);
    const double dy = alpha(x, line + 1) - alpha(x, line);
    return std::sqrt(dx * dx + dy * dy);
}

// The picture averaged over 2 x 2 blocks: noise loses three quarters of its
// gradient energy there, a texture of a few pixels or more keeps most of it.
// A block is ring (under) only when all four pixels are.
Picture halved(const Picture &p, const std::vector<float> &opacity, const Picture &mask,
               std::vector<Kind> &kinds) {
    Picture out(p.width / 2, p.height / 2);
    kinds.assign(out.pixels.size(), Other);
    for (int line = 0; line < out.height; ++line)
        for (int x = 0; x < out.width; ++x) {
            uint32_t packed = 0;
            for (int shift : {0, 8, 16}) {
                int sum = 0;
                for (int k = 0; k < 4; ++k)
                    sum += static_cast<int>(p.at(2 * x + k % 2, 2 * line + k / 2) >> shift & 0xFF);
                packed |= static_cast<uint32_t>(sum / 4) << shift;
            }
            out.at(x, line) = packed;
            const Kind first = kindOf(opacity, mask, 2 * x, 2 * line);
            bool same = true;
            for (int k = 1; k < 4; ++k)
                same = same && kindOf(opacity, mask, 2 * x + k % 2, 2 * line + k / 2) == first;
            kinds[static_cast<size_t>(line) * out.width + x] = same ? first : Other;
        }
    return out;
}

// The opacity averaged over the same 2 x 2 blocks as `coarse`.
std::vector<float> halvedOpacity(const std::vector<float> &opacity, int width,
                                 const Picture &coarse) {
    std::vector<float> out(coarse.pixels.size());
    for (int line = 0; line < coarse.height; ++line)
        for (int x = 0; x < coarse.width; ++x) {
            float sum = 0;
            for (int k = 0; k < 4; ++k)
                sum += opacity[static_cast<size_t>(2 * line + k / 2) * width + 2 * x + k % 2];
            out[static_cast<size_t>(line) * coarse.width + x] = sum / 4;
        }
    return out;
}

// How far, on average, a pixel under the mask lies from the nearest clean
// one (city-block distance; beyond the rectangle counts as clean).
double meanReach(const Picture &mask) {
    const int w = mask.width, h = mask.height;
    const int far = w + h;
    std::vector<int> d(static_cast<size_t>(w) * h);
    auto at = [&](int x, int y) -> int & { return d[static_cast<size_t>(y) * w + x]; };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if ((mask.at(x, y) & 0xFF) < 128) {
                at(x, y) = 0;
                continue;
            }
            const int up = y > 0 ? at(x, y - 1) : 0, left = x > 0 ? at(x - 1, y) : 0;
            at(x, y) = std::min(far, std::min(up, left) + 1);
        }
    double sum = 0;
    int count = 0;
    for (int y = h - 1; y >= 0; --y)
        for (int x = w - 1; x >= 0; --x) {
            if (at(x, y) == 0)
                continue;
            const int down = y + 1 < h ? at(x, y + 1) : 0, right = x + 1 < w ? at(x + 1, y) : 0;
            at(x, y) = std::min(at(x, y), std::min(down, right) + 1);
            sum += at(x, y);
            ++count;
        }
    return count > 0 ? sum / count : 0;
}

double relative(double energy, double ring) {
    return (energy + energyFloor - (ring + energyFloor)) / (ring + energyFloor);
}

} // namespace

OutlineResidue outlineResidue(const Picture &filtered, const std::vector<float> &opacity,
                              const Picture &mask) {
    Mean edge, under, ring;
    for (int line = 0; line + 1 < filtered.height; ++line)
        for (int x = 0; x + 1 < filtered.width; ++x) {
            const double energy = gradientEnergy(filtered, x, line);
            const double e = edgeAt(opacity, filtered.width, x, line);
            if (e >= leastEdge)
                edge.add(energy, e);
            const Kind kind = kindOf(opacity, mask, x, line);
            if (kind == Under)
                under.add(energy);
            else if (kind == Ring && e < leastEdge)
                ring.add(energy);
        }
    std::vector<Kind> kinds;
    const Picture coarse = halved(filtered, opacity, mask, kinds);
    const std::vector<float> coarseOpacity = halvedOpacity(opacity, filtered.width, coarse);
    Mean coarseUnder, coarseRing, coarseEdge;
    for (int line = 0; line + 1 < coarse.height; ++line)
        for (int x = 0; x + 1 < coarse.width; ++x) {
            const Kind kind = kinds[static_cast<size_t>(line) * coarse.width + x];
            const double energy = gradientEnergy(coarse, x, line);
            if (kind == Under)
                coarseUnder.add(energy);
            else if (kind == Ring)
                coarseRing.add(energy);
            const double e = edgeAt(coarseOpacity, coarse.width, x, line);
            if (e >= leastEdge)
                coarseEdge.add(energy, e);
        }
    OutlineResidue r;
    r.ground = coarseRing.value();
    if (ring.weight == 0 || edge.weight == 0)
        return r;
    // An outline that survives halving is a band or a blob of the wrong
    // level, not noise: a repair of the rims smooths its edges away at full
    // resolution but not its step.
    r.outline = std::max(0.0, relative(edge.value(), ring.value()));
    if (coarseEdge.weight > 0 && coarseRing.weight > 0)
        r.outline = std::max(r.outline, relative(coarseEdge.value(), coarseRing.value()));
    if (under.weight > 0)
        r.lifted = std::max(0.0, relative(under.value(), ring.value()));
    // Texture lost counts by how far the repair reaches into it: thin
    // strokes rebuilt from a pixel or two away lose little of what was
    // there, a box rebuilt from its rim loses all of its middle.
    r.reach = std::clamp(meanReach(mask) / thinReach, 1.0, mostReachWeight);
    if (coarseUnder.weight > 0 && coarseRing.weight > 0)
        r.flattened = std::max(0.0, -relative(coarseUnder.value(), coarseRing.value()));
    return r;
}

} // namespace pendra::analysis
