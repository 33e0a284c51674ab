// Edge persistence across shots and candidate rectangles (see locate.h).
// Integer sums within a shot keep the result exact and independent of the
// order of additions.
#include "analysis/locate.h"

#include "analysis/box_outline.h"
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

// One line's levels, each channel (as channel() numbers them) in an array of
// its own, so that the differences and sums below run over plain arrays.
void unpackLine(const uint32_t *row, int width, int32_t *levels) {
    for (int c = 0; c < 3; ++c) {
        const int shift = 16 - 8 * c;
        int32_t *out = levels + static_cast<size_t>(c) * width;
        for (int x = 0; x < width; ++x)
            out[x] = static_cast<int32_t>(row[x] >> shift & 255u);
    }
}

// One channel's central differences along a line: an edge between two pixels
// marks both, so a mark's edge pixels enclose it. At the picture's border, none.
void lineDifferences(const int32_t *above, const int32_t *row, const int32_t *below, int width,
                     int32_t *gx, int32_t *gy) {
    for (int x = 0; x < width; ++x)
        gy[x] = below[x] - above[x];
    gx[0] = 0;
    gx[width - 1] = 0;
    for (int x = 1; x + 1 < width; ++x)
        gx[x] = row[x + 1] - row[x - 1];
}

// One channel's differences added to the shot's sums, their squares to the
// line's; when the previous sample's differences are given, the squared
// change from them added to `change` and these differences kept in their
// place. Whole levels: the squares sum exactly in an int (the changes' to
// at most 6 * 510^2).
void addChannel(const int32_t *gx, const int32_t *gy, int width, int32_t *sx, int32_t *sy,
                int32_t *squares, int16_t *previousX, int16_t *previousY, int32_t *change) {
    for (int x = 0; x < width; ++x) {
        sx[x] += gx[x];
        sy[x] += gy[x];
        squares[x] += gx[x] * gx[x] + gy[x] * gy[x];
    }
    if (!previousX)
        return;
    for (int x = 0; x < width; ++x) {
        const int32_t dx = gx[x] - previousX[x], dy = gy[x] - previousY[x];
        change[x] += dx * dx + dy * dy;
        previousX[x] = static_cast<int16_t>(gx[x]);
        previousY[x] = static_cast<int16_t>(gy[x]);
    }
}

// Each pixel's difference magnitude added on. The squares are below 2^24, so
// exact as floats, and a float square root is the double one rounded: a
// double carries more than twice a float's digits, so rounding twice cannot
// differ from rounding once.
void addMagnitudes(const int32_t *squares, int width, float *magnitude) {
    for (int x = 0; x < width; ++x)
        magnitude[x] += std::sqrt(static_cast<float>(squares[x]));
}

// Marks the pixels whose differences changed by more than changeLevel.
void markChanges(const int32_t *change, int width, int sample, uint64_t *changed) {
    constexpr auto level = static_cast<int32_t>(changeLevel * changeLevel);
    static_assert(changeLevel * changeLevel == static_cast<double>(level));
    const uint64_t bit = uint64_t{1} << sample;
    for (int x = 0; x < width; ++x)
        changed[x] |= change[x] > level ? bit : 0;
}

} // namespace

