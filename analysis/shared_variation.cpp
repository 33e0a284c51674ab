// Robust covariances between neighbouring pixels over the sampled frames
// (see shared_variation.h). A covariance is a quarter of the difference
// between the variances of the pair's sum and of its difference, each with
// its outliers clipped, so that an object crossing now and then moves it
// little. The clipping scales every variance alike, so ratios keep true.
#include "analysis/shared_variation.h"

#include "analysis/pixel_channels.h"
#include "analysis/value_counts.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

namespace pendra::analysis {

namespace {

// Deviations beyond this many robust standard deviations are clipped.
constexpr double clipSpreads = 2.5;

// The sums and differences of two pixels' levels are whole numbers from
// -255 to 510, whose medians come from counts of each value.
constexpr int lowestValue = -255, highestValue = 510;

// The sum of the squared deviations of `values` from `m`: whole numbers,
// whose sum in doubles is exact in any order.
int64_t squaredDeviations(const std::vector<int> &values, int m) {
    int64_t total = 0;
    for (int v : values)
        total += static_cast<int64_t>(v - m) * (v - m);
    return total;
}

// The variance of `values` (not empty) with each deviation from the median
// clipped at a few robust standard deviations: an object crossing now and
// then moves it little, and it rests on every frame, where a squared median
// deviation wasted most of them (per-pixel levels spread 0.21 on a 0.5 logo
// over 60 frames) and, on a background that is no bell curve, read dimming
// plus noise as less dimming (0.477 for 0.5 without any noise).
double clippedVariance(const std::vector<int> &values, ValueCounts &counts) {
    counts.count(values);
    const int m = counts.median();
    const double clip = clipSpreads * 1.4826 * static_cast<double>(counts.spread(m));
    const bool anyClipped = counts.most() - m > clip || m - counts.least() > clip;
    counts.clear(values);
    const double size = static_cast<double>(values.size());
    // Unclipped, every term is a whole number: summed as integers, the
    // total is the one the doubles' sum reaches.
    if (!anyClipped)
        return static_cast<double>(squaredDeviations(values, m)) / size;
    // A clipped term is no whole number, and the sum keeps the values' order.
    double total = 0;
    for (int v : values) {
        const double deviation = std::fabs(static_cast<double>(v - m));
        const double d = deviation < clip ? deviation : clip;
        total += d * d;
    }
    return total / size;
}

// The covariance over the frames of pixels `k` and `n`, averaged over the channels.
double pairCovariance(const std::vector<const Picture *> &frames, size_t k, size_t n,
                      std::vector<int> (&sum)[3], std::vector<int> (&difference)[3],
                      ValueCounts &counts) {
    for (int c = 0; c < 3; ++c)
        sum[c].clear(), difference[c].clear();
    for (const Picture *f : frames) {
        const uint32_t p = f->pixels[k], q = f->pixels[n];
        for (int c = 0; c < 3; ++c) {
            const int a = channel(p, c), b = channel(q, c);
            sum[c].push_back(a + b);
            difference[c].push_back(a - b);
        }
    }
    double total = 0;
    for (int c = 0; c < 3; ++c)
        total += (clippedVariance(sum[c], counts) - clippedVariance(difference[c], counts)) / 4;
    return total / 3;
}

} // namespace

std::vector<double> sharedVariance(const std::vector<const Picture *> &frames,
                                   const std::vector<uint8_t> &kind, int width, int height) {
    const size_t pixels = static_cast<size_t>(width) * height;
    std::vector<double> total(pixels, 0.0), pairs(pixels, 0.0);
    std::vector<int> sum[3], difference[3];
    ValueCounts counts(lowestValue, highestValue);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const size_t k = static_cast<size_t>(y) * width + x;
            if (kind[k] == 0)
                continue;
            // Each pair counts for both of its pixels.
            const size_t next[2] = {x + 1 < width ? k + 1 : k,
                                    y + 1 < height ? k + static_cast<size_t>(width) : k};
            for (size_t n : next)
                if (n != k && kind[n] == kind[k]) {
                    const double c = pairCovariance(frames, k, n, sum, difference, counts);
                    total[k] += c, pairs[k] += 1;
                    total[n] += c, pairs[n] += 1;
                }
        }
    std::vector<double> out(pixels, std::numeric_limits<double>::quiet_NaN());
    for (size_t k = 0; k < pixels; ++k)
        if (pairs[k] > 0)
            out[k] = total[k] / pairs[k];
    return out;
}

} // namespace pendra::analysis
