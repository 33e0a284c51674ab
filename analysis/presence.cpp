// Per-frame logo strength and presence ranges (see presence.h).
#include "analysis/presence.h"

#include "analysis/mask.h"
#include "analysis/pixel_channels.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace pendra::analysis {

namespace {

// Strength thresholds: present above `present`; a fade runs down to `faint`;
// frames below `full` at a range's ends are partly there.
constexpr double present = 0.5;
constexpr double faint = 0.06;
constexpr double full = 0.85;
// A fade keeps falling away from the range; this much jitter is allowed.
constexpr double fadeJitter = 0.05;
// Smoothing window, in frames: a median keeps cuts sharp and ramps straight.
constexpr int window = 5;
// Frames looked ahead for the level a fade settles at.
constexpr int settleLook = 25;
// Below this edge energy per pair the logo is invisible on that background.
constexpr double minEnergyPerPair = 4.0;

// The level the strength settles at beyond frame i, looking `settleLook`
// frames on in `step`'s direction: 0, or what still shows of the picture's
// own edges where they happen to resemble the logo's (a static shot after it
// left). A fade ends where it reaches that level, not where it reaches 0.
double settled(const std::vector<double> &v, size_t i, int step) {
    double lowest = v[i];
    for (int k = 1; k <= settleLook; ++k) {
        const ptrdiff_t at = static_cast<ptrdiff_t>(i) + k * step;
        if (at < 0 || at >= static_cast<ptrdiff_t>(v.size()))
            break;
        lowest = std::min(lowest, v[static_cast<size_t>(at)]);
    }
    return std::max(0.0, lowest);
}

} // namespace

namespace {

// Per pixel of one line and channel, d = o - s: what the frame adds to the
// background, and g = a·L - a·s: what the logo would add. Each pixel is in
// up to four pairs; its terms are worked out once, and only where a pair
// with an opaque pixel needs them.
struct AddedLine {
    std::vector<double> d, g;
};

bool opaqueAt(const std::vector<PixelEstimate> &logo, int w, int x, int y) {
    return logo[static_cast<size_t>(y) * w + x].opacity > logoOpacity;
}

void fillLine(const Picture &area, const Plane &plane, const RingBackground &ring,
              const std::vector<PixelEstimate> &logo, int y, AddedLine &out) {
    const int w = ring.width(), h = ring.height();
    for (int x = 0; x < w; ++x) {
        const bool needed = opaqueAt(logo, w, x, y) || (x > 0 && opaqueAt(logo, w, x - 1, y)) ||
                            (x + 1 < w && opaqueAt(logo, w, x + 1, y)) ||
                            (y > 0 && opaqueAt(logo, w, x, y - 1)) ||
                            (y + 1 < h && opaqueAt(logo, w, x, y + 1));
        if (!needed)
            continue;
        const PixelEstimate &e = logo[static_cast<size_t>(y) * w + x];
        for (int c = 0; c < 3; ++c) {
            const double s = ring.at(plane, c, x, y);
            const size_t i = static_cast<size_t>(x) * 3 + static_cast<size_t>(c);
            out.d[i] = channel(area.at(x, y), c) - s;
            out.g[i] = e.premultiplied[c] - e.opacity * s;
        }
    }
}

} // namespace

double logoStrength(const Picture &area, const Plane &plane, const RingBackground &ring,
                    const std::vector<PixelEstimate> &logo) {
    const int w = ring.width(), h = ring.height();
    const size_t lineSize = static_cast<size_t>(w) * 3;
    AddedLine line{std::vector<double>(lineSize), std::vector<double>(lineSize)};
    AddedLine next = line;
    double num = 0, den = 0;
    int pairs = 0;
    // The pair of pixel i of `a` and pixel j of `b`, added in the same order
    // as ever.
    auto pair = [&](const AddedLine &a, int i, const AddedLine &b, int j) {
        for (size_t c = 0; c < 3; ++c) {
            const size_t i0 = static_cast<size_t>(i) * 3 + c, i1 = static_cast<size_t>(j) * 3 + c;
            const double d0 = a.d[i0], g0 = a.g[i0], d1 = b.d[i1], g1 = b.g[i1];
            num += (d1 - d0) * (g1 - g0);
            den += (g1 - g0) * (g1 - g0);
        }
    };
    if (h > 0)
        fillLine(area, plane, ring, logo, 0, line);
    for (int y = 0; y < h; ++y) {
        if (y + 1 < h)
            fillLine(area, plane, ring, logo, y + 1, next);
        for (int x = 0; x < w; ++x) {
            const bool here = opaqueAt(logo, w, x, y);
            if (x + 1 < w && (here || opaqueAt(logo, w, x + 1, y))) {
                ++pairs;
                pair(line, x, line, x + 1);
            }
            if (y + 1 < h && (here || opaqueAt(logo, w, x, y + 1))) {
                ++pairs;
                pair(line, x, next, x);
            }
        }
        std::swap(line, next);
    }
    if (pairs == 0 || den < minEnergyPerPair * pairs)
        return std::nan("");
    return num / den;
}

