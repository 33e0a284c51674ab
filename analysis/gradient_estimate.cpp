// The estimate from persistent differences and the background's variation
// (see gradient_estimate.h). Only medians are taken over frames, so an object
// crossing the logo now and then, or a moment of dark, moves nothing.
#include "analysis/gradient_estimate.h"

#include "analysis/missing_part.h"

#include "analysis/logo_contrast.h"
#include "analysis/logo_shape.h"
#include "analysis/median.h"
#include "analysis/pixel_channels.h"
#include "analysis/presence.h"
#include "analysis/shared_variation.h"
#include "analysis/value_counts.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <limits>
#include <optional>

namespace pendra::analysis {

namespace {

// Fewer sampled frames than this leave the medians to chance.
constexpr size_t minSamples = 24;
// The contrast of the logo's solid part must reach this many levels.
constexpr double minContrast = 6.0;
// The solid pixels' colours are steadied over this radius.
constexpr int colourRadius = 2;
// A part whose solid pixels' colours spread less than this (levels, robust
// standard deviation per channel) is of one colour.
constexpr double flatSpread = 16;
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
// Levels outside this band are no logo that un-blending could restore.
constexpr double lowestLevel = 0.05;
constexpr double highestLevel = 0.95;
constexpr double highestOpacity = 0.98;
// Sampled frames where the logo shows at less than this share of its typical
// strength are left out of a second estimate.
constexpr double shownShare = 0.5;

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
    // Levels are whole numbers, and so are their distances from the median.
    std::vector<int> values[3];
    ValueCounts counts(0, 255);
    for (size_t k = 0; k < pixels; ++k) {
        for (std::vector<int> &c : values)
            c.clear();
        for (const Picture *f : frames)
            for (int c = 0; c < 3; ++c)
                values[c].push_back(channel(f->pixels[k], c));
        for (int c = 0; c < 3; ++c) {
            counts.count(values[c]);
            const int m = counts.median();
            const int spread = counts.spread(m);
            counts.clear(values[c]);
            v.middle[k][static_cast<size_t>(c)] = m;
            v.spread[k] += 1.4826 * static_cast<double>(spread) / 3;
        }
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

// What each pixel is to the level: clean ground, a solid pixel of either
// part it is read off, or neither. The parts are kinds of their own, so
// that a stroke's variation is not shared with the box around it.
enum PixelKind : uint8_t { neither = 0, ground = 1, solidPart = 2 };

std::vector<uint8_t> kindsOf(const Shape &shape, const std::vector<uint8_t> &clean) {
    std::vector<uint8_t> kind(clean.size(), neither);
    for (size_t k = 0; k < kind.size(); ++k)
        if (clean[k])
            kind[k] = ground;
        else if (shape.share[k] >= levelShare)
            kind[k] = static_cast<uint8_t>(solidPart + shape.light[k]);
    return kind;
}

// The missing share (missing_part.h) from the variances: each clean pixel's
// spread against what the clean pixels around it lead one to expect.
double missedShare(const std::vector<double> &shared, const std::vector<uint8_t> &clean,
                   const CleanField &expected, double dimming, int width) {
    std::vector<double> ratio(clean.size(), std::numeric_limits<double>::quiet_NaN());
    for (size_t k = 0; k < clean.size(); ++k) {
        if (!clean[k])
            continue;
        const double around = expected.at(static_cast<int>(k % static_cast<size_t>(width)),
                                          static_cast<int>(k / static_cast<size_t>(width)));
        if (around > 0)
            ratio[k] = std::sqrt(std::fmax(0.0, shared[k] / around));
    }
    return missingShare(ratio, clean, dimming, width);
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
        if (kind[k] < solidPart || !std::isfinite(shared[k]))
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

// The least level at which each part's colour stays within what a picture
// can show: a pixel of the median frame stands that far from the
// background's median only if the logo over it is at least this opaque (a
// white part read from the background's variation alone came out at 0.54
// for 0.6, and its colour, clipped to white, left the letters light).
std::array<double, 2> displayableLevels(const Shape &shape, const Variation &all,
                                        const std::vector<CleanField> &under, int width) {
    std::vector<double> bounds[2];
    for (size_t k = 0; k < shape.share.size(); ++k) {
        if (shape.share[k] < levelShare)
            continue;
        const int x = static_cast<int>(k % static_cast<size_t>(width));
        const int y = static_cast<int>(k / static_cast<size_t>(width));
        double least = 0;
        for (size_t c = 0; c < 3; ++c) {
            const double m = all.middle[k][c], u = under[c].at(x, y);
            if (m > u && u < 255)
                least = std::fmax(least, (m - u) / (255 - u));
            else if (m < u && u > 0)
                least = std::fmax(least, (u - m) / u);
        }
        bounds[shape.light[k]].push_back(least / shape.share[k]);
    }
    std::array<double, 2> out{};
    for (size_t p = 0; p < 2; ++p)
        out[p] = bounds[p].size() >= static_cast<size_t>(minSolid) ? median(bounds[p]) : 0;
    return out;
}

// The opacity of pixel `k`: its share of its part's level. Where a light part
// meets a dark one (letters inside an outline) their contrasts cancel, and a
// pixel between solid pixels of both takes at least their mean level.
double opacityAt(const Shape &shape, const Level &level, size_t k, int width) {
    const double own = level.part[shape.light[k]] * shape.share[k] +
                       level.part[1 - shape.light[k]] * shape.other[k];
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

// Each pixel's colour estimate carries its own median's noise over a busy
// background, and the background's lasting structure under an ever-present
// logo, which no frame can tell from the logo's own (the box of a two-colour
// logo read 86 to 109 in red where it was 92 throughout, and un-blending
// doubled it). A logo's parts are mostly of one colour each: where the solid
// pixels of a part agree within `flatSpread`, they all take its median
// colour; else each takes the median around it.
void steadyColours(const Shape &shape, int width, std::vector<PixelEstimate> &pixels) {
    const int height = static_cast<int>(pixels.size() / static_cast<size_t>(width));
    auto solid = [&](size_t k) {
        return shape.share[k] >= solidShare && shape.other[k] == 0 && pixels[k].opacity > 0;
    };
    auto colour = [&](size_t k, int c) { return pixels[k].premultiplied[c] / pixels[k].opacity; };
    std::array<std::optional<std::array<double, 3>>, 2> flat;
    for (uint8_t p = 0; p < 2; ++p) {
        std::array<double, 3> middle{};
        bool agree = true;
        for (int c = 0; c < 3 && agree; ++c) {
            std::vector<double> values, deviations;
            for (size_t k = 0; k < pixels.size(); ++k)
                if (solid(k) && shape.light[k] == p)
                    values.push_back(colour(k, c));
            if (values.size() < static_cast<size_t>(minSolid))
                agree = false;
            else {
                middle[static_cast<size_t>(c)] = median(values);
                for (double v : values)
                    deviations.push_back(std::fabs(v - middle[static_cast<size_t>(c)]));
                agree = 1.4826 * median(deviations) <= flatSpread;
            }
        }
        if (agree)
            flat[p] = middle;
    }
    const std::vector<PixelEstimate> raw = pixels;
    std::vector<double> values;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const size_t k = static_cast<size_t>(y) * width + x;
            if (!solid(k))
                continue;
            for (int c = 0; c < 3; ++c) {
                double steady = 0;
                if (flat[shape.light[k]]) {
                    steady = (*flat[shape.light[k]])[static_cast<size_t>(c)];
                } else {
                    values.clear();
                    for (int v = std::max(0, y - colourRadius);
                         v <= std::min(height - 1, y + colourRadius); ++v)
                        for (int u = std::max(0, x - colourRadius);
                             u <= std::min(width - 1, x + colourRadius); ++u) {
                            const size_t n = static_cast<size_t>(v) * width + u;
                            if (solid(n) && shape.light[n] == shape.light[k])
                                values.push_back(raw[n].premultiplied[c] / raw[n].opacity);
                        }
                    steady = median(values);
                }
                pixels[k].premultiplied[c] =
                    std::clamp(steady * raw[k].opacity, 0.0, 255.0 * raw[k].opacity);
            }
        }
}

// The whole estimate from one set of sampled frames.
std::optional<GradientEstimate> estimateFrom(const std::vector<const KeptFrame *> &samples,
                                             int width, int height, std::string &why) {
    if (samples.size() < minSamples) {
        why = "too few frames to sample (" + std::to_string(samples.size()) + ")";
        return std::nullopt;
    }
    const size_t pixels = static_cast<size_t>(width) * height;
    const Shape shape =
        shapeOf(logoContrast(framesOf(samples, 0, 1), width, height), width, height);
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
    Level raised = *level;
    const std::array<double, 2> least = displayableLevels(shape, all, under, width);
    for (size_t p = 0; p < 2; ++p)
        raised.part[p] = std::fmin(highestLevel, std::fmax(raised.part[p], least[p]));
    GradientEstimate out;
    out.level = level->level;
    out.pixels.resize(pixels);
    for (size_t k = 0; k < pixels; ++k) {
        PixelEstimate &e = out.pixels[k];
        e.frames = static_cast<double>(samples.size());
        e.opacity = std::clamp(opacityAt(shape, raised, k, width), 0.0, highestOpacity);
        const int x = static_cast<int>(k % static_cast<size_t>(width));
        const int y = static_cast<int>(k / static_cast<size_t>(width));
        // The median frame is the median background dimmed, plus what the logo adds.
        for (int c = 0; c < 3; ++c)
            e.premultiplied[c] = std::clamp(
                all.middle[k][c] - (1 - e.opacity) * under[static_cast<size_t>(c)].at(x, y), 0.0,
                255.0 * e.opacity);
    }
    steadyColours(shape, width, out.pixels);
    for (const KeptFrame *s : samples)
        out.used.push_back(s->frame);
    return out;
}

} // namespace

std::optional<GradientEstimate> estimateFromGradients(const std::vector<const KeptFrame *> &samples,
                                                      const RingBackground &ring,
                                                      std::string &why) {
    std::optional<GradientEstimate> first = estimateFrom(samples, ring.width(), ring.height(), why);
    if (!first)
        return first;
    // Frames where the logo is away (a break, a fade) dilute the medians: a
    // second estimate leaves out those where the first hardly shows.
    std::vector<double> strengths;
    for (const KeptFrame *s : samples)
        strengths.push_back(logoStrength(s->area, s->plane, ring, first->pixels));
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
            shown.push_back(samples[i]);
    if (shown.size() == samples.size() || shown.size() < minSamples)
        return first;
    std::string again;
    std::optional<GradientEstimate> second =
        estimateFrom(shown, ring.width(), ring.height(), again);
    return second ? second : first;
}

std::optional<GradientEstimate> estimateFromGradients(const std::vector<KeptFrame> &samples,
                                                      const RingBackground &ring,
                                                      std::string &why) {
    std::vector<const KeptFrame *> all;
    for (const KeptFrame &s : samples)
        all.push_back(&s);
    return estimateFromGradients(all, ring, why);
}

} // namespace pendra::analysis
