// Location without a given rectangle: two marks are two candidates, the
// stronger chosen, each rectangle holding its mark closely; whole frames are
// read only for the samples, the rectangle alone afterwards. On a static
// shot, the logo that leaves for a break is told from still scenery, and
// still texture beside a logo does not widen its rectangle. A video whose
// index shows too few keyframes is not sought through, with the same result.
#include "analysis/frame_pass.h"
#include "analysis/locate.h"
#include "analysis/location_pass.h"
#include "analysis/logo_analysis.h"
#include "tests/analysis/scene_checks.h"
#include "tests/support/generated_source.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace a = pendra::analysis;
namespace t = pendra::test;

TEST(Location, SecondMarkIsASecondCandidateAndReadsStaySmall) {
    t::Scene scene;
    scene.background = t::Background::Mixed;
    scene.noise = 1.0;
    scene.logos.push_back(t::textLogo(152, 8, 0.6, 0xF8F8F8));       // the channel's logo
    scene.logos.push_back(t::emblemLogo(10, 82, 6, 0.35, 0xFFFF60)); // a rating mark
    t::GeneratedSource source(scene);
    a::Result result = a::analyze(source, {});

    ASSERT_GE(result.candidates.size(), 2u);
    int slack = 0;
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(testing::Message() << "candidate " << i << ": " << result.candidates[i].notes);
        const t::GeneratedLogo &mark = scene.logos[i];
        const t::GeneratedLogo &other = scene.logos[1 - i];
        EXPECT_TRUE(t::holds(result.candidates[i].rect, mark, slack));
        EXPECT_LE(slack, 10);
        EXPECT_FALSE(t::holds(result.candidates[i].rect, other, slack)); // never merged
    }
    EXPECT_GT(result.candidates[0].score, result.candidates[1].score);
    EXPECT_EQ(result.rect.x, result.candidates[0].rect.x);
    EXPECT_EQ(result.rect.width, result.candidates[0].rect.width);

    EXPECT_LE(source.wholeReads(), 60);
    EXPECT_EQ(result.framesSampled, source.wholeReads());
    EXPECT_EQ(source.largestPart(), int64_t{result.rect.width} * result.rect.height);
    EXPECT_EQ(result.framesRead, scene.frames);
}

// A slow pan whose far side stands still for a whole shot, beside a logo that
// stays put across the cuts: the patch is still within one shot only.
namespace {

// A generated video whose seeks land on a keyframe every `every` frames, and
// that tells how many there are only when `told`.
class SparseKeyframes : public t::GeneratedSource {
  public:
    SparseKeyframes(t::Scene scene, int64_t every, bool told)
        : GeneratedSource(std::move(scene)), every_(every), told_(told) {}
    int64_t keyframes() const override {
        return told_ ? (scene().frames + every_ - 1) / every_ : -1;
    }
    int64_t seekNear(int64_t frame) override {
        ++seeks_;
        rewind();
        const int64_t key = frame / every_ * every_;
        for (int64_t f = 0; f <= key; ++f)
            advance();
        return key;
    }
    int seeks() const { return seeks_; }

  private:
    int64_t every_;
    bool told_;
    int seeks_ = 0;
};

} // namespace

TEST(Location, TooFewKeyframesAreNotSoughtAndTheSamplesAreTheSame) {
    t::Scene scene;
    scene.background = t::Background::Mixed;
    scene.logos.push_back(t::textLogo(150, 8, 0.6, 0xF0F0F0));
    SparseKeyframes told(scene, 80, true), untold(scene, 80, false);
    int64_t sampledTold = 0, sampledUntold = 0;
    const a::Range range = a::frameRange(told, {});
    const a::Location first = a::locate(told, range, {}, sampledTold);
    const a::Location second = a::locate(untold, range, {}, sampledUntold);
    EXPECT_EQ(told.seeks(), 0);
    EXPECT_GT(untold.seeks(), 0); // tried, and fell back to reading in order
    EXPECT_EQ(sampledTold, sampledUntold);
    ASSERT_EQ(first.candidates.size(), second.candidates.size());
    for (size_t i = 0; i < first.candidates.size(); ++i) {
        EXPECT_EQ(first.candidates[i].notes, second.candidates[i].notes);
        EXPECT_EQ(a::rectText(first.candidates[i].rect), a::rectText(second.candidates[i].rect));
        EXPECT_EQ(first.candidates[i].score, second.candidates[i].score);
    }
}

