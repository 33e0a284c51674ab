// Marks from persistent edges (see marks.h). Each pixel has a level of its
// own: a mark too big for a logo has its level raised until it breaks at its
// weaker links, then each mark keeps only the edges within reach of its
// strongest ones.
#include "analysis/marks.h"

#include "analysis/median.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <utility>

namespace pendra::analysis {

namespace {

// Edges this close (in pixels) belong to one mark: the letters of a word.
constexpr int joinRadius = 3;
// Fewer persistent edge pixels than this are specks, not marks.
constexpr int minEdgePixels = 8;
// A mark with fewer than a short word's edge pixels is a speck, with no
// letters to take back from scenery beside it.
constexpr int wordPixels = 48;
// A mark too big for a logo has its level raised by this factor a round, for
// so many rounds at most.
constexpr float splitStep = 1.25f;
constexpr int splitRounds = 12;
// A mark keeps the edges at least this share of its strong edges' strength
// (the strength its tenth strongest in a hundred reach): a logo's edges share
// its opacity, and still texture beside it is weaker.
constexpr double strongQuantile = 0.9;
constexpr double keepShare = 0.35;
// An edge still in this share of the shots seen, of this many at least,
// lasts as a logo does.
constexpr double lastingShare = 0.8;
constexpr int lastingShots = 4;
// Lasting edges may widen or heighten a mark at most this many times over.
constexpr double growLimit = 2.5;
// A box's outline stands this far out from the lettering on three sides,
// and this share of its edges lie that near its box's sides.
constexpr int boxMargin = 3;
constexpr double outlineShare = 0.55;
// Neighbouring marks whose mean strengths differ by more than this factor
// are a logo and scenery, not two parts of a logo.
constexpr double likeStrength = 2.0;
// A neighbour with fewer edges than this share of a mark's is a speck of
// still texture beside it, not a part of the logo.
constexpr double partShare = 0.1;
// A line or column at a mark's side whose edges add up to less than this
// share of the mark's typical line or column is a sparse tail of weaker
// still texture (twigs running out of an emblem), not the logo.
constexpr double tailShare = 0.35;
// A mark leaves or returns at a sample where this share of its edges change
// together (a logo's break or fade, the scene staying as it was). Its
// presence is told only where its edges keep still in most samples: at most
// this share of them change at the median sample.
constexpr double togetherShare = 0.6;
constexpr double quietShare = 0.1;

// Per pixel, the level its edge must pass, and the layer it is joined in:
// edges join only edges of their own layer.
struct Cuts {
    std::vector<float> level;
    std::vector<uint8_t> layer;
    std::vector<uint8_t> split; // 1 where the edge was part of a mark too big for a logo
};

// Adds the edge pixel `k` to the mark.
void takeInto(const EdgeMap &map, Mark &m, int k) {
    const int x = k % map.width, y = k / map.width;
    m.left = std::min(m.left, x), m.right = std::max(m.right, x);
    m.top = std::min(m.top, y), m.bottom = std::max(m.bottom, y);
    ++m.pixels;
    m.strength += map.strength[static_cast<size_t>(k)];
    m.stillShots += map.stillShots[static_cast<size_t>(k)];
    m.at.push_back(k);
}

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
            if (edge[k])
                takeInto(map, m, k);
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

// The level a mark's edges must pass: a share of its strong edges' strength.
float strongCut(const EdgeMap &map, const Mark &m) {
    std::vector<float> values;
    values.reserve(m.at.size());
    for (int k : m.at)
        values.push_back(map.strength[static_cast<size_t>(k)]);
    const auto strong =
        values.begin() + static_cast<ptrdiff_t>(strongQuantile * double(values.size() - 1));
    std::nth_element(values.begin(), strong, values.end());
    return static_cast<float>(keepShare * *strong);
}

// Raises the level over each mark to a share of its strong edges' strength.
void keepStrong(const EdgeMap &map, const std::vector<Mark> &marks, Cuts &cuts) {
    for (const Mark &m : marks) {
        const float cut = strongCut(map, m);
        for (int k : m.at)
            cuts.level[k] = std::max(cuts.level[k], cut);
    }
}

// Whether an edge stays still in nearly every shot of many: as lasting as
// a logo, where still scenery beside one lasts a shot or a few. With few
// shots seen everything lasts alike, and nothing is told this way.
bool lasting(const EdgeMap &map, size_t k) {
    return map.evidenceShots >= lastingShots && map.strength[k] > map.floor[k] &&
           map.stillShots[k] >= lastingShare * map.evidenceShots;
}

// The lasting edges joined to a mark that its strong edges' level left out;
// none when they run on into the picture (a static shot's scenery lasts as
// well, and joins up until it reaches the picture's edge or grows past a
// logo's size). Edges already in a mark, this one included, are not taken.
std::vector<int> lastingAround(const EdgeMap &map, const std::vector<int> &owner, const Mark &m) {
    const int width = map.width, height = map.height;
    std::vector<uint8_t> seen(owner.size(), 0);
    std::vector<int> stack = m.at, found;
    int left = m.left, right = m.right, top = m.top, bottom = m.bottom;
    while (!stack.empty()) {
        const int k = stack.back(), x = k % width, y = k / width;
        stack.pop_back();
        for (int v = std::max(0, y - joinRadius); v <= std::min(height - 1, y + joinRadius); ++v)
            for (int u = std::max(0, x - joinRadius); u <= std::min(width - 1, x + joinRadius);
                 ++u) {
                const size_t at = static_cast<size_t>(v) * width + u;
                if (seen[at] || owner[at] >= 0 || !lasting(map, at))
                    continue;
                seen[at] = 1;
                left = std::min(left, u), right = std::max(right, u);
                top = std::min(top, v), bottom = std::max(bottom, v);
                if (u <= 1 || v <= 1 || u >= width - 2 || v >= height - 2 ||
                    right - left + 1 > growLimit * (m.right - m.left + 1) ||
                    bottom - top + 1 > growLimit * (m.bottom - m.top + 1))
                    return {};
                stack.push_back(static_cast<int>(at));
                found.push_back(static_cast<int>(at));
            }
    }
    return found;
}

// Takes back into a mark the edges that still scenery running off the
// picture took with it (a letter lying over the scenery's edge): those joined
// to the mark within its own lines, at most a letter's height beyond its box,
// and as strong as the mark's own. `taken` marks the scenery's edges, and
// each is taken back once.
void reclaim(const EdgeMap &map, std::vector<uint8_t> &taken, Mark &m) {
    const float cut = strongCut(map, m);
    const int top = m.top, bottom = m.bottom, height = bottom - top + 1;
    const int left = std::max(0, m.left - height),
              right = std::min(map.width - 1, m.right + height);
    for (size_t next = 0; next < m.at.size(); ++next) {
        const int x = m.at[next] % map.width, y = m.at[next] / map.width;
        for (int v = std::max(top, y - joinRadius); v <= std::min(bottom, y + joinRadius); ++v)
            for (int u = std::max(left, x - joinRadius); u <= std::min(right, x + joinRadius);
                 ++u) {
                const int k = v * map.width + u;
                if (taken[static_cast<size_t>(k)] == 0 ||
                    map.strength[static_cast<size_t>(k)] < cut)
                    continue;
                taken[static_cast<size_t>(k)] = 0;
                takeInto(map, m, k);
            }
    }
}

// Per column (or line) of a mark's box, its edges' summed strength.
std::vector<double> profile(const EdgeMap &map, const Mark &m, bool columns) {
    std::vector<double> sums(
        static_cast<size_t>(columns ? m.right - m.left + 1 : m.bottom - m.top + 1), 0);
    for (int k : m.at)
        sums[static_cast<size_t>(columns ? k % map.width - m.left : k / map.width - m.top)] +=
            map.strength[static_cast<size_t>(k)];
    return sums;
}

// The first and last place of a profile that are no sparse tail: the walk
// in from each side stops at the first that holds a fair share of the
// typical (median of those with edges).
std::pair<int, int> core(const std::vector<double> &sums) {
    std::vector<double> held;
    for (double s : sums)
        if (s > 0)
            held.push_back(s);
    const double enough = tailShare * median(held); // a mark holds edges
    int first = 0, last = static_cast<int>(sums.size()) - 1;
    while (sums[static_cast<size_t>(first)] < enough)
        ++first;
    while (sums[static_cast<size_t>(last)] < enough)
        --last;
    return {first, last};
}

// Whether the edges at `add` stand around the mark on three sides at
// least, a few pixels out: a box's outline does (the lettering may touch it
// on one side); still scenery lasting beside the logo does not.
bool encloses(int width, const Mark &m, const std::vector<int> &add) {
    int left = m.left, right = m.right, top = m.top, bottom = m.bottom;
    for (int k : add) {
        const int x = k % width, y = k / width;
        left = std::min(left, x), right = std::max(right, x);
        top = std::min(top, y), bottom = std::max(bottom, y);
    }
    const int sides = (m.left - left >= boxMargin) + (right - m.right >= boxMargin) +
                      (m.top - top >= boxMargin) + (bottom - m.bottom >= boxMargin);
    return sides >= 3;
}

} // namespace

void addLasting(const EdgeMap &map, std::vector<Mark> &marks) {
    std::vector<int> owner(map.strength.size(), -1);
    for (size_t i = 0; i < marks.size(); ++i)
        for (int k : marks[i].at)
            owner[static_cast<size_t>(k)] = static_cast<int>(i);
    for (size_t i = 0; i < marks.size(); ++i) {
        Mark &m = marks[i];
        auto add = lastingAround(map, owner, m);
        if (!encloses(map.width, m, add))
            add.clear();
        for (int k : add) {
            takeInto(map, m, k);
            owner[static_cast<size_t>(k)] = static_cast<int>(i);
        }
    }
}

void trimTails(const EdgeMap &map, Mark &m) {
    const auto [left, right] = core(profile(map, m, true));
    const auto [top, bottom] = core(profile(map, m, false));
    Mark kept;
    kept.left = map.width, kept.top = map.height;
    for (int k : m.at) {
        const int x = k % map.width - m.left, y = k / map.width - m.top;
        if (x < left || x > right || y < top || y > bottom)
            continue;
        kept.left = std::min(kept.left, x + m.left), kept.right = std::max(kept.right, x + m.left);
        kept.top = std::min(kept.top, y + m.top), kept.bottom = std::max(kept.bottom, y + m.top);
        ++kept.pixels;
        kept.strength += map.strength[static_cast<size_t>(k)];
        kept.stillShots += map.stillShots[static_cast<size_t>(k)];
        kept.at.push_back(k);
    }
    m = std::move(kept);
}

bool framed(const Mark &m, int width, int height) {
    return m.left <= 1 || m.top <= 1 || m.right >= width - 2 || m.bottom >= height - 2;
}

std::vector<Mark> findMarks(const EdgeMap &map) {
    Cuts cuts{map.floor, std::vector<uint8_t>(map.strength.size(), 0),
              std::vector<uint8_t>(map.strength.size(), 0)};
    std::vector<Mark> marks = connect(map, cuts);
    for (int round = 0; round < splitRounds && splitLarge(map, marks, cuts); ++round)
        marks = connect(map, cuts);
    keepStrong(map, marks, cuts);
    marks = connect(map, cuts);
    // A piece of still scenery split off that still runs on beyond the
    // picture is scenery; a logo split off it keeps clear of the edges.
    const auto scenery = [&](const Mark &m) {
        return !logoSized(m, map.width, map.height) ||
               (framed(m, map.width, map.height) &&
                std::any_of(m.at.begin(), m.at.end(), [&](int k) { return cuts.split[k] != 0; }));
    };
    std::vector<uint8_t> taken(map.strength.size(), 0);
    for (const Mark &m : marks)
        if (scenery(m))
            for (int k : m.at)
                taken[static_cast<size_t>(k)] = 1;
    std::erase_if(marks, [&](const Mark &m) { return m.pixels < minEdgePixels || scenery(m); });
    std::stable_sort(marks.begin(), marks.end(),
                     [](const Mark &a, const Mark &b) { return a.pixels > b.pixels; });
    for (Mark &m : marks)
        if (m.pixels >= wordPixels)
            reclaim(map, taken, m);
    return marks;
}

uint64_t changedTogether(const Mark &m, const ChangeBits &changes) {
    std::array<int, 64> count{};
    const int samples = std::min(changes.samples, static_cast<int>(count.size()));
    if (samples <= 0)
        return 0;
    for (int k : m.at)
        for (uint64_t bits = changes.bits[static_cast<size_t>(k)]; bits != 0; bits &= bits - 1)
            ++count[static_cast<size_t>(std::countr_zero(bits))];
    std::array<int, 64> sorted = count;
    std::nth_element(sorted.begin(), sorted.begin() + samples / 2, sorted.begin() + samples);
    // Edges that change now and then (over a moving picture, in leaves
    // stirring) tell nothing of a logo's presence.
    if (sorted[static_cast<size_t>(samples / 2)] > quietShare * m.pixels)
        return 0;
    uint64_t together = 0;
    for (int s = 0; s < samples; ++s)
        if (count[static_cast<size_t>(s)] >= togetherShare * m.pixels)
            together |= uint64_t{1} << s;
    return together;
}

namespace {

// Whether the one span, widened by the gap edges join across, holds the other.
bool within(int innerFirst, int innerLast, int outerFirst, int outerLast) {
    return innerFirst >= outerFirst - joinRadius && innerLast <= outerLast + joinRadius;
}

// Whether two marks could be parts of one logo by their look alone: still in
// as many shots and of like strength.
bool alike(const Mark &a, const Mark &b, double apartShots) {
    const double strengthA = a.strength / a.pixels, strengthB = b.strength / b.pixels;
    return std::fabs(a.stillShots / a.pixels - b.stillShots / b.pixels) <= apartShots &&
           std::max(strengthA, strengthB) <= likeStrength * std::min(strengthA, strengthB);
}

// Whether the smaller of two marks is no mere speck beside the larger.
bool part(const Mark &a, const Mark &b) {
    return std::min(a.pixels, b.pixels) >= partShare * std::max(a.pixels, b.pixels);
}

// Whether the smaller mark keeps to the larger's lines (a word beside a word,
// an emblem beside its text) or to its columns (a line of text under an
// emblem): the parts of a logo line up, still scenery beside it need not.
bool inBand(const Mark &a, const Mark &b) {
    const Mark &small = a.pixels < b.pixels ? a : b, &large = a.pixels < b.pixels ? b : a;
    return within(small.top, small.bottom, large.top, large.bottom) ||
           within(small.left, small.right, large.left, large.right);
}

// Whether two marks span the same lines, to the gap edges join across: the
// words of one line of text, where still scenery beside a logo rarely starts
// and ends on the logo's own lines.
bool sameLines(const Mark &a, const Mark &b) {
    return std::abs(a.top - b.top) <= joinRadius && std::abs(a.bottom - b.bottom) <= joinRadius;
}

// Whether two marks' boxes, each widened by `reach` pixels, run into one another.
bool near(const Mark &a, const Mark &b, int reach) {
    return a.left - reach <= b.right && b.left - reach <= a.right && a.top - reach <= b.bottom &&
           b.top - reach <= a.bottom;
}

void join(Mark &a, const Mark &b) {
    a.left = std::min(a.left, b.left), a.right = std::max(a.right, b.right);
    a.top = std::min(a.top, b.top), a.bottom = std::max(a.bottom, b.bottom);
    a.pixels += b.pixels;
    a.strength += b.strength;
    a.stillShots += b.stillShots;
    a.at.insert(a.at.end(), b.at.begin(), b.at.end());
}

// Whether b lies wholly inside a's box (another layer's edges of the same
// letters): part of a's mark however small, and it widens nothing.
bool inside(const Mark &b, const Mark &a) {
    return b.left >= a.left && b.right <= a.right && b.top >= a.top && b.bottom <= a.bottom;
}

} // namespace

void mergeNear(std::vector<Mark> &marks, const Joining &joining, const ChangeBits &changes) {
    // Largest first, so that a logo's parts join before a speck beside it is
    // weighed against the whole logo rather than one of its letters.
    std::stable_sort(marks.begin(), marks.end(),
                     [](const Mark &a, const Mark &b) { return a.pixels > b.pixels; });
    std::vector<uint64_t> together(marks.size());
    for (size_t i = 0; i < marks.size(); ++i)
        together[i] = changedTogether(marks[i], changes);
    for (bool merged = true; merged;) {
        merged = false;
        for (size_t i = 0; i < marks.size() && !merged; ++i)
            for (size_t j = i + 1; j < marks.size() && !merged; ++j) {
                Mark &a = marks[i];
                const Mark &b = marks[j];
                // Words of a text are at most a letter's height apart: words
                // that leave together, or that span the very same lines.
                const bool sharePresence = together[i] != 0 && together[i] == together[j];
                const int reach =
                    sharePresence || sameLines(a, b)
                        ? std::max(joining.reach, std::max(a.bottom - a.top, b.bottom - b.top) + 1)
                        : joining.reach;
                if (!near(a, b, reach) || !alike(a, b, joining.apartShots) ||
                    !(inside(b, a) || (part(a, b) && inBand(a, b))))
                    continue;
                Mark both;
                both.left = std::min(a.left, b.left), both.right = std::max(a.right, b.right);
                both.top = std::min(a.top, b.top), both.bottom = std::max(a.bottom, b.bottom);
                if (!logoSized(both, joining.width, joining.height))
                    continue;
                join(a, b);
                together[i] = changedTogether(a, changes);
                marks.erase(marks.begin() + static_cast<ptrdiff_t>(j));
                together.erase(together.begin() + static_cast<ptrdiff_t>(j));
                merged = true;
            }
    }
}

namespace {

double meanStrength(const Mark &m) {
    return m.strength / m.pixels;
}

// Whether a mark stays still in nearly every one of many shots, as a logo
// does; the picture's own still parts last a shot or a few.
bool lastingMark(const EdgeMap &map, const Mark &m) {
    return map.evidenceShots >= lastingShots &&
           m.stillShots >= lastingShare * map.evidenceShots * m.pixels;
}

// Whether a mark's edges run along its box's sides, as a box's outline
// does; still scenery around a logo fills its box.
bool outlineLike(const EdgeMap &map, const Mark &m) {
    size_t along = 0;
    for (int k : m.at) {
        const int x = k % map.width, y = k / map.width;
        along += std::min({x - m.left, m.right - x, y - m.top, m.bottom - y}) < boxMargin;
    }
    return static_cast<double>(along) >= outlineShare * static_cast<double>(m.at.size());
}

// Whether `frame` stands around `m` on three sides or more, a few pixels
// out, and is no more than a few times its size.
bool frames(const Mark &frame, const Mark &m) {
    const int sides = (m.left - frame.left >= boxMargin) + (frame.right - m.right >= boxMargin) +
                      (m.top - frame.top >= boxMargin) + (frame.bottom - m.bottom >= boxMargin);
    return sides >= 3 && frame.right - frame.left + 1 <= growLimit * (m.right - m.left + 1) &&
           frame.bottom - frame.top + 1 <= growLimit * (m.bottom - m.top + 1);
}

} // namespace

void joinLastingFrames(const EdgeMap &map, std::vector<Mark> &marks) {
    for (size_t i = 0; i < marks.size(); ++i) {
        if (!lastingMark(map, marks[i]))
            continue;
        double frameStrength = 0; // the framing outline's, once one joined
        // A box stands a few pixels out from its lettering: what joins keeps
        // within a few times the lettering's size, so that a static shot's
        // lasting scenery around a logo does not join it piece by piece.
        const Mark lettering = marks[i];
        for (size_t j = 0; j < marks.size(); ++j) {
            if (j == i || !lastingMark(map, marks[j]))
                continue;
            const Mark &a = marks[i], &b = marks[j];
            const int reach = std::max(a.bottom - a.top, b.bottom - b.top) + 1;
            const bool framing = frameStrength == 0 && frames(b, a) && outlineLike(map, b);
            const bool piece = frameStrength > 0 && inBand(a, b) && near(a, b, reach) &&
                               std::max(frameStrength, meanStrength(b)) <=
                                   likeStrength * std::min(frameStrength, meanStrength(b));
            Mark both = a;
            both.left = std::min(a.left, b.left), both.right = std::max(a.right, b.right);
            both.top = std::min(a.top, b.top), both.bottom = std::max(a.bottom, b.bottom);
            if (!(framing || piece) || !logoSized(both, map.width, map.height) ||
                !frames(both, lettering))
                continue;
            if (framing)
                frameStrength = meanStrength(b);
            join(marks[i], b);
            marks.erase(marks.begin() + static_cast<ptrdiff_t>(j));
            if (j < i)
                --i;
            j = static_cast<size_t>(-1); // the joined mark may reach more pieces
        }
    }
}

} // namespace pendra::analysis
