// The estimate from persistent differences and the background's variation
// (see gradient_estimate.h). Only medians are taken over frames, so an object
// crossing the logo now and then, or a moment of dark, moves nothing.
#include "analysis/gradient_estimate.h"

#include "analysis/logo_contrast.h"
#include "analysis/median.h"
#include "analysis/pixel_channels.h"
#include "analysis/presence.h"
#include "analysis/shared_variation.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <limits>

namespace pendra::analysis {

namespace {

// Fewer sampled frames than this leave the medians to chance.
constexpr size_t minSamples = 24;
// The contrast of the logo's solid part must reach this many levels.
constexpr double minContrast = 6.0;
// Contrast below this share of the solid part's, or this many times the
// rectangle's typical contrast, is clean.
constexpr double shapeShare = 0.1;
constexpr double shapeNoise = 3.0;
// The rectangle's ring is clean: at least this share of its pixels.
constexpr double cleanQuantile = 0.2;
// A light or dark part of the logo is measured against its own solid
// contrast when that is at least this share of the whole logo's (an
// outline on encoded footage came out at 0.30, the integration's ripple
// beside a one-part logo at 0.05 to 0.09).
constexpr double partShare = 0.2;
// A pixel is solid from this share of the solid part's contrast; a logo
// needs at least so many.
constexpr double solidShare = 0.5;
constexpr int minSolid = 8;
// The level is read off the pixels at least this share of the solid part's
// contrast: where the integrated contrast blurs an edge, its share
// understates the pixel's opacity and the level came out low (0.573 for a
// 0.6 logo at 0.5 and over, 0.581 at 0.9).
constexpr double levelShare = 0.9;
// Clean pixels used to model the background keep this far from the logo.
constexpr int cleanMargin = 2;
constexpr int minClean = 32;
// Clean pixels near a logo pixel that tell how the background varies there.
constexpr double nearbyClean = 12;
// The background must vary at least this much over time (levels, robust standard deviation).
constexpr double minVariation = 4.0;
// The level from the even and the odd frames must agree within this.
constexpr double maxDisagreement = 0.1;
// The solid pixels' own levels spread at most this much around their median.
constexpr double maxLevelSpread = 0.2;
// More than this share of the clean pixels dimmed like the logo's means
// part of it is missing from its shape.
constexpr double maxMissed = 0.05;
// A dimmed clean pixel counts as part of a missing piece when at least this
// many of the nine around it (itself included) are dimmed too.
constexpr int dimmedNeighbours = 5;
// Levels outside this band are no logo that un-blending could restore.
constexpr double lowestLevel = 0.05;
constexpr double highestLevel = 0.95;
constexpr double highestOpacity = 0.98;
// Sampled frames where the logo shows at less than this share of its typical
// strength are left out of a second estimate.
constexpr double shownShare = 0.5;

// The logo's shape: per pixel its contrast as a share of the solid part's
// (0 where clean, about 1 where solid), and that contrast in levels. A logo
// often has a light part and a dark one (an outline, a drop shadow) of one
// opacity but unlike contrast: each is measured against its own solid part,
// when it is strong enough to be a part and not the integration's ripple.
struct Shape {
    std::vector<double> share;
    std::vector<uint8_t> light; // the pixel is of the light part (else of the dark one)
    double contrast = 0;
    int solid = 0;
};

// The typical contrast of the solid part among the pixels `in` selects.
template <typename In> double solidContrast(const std::vector<double> &size, In in) {
    double peak = 0;
    for (size_t k = 0; k < size.size(); ++k)
        if (in(k))
            peak = std::fmax(peak, size[k]);
    std::vector<double> strong;
    for (size_t k = 0; k < size.size(); ++k)
        if (in(k) && size[k] >= solidShare * peak)
            strong.push_back(size[k]);
    return strong.empty() ? 0 : median(strong);
}

Shape shapeOf(const Contrast &contrast) {
    Shape s;
    std::vector<double> size(contrast.size());
    std::vector<uint8_t> light(contrast.size());
    for (size_t k = 0; k < contrast.size(); ++k) {
        size[k] = std::hypot(contrast[k][0], contrast[k][1], contrast[k][2]);
        light[k] = contrast[k][0] + contrast[k][1] + contrast[k][2] >= 0;
    }
    // The clean pixels' haze, from the weakest of the rectangle: a logo
    // that fills most of it (outlined text, a box) made its median the
    // logo's own contrast, and all but the strongest pixels were dropped.
    std::vector<double> work = size;
    auto weak = work.begin() +
                static_cast<std::ptrdiff_t>(cleanQuantile * static_cast<double>(work.size()));
    std::nth_element(work.begin(), weak, work.end());
    const double typical = *weak;
    s.contrast = solidContrast(size, [](size_t) { return true; });
    double part[2] = {solidContrast(size, [&](size_t k) { return !light[k]; }),
                      solidContrast(size, [&](size_t k) { return light[k] != 0; })};
    for (double &p : part)
        if (p < partShare * s.contrast)
            p = s.contrast;
    s.share.assign(size.size(), 0.0);
    const double floor = std::fmax(shapeShare * s.contrast, shapeNoise * typical);
    s.light = light;
    for (size_t k = 0; k < size.size(); ++k)
        if (s.contrast > 0 && size[k] > floor) {
            s.share[k] = std::fmin(1.0, size[k] / part[light[k]]);
            s.solid += s.share[k] >= solidShare;
        }
    return s;
}

// The pixels far enough from the logo to model the background with.
std::vector<uint8_t> cleanPixels(const Shape &shape, int width, int height) {
    std::vector<uint8_t> clean(shape.share.size(), 1);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            if (shape.share[static_cast<size_t>(y) * width + x] == 0)
                continue;
            for (int v = std::max(0, y - cleanMargin); v <= std::min(height - 1, y + cleanMargin);
                 ++v)
                for (int u = std::max(0, x - cleanMargin);
                     u <= std::min(width - 1, x + cleanMargin); ++u)
                    clean[static_cast<size_t>(v) * width + u] = 0;
        }
    return clean;
}

// Per pixel over the frames: the median of each channel and the robust
// standard deviation, averaged over the channels.
struct Variation {
    std::vector<std::array<double, 3>> middle;
    std::vector<double> spread;
};

Variation variationOf(const std::vector<const Picture *> &frames, size_t pixels) {
    Variation v{std::vector<std::array<double, 3>>(pixels), std::vector<double>(pixels, 0.0)};
    std::vector<double> values, deviations;
    for (size_t k = 0; k < pixels; ++k)
        for (int c = 0; c < 3; ++c) {
            values.clear();
            for (const Picture *f : frames)
                values.push_back(channel(f->pixels[k], c));
            const double m = median(values);
            deviations.clear();
            for (double value : values)
                deviations.push_back(std::fabs(value - m));
            v.middle[k][c] = m;
            v.spread[k] += 1.4826 * median(deviations) / 3;
        }
    return v;
}

// A plane a + b·x + c·y fitted by least squares to values at the clean pixels.
struct PlaneFit {
    double a = 0, b = 0, c = 0;
    double at(int x, int y) const { return a + b * x + c * y; }
};

PlaneFit fitPlane(const std::vector<double> &values, const std::vector<uint8_t> &clean, int width) {
    double n = 0, sx = 0, sy = 0, sxx = 0, syy = 0, sxy = 0, sv = 0, sxv = 0, syv = 0;
    for (size_t k = 0; k < values.size(); ++k) {
        if (!clean[k])
            continue;
        const double x = static_cast<double>(k % static_cast<size_t>(width));
        const double y = static_cast<double>(k / static_cast<size_t>(width));
        const double v = values[k];
        n += 1, sx += x, sy += y, sxx += x * x, syy += y * y, sxy += x * y;
        sv += v, sxv += x * v, syv += y * v;
    }
    // Cramer's rule on the 3x3 normal equations.
    auto det = [](double a1, double a2, double a3, double b1, double b2, double b3, double c1,
                  double c2, double c3) {
        return a1 * (b2 * c3 - b3 * c2) - a2 * (b1 * c3 - b3 * c1) + a3 * (b1 * c2 - b2 * c1);
    };
    const double d = det(n, sx, sy, sx, sxx, sxy, sy, sxy, syy);
    if (std::fabs(d) < 1e-9)
        return {n > 0 ? sv / n : 0, 0, 0};
    return {det(sv, sx, sy, sxv, sxx, sxy, syv, sxy, syy) / d,
            det(n, sv, sy, sx, sxv, sxy, sy, syv, syy) / d,
            det(n, sx, sv, sx, sxx, sxv, sy, sxy, syv) / d};
}

// Sums over the clean pixels' variation in boxes, from a summed-area table.
class CleanBoxes {
  public:
    CleanBoxes(const std::vector<double> &spread, const std::vector<uint8_t> &clean, int width,
               int height)
        : w_(width), h_(height), sum_(static_cast<size_t>(width + 1) * (height + 1), 0.0),
          count_(sum_.size(), 0.0) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const size_t k = static_cast<size_t>(y) * width + x;
                const double v = clean[k] ? spread[k] : 0, n = clean[k] ? 1 : 0;
                sum_[at(x + 1, y + 1)] =
                    v + sum_[at(x, y + 1)] + sum_[at(x + 1, y)] - sum_[at(x, y)];
                count_[at(x + 1, y + 1)] =
                    n + count_[at(x, y + 1)] + count_[at(x + 1, y)] - count_[at(x, y)];
            }
    }
    // The mean variation of the clean pixels within `r` of (x, y), and their number.
    double mean(int x, int y, int r, double &count) const {
        const int x0 = std::max(0, x - r), y0 = std::max(0, y - r);
        const int x1 = std::min(w_, x + r + 1), y1 = std::min(h_, y + r + 1);
        auto box = [&](const std::vector<double> &t) {
            return t[at(x1, y1)] - t[at(x0, y1)] - t[at(x1, y0)] + t[at(x0, y0)];
        };
        count = box(count_);
        return count > 0 ? box(sum_) / count : 0;
    }

  private:
    size_t at(int x, int y) const { return static_cast<size_t>(y) * (w_ + 1) + x; }
    int w_, h_;
    std::vector<double> sum_, count_;
};

