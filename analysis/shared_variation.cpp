// Robust covariances between neighbouring pixels over the sampled frames
// (see shared_variation.h). A covariance is a quarter of the difference
// between the variances of the pair's sum and of its difference, each with
// its outliers clipped, so that an object crossing now and then moves it
// little. The clipping scales every variance alike, so ratios keep true.
#include "analysis/shared_variation.h"

#include "analysis/pixel_channels.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <vector>

namespace pendra::analysis {

namespace {

// Deviations beyond this many robust standard deviations are clipped.
constexpr double clipSpreads = 2.5;

// The sums and differences of two pixels' levels are whole numbers from
// -255 to 510: their medians come from counts of each value, in time that
// grows with the frames only, where a selection over doubles cost most of a
// small picture's analysis.
constexpr int lowestValue = -255, highestValue = 510;
constexpr size_t valueCount = highestValue - lowestValue + 1;

// The number of each value among some values, from the lowest to the
// highest; kept from one set of values to the next, clearing only what
// each set counted.
class ValueCounts {
  public:
    void count(const std::vector<int> &values) {
        lowest = highestValue, highest = lowestValue;
        for (int v : values) {
            ++counts_[static_cast<size_t>(v - lowestValue)];
            lowest = std::min(lowest, v), highest = std::max(highest, v);
        }
    }
    void clear(const std::vector<int> &values) {
        for (int v : values)
            counts_[static_cast<size_t>(v - lowestValue)] = 0;
    }
    int at(int v) const {
        return v < lowest || v > highest ? 0 : counts_[static_cast<size_t>(v - lowestValue)];
    }
    int lowest = highestValue, highest = lowestValue;

  private:
    std::vector<int> counts_ = std::vector<int>(valueCount, 0);
};

// The median as median() takes it, the upper middle: the least value with
// more than half of them at or below it.
int countedMedian(const ValueCounts &c, size_t size) {
    size_t below = 0;
    for (int v = c.lowest;; ++v) {
        below += static_cast<size_t>(c.at(v));
        if (below > size / 2)
            return v;
    }
}

// The median distance from `m`, likewise: the least distance within which
// more than half of the values lie.
int countedSpread(const ValueCounts &c, size_t size, int m) {
    size_t within = static_cast<size_t>(c.at(m));
    int d = 0;
    while (within <= size / 2) {
        ++d;
        within += static_cast<size_t>(c.at(m - d) + c.at(m + d));
    }
    return d;
}

// The variance of `values` (not empty) with each deviation from the median
// clipped at a few robust standard deviations: an object crossing now and
// then moves it little, and it rests on every frame, where a squared median
// deviation wasted most of them (per-pixel levels spread 0.21 on a 0.5 logo
// over 60 frames) and, on a background that is no bell curve, read dimming
// plus noise as less dimming (0.477 for 0.5 without any noise).
double clippedVariance(const std::vector<int> &values, ValueCounts &counts) {
    counts.count(values);
    const int m = countedMedian(counts, values.size());
    const double clip =
        clipSpreads * 1.4826 * static_cast<double>(countedSpread(counts, values.size(), m));
    counts.clear(values);
    double total = 0;
    for (int v : values) {
        const double d = std::fmin(std::fabs(static_cast<double>(v - m)), clip);
        total += d * d;
    }
    return total / static_cast<double>(values.size());
}

// The covariance over the frames of pixels `k` and `n`, averaged over the channels.
double pairCovariance(const std::vector<const Picture *> &frames, size_t k, size_t n,
                      std::vector<int> &sum, std::vector<int> &difference, ValueCounts &counts) {
    double total = 0;
    for (int c = 0; c < 3; ++c) {
        sum.clear();
        difference.clear();
        for (const Picture *f : frames) {
            const int a = channel(f->pixels[k], c), b = channel(f->pixels[n], c);
            sum.push_back(a + b);
            difference.push_back(a - b);
        }
        total += (clippedVariance(sum, counts) - clippedVariance(difference, counts)) / 4;
    }
    return total / 3;
}

} // namespace

std::vector<double> sharedVariance(const std::vector<const Picture *> &frames,
                                   const std::vector<uint8_t> &kind, int width, int height) {
    const size_t pixels = static_cast<size_t>(width) * height;
    std::vector<double> total(pixels, 0.0), pairs(pixels, 0.0);
    std::vector<int> sum, difference;
    ValueCounts counts;
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
