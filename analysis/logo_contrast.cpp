// The median differences between neighbours and their integration (see
// logo_contrast.h). Differences too small to tell from the medians' own
// noise are set to zero first, so that the scene's left-overs do not add up
// into a haze over the clean pixels.
#include "analysis/logo_contrast.h"

#include "analysis/median.h"
#include "analysis/pixel_channels.h"
#include "analysis/poisson.h"
#include "analysis/value_counts.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace pendra::analysis {

namespace {

// A median difference within this many times the medians' spread (robust
// standard deviation over the rectangle, most of it clean) is noise.
constexpr double noiseFactor = 3.0;
// The spread, in levels, below which every difference counts.
constexpr double noiseFloor = 0.5;

// The median over frames of the difference from pixel k to pixel k + step,
// in channel c: a whole number, counted.
double medianDifference(const std::vector<const Picture *> &frames, size_t k, size_t step, int c,
                        std::vector<int> &scratch, ValueCounts &counts) {
    scratch.clear();
    for (const Picture *f : frames)
        scratch.push_back(channel(f->pixels[k + step], c) - channel(f->pixels[k], c));
    counts.count(scratch);
    const int m = counts.median();
    counts.clear(scratch);
    return m;
}

// Zeroes the differences the medians' noise explains.
void dropNoise(std::vector<double> &right, std::vector<double> &down) {
    std::vector<double> sizes;
    sizes.reserve(right.size() + down.size());
    for (double g : right)
        sizes.push_back(std::fabs(g));
    for (double g : down)
        sizes.push_back(std::fabs(g));
    const double spread = 1.4826 * median(sizes);
    const double limit = noiseFactor * std::fmax(spread, noiseFloor);
    for (auto *field : {&right, &down})
        for (double &g : *field)
            if (std::fabs(g) < limit)
                g = 0;
}

} // namespace

Contrast logoContrast(const std::vector<const Picture *> &frames, int width, int height) {
    const size_t pixels = static_cast<size_t>(width) * height;
    Contrast out(pixels, {0.0, 0.0, 0.0});
    if (frames.empty() || width < 3 || height < 3)
        return out;
    std::vector<int> scratch;
    scratch.reserve(frames.size());
    ValueCounts counts(-255, 255);
    for (int c = 0; c < 3; ++c) {
        std::vector<double> right(pixels, 0.0), down(pixels, 0.0);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const size_t k = static_cast<size_t>(y) * width + x;
                if (x + 1 < width)
                    right[k] = medianDifference(frames, k, 1, c, scratch, counts);
                if (y + 1 < height)
                    down[k] =
                        medianDifference(frames, k, static_cast<size_t>(width), c, scratch, counts);
            }
        dropNoise(right, down);
        const std::vector<double> image = integrateDifferences(right, down, width, height);
        for (size_t k = 0; k < pixels; ++k)
            out[k][c] = image[k];
    }
    return out;
}

} // namespace pendra::analysis
