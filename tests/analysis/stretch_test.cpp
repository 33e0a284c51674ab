// What settings by stretch rest on: cuts found between generated shots and
// none inside them, the same cuts that the location's shots are told apart
// by, presence ranges split at the cuts that bound long enough
// shots, and the residue measure that scores a filtered logo area with no
// clean picture: larger for a ghost outline or a texture smoothed away than
// for a clean ground, smooth or textured.
#include "analysis/locate.h"
#include "analysis/outline_residue.h"
#include "analysis/shot_cuts.h"
#include "tests/support/generated_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace a = pendra::analysis;
namespace t = pendra::test;

namespace {

std::vector<int64_t> cutFrames(t::Scene scene) {
    t::GeneratedSource source(scene);
    a::CutFinder finder;
    a::Picture middle;
    const a::Rect area{scene.width / 4, scene.height / 4, scene.width / 2, scene.height / 2};
    while (source.advance()) {
        source.read(area, middle);
        finder.add(middle);
    }
    std::vector<int64_t> frames;
    for (const a::Cut &c : finder.cuts())
        frames.push_back(c.frame);
    return frames;
}

// Every `stride`th frame of the scene, its middle quarter (as the stretches read it).
std::vector<a::Picture> sampledMiddles(t::Scene scene, int stride) {
    t::GeneratedSource source(scene);
    const a::Rect area{scene.width / 4, scene.height / 4, scene.width / 2, scene.height / 2};
    std::vector<a::Picture> frames;
    a::Picture frame;
    for (int64_t n = 0; source.advance(); ++n)
        if (n % stride == 0) {
            source.read(area, frame);
            frames.push_back(frame);
        }
    return frames;
}

} // namespace

TEST(ShotCuts, FoundBetweenShotsAndNotWithin) {
    t::Scene scene;
    scene.frames = 150;
    scene.shotLength = 50;
    scene.noise = 2;
    for (t::Background ground : {t::Background::Planar, t::Background::Mixed}) {
        scene.background = ground;
        EXPECT_EQ(cutFrames(scene), (std::vector<int64_t>{50, 100}));
    }
    scene.background = t::Background::Still;
    EXPECT_TRUE(cutFrames(scene).empty());
}

// Samples a few frames apart, as the location takes them, of smooth
// drifting gradients: the whole picture's level drifts within a shot and
// the layout moves little at a cut, yet the cuts are found, and the
// location's shots are the ones they bound.
TEST(ShotCuts, LocationsShotsAreTheFindersOnADriftingSmoothPicture) {
    t::Scene scene;
    scene.frames = 150;
    scene.shotLength = 50;
    scene.noise = 2;
    const std::vector<a::Picture> frames = sampledMiddles(scene, 3);
    a::CutFinder finder;
    a::EdgePersistence edges(frames.front().width, frames.front().height);
    for (const a::Picture &frame : frames) {
        finder.add(frame);
        edges.add(frame);
    }
    edges.finish();
    std::vector<int64_t> cuts;
    for (const a::Cut &c : finder.cuts())
        cuts.push_back(c.frame);
    // Samples 17 and 34 open the second and third shots (frames 51 and 102).
    EXPECT_EQ(cuts, (std::vector<int64_t>{17, 34}));
    EXPECT_EQ(edges.shots(), 3);
}

TEST(ShotCuts, RangesSplitAtCutsBoundingLongShots) {
    const a::PresenceRange range{10, 209, 5, 7};
    // 100 bounds two long shots; 150 and 160 bound a 10-frame shot; 5 lies outside.
    const std::vector<a::Cut> cuts{{5, 50}, {100, 40}, {150, 30}, {160, 30}};
    std::vector<a::PresenceRange> s = a::splitAtCuts(range, cuts);
    ASSERT_EQ(s.size(), 2u);
    EXPECT_EQ(s[0].start, 10);
    EXPECT_EQ(s[0].end, 99);
    EXPECT_EQ(s[0].fadeIn, 5);
    EXPECT_EQ(s[0].fadeOut, 0);
    EXPECT_EQ(s[1].start, 100);
    EXPECT_EQ(s[1].end, 209);
    EXPECT_EQ(s[1].fadeIn, 0);
    EXPECT_EQ(s[1].fadeOut, 7);

    // A cap keeps the strongest cuts.
    const std::vector<a::Cut> many{{50, 10}, {100, 40}, {150, 20}};
    s = a::splitAtCuts({0, 199, 0, 0}, many, {24, 2});
    ASSERT_EQ(s.size(), 2u);
    EXPECT_EQ(s[1].start, 100);
}

