// Edge persistence and candidate rectangles (see locate.h). Integer sums keep
// the result exact and independent of the order of additions.
#include "analysis/locate.h"

#include "analysis/pixel_channels.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace pendra::analysis {

namespace {

// A persistent edge must stand this far above the picture's typical residue
// (the median), and never below an absolute floor in summed levels.
constexpr double medianFactor = 4.0;
constexpr double strengthFloor = 6.0;
// Edges this close (in pixels) belong to one mark: the letters of a word.
constexpr int joinRadius = 3;
// Fewer persistent edge pixels than this are specks, not marks.
constexpr int minEdgePixels = 8;

struct Mark {
    int left, top, right, bottom; // bounding box of the edge pixels, inclusive
    int pixels = 0;
    double strength = 0;
};

} // namespace

EdgePersistence::EdgePersistence(int width, int height)
    : width_(width), height_(height), sumX_(static_cast<size_t>(width) * height * 3, 0),
      sumY_(static_cast<size_t>(width) * height * 3, 0) {}

void EdgePersistence::add(const Picture &frame) {
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x) {
            size_t k = (static_cast<size_t>(y) * width_ + x) * 3;
            for (int c = 0; c < 3; ++c) {
                // Central differences: an edge between two pixels marks both,
                // so a mark's edge pixels enclose it.
                if (x > 0 && x + 1 < width_)
                    sumX_[k + c] += channel(frame.at(x + 1, y), c) - channel(frame.at(x - 1, y), c);
                if (y > 0 && y + 1 < height_)
                    sumY_[k + c] += channel(frame.at(x, y + 1), c) - channel(frame.at(x, y - 1), c);
            }
        }
    if (samples_ > 0) {
        // Every fourth pixel of every fourth line is plenty to tell a still picture.
        double sum = 0;
        int count = 0;
        for (int y = 0; y < height_; y += 4)
            for (int x = 0; x < width_; x += 4, ++count)
                for (int c = 0; c < 3; ++c)
                    sum += std::abs(channel(frame.at(x, y), c) - channel(previous_.at(x, y), c));
        motionSum_ += sum / (3.0 * count);
        ++motionPairs_;
    }
    previous_ = frame;
    ++samples_;
}

double EdgePersistence::motion() const {
    return motionPairs_ > 0 ? motionSum_ / motionPairs_ : 0;
}