TEST(Location, LogoAcrossShotsWinsOverAPatchStillInOneShot) {
    t::Scene scene;
    scene.background = t::Background::Mixed; // odd shots pan over a texture
    scene.shotLength = 60;
    scene.logos.push_back(t::textLogo(150, 8, 0.6, 0xF0F0F0));
    scene.stillPatches.push_back({96, 2, 44, 44, 60, 119});
    t::GeneratedSource source(scene);
    a::Result result = a::analyze(source, {});
    int slack = 0;
    EXPECT_TRUE(t::holds(result.rect, scene.logos[0], slack))
        << result.rect.x << "," << result.rect.y << " " << result.candidates.front().notes;
    EXPECT_LE(slack, 10);
    EXPECT_FALSE(result.repairOnly);
    EXPECT_TRUE(result.others.empty());
}

// A channel's logo and a programme tag in two corners: both estimated.
TEST(Location, TwoMarksInTwoCornersAreBothEstimated) {
    t::Scene scene;
    scene.background = t::Background::Mixed;
    scene.logos.push_back(t::textLogo(152, 8, 0.6, 0xF8F8F8));
    scene.logos.push_back(t::textLogo(10, 84, 0.5, 0xF0F0A0));
    t::GeneratedSource source(scene);
    a::Result result = a::analyze(source, {});
    ASSERT_EQ(result.others.size(), 1u);
    int slack = 0;
    EXPECT_TRUE(t::holds(result.rect, scene.logos[0], slack));
    EXPECT_TRUE(t::holds(result.others[0].rect, scene.logos[1], slack));
    EXPECT_LT(t::accuracy(result.others[0], scene.logos[1]).meanOpacityError, 0.01);
    EXPECT_FALSE(result.others[0].presence.empty());
}

// A logo beside a large part of the picture that stands still all along (a
// static shot's scenery): the still part persists as the logo does, but a
// logo never spans half the picture, so the two stay apart.
TEST(Location, LogoBesideALargeStillAreaStaysSmall) {
    t::Scene scene;
    scene.background = t::Background::Mixed; // odd shots pan over a texture
    scene.logos.push_back(t::textLogo(152, 8, 0.6, 0xF8F8F8));
    scene.stillPatches.push_back({60, 2, 82, 48, 10, scene.frames - 1});
    t::GeneratedSource source(scene);
    a::Result result = a::analyze(source, {});
    ASSERT_FALSE(result.candidates.empty());
    bool found = false;
    for (const a::Candidate &c : result.candidates) {
        SCOPED_TRACE(testing::Message() << c.rect.x << "," << c.rect.y << " " << c.rect.width << "x"
                                        << c.rect.height << ": " << c.notes);
        int slack = 0;
        if (!t::holds(c.rect, scene.logos[0], slack))
            continue;
        found = true;
        EXPECT_LE(slack, 10);
    }
    EXPECT_TRUE(found);
}

namespace {

// The edges of every `stride`-th frame of a scene, as the location samples them.
a::EdgePersistence sampleScene(const t::Scene &scene, int stride) {
    t::GeneratedSource source(scene);
    return t::sampleEdges(source, stride);
}

// The first-ranked candidate holds the scene's first logo with at most
// `spare` pixels to spare on a side.
void expectFirstHoldsTheLogo(const t::Scene &scene, int spare) {
    const a::EdgePersistence edges = sampleScene(scene, 4);
    const std::vector<a::Candidate> found = edges.candidates(4);
    ASSERT_FALSE(found.empty());
    SCOPED_TRACE(t::describe(found));
    int slack = 0;
    EXPECT_TRUE(t::holds(found.front().rect, scene.logos[0], slack));
    EXPECT_LE(slack, spare);
}

} // namespace

// A still camera over textured scenery with a dark object standing in the
// other corner, its edges far stronger than the logo's: both persist alike,
// but only the logo leaves for a break and comes back while the scene stays
// as it was.
TEST(Location, StillCameraLogoThatLeavesForABreakIsFoundNotStillScenery) {
    t::Scene scene;
    scene.background = t::Background::Still;
    scene.noise = 1.5; // the camera's noise: the picture is not frozen
    scene.logos.push_back(t::textLogo(152, 8, 0.85, 0xF8F8F8));
    scene.logos[0].presence = [](int64_t f) { return f >= 96 && f < 132 ? 0.0 : 1.0; };
    scene.balls.push_back({0, scene.frames - 1, 30, 84, 30, 84, 7, 0x404040});
    expectFirstHoldsTheLogo(scene, 10);
}

// Still texture a few pixels beside a logo (a static part of the scene next
// to it) persists across the shots as the logo does, but its edges are far
// weaker: the logo's rectangle keeps to the logo, its ring included, and its
// two halves stay one mark.
TEST(Location, StillTextureBesideALogoStaysOutOfItsRectangle) {
    t::Scene scene;
    scene.background = t::Background::Mixed; // odd shots pan over a texture
    scene.logos.push_back(t::textLogo(150, 10, 0.9, 0xF8F8F8));
    scene.stillPatches.push_back({126, 2, 20, 34, 10, scene.frames - 1});
    expectFirstHoldsTheLogo(scene, 10);
}

