// The estimate from the whole video, for a logo that never stands over a
// smooth background: the difference field integrates back exactly, and on
// generated textured scenes the opacity, colour and presence are recovered
// without a single frame whose surroundings could be seen through.
#include "analysis/gradient_estimate.h"
#include "analysis/logo_analysis.h"
#include "analysis/poisson.h"
#include "tests/analysis/scene_checks.h"
#include "tests/support/generated_source.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace a = pendra::analysis;
namespace t = pendra::test;

namespace {

t::Scene texturedScene(t::GeneratedLogo logo, double noise) {
    t::Scene scene;
    scene.background = t::Background::Textured;
    scene.frames = 200;
    scene.noise = noise;
    scene.logos.push_back(std::move(logo));
    return scene;
}

// The rectangle of every frame of `scene`, as the estimation samples them.
std::vector<a::KeptFrame> samplesOf(const t::Scene &scene, const a::Rect &rect,
                                    const a::RingBackground &ring) {
    t::GeneratedSource source(scene);
    std::vector<a::KeptFrame> samples;
    source.rewind();
    for (int64_t f = 0; source.advance(); ++f) {
        a::KeptFrame k;
        k.frame = f;
        source.read(rect, k.area);
        k.plane = ring.fit(k.area);
        samples.push_back(std::move(k));
    }
    return samples;
}

// `over` laid over `under` on a textured scene, analysed in `rect`.
a::Result analyzedLayers(const t::GeneratedLogo &under, const t::GeneratedLogo &over,
                         const a::Rect &rect) {
    t::Scene scene = texturedScene(under, 1.5);
    scene.logos.push_back(over);
    t::GeneratedSource source(scene);
    a::Options options;
    options.rect = rect;
    return a::analyze(source, options);
}

// The opacity's error where either layer lies, against the two blends
// stacked: summed over the pixels where each is the stronger, and the worst.
struct LayerErrors {
    double sum[2] = {0, 0}, count[2] = {0, 0}, worst = 0;
};

LayerErrors layerErrors(const a::Result &result, const t::GeneratedLogo &under,
                        const t::GeneratedLogo &over) {
    LayerErrors e;
    const a::Rect &r = result.rect;
    for (int y = 0; y < r.height; ++y)
        for (int x = 0; x < r.width; ++x) {
            const double u = under.at(r.x + x, r.y + y), o = over.at(r.x + x, r.y + y);
            if (u + o == 0)
                continue;
            const double error = std::fabs(result.opacity[static_cast<size_t>(y) * r.width + x] -
                                           (1 - (1 - u) * (1 - o)));
            e.sum[o > u] += error;
            e.count[o > u] += 1;
            e.worst = std::fmax(e.worst, error);
        }
    return e;
}

} // namespace

TEST(OpacityFromGradients, DifferencesIntegrateBackExactly) {
    // A blob that is zero on the outer line: its differences give it back.
    const int w = 23, h = 17;
    std::vector<double> truth(static_cast<size_t>(w) * h, 0.0), right(truth.size(), 0.0),
        down(truth.size(), 0.0);
    for (int y = 1; y < h - 1; ++y)
        for (int x = 1; x < w - 1; ++x)
            truth[static_cast<size_t>(y) * w + x] =
                50 * std::exp(-((x - 11.0) * (x - 11.0) + (y - 8.0) * (y - 8.0)) / 12.0) +
                (x > 4 && x < 8 && y > 3 && y < 13 ? 30 : 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const size_t k = static_cast<size_t>(y) * w + x;
            if (x + 1 < w)
                right[k] = truth[k + 1] - truth[k];
            if (y + 1 < h)
                down[k] = truth[k + static_cast<size_t>(w)] - truth[k];
        }
    const std::vector<double> found = a::integrateDifferences(right, down, w, h);
    for (size_t k = 0; k < truth.size(); ++k)
        EXPECT_NEAR(found[k], truth[k], 1e-3) << k;
}

