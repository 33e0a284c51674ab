// Presence: a logo switched off for a break, cutting back in, fading out and
// in again; the ranges and fade lengths found against the truth; and the
// smoothing of the per-frame strengths on its own; the strength itself
// against its plain sum over pairs.
#include "analysis/logo_analysis.h"
#include "analysis/mask.h"
#include "analysis/pixel_channels.h"
#include "analysis/presence.h"
#include "tests/analysis/scene_checks.h"
#include "tests/support/generated_source.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

namespace a = pendra::analysis;
namespace t = pendra::test;

TEST(Presence, BreaksCutsAndFades) {
    t::Scene scene;
    scene.frames = 400;
    scene.background = t::Background::Mixed;
    scene.noise = 1.0;
    t::GeneratedLogo logo = t::textLogo(150, 8, 0.7, 0xF0F0F0);
    // Present 0..99, off 100..159 (a break), cuts in at 160, fades out over
    // frames 250..265 (16 frames partly there), off, fades in over 320..331.
    logo.presence = [](int64_t f) -> double {
        if (f < 100)
            return 1;
        if (f < 160)
            return 0;
        if (f < 250)
            return 1;
        if (f < 266)
            return 1 - double(f - 249) / 17;
        if (f < 320)
            return 0;
        if (f < 332)
            return double(f - 319) / 13;
        return 1;
    };
    scene.logos.push_back(logo);
    // The same with room to hold every frame's rectangle until the fit
    // comes, and with none: then the frames before a fit of enough frames
    // are read a second time.
    for (size_t holdBytes : {size_t{64} << 20, size_t{1}}) {
        SCOPED_TRACE(testing::Message() << "hold " << holdBytes);
        t::GeneratedSource source(scene);
        a::Options options;
        options.rect = a::Rect{143, 1, 42, 28};
        options.holdBytes = holdBytes;
        a::Result result = a::analyze(source, options);

        struct Truth {
            int64_t start, end;
            int fadeIn, fadeOut;
        };
        const Truth truth[] = {{0, 99, 0, 0}, {160, 265, 0, 16}, {320, 399, 12, 0}};
        ASSERT_EQ(result.presence.size(), 3u);
        for (int i = 0; i < 3; ++i) {
            SCOPED_TRACE(testing::Message() << "range " << i);
            const a::PresenceRange &r = result.presence[i];
            EXPECT_LE(std::llabs(r.start - truth[i].start), 2);
            EXPECT_LE(std::llabs(r.end - truth[i].end), 2);
            EXPECT_LE(std::abs(r.fadeIn - truth[i].fadeIn), 2);
            EXPECT_LE(std::abs(r.fadeOut - truth[i].fadeOut), 2);
        }
        // The break's frames stay out of the fit, and so do the fades': a strong
        // logo's opacity would come out far too low otherwise.
        EXPECT_LT(t::accuracy(result, scene.logos[0]).meanOpacityError, 0.01);
        for (const a::FrameVerdict &v : result.verdicts)
            if ((v.frame >= 110 && v.frame < 150) || (v.frame >= 252 && v.frame < 263)) {
                EXPECT_FALSE(v.accepted) << "frame " << v.frame;
            }
    }
}

// The smoothing alone: moments where the logo cannot be seen (NaN) or a busy
// frame or two do not split a range; a ramp that never reaches full strength
// is all fade.
TEST(Presence, DarkAndBusyMomentsDoNotFlipTheVerdict) {
    const float hidden = std::nanf("");
    std::vector<float> s(60, 1.0f);
    for (int i = 10; i < 20; ++i)
        s[i] = hidden;           // the logo's colour on a background of its own colour
    s[30] = 0.1f, s[31] = -0.2f; // a busy moment
    for (int i = 45; i < 60; ++i)
        s[i] = 0; // gone
    std::vector<a::PresenceRange> ranges = a::presenceRanges(s, 100);
    ASSERT_EQ(ranges.size(), 1u);
    EXPECT_EQ(ranges[0].start, 100);
    EXPECT_EQ(ranges[0].end, 144);
    EXPECT_EQ(ranges[0].fadeIn + ranges[0].fadeOut, 0);

    std::vector<float> ramp = {0,    0,    0.1f, 0.2f, 0.3f, 0.4f, 0.5f,
                               0.6f, 0.5f, 0.4f, 0.3f, 0.2f, 0,    0};
    ranges = a::presenceRanges(ramp, 0);
    ASSERT_EQ(ranges.size(), 1u);
    EXPECT_EQ(ranges[0].start, 2);
    EXPECT_EQ(ranges[0].end, 11);
    EXPECT_EQ(ranges[0].fadeIn + ranges[0].fadeOut, 10);
}