double typicalStrength(const std::vector<float> &strengths) {
    std::vector<float> known;
    for (float s : strengths)
        if (!std::isnan(s))
            known.push_back(s);
    if (known.empty())
        return 1;
    std::sort(known.begin(), known.end());
    const float high = known[known.size() * 9 / 10];
    auto from = std::lower_bound(known.begin(), known.end(), high / 2);
    if (from == known.end())
        return 1; // no frame shows the logo with any strength
    double typical = from[(known.end() - from) / 2];
    return typical > 0 ? typical : 1;
}

std::vector<PresenceRange> presenceRanges(const std::vector<float> &strengths, int64_t firstFrame) {
    const size_t n = strengths.size();
    std::vector<PresenceRange> ranges;
    if (n == 0)
        return ranges;
    // Frames where the logo could not be seen take the verdict of the last
    // frame where it could (or of the first, at the start).
    std::vector<double> filled(n, 0);
    size_t firstKnown = n;
    for (size_t i = 0; i < n && firstKnown == n; ++i)
        if (!std::isnan(strengths[i]))
            firstKnown = i;
    double last = firstKnown < n ? strengths[firstKnown] : 0;
    for (size_t i = 0; i < n; ++i) {
        if (!std::isnan(strengths[i]))
            last = strengths[i];
        filled[i] = last;
    }
    std::vector<double> v(n);
    for (size_t i = 0; i < n; ++i) {
        std::array<double, window> near{};
        for (int j = 0; j < window; ++j) {
            auto at = static_cast<ptrdiff_t>(i) + j - window / 2;
            near[j] = filled[static_cast<size_t>(std::clamp<ptrdiff_t>(at, 0, n - 1))];
        }
        std::nth_element(near.begin(), near.begin() + window / 2, near.end());
        v[i] = near[window / 2];
    }

    size_t i = 0;
    while (i < n) {
        if (v[i] < present) {
            ++i;
            continue;
        }
        size_t coreEnd = i;
        while (coreEnd + 1 < n && v[coreEnd + 1] >= present)
            ++coreEnd;
        size_t begin = i, end = coreEnd;
        while (begin > 0 && v[begin - 1] > faint + settled(v, begin - 1, -1) &&
               v[begin - 1] <= v[begin] + fadeJitter)
            --begin;
        while (end + 1 < n && v[end + 1] > faint + settled(v, end + 1, 1) &&
               v[end + 1] <= v[end] + fadeJitter)
            ++end;
        PresenceRange r;
        r.start = firstFrame + static_cast<int64_t>(begin);
        r.end = firstFrame + static_cast<int64_t>(end);
        // A fade is seen rising from faint or falling to it; a range that is
        // already there when the video (or a cut) starts is weak, not fading.
        for (size_t k = begin; begin < i && k <= end && v[k] < full; ++k)
            ++r.fadeIn;
        for (size_t k = end + 1; end > coreEnd && k-- > begin && v[k] < full;)
            ++r.fadeOut;
        // A range that never reaches full strength is all fade: split it evenly.
        if (static_cast<size_t>(r.fadeIn) > end - begin) {
            r.fadeIn = static_cast<int>((end - begin + 1) / 2);
            r.fadeOut = static_cast<int>(end - begin + 1) - r.fadeIn;
        }
        if (!ranges.empty() && r.start <= ranges.back().end + 1) {
            ranges.back().end = r.end;
            ranges.back().fadeOut = r.fadeOut;
        } else {
            ranges.push_back(r);
        }
        i = end + 1;
    }
    return ranges;
}

} // namespace pendra::analysis