// A quantity of the background (its variation, its median level) at any
// pixel, from the clean pixels nearest it: neighbouring pixels are alike,
// while across the rectangle the background changes (sky above, a busy
// street below). The plane over all clean pixels serves where none lie near.
class CleanField {
  public:
    CleanField(const std::vector<double> &values, const std::vector<uint8_t> &clean, int width,
               int height)
        : wide_(fitPlane(values, clean, width)), boxes_(values, clean, width, height) {}
    double at(int x, int y) const {
        for (int r : {4, 8, 16}) {
            double count = 0;
            const double m = boxes_.mean(x, y, r, count);
            if (count >= nearbyClean)
                return m;
        }
        return wide_.at(x, y);
    }

  private:
    PlaneFit wide_;
    CleanBoxes boxes_;
};

// The opacity level: over the solid pixels, the median of how much the logo
// dims the background's variation, per unit of its shape; the same over each
// of its light and dark parts, which a logo often blends unlike (a dark
// outline or shadow under light letters); and how far the pixels' own levels
// spread around their part's (robust standard deviation). The
// variation is the one neighbouring pixels share (shared_variation.h): in
// their own variances the coding noise, which the logo does not dim, made
// the level read low (0.455 for a 0.5 logo on encoded footage).
struct Level {
    double level = 0;
    double spread = 1;
    double missed = 0;            // the share of clean pixels dimmed as a logo's part would be
    std::array<double, 2> part{}; // the dark and the light part's levels
};

