// The box behind a logo's lettering, from the picture's mean gradients (see
// box_outline.h).
#include "analysis/box_outline.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace pendra::analysis {

namespace {

// A pixel lies on a box's side when the mean difference across the side
// passes this many levels: a tinted box's edge over any ground does, the
// scene's moving edges average out below it.
constexpr double lineLevel = 12;
// A side is a line along nearly its whole length, its rounded corners left out.
constexpr double lineCover = 0.8;
// And stands out from the ground beside it by this factor.
constexpr double standOut = 1.5;
// A box stands out from the lettering at most the lettering's width to the
// sides and its height above and below, and this far at least.
constexpr int minReach = 12;
// Lines tried per side, outermost first: the box's own, then nearer ones in
// case scenery lies in line beyond it.
constexpr size_t linesTried = 3;
// A box's rounded corner runs off its sides' lines this far at most.
constexpr int cornerInset = 8;

struct Side {
    bool level = true;    // a line across the picture (top, bottom), else a column
    int from = 0, to = 0; // its run along the line, inclusive
};

// The colour magnitude of the mean difference across a side at one pixel.
double across(const GradientSums &s, bool level, int x, int y) {
    const std::vector<int32_t> &d = level ? s.y : s.x;
    const size_t plane = static_cast<size_t>(s.width) * s.height;
    const size_t p = static_cast<size_t>(y) * s.width + x;
    double sq = 0;
    for (size_t c = 0; c < 3; ++c) {
        const double v = static_cast<double>(d[c * plane + p]) / s.samples;
        sq += v * v;
    }
    return std::sqrt(sq);
}

// Whether a side's pixel lies on a line: the mean difference across it
// passes lineLevel and stands out from the ground on both sides (the
// pixels two away, clear of the step that central differences mark twice),
// as still texture's edges, crossing the side every which way, do not.
bool onLine(const GradientSums &s, bool level, int x, int y) {
    const int dx = level ? 0 : 2, dy = level ? 2 : 0;
    const double here = across(s, level, x, y);
    if (here < lineLevel)
        return false;
    auto ground = [&](int gx, int gy) {
        return gx < 0 || gy < 0 || gx >= s.width || gy >= s.height ? 0.0 : across(s, level, gx, gy);
    };
    return here >= standOut * std::max(ground(x - dx, y - dy), ground(x + dx, y + dy));
}

// The share of a side at `at` (a line or column) whose pixels pass
// lineLevel, `inset` pixels at either end left out.
double cover(const GradientSums &s, const Side &side, int at, int inset) {
    const int from = side.from + inset, to = side.to - inset;
    if (to < from)
        return 0;
    int on = 0;
    for (int k = from; k <= to; ++k)
        on += onLine(s, side.level, side.level ? k : at, side.level ? at : k);
    return static_cast<double>(on) / (to - from + 1);
}

// The same, leaving out rounded corners.
double cover(const GradientSums &s, const Side &side, int at) {
    return cover(s, side, at, std::max(3, (side.to - side.from + 1) / 8));
}

// The lines a side may lie on, from `start` out to `limit` (inclusive), the
// outermost first; a line two pixels wide (a central difference marks both
// pixels of a step) counts once, at its outer pixel.
std::vector<int> linesOut(const GradientSums &s, const Side &side, int start, int limit) {
    const int step = limit >= start ? 1 : -1;
    std::vector<int> lines;
    bool onLine = false;
    for (int at = start; step * (limit - at) >= 0; at += step) {
        const bool on = cover(s, side, at) >= lineCover;
        if (on && onLine)
            lines.back() = at;
        else if (on)
            lines.push_back(at);
        onLine = on;
    }
    std::reverse(lines.begin(), lines.end());
    if (lines.size() > linesTried)
        lines.resize(linesTried);
    return lines;
}

struct Box {
    int left = 0, top = 0, right = -1, bottom = -1;
};

// Whether the box has four whole sides, and where it reaches beyond the
// mark its sides run on there too: lines through the lettering alone (its
// tops, its feet) with scenery's columns beside it make no box.
bool wholeBox(const GradientSums &s, const Mark &m, const Box &box) {
    const Side level{true, box.left, box.right}, column{false, box.top, box.bottom};
    if (cover(s, level, box.top) < lineCover || cover(s, level, box.bottom) < lineCover ||
        cover(s, column, box.left) < lineCover || cover(s, column, box.right) < lineCover)
        return false;
    const Side ends[] = {{true, box.left, m.left},
                         {true, m.right, box.right},
                         {false, box.top, m.top},
                         {false, m.bottom, box.bottom}};
    for (const Side &end : ends) {
        if (end.to - end.from < 2 * cornerInset + 2)
            continue;
        const int first = end.level ? box.top : box.left, last = end.level ? box.bottom : box.right;
        if (cover(s, end, first, cornerInset) < lineCover ||
            cover(s, end, last, cornerInset) < lineCover)
            return false;
    }
    return true;
}

// The lines a pair of opposite sides may lie on, each list outermost first:
// out from `first` and from `last` (two pixels in) by `reach`, short of the
// picture's outermost lines, where central differences leave no edge.
std::pair<std::vector<int>, std::vector<int>> linesAround(const GradientSums &s, const Side &side,
                                                          int first, int last, int reach) {
    const int end = side.level ? s.height - 2 : s.width - 2;
    return {linesOut(s, side, first + 2, std::max(1, first - reach)),
            linesOut(s, side, last - 2, std::min(end, last + reach))};
}

// Whether a pair of the lines, the outer ones tried first, lies apart and
// `fits`.
template <typename Fits>
bool anyPair(const std::pair<std::vector<int>, std::vector<int>> &lines, Fits &&fits) {
    for (int near : lines.first)
        for (int far : lines.second)
            if (far - near >= 4 && fits(near, far))
                return true;
    return false;
}

// The columns within reach of the mark, over the run from top to bottom,
// that make a whole box with its top and bottom.
bool columnsAround(const GradientSums &s, const Mark &m, Box &box) {
    const Side column{false, box.top, box.bottom};
    const int reach = std::max(m.right - m.left + 1, minReach);
    return anyPair(linesAround(s, column, m.left, m.right, reach), [&](int left, int right) {
        box.left = left, box.right = right;
        return wholeBox(s, m, box);
    });
}

} // namespace

void spanBox(const GradientSums &s, Mark &m) {
    if (s.samples <= 0 || m.right - m.left < 4 || m.bottom - m.top < 4)
        return;
    const Side level{true, m.left, m.right};
    const int reach = std::max(m.bottom - m.top + 1, minReach);
    Box box;
    if (!anyPair(linesAround(s, level, m.top, m.bottom, reach), [&](int top, int bottom) {
            box.top = top, box.bottom = bottom;
            return columnsAround(s, m, box);
        }))
        return;
    m.left = std::min(m.left, box.left), m.right = std::max(m.right, box.right);
    m.top = std::min(m.top, box.top), m.bottom = std::max(m.bottom, box.bottom);
}

} // namespace pendra::analysis
