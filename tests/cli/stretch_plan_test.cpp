// The job's ranges from the stretches' settings: neighbours given the same
// setting share one filter whose range keeps the fades at its two ends, and
// stretches apart (a break between) or set differently stay apart; and which
// of the settings tried wins.
#include "cli/setting_trial.h"
#include "cli/stretch_plan.h"

#include <gtest/gtest.h>

namespace c = pendra::cli;

namespace {

c::StretchChoice stretch(int64_t start, int64_t end, int alpha, int smoothing = -1) {
    c::StretchChoice s;
    s.range = {start, end, 0, 0};
    s.setting.alpha = alpha;
    s.setting.smoothing = smoothing;
    return s;
}

} // namespace

TEST(StretchPlan, NeighboursOfOneSettingShareAFilterWithTheRangesFades) {
    std::vector<c::StretchChoice> s{stretch(0, 49, 255), stretch(50, 99, 255),
                                    stretch(100, 149, 0, 255), stretch(150, 199, 0),
                                    stretch(260, 299, 0)};
    s.front().range.fadeIn = 6;
    s[1].range.fadeOut = 0;
    s[3].range.fadeOut = 4; // the end of the first presence range
    s.back().range.fadeIn = 3;
    const std::vector<c::StretchChoice> joined = c::joinAlike(s);
    ASSERT_EQ(joined.size(), 4u);
    EXPECT_EQ(joined[0].range.start, 0);
    EXPECT_EQ(joined[0].range.end, 99);
    EXPECT_EQ(joined[0].range.fadeIn, 6);
    EXPECT_EQ(joined[1].setting.smoothing, 255); // smoothed apart from plain repair
    EXPECT_EQ(joined[2].range.start, 150);
    EXPECT_EQ(joined[2].range.fadeOut, 4);
    EXPECT_EQ(joined[3].range.start, 260); // after a break: its own filter
    EXPECT_EQ(joined[3].range.fadeIn, 3);
}

namespace {

c::Trial trial(int alpha, int smoothing, double lifted, double flattened, double ground) {
    c::Trial t;
    t.candidate = {alpha, smoothing, "tried"};
    t.residue.lifted = lifted;
    t.residue.flattened = flattened;
    t.residue.ground = ground;
    return t;
}

} // namespace

TEST(StretchPlan, TheLeastResidueWinsAndNearTiesGoToUnblendingThenSmoothing) {
    // Clearly less left by the repair: it wins over un-blending.
    std::vector<c::Trial> trials{trial(255, -1, 3.0, 0, 4), trial(0, -1, 0, 0.09, 4),
                                 trial(0, 255, 0, 0.13, 4)};
    // Over a smooth ground the smoothed repair takes the near tie.
    EXPECT_EQ(c::leastResidue(trials).candidate.smoothing, 255);
    // Over a textured one the measure decides between the two repairs.
    for (c::Trial &t : trials)
        t.residue.ground = 200;
    EXPECT_EQ(c::leastResidue(trials).candidate.smoothing, -1);
    // Un-blending within the measure's noise of the least wins.
    trials.front().residue.lifted = 0.12;
    EXPECT_EQ(c::leastResidue(trials).candidate.alpha, 255);
}

// Each of the two repairs that reach past the plain one counts on its own
// ground only. The wide mask's over a smooth one: over texture it would wipe
// the band between the masks, which its own ring cannot see. The rims'
// after un-blending over texture: over a plain wall the un-blended
// interior's colour errors, which have no edge for the measure, show. On the
// other ground the plain repair stays.
TEST(StretchPlan, TheWideAndTheRimsRepairsCountOnlyOnTheirOwnGround) {
    for (bool rims : {false, true}) {
        SCOPED_TRACE(rims ? "rims" : "wide");
        const double own = rims ? 200 : 4, other = rims ? 4 : 200;
        std::vector<c::Trial> trials{trial(255, -1, 2.0, 0, own), trial(0, -1, 0, 0.5, own),
                                     trial(rims ? 255 : 0, -1, 0, 0.2, own)};
        (rims ? trials.back().candidate.rims : trials.back().candidate.wide) = true;
        EXPECT_EQ(&c::leastResidue(trials), &trials.back());
        for (c::Trial &t : trials)
            t.residue.ground = other;
        EXPECT_EQ(&c::leastResidue(trials), &trials[1]);
    }
    // A near tie of the two smoothed repairs over a smooth ground (a dark,
    // even picture): the wide one, whose ring is clear of the smear, though
    // the narrow one measured a hair less.
    std::vector<c::Trial> tied{trial(0, 255, 0, 0.02, 1.4), trial(0, 255, 0, 0.03, 0.5)};
    tied.back().candidate.wide = true;
    EXPECT_TRUE(c::leastResidue(tied).candidate.wide);
    // Where the wide ring is no calmer there is no smear to get clear of: the
    // wide repair would only wipe the band between the masks.
    tied.back().residue.ground = 1.5;
    EXPECT_FALSE(c::leastResidue(tied).candidate.wide);
}

