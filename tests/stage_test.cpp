// The frame stages one at a time on small rectangles. Expected values are
// worked out by hand from each stage's formula, in the comment beside them.
#include "process/stages.h"
#include "tests/support/rect_case.h"

#include <gtest/gtest.h>

#include <climits>

using pendra::test::RectCase;
using pendra::test::rgb;

namespace {

uint32_t grey(int v) {
    return rgb(v, v, v);
}

} // namespace

TEST(Unblend, BothMethodsFollowTheWorkedNumbers) {
    RectCase t({"LLLLL"});
    t.s.blackMode = 2;
    t.s.whiteKey[0] = 235, t.s.whiteKey[1] = 226, t.s.whiteKey[2] = 203; // black key 16
    struct Case {
        uint32_t p, black, white, expected;
    };
    const Case cases[] = {
        // r = 0.5. Red: 84*.5 - 35*.5 = 24.5 -> 126; green: 84*.5 - 26*.5 = 29 -> 121;
        // blue over B 10: -6*.5 - 3*.5 = -4.5, cut to -4 -> 109.
        {rgb(150, 150, 105), rgb(100, 100, 10), grey(200), rgb(126, 121, 109)},
        // Red 98: r = -2/104, correction 86.29 -> 12. P = B: the black key, 16.
        {rgb(98, 100, 100), grey(100), grey(200), rgb(12, 16, 16)},
        // P = B: 16; P = W: P - (W - L) = 226; P = B = W: the black end again, 16.
        {rgb(100, 200, 80), rgb(100, 100, 80), rgb(200, 200, 80), rgb(16, 226, 16)},
        // Clamped: r = .75, correction -5.25 -> 255; r = -1/3, corrections 120.7, 113 -> 0.
        {rgb(250, 0, 0), grey(100), grey(200), rgb(255, 0, 0)},
        // A black pixel matching the key in one channel (green) passes the frame through.
        {rgb(1, 2, 3), rgb(50, 16, 60), grey(250), rgb(1, 2, 3)},
    };
    uint32_t rect[5] = {};
    for (int c = 0; c < 5; ++c) {
        rect[c] = cases[c].p;
        t.setBlack(0, c, cases[c].black);
        t.setWhite(0, c, cases[c].white);
    }
    unblendRect(&t.s, rect);
    for (int c = 0; c < 5; ++c) {
        const ChannelTriple &u = t.s.unblended[c];
        EXPECT_EQ(rgb(u.red, u.green, u.blue), cases[c].expected) << "case " << c;
    }

    // Black bitmap alone (white level 230, key 16): 150 over 100 gives
    // 16 + 50 * 214 / 130 = 98.3; over the white level itself 16; 77 over 17: 76.3.
    t.s.blackMode = 1;
    rect[0] = rgb(150, 150, 77);
    t.setBlack(0, 0, rgb(100, 230, 17));
    unblendRect(&t.s, rect);
    const ChannelTriple &u = t.s.unblended[0];
    EXPECT_EQ(rgb(u.red, u.green, u.blue), rgb(98, 16, 76));
}

TEST(SideLine, GradientUsesTheFullLengthAndKeepsTheCorners) {
    RectCase t({"....", "....", "....", "...."});
    t.dst(3, 0) = rgb(100, 0, 0);
    t.dst(3, 3) = rgb(200, 0, 0);
    t.s.side = 1; // top line: (100*3 + 200)/4, (100*2 + 200*2)/4
    interpolateSideLine(&t.s, t.fa());
    EXPECT_EQ(t.rect()[12], rgb(100, 0, 0));
    EXPECT_EQ(t.rect()[13], rgb(125, 0, 0));
    EXPECT_EQ(t.rect()[14], rgb(150, 0, 0));
    EXPECT_EQ(t.rect()[15], rgb(200, 0, 0));
    EXPECT_EQ(t.dst(2, 1), 0xAB000000u); // nothing else is touched
    // Left column, green 40 at the bottom and 200 at the top: (40*3 + 200)/4 and
    // (40*2 + 200*2)/4.
    t.dst(0, 0) = rgb(0, 40, 0);
    t.dst(3, 0) = rgb(0, 200, 0);
    t.s.side = 4;
    interpolateSideLine(&t.s, t.fa());
    EXPECT_EQ(t.dst(1, 0), rgb(0, 80, 0));
    EXPECT_EQ(t.dst(2, 0), rgb(0, 120, 0));
}