// Where the logo has left, a static shot's own edges may still resemble it a
// little: the strength settles above 0. The fade ends where it settles, not
// at the video's end.
TEST(Presence, AFadeEndsWhereTheStrengthSettles) {
    std::vector<float> s(40, 1.0f);
    for (int i = 1; i <= 10; ++i)
        s.push_back(1.0f - 0.088f * static_cast<float>(i)); // down to 0.12 at frame 49
    s.resize(80, 0.12f);
    const std::vector<a::PresenceRange> ranges = a::presenceRanges(s, 0);
    ASSERT_EQ(ranges.size(), 1u);
    EXPECT_EQ(ranges[0].start, 0);
    EXPECT_NEAR(static_cast<double>(ranges[0].end), 48, 1);
    EXPECT_NEAR(ranges[0].fadeOut, 9, 1);
}

namespace {

// The strength as the plain sum over every pair of neighbours with an
// opaque end, each pixel's terms worked out anew for each pair.
double plainStrength(const a::Picture &area, const a::Plane &plane, const a::RingBackground &ring,
                     const std::vector<a::PixelEstimate> &logo) {
    const int w = ring.width(), h = ring.height();
    auto added = [&](int x, int y, int c, double &d, double &g) {
        const a::PixelEstimate &e = logo[static_cast<size_t>(y) * w + x];
        const double s = ring.at(plane, c, x, y);
        d = a::channel(area.at(x, y), c) - s;
        g = e.premultiplied[c] - e.opacity * s;
    };
    double num = 0, den = 0;
    int pairs = 0;
    auto pair = [&](int x0, int y0, int x1, int y1) {
        if (logo[static_cast<size_t>(y0) * w + x0].opacity <= a::logoOpacity &&
            logo[static_cast<size_t>(y1) * w + x1].opacity <= a::logoOpacity)
            return;
        ++pairs;
        for (int c = 0; c < 3; ++c) {
            double d0, g0, d1, g1;
            added(x0, y0, c, d0, g0);
            added(x1, y1, c, d1, g1);
            num += (d1 - d0) * (g1 - g0);
            den += (g1 - g0) * (g1 - g0);
        }
    };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (x + 1 < w)
                pair(x, y, x + 1, y);
            if (y + 1 < h)
                pair(x, y, x, y + 1);
        }
    if (pairs == 0 || den < 4.0 * pairs)
        return std::nan("");
    return num / den;
}

} // namespace

// Each pixel's terms are worked out once for all its pairs: the strength is
// the plain sum's to the last bit, with opaque pixels scattered to the
// rectangle's edges and corners, alone and in clumps.
TEST(Presence, StrengthIsThePlainSumOverPairs) {
    std::mt19937 random(5);
    std::uniform_int_distribution<int> level(0, 255);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const a::RingBackground ring(23, 11, 3);
    for (double share : {0.03, 0.3, 0.9}) {
        SCOPED_TRACE(testing::Message() << "opaque share " << share);
        a::Picture area(ring.width(), ring.height());
        for (uint32_t &p : area.pixels)
            p = a::packRgb(level(random), level(random), level(random));
        std::vector<a::PixelEstimate> logo(area.pixels.size());
        for (a::PixelEstimate &e : logo) {
            e.opacity = unit(random) < share ? 0.1 + 0.8 * unit(random) : 0.02 * unit(random);
            for (double &c : e.premultiplied)
                c = 255 * e.opacity * unit(random);
        }
        logo.front().opacity = logo.back().opacity = 0.5;
        const a::Plane plane = ring.fit(area);
        const double plain = plainStrength(area, plane, ring, logo);
        ASSERT_FALSE(std::isnan(plain));
        EXPECT_EQ(a::logoStrength(area, plane, ring, logo), plain);
    }
}