// What each pixel is to the level: clean ground, a solid pixel it is read
// off, or neither.
enum PixelKind : uint8_t { neither = 0, ground = 1, solidPart = 2 };

std::vector<uint8_t> kindsOf(const Shape &shape, const std::vector<uint8_t> &clean) {
    std::vector<uint8_t> kind(clean.size(), neither);
    for (size_t k = 0; k < kind.size(); ++k)
        kind[k] = clean[k] ? ground : shape.share[k] >= levelShare ? solidPart : neither;
    return kind;
}

// The share of the clean pixels whose variation is dimmed by more than
// `dimming`, together with most of their neighbours: a part of the logo
// whose colour is its background's own leaves no persistent difference to
// shape it by, but dims the background all the same. Lone dimmed pixels are
// the variances' noise: on big buck bunny's outlined text, once its shape
// was whole, 9% of its few clean pixels, none of them the logo's.
double missedShare(const std::vector<double> &shared, const std::vector<uint8_t> &clean,
                   const CleanField &expected, double dimming, int width) {
    const int height = static_cast<int>(clean.size() / static_cast<size_t>(width));
    std::vector<uint8_t> dimmed(clean.size(), 0);
    double count = 0;
    for (size_t k = 0; k < clean.size(); ++k) {
        if (!clean[k])
            continue;
        const double around = expected.at(static_cast<int>(k % static_cast<size_t>(width)),
                                          static_cast<int>(k / static_cast<size_t>(width)));
        if (around <= 0)
            continue;
        count += 1;
        dimmed[k] = 1 - std::sqrt(std::fmax(0.0, shared[k] / around)) > dimming;
    }
    double clumped = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            if (!dimmed[static_cast<size_t>(y) * width + x])
                continue;
            int near = 0;
            for (int v = std::max(0, y - 1); v <= std::min(height - 1, y + 1); ++v)
                for (int u = std::max(0, x - 1); u <= std::min(width - 1, x + 1); ++u)
                    near += dimmed[static_cast<size_t>(v) * width + u];
            clumped += near >= dimmedNeighbours;
        }
    return count > 0 ? clumped / count : 0;
}

