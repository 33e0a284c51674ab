// Marks from persistent edges (see marks.h). Each pixel has a level of its
// own: a mark too big for a logo has its level raised until it breaks at its
// weaker links, then each mark keeps only the edges within reach of its
// strongest ones.
#include "analysis/marks.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace pendra::analysis {

namespace {

// Edges this close (in pixels) belong to one mark: the letters of a word.
constexpr int joinRadius = 3;
// Fewer persistent edge pixels than this are specks, not marks.
constexpr int minEdgePixels = 8;
// A mark too big for a logo has its level raised by this factor a round, for
// so many rounds at most.
constexpr float splitStep = 1.25f;
constexpr int splitRounds = 12;
// A mark keeps the edges at least this share of its strong edges' strength
// (the strength its tenth strongest in a hundred reach): a logo's edges share
// its opacity, and still texture beside it is weaker.
constexpr double strongQuantile = 0.9;
constexpr double keepShare = 0.35;
// Neighbouring marks whose mean strengths differ by more than this factor
// are a logo and scenery, not two parts of a logo.
constexpr double likeStrength = 2.0;
// A neighbour with fewer edges than this share of a mark's is a speck of
// still texture beside it, not a part of the logo.
constexpr double partShare = 0.1;

// Per pixel, the level its edge must pass, and the layer it is joined in:
// edges join only edges of their own layer.
struct Cuts {
    std::vector<float> level;
    std::vector<uint8_t> layer;
    std::vector<uint8_t> split; // 1 where the edge was part of a mark too big for a logo
};

// Lines across the picture (a letterbox edge, a still border) and still
// scenery spanning half of it or more are no logo: a channel's mark keeps to
// a corner or a band.
bool logoSized(const Mark &m, int width, int height) {
    return m.right - m.left < width / 2 && m.bottom - m.top < height / 2;
}

// Connected groups of the pixels above their level, joined across small
// gaps, within one layer.
void connect(const EdgeMap &map, const Cuts &cuts, uint8_t layer, std::vector<Mark> &marks) {
    const int width = map.width, height = map.height;
    const size_t count = cuts.level.size();
    std::vector<uint8_t> edge(count, 0), joined(count, 0);
    for (size_t k = 0; k < count; ++k)
        edge[k] = map.strength[k] > cuts.level[k] && cuts.layer[k] == layer;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            if (!edge[static_cast<size_t>(y) * width + x])
                continue;
            for (int v = std::max(0, y - joinRadius); v <= std::min(height - 1, y + joinRadius);
                 ++v)
                for (int u = std::max(0, x - joinRadius); u <= std::min(width - 1, x + joinRadius);
                     ++u)
                    joined[static_cast<size_t>(v) * width + u] = 1;
        }
    std::vector<int> stack;
    for (int start = 0; start < static_cast<int>(count); ++start) {
        if (joined[start] != 1)
            continue;
        Mark m;
        m.left = width, m.top = height;
        joined[start] = 2;
        stack.push_back(start);
        while (!stack.empty()) {
            const int k = stack.back(), x = k % width, y = k / width;
            stack.pop_back();
            if (edge[k]) {
                m.left = std::min(m.left, x), m.right = std::max(m.right, x);
                m.top = std::min(m.top, y), m.bottom = std::max(m.bottom, y);
                ++m.pixels;
                m.strength += map.strength[k];
                m.stillShots += map.stillShots[k];
                m.at.push_back(k);
            }
            for (int v = std::max(0, y - 1); v <= std::min(height - 1, y + 1); ++v)
                for (int u = std::max(0, x - 1); u <= std::min(width - 1, x + 1); ++u)
                    if (joined[v * width + u] == 1) {
                        joined[v * width + u] = 2;
                        stack.push_back(v * width + u);
                    }
        }
        if (m.pixels > 0)
            marks.push_back(std::move(m));
    }
}

std::vector<Mark> connect(const EdgeMap &map, const Cuts &cuts) {
    std::vector<Mark> marks;
    for (uint8_t layer = 0; layer < 2; ++layer)
        connect(map, cuts, layer, marks);
    return marks;
}