// Every shot textured, so no frame's ring is smooth: the frame-by-frame fit
// has nothing to rest on, and the whole video must tell the opacity. A light
// text, a coloured emblem and a dark text, located and given.
TEST(OpacityFromGradients, TexturedGroundWithoutASmoothFrame) {
    const t::GeneratedLogo logos[] = {t::textLogo(150, 8, 0.5, 0xF0F0F0),
                                      t::emblemLogo(160, 6, 9, 0.35, 0xFFC828),
                                      t::textLogo(150, 8, 0.3, 0x202020)};
    for (const t::GeneratedLogo &logo : logos)
        for (bool given : {true, false}) {
            SCOPED_TRACE(testing::Message() << "logo at " << logo.x << (given ? ", given" : ""));
            t::GeneratedSource source(texturedScene(logo, 1.5));
            a::Options options;
            if (given)
                options.rect = a::Rect{logo.x - 7, logo.y - 5, logo.width + 14, logo.height + 10};
            a::Result result = a::analyze(source, options);
            EXPECT_FALSE(result.repairOnly) << result.why;
            const t::Accuracy acc = t::accuracy(result, logo);
            EXPECT_LT(acc.meanOpacityError, 0.04);
            EXPECT_LE(acc.worstBlack, 14);
            EXPECT_LE(acc.worstWhite, 14);
            ASSERT_EQ(result.presence.size(), 1u);
            EXPECT_EQ(result.presence[0].start, 0);
            EXPECT_EQ(result.presence[0].end, 199);
            // Every frame has its verdict; the estimate rests on frames sampled across the video.
            ASSERT_EQ(result.verdicts.size(), 200u);
            int used = 0;
            for (const a::FrameVerdict &v : result.verdicts)
                used += v.accepted;
            EXPECT_GE(used, 100);
        }
}

// A break in the middle of noisy textured footage: the frames without the
// logo are found, and left out of the estimate so they do not dilute it.
TEST(OpacityFromGradients, ABreakIsFoundAndLeftOut) {
    t::Scene scene = texturedScene(t::textLogo(150, 8, 0.45, 0xF0F0F0), 4.0);
    scene.logos[0].presence = [](int64_t f) { return f >= 80 && f < 130 ? 0.0 : 1.0; };
    t::GeneratedSource source(scene);
    a::Result result = a::analyze(source, {});
    EXPECT_FALSE(result.repairOnly) << result.why;
    EXPECT_LT(t::accuracy(result, scene.logos[0]).meanOpacityError, 0.04);
    ASSERT_EQ(result.presence.size(), 2u);
    EXPECT_NEAR(static_cast<double>(result.presence[0].end), 79, 2);
    EXPECT_NEAR(static_cast<double>(result.presence[1].start), 130, 2);
    EXPECT_EQ(result.presence[1].end, 199);
    for (const a::FrameVerdict &v : result.verdicts)
        if (v.frame >= 84 && v.frame < 126) {
            EXPECT_FALSE(v.accepted) << v.frame;
        }
}

// A logo away for nearly half the video: over all the sampled frames the
// background varies as much under it as around, as if no logo dimmed it.
// The frames its persistent edges show it in tell the opacity.
TEST(OpacityFromGradients, ALongBreakIsLeftOutBeforeTheEstimate) {
    t::Scene scene = texturedScene(t::textLogo(150, 8, 0.45, 0xF0F0F0), 4.0);
    scene.logos[0].presence = [](int64_t f) { return f >= 60 && f < 150 ? 0.0 : 1.0; };
    t::GeneratedSource source(scene);
    a::Result result = a::analyze(source, {});
    EXPECT_FALSE(result.repairOnly) << result.why;
    EXPECT_LT(t::accuracy(result, scene.logos[0]).meanOpacityError, 0.04);
    ASSERT_EQ(result.presence.size(), 2u);
    EXPECT_NEAR(static_cast<double>(result.presence[0].end), 59, 2);
    EXPECT_NEAR(static_cast<double>(result.presence[1].start), 150, 2);
}

