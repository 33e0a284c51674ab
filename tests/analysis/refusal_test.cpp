// The analysis declines to guess: a static camera, too few frames, a range
// without frames, a rectangle outside the picture. A logo whose opacity
// cannot be measured but whose place and shape can is repaired instead.
#include "analysis/logo_analysis.h"
#include "tests/analysis/scene_checks.h"
#include "tests/support/generated_source.h"

#include <gtest/gtest.h>

#include <string>

namespace a = pendra::analysis;
namespace t = pendra::test;

namespace {

std::string refusal(t::Scene scene, const a::Options &options) {
    t::GeneratedSource source(std::move(scene));
    try {
        a::analyze(source, options);
    } catch (const a::Refusal &e) {
        return e.what();
    }
    return "(no refusal)";
}

t::Scene withLogo(t::Background background, int64_t frames) {
    t::Scene scene;
    scene.background = background;
    scene.frames = frames;
    scene.logos.push_back(t::textLogo(150, 8, 0.5, 0xF0F0F0));
    return scene;
}

} // namespace

TEST(Refusal, StaticCameraTooFewFramesAndBadRanges) {
    a::Options located, given;
    given.rect = a::Rect{143, 1, 42, 28};
    // A still picture: nothing moves for location, nothing varies for the fit.
    EXPECT_NE(refusal(withLogo(t::Background::Still, 200), located).find("static camera"),
              std::string::npos);
    EXPECT_NE(refusal(withLogo(t::Background::Still, 200), given).find("static camera"),
              std::string::npos);
    // Too short to sample, and too short to fit.
    EXPECT_NE(refusal(withLogo(t::Background::Planar, 6), located).find("too few frames"),
              std::string::npos);
    EXPECT_NE(refusal(withLogo(t::Background::Planar, 12), given).find("too few usable frames"),
              std::string::npos);
    // No logo anywhere.
    t::Scene empty = withLogo(t::Background::Mixed, 200);
    empty.logos.clear();
    EXPECT_NE(refusal(empty, located).find("nothing stays still"), std::string::npos);
    // Ranges and rectangles that do not fit the video.
    a::Options late;
    late.start = 500;
    EXPECT_NE(refusal(withLogo(t::Background::Planar, 200), late).find("no frames"),
              std::string::npos);
    t::Scene uncounted = withLogo(t::Background::Planar, 200);
    uncounted.countKnown = false; // only the end tells that the start lies past it
    late.rect = given.rect;
    EXPECT_NE(refusal(uncounted, late).find("no frames"), std::string::npos);
    a::Options outside;
    outside.rect = a::Rect{180, 1, 42, 28};
    EXPECT_NE(refusal(withLogo(t::Background::Planar, 200), outside).find("does not lie inside"),
              std::string::npos);
}

// Only textured shots, too few to sample the whole video: the ring is never
// smooth and the medians would be left to chance, so the opacity is unknown,
// but the mark persists across the shots: its filled shape is repaired.
TEST(Refusal, ALogoNeverOverSmoothGroundIsRepairedNotRefused) {
    const t::Scene scene = withLogo(t::Background::Textured, 20);
    const t::GeneratedLogo &logo = scene.logos[0];
    a::Options located, given;
    given.rect = a::Rect{143, 1, 42, 28};
    for (const a::Options &options : {located, given}) {
        SCOPED_TRACE(options.rect ? "rectangle given" : "located");
        t::GeneratedSource source(scene);
        a::Result result = a::analyze(source, options);
        EXPECT_TRUE(result.repairOnly);
        EXPECT_NE(result.why.find("smooth"), std::string::npos) << result.why;
        EXPECT_NE(result.why.find("whole video"), std::string::npos) << result.why;
        ASSERT_EQ(result.presence.size(), 1u);
        EXPECT_EQ(result.presence[0].start, 0);
        EXPECT_EQ(result.presence[0].end, 19);
        // The mask covers every clearly seen logo pixel, and not much more.
        const a::Rect &r = result.rect;
        int covered = 0, logoPixels = 0, masked = 0;
        for (int y = 0; y < r.height; ++y)
            for (int x = 0; x < r.width; ++x) {
                const bool marked = result.mask.at(x, y) == 0xFFFFFFu;
                masked += marked;
                if (logo.at(r.x + x, r.y + y) > 0.2) {
                    ++logoPixels;
                    covered += marked;
                }
                // Captures of "no logo": the module only repairs.
                EXPECT_EQ(result.black.at(x, y), 0u);
            }
        EXPECT_EQ(covered, logoPixels);
        EXPECT_LT(masked, 3 * logoPixels);
    }
}

// A logo repaired without its opacity leaves for a break: the repair stops
// while it is away, rather than rubbing out the picture there; found by the
// location and in a given rectangle alike.
TEST(Refusal, ARepairedLogoIsRepairedOnlyWhereItIsThere) {
    t::Scene scene = withLogo(t::Background::Textured, 22);
    scene.logos[0].presence = [](int64_t f) { return f >= 8 && f <= 13 ? 0.0 : 1.0; };
    a::Options located, given;
    given.rect = a::Rect{143, 1, 42, 28};
    for (const a::Options &options : {located, given}) {
        SCOPED_TRACE(options.rect ? "rectangle given" : "located");
        t::GeneratedSource source(scene);
        const a::Result result = a::analyze(source, options);
        EXPECT_TRUE(result.repairOnly);
        ASSERT_EQ(result.presence.size(), 2u);
        EXPECT_EQ(result.presence[0].start, 0);
        EXPECT_NEAR(static_cast<double>(result.presence[0].end), 7, 1);
        EXPECT_NEAR(static_cast<double>(result.presence[1].start), 14, 1);
        EXPECT_EQ(result.presence[1].end, 21);
    }
}

// The first-ranked logo sits on ground that never changes under it, so its
// opacity cannot be measured, yet it stays put while the rest of the picture
// moves: it is repaired, not passed over for another place nor refused.
TEST(Refusal, TheFirstRankedLogoOverGroundThatNeverChangesIsRepaired) {
    t::Scene scene;
    scene.logos.push_back(t::textLogo(150, 8, 0.6, 0xF0F0F0));
    scene.stillPatches.push_back({90, 0, 102, 60, 0, scene.frames});
    t::GeneratedSource source(scene);
    a::Result result = a::analyze(source, {});
    int slack = 0;
    EXPECT_TRUE(t::holds(result.rect, scene.logos[0], slack))
        << result.rect.x << "," << result.rect.y << " " << result.why;
    EXPECT_TRUE(result.repairOnly);
    EXPECT_NE(result.why.find("hardly changes"), std::string::npos) << result.why;
}
