// The module's fast stages against the plain references on random
// rectangles, pictures, counts and settings: the words written must be the
// same, bit for bit, in both builds.
#include "process/smoothing_kernels.h"
#include "tests/reference/plain_stages.h"
#include "tests/support/rect_case.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

using pendra::test::RectCase;

namespace {

// A rectangle of clean pixels; the smoothing reads only its size and position.
std::vector<std::string> cleanMask(int w, int h) {
    return std::vector<std::string>(static_cast<size_t>(h),
                                    std::string(static_cast<size_t>(w), '.'));
}

// Random words over the whole destination, top bytes included.
void randomFrame(RectCase &t, std::mt19937 &rng) {
    pendra::host::FrameBuffer &d = t.destination();
    for (int r = 0; r < d.height(); ++r)
        for (int c = 0; c < d.width(); ++c)
            d.at(r, c) = static_cast<uint32_t>(rng());
}

// Counts with the shapes the pipeline makes: zero areas, a plateau and a ramp, or noise.
std::vector<int32_t> randomCounts(int w, int h, int n, std::mt19937 &rng) {
    std::vector<int32_t> counts(static_cast<size_t>(w) * h);
    int kind = static_cast<int>(rng() % 3);
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c) {
            int ring = std::min(std::min(r, h - 1 - r), std::min(c, w - 1 - c));
            int v = kind == 0   ? (rng() % 3 == 0 ? 0 : n)
                    : kind == 1 ? std::min(ring * 2, n)
                                : static_cast<int>(rng() % static_cast<unsigned>(n + 2));
            counts[static_cast<size_t>(r) * w + c] = v;
        }
    return counts;
}

} // namespace

// Every row kernel the processor offers (SSE2 always, AVX2 where present)
// against the plain loop.
TEST(FastSmoothing, MatchesThePlainLoopOnRandomInputs) {
    for (int choice : {-1, 0}) {
        smoothKernelChoice = choice;
        std::mt19937 rng(20261207);
        for (int round = 0; round < 300; ++round) {
            int w = 1 + static_cast<int>(rng() % 70), h = 1 + static_cast<int>(rng() % 24);
            int n = 1 + static_cast<int>(rng() % 25);
            RectCase fast(cleanMask(w, h), static_cast<int>(rng() % 3));
            randomFrame(fast, rng);
            std::vector<int32_t> counts = randomCounts(w, h, n, rng);
            RectCase plain(cleanMask(w, h), fast.s.x);
            for (int r = 0; r < fast.destination().height(); ++r)
                for (int c = 0; c < fast.destination().width(); ++c)
                    plain.destination().at(r, c) = fast.destination().at(r, c);

            smoothRect(&fast.s, fast.fa(), fast.s.smoothScratch, fast.s.smoothImage, counts.data(),
                       n);
            plainSmoothRect(&plain.s, plain.fa(), plain.s.smoothScratch, plain.s.smoothImage,
                            counts.data(), n);
            ASSERT_TRUE(fast.destination().samePixels(plain.destination()))
                << "kernel " << choice << ", round " << round << ": " << w << "x" << h << ", n "
                << n;
        }
    }
    smoothKernelChoice = -1;
}

TEST(FastNoise, MatchesTheDividingLoopForEveryLevel) {
    std::mt19937 rng(7);
    for (int level : {1, 2, 3, 5, 7, 100, 127, 1000, 16383, 40000}) {
        RectCase fast(cleanMask(37, 5)), plain(cleanMask(37, 5));
        randomFrame(fast, rng);
        for (int r = 0; r < fast.destination().height(); ++r)
            for (int c = 0; c < fast.destination().width(); ++c)
                plain.destination().at(r, c) = fast.destination().at(r, c);
        fast.s.noiseL = plain.s.noiseL = level;
        seedNoise(static_cast<unsigned>(level));
        addNoise(&fast.s, fast.fa());
        seedNoise(static_cast<unsigned>(level));
        plainAddNoise(&plain.s, plain.fa());
        ASSERT_TRUE(fast.destination().samePixels(plain.destination())) << "level " << level;
    }
}

TEST(NoiseGenerator, DrawsWhatRandDrawsFromTheSameSeed) {
    for (unsigned seed : {0u, 1u, 7u, 1733600000u, 0x80000001u, 0xFFFFFFFFu}) {
        std::srand(seed);
        seedNoise(seed);
        for (int i = 0; i < 2000; ++i)
            ASSERT_EQ(noiseRand(), std::rand()) << "seed " << seed << ", value " << i;
    }
}

// The scene measurement over the edge list made at start against the visit
// of every pixel, on random logo shapes, pictures, snapshots and thresholds.
TEST(FastSceneMeasure, MatchesTheFullVisitOnRandomShapes) {
    std::mt19937 rng(1207);
    for (int round = 0; round < 200; ++round) {
        int w = 3 + static_cast<int>(rng() % 40), h = 3 + static_cast<int>(rng() % 24);
        std::vector<std::string> mask = cleanMask(w, h);
        for (int r = 1; r < h - 1; ++r)
            for (int c = 1; c < w - 1; ++c)
                if (rng() % 5 < 3)
                    mask[static_cast<size_t>(r)][static_cast<size_t>(c)] = 'L';
        RectCase t(mask, static_cast<int>(rng() % 3));
        std::mt19937 pixels(static_cast<unsigned>(round));
        randomFrame(t, pixels);
        // A snapshot near the picture, so that some edges move and some do not.
        for (int r = 0; r < h; ++r)
            for (int c = 0; c < w; ++c)
                t.s.rectPixels[r * w + c] =
                    rng() % 2 ? t.dst(r, c) & 0xFFFFFFu : static_cast<uint32_t>(rng());
        t.s.t1 = static_cast<int>(rng() % 40);
        SceneMeasure fast = measureSceneChange(&t.s, t.fa());
        SceneMeasure plain = plainMeasureSceneChange(&t.s, t.fa());
        ASSERT_EQ(fast.diffNs, plain.diffNs) << "round " << round;
        ASSERT_EQ(fast.diffEw, plain.diffEw) << "round " << round;
        ASSERT_EQ(fast.scenePercent, plain.scenePercent) << "round " << round;
        ASSERT_EQ(fast.weight, plain.weight) << "round " << round;
        ASSERT_EQ(fast.sceneChanged, plain.sceneChanged) << "round " << round;
    }
}