namespace {

constexpr int width = 48, height = 28;

// A soft-edged bar of opacity 0.6 in the middle, and its repair shape.
struct Logo {
    std::vector<float> opacity;
    a::Picture mask{width, height};
};

Logo barLogo() {
    Logo logo;
    for (int line = 0; line < height; ++line)
        for (int x = 0; x < width; ++x) {
            const bool inside = x >= 14 && x < 34 && line >= 9 && line < 19;
            const bool edge = !inside && x >= 13 && x < 35 && line >= 8 && line < 20;
            logo.opacity.push_back(inside ? 0.6f : edge ? 0.3f : 0.0f);
            logo.mask.at(x, line) = inside || edge ? 0xFFFFFF : 0;
        }
    return logo;
}

uint32_t grey(int v) {
    const auto c = static_cast<uint32_t>(std::clamp(v, 0, 255));
    return c << 16 | c << 8 | c;
}

a::Picture ground(bool textured) {
    a::Picture p(width, height);
    for (int line = 0; line < height; ++line)
        for (int x = 0; x < width; ++x) {
            int v = 80 + x + line / 2;
            if (textured)
                v += ((x * 7 + line * 13) % 11 - 5) * 4;
            p.at(x, line) = grey(v);
        }
    return p;
}

// Speckle of +-12 levels where the logo's opacity steps: what un-blending
// lifts out of coding noise along the edges.
a::Picture withGhost(a::Picture p, const Logo &logo) {
    for (int line = 0; line < height; ++line)
        for (int x = 0; x < width; ++x)
            if (logo.opacity[static_cast<size_t>(line) * width + x] == 0.3f)
                p.at(x, line) =
                    grey(static_cast<int>(p.at(x, line) & 0xFF) + ((x + line) % 2 ? 12 : -12));
    return p;
}

// The logo area replaced by the ground's smooth plane: a repair's result.
a::Picture smoothedUnder(a::Picture p, const Logo &logo) {
    for (int line = 0; line < height; ++line)
        for (int x = 0; x < width; ++x)
            if (logo.mask.at(x, line) != 0)
                p.at(x, line) = grey(80 + x + line / 2);
    return p;
}

} // namespace

TEST(OutlineResidue, GhostsAndLostTextureScoreAboveACleanGround) {
    const Logo logo = barLogo();
    for (bool textured : {false, true}) {
        SCOPED_TRACE(textured ? "textured" : "smooth");
        const a::Picture clean = ground(textured);
        const double cleanResidue = a::outlineResidue(clean, logo.opacity, logo.mask).total();
        EXPECT_LT(cleanResidue, 0.3);
        const a::OutlineResidue ghost =
            a::outlineResidue(withGhost(clean, logo), logo.opacity, logo.mask);
        EXPECT_GT(ghost.outline, cleanResidue + 0.5);
    }
    // Smoothing a textured ground over loses what the ring shows; on a smooth
    // ground it loses nothing.
    const a::OutlineResidue lost =
        a::outlineResidue(smoothedUnder(ground(true), logo), logo.opacity, logo.mask);
    EXPECT_GT(lost.flattened, 0.5);
    const a::OutlineResidue kept =
        a::outlineResidue(smoothedUnder(ground(false), logo), logo.opacity, logo.mask);
    EXPECT_LT(kept.total(), 0.3);
}

// Texture lost under a wide block counts for more than under thin strokes
// over a textured ground: a repair rebuilds a stroke from a pixel away, a
// block's middle from far.
TEST(OutlineResidue, TextureLostFarFromCleanPixelsCountsForMore) {
    const Logo block = barLogo();
    Logo strokes = block;
    for (int line = 0; line < height; ++line)
        for (int x = 0; x < width; ++x) {
            const bool stroke = (line == 10 || line == 11 || line == 16 || line == 17) &&
                                block.mask.at(x, line) != 0;
            strokes.opacity[static_cast<size_t>(line) * width + x] = stroke ? 0.6f : 0.0f;
            strokes.mask.at(x, line) = stroke ? 0xFFFFFF : 0;
        }
    const a::OutlineResidue wide =
        a::outlineResidue(smoothedUnder(ground(true), block), block.opacity, block.mask);
    const a::OutlineResidue thin =
        a::outlineResidue(smoothedUnder(ground(true), strokes), strokes.opacity, strokes.mask);
    ASSERT_GE(wide.ground, a::smoothGround);
    EXPECT_GT(thin.flattened, 0.5);
    EXPECT_GT(wide.total(), 1.4 * thin.total());
    // Over a smooth ground what a repair smooths away is coding noise, which
    // counts alike however far the repair reaches.
    a::OutlineResidue calm = wide;
    calm.ground = a::smoothGround / 2;
    EXPECT_DOUBLE_EQ(calm.total(), calm.outline + calm.lifted + calm.flattened);
}

// The logo's area a level too light, its edges ramped over three pixels as a
// repair of its rims leaves it: no sharp outline, but a band of the wrong
// level that halving keeps.
TEST(OutlineResidue, ABlobOfTheWrongLevelWithSoftEdges) {
    const Logo logo = barLogo();
    for (bool textured : {false, true}) {
        SCOPED_TRACE(textured ? "textured" : "smooth");
        a::Picture blob = ground(textured);
        for (int line = 0; line < height; ++line)
            for (int x = 0; x < width; ++x) {
                const int in = std::min({x - 12, 35 - x, line - 7, 20 - line});
                if (in > 0)
                    blob.at(x, line) =
                        grey(static_cast<int>(blob.at(x, line) & 0xFF) + std::min(in, 4) * 10);
            }
        const a::OutlineResidue r = a::outlineResidue(blob, logo.opacity, logo.mask);
        EXPECT_GT(r.outline, 0.5);
    }
}
