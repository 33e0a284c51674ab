// The variation neighbouring pixels share: a common movement counts in full,
// each pixel's own noise not at all, and pixels of unlike kinds are never
// paired; the medians it clips at are those of median() to the last bit.
#include "analysis/shared_variation.h"

#include "analysis/median.h"
#include "analysis/pixel_channels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace a = pendra::analysis;

namespace {

// Frames of a 2x2 picture: every pixel a common grey level plus its own noise.
std::vector<a::Picture> framesOf(double common, double own, int count) {
    std::mt19937 random(7);
    std::normal_distribution<double> unit(0.0, 1.0);
    std::vector<a::Picture> frames;
    for (int f = 0; f < count; ++f) {
        a::Picture p(2, 2);
        const double shared = 128 + common * unit(random);
        for (uint32_t &pixel : p.pixels) {
            const auto level = static_cast<uint32_t>(std::lround(shared + own * unit(random)));
            pixel = level << 16 | level << 8 | level;
        }
        frames.push_back(std::move(p));
    }
    return frames;
}

std::vector<double> sharedOf(const std::vector<a::Picture> &frames,
                             const std::vector<uint8_t> &kind) {
    std::vector<const a::Picture *> pointers;
    for (const a::Picture &p : frames)
        pointers.push_back(&p);
    return a::sharedVariance(pointers, kind, 2, 2);
}

// A variance with deviations from median() clipped at 2.5 robust standard
// deviations (1.4826 median deviations), summed in the values' order.
double clippedVariance(const std::vector<double> &values) {
    std::vector<double> sorted = values, deviations;
    const double m = a::median(sorted);
    for (double v : values)
        deviations.push_back(std::fabs(v - m));
    const double clip = 2.5 * 1.4826 * a::median(deviations);
    double total = 0;
    for (double v : values) {
        const double d = std::fmin(std::fabs(v - m), clip);
        total += d * d;
    }
    return total / static_cast<double>(values.size());
}

// The shared variance of the top pixels as clippedVariance() takes it.
double expectedTopPair(const std::vector<a::Picture> &frames) {
    double expected = 0;
    for (int c = 0; c < 3; ++c) {
        std::vector<double> sum, difference;
        for (const a::Picture &f : frames) {
            const double p = a::channel(f.pixels[0], c), q = a::channel(f.pixels[1], c);
            sum.push_back(p + q);
            difference.push_back(p - q);
        }
        expected += (clippedVariance(sum) - clippedVariance(difference)) / 4;
    }
    return expected / 3;
}

// Frames of one grey level, but for one frame at `odd`.
std::vector<a::Picture> steadyFrames(uint32_t level, uint32_t odd, int count) {
    std::vector<a::Picture> frames(static_cast<size_t>(count), a::Picture(2, 2, level * 0x010101u));
    frames[static_cast<size_t>(count) / 3].pixels[1] = odd * 0x010101u;
    return frames;
}

} // namespace

TEST(SharedVariation, ClipsAtTheMediansOfTheValuesThemselves) {
    // Odd and even counts (the upper middle); sums and differences spread
    // wide, so that some are clipped, or narrow, so that none is; no spread
    // at all, with and without one frame apart; the ends of the levels.
    const std::vector<std::vector<a::Picture>> scenes = {
        framesOf(40, 30, 59),     framesOf(40, 30, 60),    framesOf(0, 0.6, 60),
        framesOf(0, 0.6, 61),     steadyFrames(90, 90, 8), steadyFrames(90, 91, 9),
        steadyFrames(0, 255, 10), steadyFrames(255, 0, 11)};
    for (size_t i = 0; i < scenes.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "scene " << i);
        // The top pixels form the only pair.
        EXPECT_EQ(sharedOf(scenes[i], {1, 1, 0, 0})[0], expectedTopPair(scenes[i]));
    }
}

TEST(SharedVariation, CountsTheCommonMovementNotEachPixelsNoise) {
    // Variance 100 in common, 64 of each pixel's own: the shared part only
    // (the clipping leaves about 0.98 of a bell curve's variance).
    const std::vector<double> found = sharedOf(framesOf(10, 8, 4000), {1, 1, 1, 1});
    for (double v : found)
        EXPECT_NEAR(v / 0.98, 100, 8);
    const std::vector<double> noiseOnly = sharedOf(framesOf(0, 8, 4000), {1, 1, 1, 1});
    for (double v : noiseOnly)
        EXPECT_NEAR(v, 0, 5);
}

TEST(SharedVariation, PairsOnlyPixelsOfOneKind) {
    // The top pixels are one kind, the lower left another, the lower right none.
    const std::vector<double> found = sharedOf(framesOf(10, 0, 400), {1, 1, 2, 0});
    EXPECT_TRUE(std::isfinite(found[0]));
    EXPECT_TRUE(std::isfinite(found[1]));
    EXPECT_TRUE(std::isnan(found[2]));
    EXPECT_TRUE(std::isnan(found[3]));
}
