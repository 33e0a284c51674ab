// The logo's shape and its parts (see logo_shape.h).
#include "analysis/logo_shape.h"

#include "analysis/median.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <optional>

namespace pendra::analysis {

namespace {

// Contrast below this share of the solid part's, or this many times the
// rectangle's typical contrast, is clean.
constexpr double shapeShare = 0.1;
constexpr double shapeNoise = 3.0;
// The rectangle's ring is clean: at least this share of its pixels.
constexpr double cleanQuantile = 0.2;
// The band along the rectangle's sides that shows the clean pixels' haze.
constexpr int hazeBand = 2;
// Rounds of splitting the logo into its two parts by colour.
constexpr int partRounds = 8;
// Parts are unmixed where their colours are this far from opposite (a light
// and a dark part) and from alike, in the cosine of their angle.
constexpr double minUnmixCosine = -0.5;
constexpr double maxUnmixCosine = 0.9;
// A light or dark part of the logo is measured against its own solid
// contrast when that is at least this share of the whole logo's (an
// outline on encoded footage came out at 0.30, the integration's ripple
// beside a one-part logo at 0.05 to 0.09).
constexpr double partShare = 0.2;

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

// The clean pixels' haze: the weaker of the band along the rectangle's sides,
// which the location leaves clear of the logo, and the weakest fifth of the
// rectangle. A logo that fills most of it (outlined text, a box) put even the
// weakest fifth on the logo and dropped its even fill from the shape.
double hazeOf(const std::vector<double> &size, int width, int height) {
    std::vector<double> work = size;
    auto weak = work.begin() +
                static_cast<std::ptrdiff_t>(cleanQuantile * static_cast<double>(work.size()));
    std::nth_element(work.begin(), weak, work.end());
    const double weakest = *weak;
    std::vector<double> band;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (std::min({x, y, width - 1 - x, height - 1 - y}) < hazeBand)
                band.push_back(size[static_cast<size_t>(y) * width + x]);
    return band.empty() ? weakest : std::fmin(weakest, median(band));
}

// Splits the logo into its two parts by the colour of their contrast: light
// letters and a dark outline, or white letters on a red box. The sign of the
// contrast's sum alone split a red box over a grey scene at random.
std::vector<uint8_t> partsOf(const Contrast &contrast, const std::vector<double> &size,
                             double floor) {
    std::vector<uint8_t> part(contrast.size());
    for (size_t k = 0; k < contrast.size(); ++k)
        part[k] = contrast[k][0] + contrast[k][1] + contrast[k][2] >= 0;
    for (int round = 0; round < partRounds; ++round) {
        std::array<std::array<double, 3>, 2> centre{};
        std::array<int, 2> count{};
        for (size_t k = 0; k < contrast.size(); ++k)
            if (size[k] > floor) {
                for (int c = 0; c < 3; ++c)
                    centre[part[k]][c] += contrast[k][c] / size[k];
                ++count[part[k]];
            }
        if (count[0] == 0 || count[1] == 0)
            break;
        bool moved = false;
        for (size_t k = 0; k < contrast.size(); ++k) {
            double dot[2] = {0, 0};
            for (size_t p = 0; p < 2; ++p)
                for (int c = 0; c < 3; ++c)
                    dot[p] += contrast[k][c] * centre[p][c] / count[p];
            const uint8_t nearer = dot[1] >= dot[0];
            moved |= nearer != part[k] && size[k] > floor;
            part[k] = nearer;
        }
        if (!moved)
            break;
    }
    return part;
}

// Where the two parts differ in colour (white letters on a red box) and not
// merely in sign (an outline), a pixel between them is a mix of both, each
// at its own opacity: its contrast is split into the parts' solid colours.
// Read as a share of one part alone, the letters' rims came out at two
// thirds of their opacity and stayed as coloured outlines.
struct Unmixing {
    std::array<std::array<double, 3>, 2> colour{};
    double g00 = 0, g01 = 0, g11 = 0;

    void split(const std::array<double, 3> &c, double &share, uint8_t &part, double &other) const {
        double r0 = 0, r1 = 0;
        for (size_t i = 0; i < 3; ++i)
            r0 += c[i] * colour[0][i], r1 += c[i] * colour[1][i];
        const double det = g00 * g11 - g01 * g01;
        double a = (r0 * g11 - r1 * g01) / det, b = (r1 * g00 - r0 * g01) / det;
        if (a < 0)
            a = 0, b = std::fmax(0.0, r1 / g11);
        else if (b < 0)
            b = 0, a = std::fmax(0.0, r0 / g00);
        const double whole = a + b;
        if (whole > 1)
            a /= whole, b /= whole;
        part = b > a;
        share = std::fmin(1.0, std::fmax(a, b));
        other = std::fmin(a, b);
    }
};

std::optional<Unmixing> unmixingOf(const Contrast &contrast, const std::vector<double> &size,
                                   const std::vector<uint8_t> &light, const double part[2]) {
    Unmixing u;
    for (uint8_t p = 0; p < 2; ++p)
        for (size_t c = 0; c < 3; ++c) {
            std::vector<double> values;
            for (size_t k = 0; k < contrast.size(); ++k)
                if (light[k] == p && size[k] >= levelShare * part[p])
                    values.push_back(contrast[k][c]);
            if (values.size() < static_cast<size_t>(minSolid))
                return std::nullopt;
            u.colour[p][c] = median(values);
        }
    for (size_t i = 0; i < 3; ++i) {
        u.g00 += u.colour[0][i] * u.colour[0][i];
        u.g01 += u.colour[0][i] * u.colour[1][i];
        u.g11 += u.colour[1][i] * u.colour[1][i];
    }
    if (u.g00 <= 0 || u.g11 <= 0)
        return std::nullopt;
    const double cosine = u.g01 / std::sqrt(u.g00 * u.g11);
    if (cosine < minUnmixCosine || cosine > maxUnmixCosine)
        return std::nullopt;
    return u;
}

} // namespace

Shape shapeOf(const Contrast &contrast, int width, int height) {
    Shape s;
    std::vector<double> size(contrast.size());
    for (size_t k = 0; k < contrast.size(); ++k)
        size[k] = std::hypot(contrast[k][0], contrast[k][1], contrast[k][2]);
    const double typical = hazeOf(size, width, height);
    s.contrast = solidContrast(size, [](size_t) { return true; });
    const double floor = std::fmax(shapeShare * s.contrast, shapeNoise * typical);
    const std::vector<uint8_t> light = partsOf(contrast, size, floor);
    double part[2] = {solidContrast(size, [&](size_t k) { return !light[k]; }),
                      solidContrast(size, [&](size_t k) { return light[k] != 0; })};
    for (double &p : part)
        if (p < partShare * s.contrast)
            p = s.contrast;
    s.share.assign(size.size(), 0.0);
    s.other.assign(size.size(), 0.0);
    s.light = light;
    const std::optional<Unmixing> mix = unmixingOf(contrast, size, light, part);
    for (size_t k = 0; k < size.size(); ++k)
        if (s.contrast > 0 && size[k] > floor) {
            s.share[k] = std::fmin(1.0, size[k] / part[light[k]]);
            if (mix)
                mix->split(contrast[k], s.share[k], s.light[k], s.other[k]);
            s.solid += s.share[k] >= solidShare;
        }
    return s;
}

} // namespace pendra::analysis
