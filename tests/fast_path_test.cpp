// The module's fast stages against the plain references on random
// rectangles, pictures, counts and settings: the words written (and the
// repair map) must be the same, bit for bit, in both builds.
#include "process/repair_division.h"
#include "process/smoothing_kernels.h"
#include "tests/reference/plain_stages.h"
#include "tests/support/module_hooks.h"
#include "tests/support/rect_case.h"

#include <gtest/gtest.h>

#include <algorithm>
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

// A mask whose ring is clean (corners aside) and whose interior is scattered
// logo, whole columns or rows of it with a few gaps, blocks, or all logo.
std::vector<std::string> randomLogoMask(int w, int h, std::mt19937 &rng) {
    std::vector<std::string> mask = cleanMask(w, h);
    auto chance = [&rng](unsigned percent) { return rng() % 100 < percent; };
    int kind = static_cast<int>(rng() % 5);
    unsigned density = 10 + static_cast<unsigned>(rng() % 85);
    std::vector<bool> lines(static_cast<size_t>(std::max(w, h)));
    for (size_t i = 0; i < lines.size(); ++i)
        lines[i] = chance(density);
    for (int r = 1; r <= h - 2; ++r)
        for (int c = 1; c <= w - 2; ++c) {
            bool logo = kind == 0   ? chance(density)
                        : kind == 1 ? lines[static_cast<size_t>(c)] && !chance(3)
                        : kind == 2 ? lines[static_cast<size_t>(r)] && !chance(3)
                                    : kind == 4;
            if (logo)
                mask[r][c] = 'L';
        }
    for (int blocks = kind == 3 ? 1 + static_cast<int>(rng() % 4) : 0; blocks > 0; --blocks) {
        int r0 = 1 + static_cast<int>(rng() % static_cast<unsigned>(h - 2));
        int c0 = 1 + static_cast<int>(rng() % static_cast<unsigned>(w - 2));
        int r1 = std::min(h - 2, r0 + static_cast<int>(rng() % static_cast<unsigned>(h)));
        int c1 = std::min(w - 2, c0 + static_cast<int>(rng() % static_cast<unsigned>(w)));
        for (int r = r0; r <= r1; ++r)
            for (int c = c0; c <= c1; ++c)
                mask[r][c] = 'L';
    }
    for (int r : {0, h - 1}) // no search passes through a corner
        for (int c : {0, w - 1})
            if (chance(30))
                mask[r][c] = 'L';
    return mask;
}

// Words over the whole destination: noise, a gentle gradient with a little noise (where
// the passes' thresholds hold), or a few flat patches; top bytes random throughout.
void randomPicture(RectCase &t, std::mt19937 &rng) {
    pendra::host::FrameBuffer &d = t.destination();
    int kind = static_cast<int>(rng() % 3);
    int base[3], slope[3];
    for (int i = 0; i < 3; ++i)
        base[i] = static_cast<int>(rng() % 256), slope[i] = static_cast<int>(rng() % 7) - 3;
    uint32_t patches[4];
    for (uint32_t &p : patches)
        p = static_cast<uint32_t>(rng());
    int patchSize = 1 + static_cast<int>(rng() % 12);
    for (int r = 0; r < d.height(); ++r)
        for (int c = 0; c < d.width(); ++c) {
            uint32_t top = static_cast<uint32_t>(rng() % 4 == 0 ? rng() : 0) & 0xFF000000u;
            uint32_t v = static_cast<uint32_t>(rng());
            if (kind == 1) {
                int ch[3];
                for (int i = 0; i < 3; ++i)
                    ch[i] = std::clamp(base[i] + (slope[i] * (r + c)) / 4 +
                                           static_cast<int>(rng() % 5) - 2,
                                       0, 255);
                v = pendra::test::rgb(ch[0], ch[1], ch[2]);
            } else if (kind == 2) {
                v = patches[(r / patchSize + c / patchSize) % 4] & 0xFFFFFFu;
            }
            d.at(r, c) = top | (v & 0xFFFFFFu);
        }
}

// A threshold near the interesting range, sometimes 0, negative or above every difference.
int randomThreshold(std::mt19937 &rng) {
    switch (rng() % 6) {
    case 0:
        return 0;
    case 1:
        return -static_cast<int>(rng() % 20);
    case 2:
        return 256 + static_cast<int>(rng() % 100);
    default:
        return static_cast<int>(rng() % 80);
    }
}

// The same rectangle twice, one for the module and one for the reference.
struct RepairPair {
    RectCase fast, plain;
    RepairPair(const std::vector<std::string> &mask, int margin, int pad)
        : fast(mask, margin, pad), plain(mask, margin, pad) {}
    void copyAcross() {
        for (int r = 0; r < fast.destination().height(); ++r)
            for (int c = 0; c < fast.destination().width(); ++c)
                plain.destination().at(r, c) = fast.destination().at(r, c);
        size_t n = static_cast<size_t>(fast.s.logoWidth) * fast.s.logoHeight;
        std::copy(fast.s.bitmapMask, fast.s.bitmapMask + n, fast.s.workMap);
        std::copy(fast.s.bitmapMask, fast.s.bitmapMask + n, plain.s.workMap);
        plain.s.t1 = fast.s.t1, plain.s.t2 = fast.s.t2, plain.s.t3 = fast.s.t3;
    }
    ::testing::AssertionResult same() {
        size_t n = static_cast<size_t>(fast.s.logoWidth) * fast.s.logoHeight;
        if (!fast.destination().samePixels(plain.destination()))
            return ::testing::AssertionFailure() << "frame words differ";
        for (size_t k = 0; k < n; ++k)
            if (fast.s.workMap[k] != plain.s.workMap[k])
                return ::testing::AssertionFailure()
                       << "workMap differs at " << k << ": " << fast.s.workMap[k] << " against "
                       << plain.s.workMap[k];
        return ::testing::AssertionSuccess();
    }
};