TEST(RepairPasses, FirstAndSecondPassInterpolateAlongTheirAxes) {
    // Column 1, rows 1 to 3, is logo. Red 100 one row below row 1, red 40 three rows above.
    RectCase t({"...", ".L.", ".L.", ".L.", "..."});
    t.dst(0, 1) = rgb(100, 0, 0);
    t.dst(4, 1) = rgb(40, 0, 0);
    std::copy(t.s.bitmapMask, t.s.bitmapMask + 15, t.s.workMap);
    t.s.t1 = 60; // the ends differ by exactly t1: no repair, but the top byte goes
    repairFirstPass(&t.s, t.fa(), 1);
    EXPECT_EQ(t.dst(1, 1), 0u);
    EXPECT_EQ(t.s.workMap[4], 0);
    t.s.t1 = 61; // east and west agree too, but weight 1 is north-south
    repairFirstPass(&t.s, t.fa(), 1);
    EXPECT_EQ(t.dst(1, 1), rgb(85, 0, 0)); // (100*3 + 40*1)/4
    EXPECT_EQ(t.dst(2, 1), rgb(70, 0, 0)); // (100*2 + 40*2)/4
    EXPECT_EQ(t.dst(3, 1), rgb(55, 0, 0)); // (100*1 + 40*3)/4
    EXPECT_EQ(t.s.workMap[10], 2);

    // Second pass, north-south, ends 0 and 254: row 1 gets 254/4 = 63; row 2's south end
    // is row 1, repaired a moment ago: (63*2 + 254)/3 = 126 (the clean ends would give
    // 127); row 3: (126 + 254)/2 = 190.
    t.dst(0, 1) = 0;
    t.dst(4, 1) = rgb(254, 0, 0);
    std::copy(t.s.bitmapMask, t.s.bitmapMask + 15, t.s.workMap);
    t.s.t2 = 255;
    repairSecondPass(&t.s, t.fa(), 2);
    EXPECT_EQ(t.dst(1, 1), rgb(63, 0, 0));
    EXPECT_EQ(t.dst(2, 1), rgb(126, 0, 0));
    EXPECT_EQ(t.dst(3, 1), rgb(190, 0, 0));
    EXPECT_EQ(t.s.workMap[10], 3);
}

TEST(RepairPasses, ClosingModeFollowsTheChannelContrasts) {
    struct Case {
        uint32_t south, north, west, east;
        int t3;
        uint32_t expected;
    };
    const Case cases[] = {
        {grey(0), grey(100), grey(50), grey(60), 40, grey(55)},     // D = 90: east-west
        {grey(50), grey(60), grey(0), grey(100), 40, grey(55)},     // D = -90: north-south
        {grey(10), grey(30), grey(100), grey(120), 0, grey(65)},    // D = 0, t3 0: all four
        {grey(10), grey(30), grey(100), grey(120), -5, grey(20)},   // both hold: north-south
        {0, rgb(100, 100, 0), rgb(50, 50, 0), rgb(60, 60, 100), 40, // blue disagrees:
         rgb(52, 52, 25)},                                          // all four
    };
    for (const Case &k : cases) {
        RectCase t({"...", ".L.", "..."});
        t.dst(0, 1) = k.south;
        t.dst(2, 1) = k.north;
        t.dst(1, 0) = k.west;
        t.dst(1, 2) = k.east;
        std::copy(t.s.bitmapMask, t.s.bitmapMask + 9, t.s.workMap);
        t.s.t3 = k.t3;
        repairClosingPass(&t.s, t.fa());
        EXPECT_EQ(t.dst(1, 1), k.expected) << "t3 " << k.t3;
        EXPECT_EQ(t.s.workMap[4], 0);
    }
}