Level levelOf(const Shape &shape, const std::vector<const Picture *> &frames,
              const std::vector<uint8_t> &kind, int width) {
    const int height = static_cast<int>(shape.share.size() / static_cast<size_t>(width));
    const std::vector<double> shared = sharedVariance(frames, kind, width, height);
    std::vector<uint8_t> clean(kind.size());
    for (size_t k = 0; k < kind.size(); ++k)
        clean[k] = kind[k] == ground && std::isfinite(shared[k]);
    const CleanField expected(shared, clean, width, height);
    std::vector<double> levels, parts[2];
    std::vector<double> pixelLevel(kind.size(), std::numeric_limits<double>::quiet_NaN());
    for (size_t k = 0; k < shape.share.size(); ++k) {
        if (kind[k] != solidPart || !std::isfinite(shared[k]))
            continue;
        const int x = static_cast<int>(k % static_cast<size_t>(width));
        const int y = static_cast<int>(k / static_cast<size_t>(width));
        const double around = expected.at(x, y);
        // Variances dim by the square of what lets the background through.
        if (around <= 0)
            continue;
        pixelLevel[k] = (1 - std::sqrt(std::fmax(0.0, shared[k] / around))) / shape.share[k];
        levels.push_back(pixelLevel[k]);
        parts[shape.light[k]].push_back(pixelLevel[k]);
    }
    if (levels.empty())
        return {};
    Level out;
    out.level = median(levels);
    // A part too small to read on its own takes the whole logo's level.
    for (size_t p = 0; p < 2; ++p)
        out.part[p] = parts[p].size() >= minSolid ? median(parts[p]) : out.level;
    std::vector<double> deviations;
    for (size_t k = 0; k < pixelLevel.size(); ++k)
        if (std::isfinite(pixelLevel[k]))
            deviations.push_back(std::fabs(pixelLevel[k] - out.part[shape.light[k]]));
    out.spread = 1.4826 * median(deviations);
    out.missed = missedShare(shared, clean, expected, out.level / 2, width);
    return out;
}

// The frames of `samples` as pictures, all or every other one from `first`.
std::vector<const Picture *> framesOf(const std::vector<const KeptFrame *> &samples, size_t first,
                                      size_t step) {
    std::vector<const Picture *> out;
    for (size_t i = first; i < samples.size(); i += step)
        out.push_back(&samples[i]->area);
    return out;
}

// The opacity level, when the solid pixels agree on it and so do the even
// and the odd frames; else empty, with `why`.
std::optional<Level> trustedLevel(const std::vector<const KeptFrame *> &samples, const Shape &shape,
                                  const std::vector<uint8_t> &clean, int width, std::string &why) {
    const std::vector<uint8_t> kind = kindsOf(shape, clean);
    const Level found = levelOf(shape, framesOf(samples, 0, 1), kind, width);
    const auto [lowest, highest] = std::minmax(found.part[0], found.part[1]);
    if (lowest < lowestLevel || highest > highestLevel) {
        why = "its opacity level cannot be told from the background's variation";
        return std::nullopt;
    }
    // Each part of a logo is one opacity throughout; persistent edges of the
    // picture itself dim its variation by any amount.
    if (found.spread > maxLevelSpread) {
        why = "its pixels disagree on its opacity, as a logo's would not";
        return std::nullopt;
    }
    // Repairing the whole mark beats un-blending part of it and leaving the rest.
    if (found.missed > maxMissed) {
        why = "part of it dims the background but is missing from its shape";
        return std::nullopt;
    }
    const Level even = levelOf(shape, framesOf(samples, 0, 2), kind, width);
    const Level odd = levelOf(shape, framesOf(samples, 1, 2), kind, width);
    if (std::fabs(even.part[0] - odd.part[0]) > maxDisagreement ||
        std::fabs(even.part[1] - odd.part[1]) > maxDisagreement) {
        why = "its opacity level cannot be told from the background's variation";
        return std::nullopt;
    }
    return found;
}