std::vector<Candidate> EdgePersistence::candidates(int ring) const {
    std::vector<Candidate> found;
    if (samples_ == 0)
        return found;
    const size_t count = static_cast<size_t>(width_) * height_;
    std::vector<float> strength(count);
    for (size_t k = 0; k < count; ++k) {
        double sq = 0;
        for (int c = 0; c < 3; ++c) {
            double gx = sumX_[k * 3 + c], gy = sumY_[k * 3 + c];
            sq += gx * gx + gy * gy;
        }
        strength[k] = static_cast<float>(std::sqrt(sq) / samples_);
    }
    std::vector<float> sorted = strength;
    std::nth_element(sorted.begin(), sorted.begin() + static_cast<ptrdiff_t>(count / 2),
                     sorted.end());
    const double threshold = std::fmax(strengthFloor, medianFactor * sorted[count / 2]);

    std::vector<uint8_t> edge(count, 0), joined(count, 0);
    for (size_t k = 0; k < count; ++k)
        edge[k] = strength[k] > threshold;
    // Dilate so that nearby edges (a word's letters) join into one mark.
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x) {
            if (!edge[static_cast<size_t>(y) * width_ + x])
                continue;
            for (int v = std::max(0, y - joinRadius); v <= std::min(height_ - 1, y + joinRadius);
                 ++v)
                for (int u = std::max(0, x - joinRadius); u <= std::min(width_ - 1, x + joinRadius);
                     ++u)
                    joined[static_cast<size_t>(v) * width_ + u] = 1;
        }

    // Connected parts of the joined map, in scan order; the box is the edge pixels'.
    std::vector<Mark> marks;
    std::vector<int> stack;
    for (int start = 0; start < static_cast<int>(count); ++start) {
        if (joined[start] != 1)
            continue;
        Mark m{width_, height_, -1, -1};
        joined[start] = 2;
        stack.push_back(start);
        while (!stack.empty()) {
            int k = stack.back();
            stack.pop_back();
            int x = k % width_, y = k / width_;
            if (edge[k]) {
                m.left = std::min(m.left, x), m.right = std::max(m.right, x);
                m.top = std::min(m.top, y), m.bottom = std::max(m.bottom, y);
                ++m.pixels;
                m.strength += strength[k];
            }
            for (int v = std::max(0, y - 1); v <= std::min(height_ - 1, y + 1); ++v)
                for (int u = std::max(0, x - 1); u <= std::min(width_ - 1, x + 1); ++u) {
                    int n = v * width_ + u;
                    if (joined[n] == 1) {
                        joined[n] = 2;
                        stack.push_back(n);
                    }
                }
        }
        // Lines across the picture (a letterbox edge, a still border) are not marks.
        if (m.pixels >= minEdgePixels && m.right - m.left < width_ / 2 &&
            m.bottom - m.top < height_ / 2)
            marks.push_back(m);
    }

    // Marks whose rings would reach into one another are parts of one logo (an
    // emblem beside its text): neither could be fitted with the other in its
    // ring. A second mark elsewhere stays a candidate of its own.
    const int reach = 2 * (1 + ring);
    for (bool merged = true; merged;) {
        merged = false;
        for (size_t i = 0; i < marks.size() && !merged; ++i)
            for (size_t j = i + 1; j < marks.size() && !merged; ++j) {
                Mark &a = marks[i];
                const Mark &b = marks[j];
                if (a.left - reach > b.right || b.left - reach > a.right ||
                    a.top - reach > b.bottom || b.top - reach > a.bottom)
                    continue;
                a.left = std::min(a.left, b.left), a.right = std::max(a.right, b.right);
                a.top = std::min(a.top, b.top), a.bottom = std::max(a.bottom, b.bottom);
                a.pixels += b.pixels;
                a.strength += b.strength;
                marks.erase(marks.begin() + static_cast<ptrdiff_t>(j));
                merged = true;
            }
    }

    struct Ranked {
        Candidate candidate;
        bool inBand;
        int order;
    };
    std::vector<Ranked> ranked;
    for (const Mark &m : marks) {
        // One more pixel for the faint tail of an anti-aliased edge, then the ring.
        int grow = 1 + ring;
        Rect r;
        r.x = std::max(0, m.left - grow);
        r.y = std::max(0, m.top - grow);
        r.width = std::min(width_ - 1, m.right + grow) - r.x + 1;
        r.height = std::min(height_ - 1, m.bottom + grow) - r.y + 1;
        int centreX = (m.left + m.right) / 2, centreY = (m.top + m.bottom) / 2;
        std::string vertical = centreY < height_ / 4        ? "top"
                               : centreY >= height_ * 3 / 4 ? "bottom"
                                                            : "";
        std::string horizontal = centreX < width_ / 4        ? "left"
                                 : centreX >= width_ * 3 / 4 ? "right"
                                                             : "";
        bool inBand = !vertical.empty() || !horizontal.empty();
        std::string where = !inBand ? "in the middle of the picture"
                            : vertical.empty() || horizontal.empty()
                                ? "in the " + vertical + horizontal + " border band"
                                : "in the " + vertical + "-" + horizontal + " border band";
        char numbers[96];
        std::snprintf(numbers, sizeof numbers, "%d persistent edge pixels, mean strength %.1f, ",
                      m.pixels, m.strength / m.pixels);
        std::string notes = numbers + where;
        Candidate c{r, m.strength, notes};
        ranked.push_back({c, inBand, static_cast<int>(ranked.size())});
    }
    // Border bands first (where channels put their marks), strongest first, then scan order.
    std::sort(ranked.begin(), ranked.end(), [](const Ranked &a, const Ranked &b) {
        if (a.inBand != b.inBand)
            return a.inBand;
        if (a.candidate.score != b.candidate.score)
            return a.candidate.score > b.candidate.score;
        return a.order < b.order;
    });
    for (Ranked &r : ranked)
        found.push_back(std::move(r.candidate));
    return found;
}

} // namespace pendra::analysis