// The estimate alone: the level within bounds where the frames tell it, and
// an empty answer with its reason where they cannot.
TEST(OpacityFromGradients, LevelOnlyWhereTheFramesTellIt) {
    const a::Rect rect{143, 3, 42, 26};
    const a::RingBackground ring(rect.width, rect.height, 4);
    std::string why;
    t::Scene scene = texturedScene(t::textLogo(150, 8, 0.6, 0xE0E0E0), 1.0);
    const auto found = a::estimateFromGradients(samplesOf(scene, rect, ring), ring, why);
    ASSERT_TRUE(found.has_value()) << why;
    EXPECT_NEAR(found->level, 0.6, 0.04);
    EXPECT_EQ(found->used.size(), 200u);

    scene.frames = 16;
    EXPECT_FALSE(a::estimateFromGradients(samplesOf(scene, rect, ring), ring, why));
    EXPECT_NE(why.find("too few"), std::string::npos) << why;

    scene.frames = 100;
    scene.background = t::Background::Still;
    EXPECT_FALSE(a::estimateFromGradients(samplesOf(scene, rect, ring), ring, why));
    EXPECT_NE(why.find("hardly changes"), std::string::npos) << why;

    // No logo: nothing persists but the medians' noise.
    scene.background = t::Background::Textured;
    scene.logos.clear();
    EXPECT_FALSE(a::estimateFromGradients(samplesOf(scene, rect, ring), ring, why));
    EXPECT_NE(why.find("persists"), std::string::npos) << why;
}

// A light text beside a dark emblem of the same opacity (as a light logo with
// a dark outline or shadow): each part's opacity comes out, not the dark
// one's scaled by its weaker contrast.
TEST(OpacityFromGradients, LightAndDarkPartsOfOneOpacity) {
    t::Scene scene = texturedScene(t::textLogo(140, 8, 0.5, 0xF0F0F0), 1.5);
    scene.logos.push_back(t::emblemLogo(124, 8, 7, 0.5, 0x303030));
    t::GeneratedSource source(scene);
    a::Options options;
    options.rect = a::Rect{118, 3, 68, 26};
    a::Result result = a::analyze(source, options);
    EXPECT_FALSE(result.repairOnly) << result.why;
    for (const t::GeneratedLogo &logo : scene.logos) {
        SCOPED_TRACE(testing::Message() << "logo at " << logo.x << "," << logo.y);
        EXPECT_LT(t::accuracy(result, logo).meanOpacityError, 0.03);
    }
}

// Light letters inside a dark outline, the outline blended more strongly
// (as broadcasters draw text): each part is measured at its own opacity,
// where one level for the whole shape left its pixels disagreeing. The bound
// is looser than a one-part logo's: where the parts meet, their contrasts
// cancel and the pixels there are given the parts' mean level.
TEST(OpacityFromGradients, DarkOutlineAndLightLettersOfUnlikeOpacity) {
    const t::GeneratedLogo letters = t::textLogo(150, 8, 0.35, 0xF0F0F0);
    t::GeneratedLogo outline = letters;
    outline.x -= 2, outline.y -= 2, outline.width += 4, outline.height += 4;
    outline.colour = 0x202020;
    outline.opacity.assign(static_cast<size_t>(outline.width) * outline.height, 0.0f);
    // Two pixels around every letter pixel, less the letters themselves.
    for (int y = 0; y < outline.height; ++y)
        for (int x = 0; x < outline.width; ++x) {
            double around = 0;
            for (int v = y - 2; v <= y + 2; ++v)
                for (int u = x - 2; u <= x + 2; ++u)
                    around = std::fmax(around, letters.at(outline.x + u, outline.y + v));
            const double covered = letters.at(outline.x + x, outline.y + y) / 0.35;
            outline.opacity[static_cast<size_t>(y) * outline.width + x] =
                static_cast<float>(0.6 * (around / 0.35) * (1 - covered));
        }
    const a::Result result = analyzedLayers(outline, letters, a::Rect{141, 1, 46, 30});
    EXPECT_FALSE(result.repairOnly) << result.why;
    // Where the parts' anti-aliased edges overlap, the two blends stack.
    const LayerErrors e = layerErrors(result, outline, letters);
    EXPECT_LT(e.sum[0] / e.count[0], 0.05) << "outline";
    EXPECT_LT(e.sum[1] / e.count[1], 0.05) << "letters";
}