// On a static shot where the logo never leaves, still scenery persists as
// the logo does; a dark object cut by the picture's edge runs on beyond it,
// where a channel keeps its logo clear of the edges, and ranks below the
// logo even with stronger edges.
TEST(Location, StillSceneryCutByThePicturesEdgeRanksBelowTheLogo) {
    t::Scene scene;
    scene.background = t::Background::Still;
    scene.noise = 1.5;
    scene.logos.push_back(t::textLogo(152, 8, 0.85, 0xF8F8F8));
    scene.balls.push_back({0, scene.frames - 1, 2, 84, 2, 84, 9, 0x404040});
    const std::vector<a::Candidate> found = sampleScene(scene, 4).candidates(4);
    ASSERT_FALSE(found.empty());
    SCOPED_TRACE(t::describe(found));
    int slack = 0;
    EXPECT_TRUE(t::holds(found.front().rect, scene.logos[0], slack));
}

// Two words a few pixels apart are one logo: one rectangle holds both.
TEST(Location, TwoWordsStayOneMark) {
    t::Scene scene;
    scene.background = t::Background::Mixed;
    scene.logos.push_back(t::textLogo(120, 8, 0.6, 0xF8F8F8));
    scene.logos.push_back(t::textLogo(154, 8, 0.6, 0xF8F8F8));
    const std::vector<a::Candidate> found = sampleScene(scene, 4).candidates(4);
    ASSERT_FALSE(found.empty());
    SCOPED_TRACE(t::describe(found));
    const a::Rect &r = found.front().rect;
    int slack = 0;
    EXPECT_TRUE(t::holds(r, scene.logos[0], slack));
    EXPECT_TRUE(t::holds(r, scene.logos[1], slack));
    // At most 10 pixels to spare on a side of the two words together.
    EXPECT_LE(r.width, scene.logos[1].x + scene.logos[1].width - scene.logos[0].x + 20);
    EXPECT_LE(r.height, scene.logos[0].height + 20);
}

// Still scenery more than half the picture wide (a static shot's backdrop)
// reaching under the logo: edges joined into one mark too big to be a logo
// are split at their weaker links, and the logo comes out on its own
// (before, the whole mark was dropped and the logo with it).
TEST(Location, LogoJoinedToWideStillSceneryIsSplitOut) {
    t::Scene scene;
    scene.background = t::Background::Mixed; // odd shots pan over a texture
    scene.logos.push_back(t::textLogo(152, 8, 0.85, 0xF8F8F8));
    scene.stillPatches.push_back({40, 4, 126, 20, 10, scene.frames - 1});
    const std::vector<a::Candidate> found = sampleScene(scene, 4).candidates(4);
    ASSERT_FALSE(found.empty());
    SCOPED_TRACE(t::describe(found));
    int slack = 0;
    EXPECT_TRUE(t::holds(found.front().rect, scene.logos[0], slack));
    // The still texture right under the logo may stay with it, no more.
    EXPECT_LE(slack, 16);
}

// A text whose last word stands a letter's height away from the rest (the
// "9" of "CANAL 9"), both leaving for a break and coming back together: one
// logo, one rectangle, though the gap is wider than the clean rings reach.
TEST(Location, WordsThatLeaveTogetherJoinAcrossAWordSpace) {
    t::Scene scene;
    scene.background = t::Background::Still;
    scene.noise = 1.5;
    scene.logos.push_back(t::textLogo(106, 8, 0.85, 0xF8F8F8));
    scene.logos.push_back(t::textLogo(146, 8, 0.85, 0xF8F8F8));
    for (t::GeneratedLogo &logo : scene.logos)
        logo.presence = [](int64_t f) { return f >= 96 && f < 132 ? 0.0 : 1.0; };
    const std::vector<a::Candidate> found = sampleScene(scene, 4).candidates(4);
    ASSERT_FALSE(found.empty());
    SCOPED_TRACE(t::describe(found));
    int slack = 0;
    const a::Rect &r = found.front().rect;
    EXPECT_TRUE(t::holds(r, scene.logos[0], slack));
    EXPECT_TRUE(t::holds(r, scene.logos[1], slack));
    EXPECT_LE(r.width, scene.logos[1].x + scene.logos[1].width - scene.logos[0].x + 20);
}