TEST(Smoothing, AveragesNeighboursByPerPixelCounts) {
    // Red: counts 3, 1, 2 in a row, n = 3; left 160, right 80, the middle's own 64 never
    // counts, the rest 0. m=3: a = (160 + 64)/4 = 56. m=2: c = (64 + 80)/4 = 36.
    // m=1: b = (56 + 36)/4 = 23, after a was averaged twice and c once.
    RectCase t({".....", ".LLL.", "....."});
    t.dst(1, 0) = rgb(160, 102, 0);
    t.dst(1, 4) = rgb(80, 106, 0);
    t.dst(1, 2) = rgb(64, 0, 0);
    int32_t counts[15] = {};
    counts[6] = 3, counts[7] = 1, counts[8] = 2;
    smoothRect(&t.s, t.fa(), t.s.smoothScratch, t.s.smoothImage, counts, 3);
    EXPECT_EQ(t.dst(1, 1) >> 16, 56u);
    EXPECT_EQ(t.dst(1, 2) >> 16, 23u);
    EXPECT_EQ(t.dst(1, 3) >> 16, 36u);
    EXPECT_EQ(t.dst(0, 1), 0xAB000000u); // the border is never written

    // Counts 2, 2, 2 from 0. Red: m=2 gives 40, 0, 20; m=1 gives 40, (40 + 20)/4, 20.
    // Green carries fractions: m=2 gives 25.5, 0, 26.5; m=1 gives the middle
    // (25.5 + 26.5)/4 = 13, where cutting at each iteration would give 12.
    counts[6] = counts[7] = counts[8] = 2;
    t.dst(1, 1) = t.dst(1, 2) = t.dst(1, 3) = 0;
    smoothRect(&t.s, t.fa(), t.s.smoothScratch, t.s.smoothImage, counts, 2);
    EXPECT_EQ(t.dst(1, 1), rgb(40, 25, 0));
    EXPECT_EQ(t.dst(1, 2), rgb(15, 13, 0));
    EXPECT_EQ(t.dst(1, 3), rgb(20, 26, 0));

    // Counts 0: interior rewritten as it is (top byte cleared); too thin: nothing.
    t.dst(1, 2) = 0xAB000000u | rgb(1, 2, 3);
    int32_t none[15] = {};
    smoothRect(&t.s, t.fa(), t.s.smoothScratch, t.s.smoothImage, none, 4);
    EXPECT_EQ(t.dst(1, 2), rgb(1, 2, 3));
    RectCase thin({"LLLL", "LLLL"});
    int32_t ones[8] = {1, 1, 1, 1, 1, 1, 1, 1};
    smoothRect(&thin.s, thin.fa(), thin.s.smoothScratch, thin.s.smoothImage, ones, 1);
    EXPECT_EQ(thin.dst(1, 1), 0xAB000000u);
}

TEST(Smoothing, RepairStatesBecomeBoundedCounts) {
    RectCase t({"....", "...."});
    t.s.b2 = 5;
    t.s.b3 = INT_MAX;
    const int32_t states[8] = {0, 1, 2, 3, 0, 1, 2, 3};
    std::copy(states, states + 8, t.s.workMap);
    repairBlurCounts(&t.s);
    EXPECT_EQ(std::vector<int32_t>(t.s.workMap, t.s.workMap + 4),
              (std::vector<int32_t>{SMOOTH_COUNT_MAX, 0, 5, 5}));
}

TEST(SceneChange, PercentTruncatesAndPicksTheWorseAxis) {
    // One logo pixel: marks +1 on both axes, so its sample is the mean of its east (40)
    // and north (60) neighbours, 50. North-south estimate (0 + 60)/2 = 30, miss 20;
    // east-west (40 + 40)/2, miss 10: the first pass goes east-west.
    RectCase t({"...", ".L.", "..."});
    t.dst(0, 1) = 0;
    t.dst(1, 2) = rgb(40, 0, 0);
    t.dst(2, 1) = rgb(60, 0, 0);
    t.dst(1, 0) = rgb(40, 0, 0);
    SceneMeasure m = measureSceneChange(&t.s, t.fa());
    EXPECT_EQ(m.diffNs, 20u);
    EXPECT_EQ(m.diffEw, 10u);
    EXPECT_EQ(m.weight, 2);
    EXPECT_EQ(m.scenePercent, 100); // 50 against the black snapshot
    EXPECT_TRUE(m.sceneChanged);
    // 1 changed of 250 edge pixels is 0 percent, not above even scene 0.
    t.s.edgeCount = 250;
    t.s.scene = 0;
    m = measureSceneChange(&t.s, t.fa());
    EXPECT_EQ(m.scenePercent, 0);
    EXPECT_FALSE(m.sceneChanged);
    // A snapshot within t1 of the sample: no change. Equal misses give weight 1.
    t.s.edgeCount = 1;
    t.s.rectPixels[5] = rgb(45, 0, 0);
    t.s.rectPixels[7] = rgb(60, 10, 0); // mean (52, 5, 0)
    t.dst(1, 0) = rgb(20, 0, 0);        // east-west estimate 30: miss 20
    m = measureSceneChange(&t.s, t.fa());
    EXPECT_EQ(m.scenePercent, 0);
    EXPECT_EQ(m.weight, 1);
    // No edge pixel at all: 0 percent and no change, whatever the threshold.
    RectCase clean({"...", "...", "..."});
    clean.s.scene = -1;
    m = measureSceneChange(&clean.s, clean.fa());
    EXPECT_EQ(m.scenePercent, 0);
    EXPECT_FALSE(m.sceneChanged);
}