// A repair from four sides replaces the module's passes with the same
// setting only when it leaves clearly less (a wide box whose chained repair
// darkens a plain wall); in a near tie, the measure's noise, the passes stay.
TEST(StretchPlan, ARepairFromFourSidesWinsOnlyWhenItLeavesClearlyLess) {
    std::vector<c::Trial> trials{trial(0, 255, 0, 0.20, 1), trial(0, 255, 0, 0.17, 1)};
    trials.back().candidate.fourSides = true;
    EXPECT_TRUE(c::leastResidue(trials).candidate.fourSides);
    trials.back().residue.flattened = 0.195;
    EXPECT_FALSE(c::leastResidue(trials).candidate.fourSides);
    // The passes from the wide mask are its twin, not the narrow ones.
    trials.push_back(trial(0, 255, 0, 0.30, 1));
    trials.back().candidate.wide = true;
    trials.push_back(trial(0, 255, 0, 0.10, 1));
    trials.back().candidate.wide = trials.back().candidate.fourSides = true;
    EXPECT_EQ(&c::leastResidue(trials), &trials.back());
}

namespace {

namespace a = pendra::analysis;

// Samples every `stride` frames to `last`; those from `smoothFrom` on show
// a smooth ground, told by their one-pixel width.
c::AreaSamples sampledEvery(int64_t stride, int64_t last, int64_t smoothFrom = 1 << 30) {
    c::AreaSamples s;
    for (int64_t n = 0; n <= last; n += stride)
        s.frames.emplace_back(n, a::Picture(n >= smoothFrom ? 1 : 2, 1));
    return s;
}

bool smoothAt(const a::Picture &p) {
    return p.width == 1;
}

} // namespace

// A shot under a second is a stretch of its own on another ground than its
// neighbour's (a smooth shot after a textured one must not take the rims'
// repair unseen); on the same ground it joins it, and so does a stretch too
// thinly sampled to judge. A flash is no shot.
TEST(StretchPlan, AShortShotIsAStretchOfItsOwnOnlyOnAnotherGround) {
    const a::PresenceRange range{0, 249, 0, 0};
    const std::vector<a::Cut> lastShort{{242, 30}};
    std::vector<c::StretchToTry> s =
        c::stretchesToTry(range, lastShort, sampledEvery(2, 249, 242), smoothAt);
    ASSERT_EQ(s.size(), 2u);
    EXPECT_EQ(s[0].range.end, 241);
    EXPECT_EQ(s[1].range.start, 242);
    EXPECT_EQ(c::stretchesToTry(range, lastShort, sampledEvery(2, 249), smoothAt).size(), 1u);
    // Sampled every sixteenth frame, the short shot holds one sample: too few.
    EXPECT_EQ(c::stretchesToTry(range, lastShort, sampledEvery(16, 249, 242), smoothAt).size(), 1u);
    // Cuts two frames apart bound a flash, not a shot.
    EXPECT_EQ(
        c::stretchesToTry(range, {{100, 30}, {102, 30}}, sampledEvery(1, 249), smoothAt).size(),
        1u);
    // A thin first stretch joins the next; the fade-in stays at the start.
    s = c::stretchesToTry({0, 249, 3, 0}, {{30, 30}, {120, 30}}, sampledEvery(16, 249), smoothAt);
    ASSERT_EQ(s.size(), 2u);
    EXPECT_EQ(s[0].range.fadeIn, 3);
    EXPECT_EQ(s[0].range.end, 119);
}

// A short shot joined to a long one is still judged: a sampled frame of its
// own joins those tried.
TEST(StretchPlan, AShortShotJoinedToALongOneIsTried) {
    const c::AreaSamples samples = sampledEvery(2, 249);
    const auto frames = c::framesWithin(samples, 0, 249, 5, {0, 242});
    ASSERT_EQ(frames.size(), 6u);
    EXPECT_EQ(frames.back(), &samples.frames[123].second); // frame 246
    EXPECT_EQ(c::framesWithin(samples, 0, 249, 5).size(), 5u);
}

// A short shot takes the setting chosen for the long shot beside it, but
// not one that counts on the other ground only: the rims' repair over a
// textured shot is not for the smooth one after it.
TEST(StretchPlan, AShortShotFollowsItsNeighbourWhereTheSettingCountsOnItsGround) {
    const std::vector<c::StretchToTry> tried{{{0, 241, 0, 0}, false, false},
                                             {{242, 249, 0, 0}, true, true}};
    std::vector<c::StretchChoice> chosen{stretch(0, 241, 128, 255), stretch(242, 249, 0, 255)};
    chosen[1].setting.wide = true;
    c::shortShotsFollowNeighbours(chosen, tried);
    EXPECT_EQ(chosen[1].setting.alpha, 128);
    EXPECT_FALSE(chosen[1].setting.wide);
    EXPECT_EQ(chosen[1].range.start, 242);
    chosen = {stretch(0, 241, 255), stretch(242, 249, 0, 255)};
    chosen[0].setting.rims = true;
    c::shortShotsFollowNeighbours(chosen, tried);
    EXPECT_EQ(chosen[1].setting.alpha, 0);
    EXPECT_FALSE(chosen[1].setting.rims);
}