EdgePersistence::EdgePersistence(int width, int height)
    : width_(width), height_(height), shotX_(static_cast<size_t>(width) * height * 3, 0),
      shotY_(shotX_.size(), 0), shotMagnitude_(static_cast<size_t>(width) * height, 0),
      sumX_(shotX_.size(), 0), sumY_(shotX_.size(), 0), stillShots_(shotMagnitude_.size(), 0),
      changed_(shotMagnitude_.size(), 0), previousGradient_(shotX_.size() * 2, 0),
      levels_(static_cast<size_t>(width) * 9, 0), lineX_(static_cast<size_t>(width), 0),
      lineY_(lineX_.size(), 0), squares_(lineX_.size(), 0), change_(lineX_.size(), 0) {}

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
    // This runs over whole frames: each line is unpacked once into one of
    // three slots, where it serves as the line below, itself and the line
    // above; then every step is a simple loop over one channel's line.
    const size_t w = static_cast<size_t>(width_), plane = shotMagnitude_.size();
    auto slot = [&](int y) { return levels_.data() + static_cast<size_t>(y % 3) * 3 * w; };
    auto unpack = [&](int y) { unpackLine(frame.pixels.data() + y * w, width_, slot(y)); };
    for (int y = 0; y < std::min(2, height_); ++y)
        unpack(y);
    for (int y = 0; y < height_; ++y) {
        if (y >= 1 && y + 1 < height_)
            unpack(y + 1);
        const bool inY = y > 0 && y + 1 < height_;
        const int32_t *row = slot(y), *above = inY ? slot(y - 1) : row,
                      *below = inY ? slot(y + 1) : row;
        const size_t line = static_cast<size_t>(y) * w;
        std::fill(squares_.begin(), squares_.end(), 0);
        std::fill(change_.begin(), change_.end(), 0);
        for (size_t c = 0; c < 3; ++c) {
            lineDifferences(above + c * w, row + c * w, below + c * w, width_, lineX_.data(),
                            lineY_.data());
            int16_t *previous = previousGradient_.data() + 2 * c * plane + line;
            addChannel(lineX_.data(), lineY_.data(), width_, shotX_.data() + c * plane + line,
                       shotY_.data() + c * plane + line, squares_.data(),
                       track ? previous : nullptr, track ? previous + plane : nullptr,
                       change_.data());
        }
        addMagnitudes(squares_.data(), width_, shotMagnitude_.data() + line);
        if (changes)
            markChanges(change_.data(), width_, samples_, changed_.data() + line);
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
    if (evidence)
        countStill();
    for (size_t k = 0; k < sumX_.size(); ++k) {
        sumX_[k] += shotX_[k];
        sumY_[k] += shotY_[k];
    }
    std::fill(shotX_.begin(), shotX_.end(), 0);
    std::fill(shotY_.begin(), shotY_.end(), 0);
    std::fill(shotMagnitude_.begin(), shotMagnitude_.end(), 0.0f);
    evidenceShots_ += evidence ? 1 : 0;
    ++shots_;
    shotSamples_ = 0;
}

void EdgePersistence::countStill() {
    const size_t plane = shotMagnitude_.size();
    const auto samples = static_cast<float>(shotSamples_);
    for (size_t p = 0; p < plane; ++p) {
        float x[3], y[3];
        for (size_t c = 0; c < 3; ++c) {
            x[c] = static_cast<float>(shotX_[c * plane + p]) / samples;
            y[c] = static_cast<float>(shotY_[c * plane + p]) / samples;
        }
        const double mean = magnitude(x, y);
        if (mean >= strengthFloor && mean * shotSamples_ >= stillRatio * shotMagnitude_[p])
            ++stillShots_[p];
    }
}

double EdgePersistence::motion() const {
    return motionPairs_ > 0 ? motionSum_ / motionPairs_ : 0;
}

std::vector<float> EdgePersistence::strength() const {
    std::vector<float> out(shotMagnitude_.size(), 0);
    if (samples_ > 0)
        for (size_t p = 0; p < out.size(); ++p) {
            double sq = 0;
            for (size_t k = p; k < sumX_.size(); k += out.size())
                sq += double(sumX_[k]) * sumX_[k] + double(sumY_[k]) * sumY_[k];
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
            const size_t at = static_cast<size_t>(area.y + y) * width_ + area.x + x;
            for (size_t k = at; k < sumX_.size(); k += stillShots_.size()) {
                const float gx = static_cast<float>(sumX_[k]) / static_cast<float>(samples_);
                const float gy = static_cast<float>(sumY_[k]) / static_cast<float>(samples_);
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
    for (int p : m.at)
        for (size_t k = static_cast<size_t>(p); k < sumX_.size(); k += stillShots_.size()) {
            const double gx = sumX_[k];
            const double gy = sumY_[k];
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
    const GradientSums sums{width_, height_, sumX_, sumY_, samples_};
    for (Mark &m : marks)
        spanBox(sums, m);

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