// Still scenery diagonally beside a logo on a static shot (a dark object
// just below and left of it): it persists as the logo does and its edges are
// as strong, but it keeps to neither the logo's lines nor its columns, so it
// stays out of the logo's rectangle.
TEST(Location, StillSceneryDiagonallyBesideALogoStaysOut) {
    t::Scene scene;
    scene.background = t::Background::Still;
    scene.noise = 1.5;
    scene.logos.push_back(t::textLogo(150, 8, 0.85, 0xF8F8F8));
    scene.balls.push_back({0, scene.frames - 1, 139, 34, 139, 34, 6, 0x404040});
    const std::vector<a::Candidate> found = sampleScene(scene, 4).candidates(4);
    ASSERT_FALSE(found.empty());
    SCOPED_TRACE(t::describe(found));
    bool held = false;
    for (const a::Candidate &c : found) {
        int slack = 0;
        if (!t::holds(c.rect, scene.logos[0], slack))
            continue;
        held = true;
        EXPECT_LE(slack, 10);
    }
    EXPECT_TRUE(held);
}

// A two-colour logo: lettering at 0.8 near the top of a box tinted at 0.2.
// The box's outline is far fainter than the letters, so the level of the mark's strong
// edges dropped it and the rectangle held the letters only, leaving the box
// around them; it lasts in every shot as the letters do, and is the logo's.
TEST(Location, AFaintBoxBehindTheLetteringIsPartOfTheLogo) {
    t::GeneratedLogo letters = t::textLogo(0, 0, 0.8, 0xF8F8F8);
    t::GeneratedLogo logo;
    logo.x = 130, logo.y = 6, logo.width = 40, logo.height = 30, logo.colour = 0xF8F8F8;
    logo.opacity.assign(static_cast<size_t>(logo.width) * logo.height, 0.2f);
    for (int y = 0; y < letters.height; ++y)
        for (int x = 0; x < letters.width; ++x)
            logo.opacity[static_cast<size_t>(y + 3) * logo.width + x + 3] =
                std::max(0.2f, letters.opacity[static_cast<size_t>(y) * letters.width + x]);
    t::Scene scene;
    scene.background = t::Background::Planar;
    scene.logos.push_back(logo);
    const std::vector<a::Candidate> found = sampleScene(scene, 4).candidates(4);
    ASSERT_FALSE(found.empty());
    SCOPED_TRACE(t::describe(found));
    int slack = 0;
    EXPECT_TRUE(t::holds(found.front().rect, logo, slack));
    EXPECT_LE(slack, 10);
}

namespace {

// A news box `width` wide: white lettering at 0.85 well inside a dark box
// tinted at 0.4, over shots alternately planar and textured.
t::Scene newsBox(int width) {
    t::GeneratedLogo box;
    box.x = 112, box.y = 4, box.width = width, box.height = 38, box.colour = 0x141E78;
    box.opacity.assign(static_cast<size_t>(box.width) * box.height, 0.4f);
    t::Scene scene;
    scene.background = t::Background::Mixed;
    scene.logos.push_back(box);
    scene.logos.push_back(t::textLogo(box.x + 10, box.y + 10, 0.85, 0xF8F8F8));
    return scene;
}

// The first candidate holds the whole box with at most 10 px to spare.
void expectTheWholeBox(const t::Scene &scene) {
    const std::vector<a::Candidate> found = sampleScene(scene, 4).candidates(4);
    ASSERT_FALSE(found.empty());
    SCOPED_TRACE(t::describe(found));
    int slack = 0;
    EXPECT_TRUE(t::holds(found.front().rect, scene.logos[0], slack));
    EXPECT_LE(slack, 10);
}

} // namespace

// The box's outline, far fainter than the letters and too far from them to
// be reached from them, is a mark of its own; lasting through every shot as
// the letters do and framing them, it is the logo's.
TEST(Location, ABoxOutlineFramingTheLetteringFromAfarIsPartOfTheLogo) {
    expectTheWholeBox(newsBox(68));
}

// The box with things passing along its foot in every shot: there its
// outline is never still enough to be a mark of its own, yet over the many
// frames its lines stand in the mean picture.
TEST(Location, ABoxWithThingsPassingAlongItsFootIsPartOfTheLogo) {
    t::Scene scene = newsBox(56);
    const double y = scene.logos[0].y + scene.logos[0].height - 1;
    for (int64_t shot = 0; shot * scene.shotLength < scene.frames; ++shot) {
        const int64_t from = shot * scene.shotLength, to = from + scene.shotLength - 1;
        scene.balls.push_back({from, to, 100, y, 190, y, 7, 0xF0F0F0});
        scene.balls.push_back({from, to, 190, y - 6, 100, y - 6, 5, 0x101010});
    }
    expectTheWholeBox(scene);
}
