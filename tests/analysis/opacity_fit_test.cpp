// The blend fit's solution on sums worked out by hand: exact recovery where
// the background varies, and what the colour prior decides where it never
// does.
#include "analysis/opacity_fit.h"

#include <gtest/gtest.h>

namespace a = pendra::analysis;

namespace {

// A logo of colour 240 at opacity 0.5 over the given backgrounds: o = 0.5·s + 120.
a::OpacityFit blendOver(std::initializer_list<double> backgrounds) {
    a::OpacityFit fit(1);
    for (double s : backgrounds) {
        const double background[3] = {s, s, s};
        const int o = static_cast<int>(0.5 * s + 120);
        const int observed[3] = {o, o, o};
        fit.add(0, background, observed);
    }
    return fit;
}

} // namespace

TEST(OpacityFit, SolvesTheBlendAndLetsThePriorDecideOverAStillBackground) {
    // A varying background: the frames alone determine it, exactly.
    const a::OpacityFit varying = blendOver({20, 60, 100, 200, 240});
    a::PixelEstimate e = varying.solve(0);
    EXPECT_DOUBLE_EQ(e.opacity, 0.5);
    EXPECT_NEAR(e.premultiplied[0], 120, 1e-9);
    EXPECT_NEAR(e.rms, 0, 1e-6);
    EXPECT_EQ(e.frames, 5);
    // A prior of the true colour leaves an exact fit as it was.
    const a::ColourPrior truth{{240, 240, 240}, 1.0};
    EXPECT_NEAR(varying.solve(0, truth).opacity, 0.5, 1e-12);

    // A background that never changes (100 in ten frames, o = 170): alone,
    // a is undetermined and called clean; with the logo's colour lent, the
    // quadratic 98000·a² - 2·49000·a gives a = 0.5 and a·L = 120.
    const a::OpacityFit still = blendOver({100, 100, 100, 100, 100, 100, 100, 100, 100, 100});
    e = still.solve(0);
    EXPECT_EQ(e.opacity, 0);
    EXPECT_EQ(e.premultiplied[1], 0);
    e = still.solve(0, truth);
    EXPECT_NEAR(e.opacity, 0.5, 1e-12);
    EXPECT_NEAR(e.premultiplied[2], 120, 1e-9);
    // A darker colour lent: the same frames say a stronger logo (o - s = a·(L - s)).
    e = still.solve(0, a::ColourPrior{{170, 170, 170}, 1.0});
    EXPECT_NEAR(e.opacity, 1.0, 1e-12);

    // Too few frames to fit anything.
    EXPECT_EQ(blendOver({50}).solve(0).opacity, 0);
}