// Splits every mark too big for a logo; false when none is. Its edges that
// changed all at once a few times (a logo leaving a still scene and coming
// back) go first to a layer of their own; after that its level rises.
bool splitLarge(const EdgeMap &map, const std::vector<Mark> &marks, Cuts &cuts) {
    bool split = false;
    for (const Mark &m : marks) {
        if (logoSized(m, map.width, map.height))
            continue;
        split = true;
        bool layered = false;
        for (int k : m.at)
            cuts.split[k] = 1;
        for (int k : m.at)
            if (cuts.layer[k] == 0 && map.changes[k] > 0 && map.changes[k] <= maxPresenceChanges)
                cuts.layer[k] = 1, layered = true;
        if (!layered)
            for (int k : m.at)
                cuts.level[k] *= splitStep;
    }
    return split;
}

// Raises the level over each mark to a share of its strong edges' strength.
void keepStrong(const EdgeMap &map, const std::vector<Mark> &marks, Cuts &cuts) {
    std::vector<float> values;
    for (const Mark &m : marks) {
        values.clear();
        for (int k : m.at)
            values.push_back(map.strength[k]);
        const auto strong =
            values.begin() + static_cast<ptrdiff_t>(strongQuantile * double(values.size() - 1));
        std::nth_element(values.begin(), strong, values.end());
        const float cut = static_cast<float>(keepShare * *strong);
        for (int k : m.at)
            cuts.level[k] = std::max(cuts.level[k], cut);
    }
}

} // namespace

bool framed(const Mark &m, int width, int height) {
    return m.left <= 1 || m.top <= 1 || m.right >= width - 2 || m.bottom >= height - 2;
}

std::vector<Mark> findMarks(const EdgeMap &map) {
    Cuts cuts{std::vector<float>(map.strength.size(), static_cast<float>(map.floor)),
              std::vector<uint8_t>(map.strength.size(), 0),
              std::vector<uint8_t>(map.strength.size(), 0)};
    std::vector<Mark> marks = connect(map, cuts);
    for (int round = 0; round < splitRounds && splitLarge(map, marks, cuts); ++round)
        marks = connect(map, cuts);
    keepStrong(map, marks, cuts);
    marks = connect(map, cuts);
    // A piece of still scenery split off that still runs on beyond the
    // picture is scenery; a logo split off it keeps clear of the edges.
    std::erase_if(marks, [&](const Mark &m) {
        return m.pixels < minEdgePixels || !logoSized(m, map.width, map.height) ||
               (framed(m, map.width, map.height) &&
                std::any_of(m.at.begin(), m.at.end(), [&](int k) { return cuts.split[k] != 0; }));
    });
    return marks;
}

void mergeNear(std::vector<Mark> &marks, int reach, double apartShots, int width, int height) {
    // Largest first, so that a logo's parts join before a speck beside it is
    // weighed against the whole logo rather than one of its letters.
    std::stable_sort(marks.begin(), marks.end(),
                     [](const Mark &a, const Mark &b) { return a.pixels > b.pixels; });
    for (bool merged = true; merged;) {
        merged = false;
        for (size_t i = 0; i < marks.size() && !merged; ++i)
            for (size_t j = i + 1; j < marks.size() && !merged; ++j) {
                Mark &a = marks[i];
                const Mark &b = marks[j];
                const double strengthA = a.strength / a.pixels, strengthB = b.strength / b.pixels;
                if (a.left - reach > b.right || b.left - reach > a.right ||
                    a.top - reach > b.bottom || b.top - reach > a.bottom ||
                    std::fabs(a.stillShots / a.pixels - b.stillShots / b.pixels) > apartShots ||
                    std::max(strengthA, strengthB) >
                        likeStrength * std::min(strengthA, strengthB) ||
                    std::min(a.pixels, b.pixels) < partShare * std::max(a.pixels, b.pixels))
                    continue;
                Mark both;
                both.left = std::min(a.left, b.left), both.right = std::max(a.right, b.right);
                both.top = std::min(a.top, b.top), both.bottom = std::max(a.bottom, b.bottom);
                if (!logoSized(both, width, height))
                    continue;
                a.left = both.left, a.right = both.right, a.top = both.top, a.bottom = both.bottom;
                a.pixels += b.pixels;
                a.strength += b.strength;
                a.stillShots += b.stillShots;
                a.at.insert(a.at.end(), b.at.begin(), b.at.end());
                marks.erase(marks.begin() + static_cast<ptrdiff_t>(j));
                merged = true;
            }
    }
}

} // namespace pendra::analysis