// A logo that fills most of its rectangle (a box, outlined text given
// tightly): the rectangle's typical contrast is the logo's own, and the
// shape must not be cut down to its strongest pixels.
TEST(OpacityFromGradients, ALogoFillingMostOfItsRectangle) {
    t::GeneratedLogo box = t::textLogo(150, 8, 0.45, 0xE8E8E8);
    for (float &o : box.opacity)
        o = 0.45f;
    t::GeneratedSource source(texturedScene(box, 1.5));
    a::Options options;
    options.rect = a::Rect{147, 5, 34, 20};
    a::Result result = a::analyze(source, options);
    EXPECT_FALSE(result.repairOnly) << result.why;
    EXPECT_LT(t::accuracy(result, box).meanOpacityError, 0.04);
}

// Grain and coding noise vary each pixel by the same amount under the logo
// as beside it, not dimmed by it: the level must not read them as a weaker
// logo (it read 0.45 to 0.47 for a 0.5 logo here).
TEST(OpacityFromGradients, NoiseIsNotReadAsWeakerDimming) {
    const a::Rect rect{143, 3, 42, 26};
    const a::RingBackground ring(rect.width, rect.height, 4);
    for (double noise : {0.0, 4.0, 8.0}) {
        SCOPED_TRACE(testing::Message() << "noise " << noise);
        std::string why;
        const t::Scene scene = texturedScene(t::textLogo(150, 8, 0.5, 0xE0E0E0), noise);
        const auto found = a::estimateFromGradients(samplesOf(scene, rect, ring), ring, why);
        ASSERT_TRUE(found.has_value()) << why;
        EXPECT_NEAR(found->level, 0.5, 0.015);
    }
}

// A part of the logo whose colour is the background's own leaves no
// persistent difference, yet dims the background's variation like the rest:
// an estimate without it would leave that part on screen, so none is made.
TEST(OpacityFromGradients, APartMissingFromTheShapeIsRefused) {
    t::Scene scene = texturedScene(t::textLogo(140, 8, 0.5, 0xF0F0F0), 1.5);
    scene.logos.push_back(t::emblemLogo(120, 6, 8, 0.5, 0x808080));
    const a::Rect rect{113, 1, 62, 30};
    const a::RingBackground ring(rect.width, rect.height, 4);
    std::string why;
    EXPECT_FALSE(a::estimateFromGradients(samplesOf(scene, rect, ring), ring, why));
    EXPECT_NE(why.find("missing"), std::string::npos) << why;
}

// White letters on a red box that fills most of its rectangle, each of its
// own opacity (a channel's name on its colour): the box's even fill belongs
// to the shape, the two parts are told apart by colour though the box's
// contrast sums to about nothing, and where they meet each keeps its share.
TEST(OpacityFromGradients, LettersOnAColouredBox) {
    t::GeneratedLogo box = t::textLogo(128, 3, 0.48, 0xC01F1F);
    box.width = 60, box.height = 40;
    box.opacity.assign(static_cast<size_t>(box.width) * box.height, 0.48f);
    const t::GeneratedLogo letters = t::textLogo(140, 12, 0.6, 0xF0F0F0);
    const a::Result result = analyzedLayers(box, letters, a::Rect{125, 0, 65, 45});
    ASSERT_FALSE(result.repairOnly) << result.why;
    const LayerErrors e = layerErrors(result, box, letters);
    EXPECT_LT((e.sum[0] + e.sum[1]) / (e.count[0] + e.count[1]), 0.03);
    EXPECT_LT(e.worst, 0.2);
}

// Something in a far corner of the rectangle that dims the background's
// variation as a logo's part would, but lies apart from the logo (still
// scenery, a mark of the scene's own): no part of the logo is missing from
// its shape, and the estimate is made.
TEST(OpacityFromGradients, DimmingApartFromTheLogoIsNoMissingPart) {
    t::Scene scene = texturedScene(t::textLogo(150, 8, 0.6, 0xE0E0E0), 1.0);
    scene.logos.push_back(t::emblemLogo(116, 5, 10, 0.5, 0x808080));
    const a::Rect rect{110, 1, 76, 30};
    const a::RingBackground ring(rect.width, rect.height, 4);
    std::string why;
    const auto found = a::estimateFromGradients(samplesOf(scene, rect, ring), ring, why);
    ASSERT_TRUE(found.has_value()) << why;
    EXPECT_NEAR(found->level, 0.6, 0.04);
}
