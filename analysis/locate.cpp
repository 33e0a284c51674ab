// Edge persistence across shots and candidate rectangles (see locate.h).
// Integer sums within a shot keep the result exact and independent of the
// order of additions.
#include "analysis/locate.h"

#include "analysis/marks.h"
#include "analysis/pixel_channels.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

namespace pendra::analysis {

namespace {

// A persistent edge must stand this far above the picture's typical residue
// (the median), and never below an absolute floor in levels.
constexpr double medianFactor = 4.0;
constexpr double strengthFloor = 6.0;
// Within a shot an edge is still when its summed differences keep this share
// of their summed magnitudes: a moving edge's cancel out.
constexpr double stillRatio = 0.6;
// Neighbouring marks whose persistence differs by more than this share of
// the shots are told apart.
constexpr double apartShare = 0.3;
// Where channels put their marks: corners first, then the border bands.
constexpr double cornerPrior = 1.0;
constexpr double bandPrior = 0.8;
constexpr double middlePrior = 0.5;
// A logo's outline has at least this many edge pixels; a mark with fewer is
// a speck of still texture, ranked down in proportion.
constexpr double logoEdgePixels = 48;
// A logo's edges fill at least this share of its box; specks of still
// texture scattered over a wider box fill less, and rank down in proportion.
constexpr double denseShare = 0.1;
// A mark reaching the picture's outermost lines runs on beyond it: scenery,
// where a channel keeps its logo clear of the picture's edges.
constexpr double framedPrior = 0.5;
// An edge changes between samples when its differences change by more than
// this many levels; a mark that leaves for a break or fades and comes back
// (see changedTogether) is this much likelier a logo.
constexpr double changeLevel = 3 * strengthFloor;
constexpr double presenceFactor = 2.0;
// Lettering and emblems turn through all directions: the smaller spread of
// their edges' directions is at least this share of the larger. A mark that
// turns less ranks down with the square of the shortfall, steeply: still
// scenery is mostly straight edges (a door frame, a shelf), where block
// letters' upright and level strokes still turn half as much one way as the other.
constexpr double turnShare = 0.5;

double magnitude(const float *x, const float *y) {
    double sq = 0;
    for (int c = 0; c < 3; ++c)
        sq += double(x[c]) * x[c] + double(y[c]) * y[c];
    return std::sqrt(sq);
}

// One line's central differences per pixel and channel (as channel()
// numbers them): an edge between two pixels marks both, so a mark's edge
// pixels enclose it. At the picture's border, none.
void lineDifferences(const uint32_t *pixels, int width, int height, int y, int32_t *gx,
                     int32_t *gy) {
    const uint32_t *row = pixels + static_cast<size_t>(y) * width;
    const bool inY = y > 0 && y + 1 < height;
    const uint32_t *above = inY ? row - width : row, *below = inY ? row + width : row;
    for (int x = 0; x < width; ++x)
        for (int c = 0; c < 3; ++c) {
            const int shift = 16 - 8 * c;
            gy[x * 3 + c] = int(below[x] >> shift & 255u) - int(above[x] >> shift & 255u);
        }
    for (int c = 0; c < 3; ++c) {
        gx[c] = 0;
        gx[(width - 1) * 3 + c] = 0;
    }
    for (int x = 1; x + 1 < width; ++x)
        for (int c = 0; c < 3; ++c) {
            const int shift = 16 - 8 * c;
            gx[x * 3 + c] = int(row[x + 1] >> shift & 255u) - int(row[x - 1] >> shift & 255u);
        }
}

// Each pixel's difference magnitude added on. Whole levels: the sum of
// squares is exact in an int, as in a double.
void addMagnitudes(const int32_t *gx, const int32_t *gy, int width, float *magnitude) {
    for (int x = 0; x < width; ++x) {
        int sq = 0;
        for (int c = 0; c < 3; ++c)
            sq += gx[x * 3 + c] * gx[x * 3 + c] + gy[x * 3 + c] * gy[x * 3 + c];
        magnitude[x] += static_cast<float>(std::sqrt(static_cast<double>(sq)));
    }
}

// Marks the pixels whose differences changed from the sample before (when
// `changes`), and keeps these differences for the next. The squares of whole
// levels sum exactly in an int64.
void trackChanges(const int32_t *gx, const int32_t *gy, int width, bool changes, int sample,
                  int16_t *previous, uint64_t *changed) {
    constexpr auto level = static_cast<int64_t>(changeLevel * changeLevel);
    static_assert(changeLevel * changeLevel == static_cast<double>(level));
    for (int x = 0; x < width; ++x) {
        int64_t change = 0;
        for (int c = 0; c < 3; ++c) {
            int16_t *before = previous + x * 6 + c * 2;
            const int dx = gx[x * 3 + c] - before[0], dy = gy[x * 3 + c] - before[1];
            change += int64_t{dx} * dx + int64_t{dy} * dy;
            before[0] = static_cast<int16_t>(gx[x * 3 + c]);
            before[1] = static_cast<int16_t>(gy[x * 3 + c]);
        }
        if (changes && change > level)
            changed[x] |= uint64_t{1} << sample;
    }
}

} // namespace

EdgePersistence::EdgePersistence(int width, int height)
    : width_(width), height_(height), shotX_(static_cast<size_t>(width) * height * 3, 0),
      shotY_(shotX_.size(), 0), shotMagnitude_(static_cast<size_t>(width) * height, 0),
      sumX_(shotX_.size(), 0), sumY_(shotX_.size(), 0), stillShots_(shotMagnitude_.size(), 0),
      changed_(shotMagnitude_.size(), 0), previousGradient_(shotX_.size() * 2, 0),
      lineX_(static_cast<size_t>(width) * 3, 0), lineY_(lineX_.size(), 0) {}

void EdgePersistence::add(const Picture &frame) {
    if (cuts_.add(frame))
        finish();
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
    // Changes are kept for the first samples of a shot after its first: at a
    // cut every edge changes, and a logo leaving does so within a shot.
    const bool track = samples_ < changeSamples;
    const bool changes = shotSamples_ > 0 && track;
    // This runs over whole frames: each line's differences are worked out
    // once into plain arrays, then summed in simple loops over them.
    std::vector<int32_t> &gx = lineX_, &gy = lineY_;
    for (int y = 0; y < height_; ++y) {
        const size_t line = static_cast<size_t>(y) * width_;
        lineDifferences(frame.pixels.data(), width_, height_, y, gx.data(), gy.data());
        int32_t *sx = shotX_.data() + line * 3;
        int32_t *sy = shotY_.data() + line * 3;
        for (size_t i = 0; i < gx.size(); ++i) {
            sx[i] += gx[i];
            sy[i] += gy[i];
        }
        addMagnitudes(gx.data(), gy.data(), width_, shotMagnitude_.data() + line);
        if (track)
            trackChanges(gx.data(), gy.data(), width_, changes, samples_,
                         previousGradient_.data() + line * 6, changed_.data() + line);
    }
    previous_ = frame;
    ++shotSamples_;
    ++samples_;
}

void EdgePersistence::finish() {
    if (shotSamples_ == 0)
        return;
    // A shot of one sample shows every edge as still: it adds to the
    // strength but is no evidence of persistence.
    const bool evidence = shotSamples_ >= 2;
    for (size_t p = 0; p < shotMagnitude_.size(); ++p) {
        float x[3], y[3];
        for (int c = 0; c < 3; ++c) {
            x[c] = static_cast<float>(shotX_[p * 3 + c]) / static_cast<float>(shotSamples_);
            y[c] = static_cast<float>(shotY_[p * 3 + c]) / static_cast<float>(shotSamples_);
            sumX_[p * 3 + c] += shotX_[p * 3 + c];
            sumY_[p * 3 + c] += shotY_[p * 3 + c];
            shotX_[p * 3 + c] = shotY_[p * 3 + c] = 0;
        }
        const double mean = magnitude(x, y);
        if (evidence && mean >= strengthFloor &&
            mean * shotSamples_ >= stillRatio * shotMagnitude_[p])
            ++stillShots_[p];
        shotMagnitude_[p] = 0;
    }
    evidenceShots_ += evidence ? 1 : 0;
    ++shots_;
    shotSamples_ = 0;
}

double EdgePersistence::motion() const {
    return motionPairs_ > 0 ? motionSum_ / motionPairs_ : 0;
}

std::vector<float> EdgePersistence::strength() const {
    std::vector<float> out(shotMagnitude_.size(), 0);
    if (samples_ > 0)
        for (size_t p = 0; p < out.size(); ++p) {
            double sq = 0;
            for (int c = 0; c < 3; ++c)
                sq += double(sumX_[p * 3 + c]) * sumX_[p * 3 + c] +
                      double(sumY_[p * 3 + c]) * sumY_[p * 3 + c];
            out[p] = static_cast<float>(std::sqrt(sq) / samples_);
        }
    return out;
}

EdgeLevels EdgePersistence::levels(const std::vector<float> &strength) const {
    return edgeLevels(strength, width_, height_, medianFactor, strengthFloor);
}

std::vector<uint8_t> EdgePersistence::edges(const Rect &area) const {
    const std::vector<float> s = strength();
    const std::vector<float> limit = levels(s).at;
    std::vector<uint8_t> out(static_cast<size_t>(area.width) * area.height, 0);
    for (int y = 0; y < area.height; ++y)
        for (int x = 0; x < area.width; ++x)
            out[static_cast<size_t>(y) * area.width + x] =
                s[static_cast<size_t>(area.y + y) * width_ + area.x + x] >
                limit[static_cast<size_t>(area.y + y) * width_ + area.x + x];
    return out;
}

EdgePattern EdgePersistence::pattern(const Rect &area) const {
    const std::vector<uint8_t> on = edges(area);
    EdgePattern p;
    p.width = area.width;
    if (samples_ == 0)
        return p;
    for (int y = 1; y + 1 < area.height; ++y)
        for (int x = 1; x + 1 < area.width; ++x) {
            if (!on[static_cast<size_t>(y) * area.width + x])
                continue;
            p.at.push_back(y * area.width + x);
            const size_t k = (static_cast<size_t>(area.y + y) * width_ + area.x + x) * 3;
            for (int c = 0; c < 3; ++c) {
                const float gx = static_cast<float>(sumX_[k + c]) / static_cast<float>(samples_);
                const float gy = static_cast<float>(sumY_[k + c]) / static_cast<float>(samples_);
                p.gx.push_back(gx), p.gy.push_back(gy);
                p.energy += double(gx) * gx + double(gy) * gy;
            }
        }
    return p;
}

int EdgePersistence::changesTogether(const Mark &m) const {
    return std::popcount(changedTogether(m, {changed_, std::min(samples_, changeSamples)}));
}

double EdgePersistence::turning(const Mark &m) const {
    // The structure tensor of the summed gradients: its eigenvalues are the
    // spreads along the main direction and across it.
    double xx = 0, yy = 0, xy = 0;
    for (int k : m.at)
        for (int c = 0; c < 3; ++c) {
            const double gx = sumX_[static_cast<size_t>(k) * 3 + c];
            const double gy = sumY_[static_cast<size_t>(k) * 3 + c];
            xx += gx * gx, yy += gy * gy, xy += gx * gy;
        }
    const double mean = (xx + yy) / 2, spread = std::sqrt((xx - yy) * (xx - yy) / 4 + xy * xy);
    return mean > 0 ? (mean - spread) / (mean + spread) : 0;
}

namespace {

// The mean level over a mark's edge pixels.
double meanLevel(const Mark &m, const std::vector<float> &level) {
    double sum = 0;
    for (int k : m.at)
        sum += level[static_cast<size_t>(k)];
    return m.at.empty() ? 1.0 : sum / static_cast<double>(m.at.size());
}

// Where a mark sits, in words, and how likely a logo is there.
double placePrior(const Mark &m, int width, int height, std::string &where) {
    const int centreX = (m.left + m.right) / 2, centreY = (m.top + m.bottom) / 2;
    const std::string vertical = centreY < height / 4        ? "top"
                                 : centreY >= height * 3 / 4 ? "bottom"
                                                             : "";
    const std::string horizontal = centreX < width / 4        ? "left"
                                   : centreX >= width * 3 / 4 ? "right"
                                                              : "";
    if (vertical.empty() && horizontal.empty()) {
        where = "in the middle of the picture";
        return middlePrior;
    }
    if (vertical.empty() || horizontal.empty()) {
        where = "in the " + vertical + horizontal + " border band";
        return bandPrior;
    }
    where = "in the " + vertical + "-" + horizontal + " corner";
    return cornerPrior;
}

} // namespace

std::vector<Candidate> EdgePersistence::candidates(int ring) const {
    std::vector<Candidate> found;
    if (samples_ == 0 || shots_ == 0)
        return found;
    const std::vector<float> s = strength();
    std::vector<uint8_t> changes(changed_.size());
    std::transform(changed_.begin(), changed_.end(), changes.begin(),
                   [](uint64_t bits) { return static_cast<uint8_t>(std::popcount(bits)); });
    const EdgeLevels level = levels(s);
    const EdgeMap map{width_, height_, s, stillShots_, changes, level.at, evidenceShots_};
    std::vector<Mark> marks = findMarks(map);
    // With fewer than two shots seen over time, every mark persists alike.
    const double apartShots =
        evidenceShots_ >= 2 ? apartShare * evidenceShots_ : std::numeric_limits<double>::max();
    mergeNear(marks, {2 * (1 + ring), apartShots, width_, height_},
              {changed_, std::min(samples_, changeSamples)});
    for (Mark &m : marks)
        trimTails(map, m);
    addLasting(map, marks);
    joinLastingFrames(map, marks);

    for (const Mark &m : marks) {
        // One more pixel for the faint tail of an anti-aliased edge, then the ring.
        const int grow = 1 + ring;
        Candidate c;
        c.rect.x = std::max(0, m.left - grow);
        c.rect.y = std::max(0, m.top - grow);
        c.rect.width = std::min(width_ - 1, m.right + grow) - c.rect.x + 1;
        c.rect.height = std::min(height_ - 1, m.bottom + grow) - c.rect.y + 1;
        // With fewer than two shots seen over time, persistence tells nothing
        // apart: every still thing counts as persisting.
        c.shots = m.stillShots / m.pixels;
        c.shotShare = evidenceShots_ >= 2 ? c.shots / evidenceShots_ : 1.0;
        std::string where;
        const double prior = placePrior(m, width_, height_, where);
        const double strength = m.strength / m.pixels;
        // Edges faint over a calm region stand as far above its residue as
        // strong ones amid busy texture: strength counts against the level
        // the mark's edges had to pass.
        const double standing = strength * level.whole / meanLevel(m, level.at);
        const int together = changesTogether(m);
        const bool leaves = together > 0 && together <= maxPresenceChanges;
        const bool cut = framed(m, width_, height_);
        const double box = double(m.right - m.left + 1) * (m.bottom - m.top + 1);
        const double turns = turning(m);
        c.score = std::pow(std::min(1.0, turns / turnShare), 2) * c.shotShare * prior * standing *
                  std::min(1.0, m.pixels / logoEdgePixels) *
                  std::min(1.0, m.pixels / (denseShare * box)) * (leaves ? presenceFactor : 1.0) *
                  (cut ? framedPrior : 1.0);
        char numbers[200];
        std::snprintf(numbers, sizeof numbers,
                      "%d persistent edge pixels, mean strength %.1f, still in %.1f of %d shots "
                      "(%d sampled shots in all), edges turning %.2f, ",
                      m.pixels, strength, c.shots, evidenceShots_, shots_, turns);
        c.notes =
            numbers + where + (cut ? ", reaching the picture's edge" : "") +
            (leaves ? ", leaving or coming back as one at " + std::to_string(together) + " samples"
                    : "");
        found.push_back(std::move(c));
    }
    // Best first; equal scores keep the scan order.
    std::stable_sort(found.begin(), found.end(),
                     [](const Candidate &a, const Candidate &b) { return a.score > b.score; });
    return found;
}

} // namespace pendra::analysis