// Runs the three passes (or, at times, the closing pass straight after the first) on
// both and compares words and workMap after each.
void expectSamePasses(RepairPair &p, int weight, bool skipSecond, const std::string &what) {
    repairFirstPass(&p.fast.s, p.fast.fa(), weight);
    plainRepairFirstPass(&p.plain.s, p.plain.fa(), weight);
    ASSERT_TRUE(p.same()) << what << ", first pass";
    if (!skipSecond) {
        repairSecondPass(&p.fast.s, p.fast.fa(), weight);
        plainRepairSecondPass(&p.plain.s, p.plain.fa(), weight);
        ASSERT_TRUE(p.same()) << what << ", second pass";
    }
    repairClosingPass(&p.fast.s, p.fast.fa());
    plainRepairClosingPass(&p.plain.s, p.plain.fa());
    ASSERT_TRUE(p.same()) << what << ", closing pass";
}

} // namespace

// Every row kernel the processor offers (SSE2 always, AVX2 where present)
// against the plain loop.
TEST(FastRepair, PassesMatchThePlainSearchesOnRandomInputs) {
    std::mt19937 rng(20261208);
    for (int round = 0; round < 1500; ++round) {
        int w = 3 + static_cast<int>(rng() % (round % 4 == 0 ? 4 : 60));
        int h = 3 + static_cast<int>(rng() % (round % 4 == 1 ? 4 : 40));
        RepairPair p(randomLogoMask(w, h, rng), 1 + static_cast<int>(rng() % 3),
                     rng() % 2 == 0 ? 0 : static_cast<int>(rng() % 9));
        randomPicture(p.fast, rng);
        p.fast.s.t1 = randomThreshold(rng);
        p.fast.s.t2 = randomThreshold(rng);
        p.fast.s.t3 = randomThreshold(rng);
        p.copyAcross();
        int weight = rng() % 20 == 0 ? 3 : 1 + static_cast<int>(rng() % 2);
        expectSamePasses(p, weight, rng() % 10 == 0,
                         "round " + std::to_string(round) + ", " + std::to_string(w) + "x" +
                             std::to_string(h) + ", weight " + std::to_string(weight));
        if (::testing::Test::HasFatalFailure())
            return;
    }
}

TEST(FastRepair, SumsBeyondTheReciprocalTableDivide) {
    // A run of logo longer than the table reaches, lying along each axis in turn, taken by
    // the first pass (along it), the second (across first, which fails), or the closing.
    std::mt19937 rng(5);
    const int length = REPAIR_DIVISOR_MAX + 40;
    for (bool upright : {false, true}) {
        std::vector<std::string> mask = cleanMask(upright ? 3 : length, upright ? length : 3);
        for (int i = 1; i <= length - 2; ++i)
            mask[static_cast<size_t>(upright ? i : 1)][static_cast<size_t>(upright ? 1 : i)] = 'L';
        int along = upright ? 1 : 2, across = 3 - along;
        struct Setting {
            int weight, t1, t2, t3;
        };
        for (Setting k : {Setting{along, 256, 256, 0}, Setting{across, -1, 256, 0},
                          Setting{along, -1, -1, -1}}) {
            RepairPair p(mask, 1, 3);
            randomPicture(p.fast, rng);
            p.fast.s.t1 = k.t1, p.fast.s.t2 = k.t2, p.fast.s.t3 = k.t3;
            p.copyAcross();
            expectSamePasses(p, k.weight, false,
                             (upright ? "upright" : "lying") + std::string(", weight ") +
                                 std::to_string(k.weight) + ", t2 " + std::to_string(k.t2));
            if (::testing::Test::HasFatalFailure())
                return;
        }
    }
}

TEST(FastRepair, ReciprocalQuotientIsExactForEveryNumerator) {
    // The quotient only grows with the numerator, so q at q*D and at q*D + D - 1 proves
    // every numerator between; natively every numerator is tried as well.
    for (int d = 2; d <= REPAIR_DIVISOR_MAX; ++d) {
        uint32_t m = repairReciprocals.m[d];
        for (int q = 0; q <= 255; ++q) {
            int last = q == 255 ? 0 : d - 1;
            ASSERT_EQ(divideByReciprocal(q * d, m), q) << "divisor " << d;
            ASSERT_EQ(divideByReciprocal(q * d + last, m), q) << "divisor " << d;
#if !defined(_WIN32)
            int wrong = 0;
            for (int n = q * d; n <= q * d + last; ++n)
                wrong += divideByReciprocal(n, m) != q;
            ASSERT_EQ(wrong, 0) << "divisor " << d << ", quotient " << q;
#endif
        }
    }
}

TEST(FastSmoothing, MatchesThePlainLoopOnRandomInputs) {
    for (int choice : {SMOOTH_KERNEL_AUTO, SMOOTH_KERNEL_SSE2}) {
        pendra::test::ForcedSmoothKernel kernel(choice);
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