// The opacity of pixel `k`: its share of its part's level. Where a light part
// meets a dark one (letters inside an outline) their contrasts cancel, and a
// pixel between solid pixels of both takes at least their mean level.
double opacityAt(const Shape &shape, const Level &level, size_t k, int width) {
    const double own = level.part[shape.light[k]] * shape.share[k];
    if (shape.share[k] >= solidShare)
        return own;
    const int height = static_cast<int>(shape.share.size() / static_cast<size_t>(width));
    const int x = static_cast<int>(k % static_cast<size_t>(width));
    const int y = static_cast<int>(k / static_cast<size_t>(width));
    bool beside[2] = {false, false};
    for (int v = std::max(0, y - 1); v <= std::min(height - 1, y + 1); ++v)
        for (int u = std::max(0, x - 1); u <= std::min(width - 1, x + 1); ++u) {
            const size_t n = static_cast<size_t>(v) * width + u;
            if (shape.share[n] >= solidShare)
                beside[shape.light[n]] = true;
        }
    return beside[0] && beside[1] ? std::fmax(own, (level.part[0] + level.part[1]) / 2) : own;
}

// The whole estimate from one set of sampled frames.
std::optional<GradientEstimate> estimateFrom(const std::vector<const KeptFrame *> &samples,
                                             int width, int height, std::string &why) {
    if (samples.size() < minSamples) {
        why = "too few frames to sample (" + std::to_string(samples.size()) + ")";
        return std::nullopt;
    }
    const size_t pixels = static_cast<size_t>(width) * height;
    const Shape shape = shapeOf(logoContrast(framesOf(samples, 0, 1), width, height));
    if (shape.contrast < minContrast || shape.solid < minSolid) {
        why = "no difference between neighbouring pixels persists over the frames";
        return std::nullopt;
    }
    const std::vector<uint8_t> clean = cleanPixels(shape, width, height);
    const Variation all = variationOf(framesOf(samples, 0, 1), pixels);
    double cleanCount = 0, cleanSpread = 0;
    for (size_t k = 0; k < pixels; ++k)
        if (clean[k])
            cleanCount += 1, cleanSpread += all.spread[k];
    if (cleanCount < minClean || cleanSpread < minVariation * cleanCount) {
        why = "the background around it hardly changes";
        return std::nullopt;
    }
    const std::optional<Level> level = trustedLevel(samples, shape, clean, width, why);
    if (!level)
        return std::nullopt;
    std::vector<CleanField> under;
    for (int c = 0; c < 3; ++c) {
        std::vector<double> middle(pixels);
        for (size_t k = 0; k < pixels; ++k)
            middle[k] = all.middle[k][c];
        under.emplace_back(middle, clean, width, height);
    }
    GradientEstimate out;
    out.level = level->level;
    out.pixels.resize(pixels);
    for (size_t k = 0; k < pixels; ++k) {
        PixelEstimate &e = out.pixels[k];
        e.frames = static_cast<double>(samples.size());
        e.opacity = std::clamp(opacityAt(shape, *level, k, width), 0.0, highestOpacity);
        const int x = static_cast<int>(k % static_cast<size_t>(width));
        const int y = static_cast<int>(k / static_cast<size_t>(width));
        // The median frame is the median background dimmed, plus what the logo adds.
        for (int c = 0; c < 3; ++c)
            e.premultiplied[c] = std::clamp(
                all.middle[k][c] - (1 - e.opacity) * under[static_cast<size_t>(c)].at(x, y), 0.0,
                255.0 * e.opacity);
    }
    for (const KeptFrame *s : samples)
        out.used.push_back(s->frame);
    return out;
}

} // namespace

std::optional<GradientEstimate> estimateFromGradients(const std::vector<KeptFrame> &samples,
                                                      const RingBackground &ring,
                                                      std::string &why) {
    std::vector<const KeptFrame *> all;
    for (const KeptFrame &s : samples)
        all.push_back(&s);
    std::optional<GradientEstimate> first = estimateFrom(all, ring.width(), ring.height(), why);
    if (!first)
        return first;
    // Frames where the logo is away (a break, a fade) dilute the medians: a
    // second estimate leaves out those where the first hardly shows.
    std::vector<double> strengths;
    for (const KeptFrame &s : samples)
        strengths.push_back(logoStrength(s.area, s.plane, ring, first->pixels));
    std::vector<double> known;
    for (double s : strengths)
        if (!std::isnan(s))
            known.push_back(s);
    if (known.empty())
        return first;
    const double typical = median(known);
    std::vector<const KeptFrame *> shown;
    for (size_t i = 0; i < samples.size(); ++i)
        if (std::isnan(strengths[i]) || strengths[i] >= shownShare * typical)
            shown.push_back(&samples[i]);
    if (shown.size() == samples.size() || shown.size() < minSamples)
        return first;
    std::string again;
    std::optional<GradientEstimate> second =
        estimateFrom(shown, ring.width(), ring.height(), again);
    return second ? second : first;
}

} // namespace pendra::analysis
