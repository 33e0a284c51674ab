// The frame stages called one at a time on small rectangles. Every expected
// value is worked out by hand from the stage's formula in the comment beside it.
#include "process/stages.h"
#include "tests/support/rect_case.h"

#include <gtest/gtest.h>

#include <climits>

using pendra::test::RectCase;
using pendra::test::rgb;

namespace {

// A 3 x 1 strip of logo pixels, for the per-pixel un-blending.
RectCase strip() {
    return RectCase({"LLL"});
}

} // namespace

TEST(Unblend, TwoBitmapsFollowTheWorkedNumbers) {
    RectCase t({"LLLLLL", "LLLLLL"});
    FilterSettings &s = t.s();
    s.blackMode = 2;
    s.blackKey[0] = 16, s.blackKey[1] = 104, s.blackKey[2] = 96;
    s.whiteKey[0] = 235, s.whiteKey[1] = 205, s.whiteKey[2] = 195;
    // Row 0: every channel has B 100, W 200. Red key 16/235, green 104/205, blue 96/195.
    for (int c = 0; c < 6; ++c) {
        t.setBlack(0, c, 100, 100, 100);
        t.setWhite(0, c, 200, 200, 200);
    }
    uint32_t rect[12] = {};
    // P 150: r = 0.5. Red: 84*0.5 + (-35)*0.5 = 24.5 -> 126. Green: (-4 - 5)/2 = -4.5,
    // cut to -4 -> 154. Blue: (4 + 5)/2 = 4.5 -> 146.
    rect[0] = rgb(150, 150, 150);
    // P 98: S = 104, r = -2/104; red correction 84*(106/104) + 35*(2/104) = 86.29 -> 12.
    rect[1] = rgb(98, 0, 0);
    // P = B: r = 0, the value is the black key: red 16.
    rect[2] = rgb(100, 0, 0);
    // P = W: r = 1, the value is P - (W - L) = 200 + 35 = 235.
    rect[3] = rgb(200, 0, 0);
    // P 250: r = 150/200 = 0.75, red correction 84*0.25 - 35*0.75 = -5.25 -> 255 (clamped).
    rect[4] = rgb(250, 0, 0);
    // P 0: S = 300, r = -1/3, red correction 84*(4/3) + 35/3 = 123.67 -> 0 (clamped).
    rect[5] = rgb(0, 0, 0);
    // Row 1, column 0: P = B = W = 80 in every channel (not a key): no ratio, the black end
    // is taken: red 80 - (80 - 16) = 16, green 104, blue 96.
    t.setBlack(1, 0, 80, 80, 80);
    t.setWhite(1, 0, 80, 80, 80);
    rect[6] = rgb(80, 80, 80);
    // Column 1: the black pixel matches the black key in green alone: copied as it is.
    t.setBlack(1, 1, 50, 104, 60);
    t.setWhite(1, 1, 250, 250, 250);
    rect[7] = rgb(1, 2, 3);
    unblendRect(&s, rect);

    const ChannelTriple *u = s.unblended;
    EXPECT_EQ(u[0].red, 126);
    EXPECT_EQ(u[0].green, 154);
    EXPECT_EQ(u[0].blue, 146);
    EXPECT_EQ(u[1].red, 12);
    EXPECT_EQ(u[2].red, 16);
    EXPECT_EQ(u[3].red, 235);
    EXPECT_EQ(u[4].red, 255);
    EXPECT_EQ(u[5].red, 0);
    EXPECT_EQ(u[6].red, 16);
    EXPECT_EQ(u[6].green, 104);
    EXPECT_EQ(u[6].blue, 96);
    EXPECT_EQ(u[7].red, 1);
    EXPECT_EQ(u[7].green, 2);
    EXPECT_EQ(u[7].blue, 3);
}

TEST(Unblend, BlackBitmapAloneLooksUpObservedTimes256PlusBlack) {
    RectCase t = strip();
    FilterSettings &s = t.s();
    s.blackMode = 1;
    s.blackKey[0] = s.blackKey[1] = s.blackKey[2] = 16;
    // White level 230, K 16, P 150 over B 100: 16 + 50 * 214 / 130 = 98.3 -> 98.
    s.unblendTable[150 * 256 + 100] = 98;
    s.unblendTable[100 * 256 + 150] = 7; // the swapped index must not be read
    s.unblendTable[20 * 256 + 30] = 40;
    s.unblendTable[30 * 256 + 20] = 9;
    t.setBlack(0, 0, 100, 30, 100);
    uint32_t rect[3] = {rgb(150, 20, 150), 0, 0};
    t.setBlack(0, 1, 16, 0, 0); // key in red: copied
    rect[1] = rgb(77, 78, 79);
    unblendRect(&s, rect);
    EXPECT_EQ(s.unblended[0].red, 98);
    EXPECT_EQ(s.unblended[0].green, 40);
    EXPECT_EQ(s.unblended[0].blue, 98);
    EXPECT_EQ(s.unblended[1].red, 77);
    EXPECT_EQ(s.unblended[1].blue, 79);
}

TEST(SideLine, GradientUsesTheFullLengthAndKeepsTheCorners) {
    RectCase t({"....", "....", "....", "...."});
    FilterSettings &s = t.s();
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            t.dst(r, c) = 0xAB000000u | rgb(9, 9, 9);
    t.dst(3, 0) = rgb(100, 0, 0);
    t.dst(3, 3) = rgb(200, 0, 0);
    s.side = 1; // top line: (100*3 + 200)/4 = 125, (100*2 + 200*2)/4 = 150
    interpolateSideLine(&s, t.fa());
    EXPECT_EQ(t.dst(3, 0), rgb(100, 0, 0));
    EXPECT_EQ(t.dst(3, 1), rgb(125, 0, 0));
    EXPECT_EQ(t.dst(3, 2), rgb(150, 0, 0));
    EXPECT_EQ(t.dst(3, 3), rgb(200, 0, 0));
    EXPECT_EQ(t.dst(2, 1), 0xAB000000u | rgb(9, 9, 9)); // nothing else is touched

    // Left column: bottom (0, 0) green 40, top (3, 0) green 200: rows 1 and 2 get
    // (40*3 + 200)/4 = 80 and (40*2 + 200*2)/4 = 120; the top byte is cleared.
    t.dst(0, 0) = rgb(0, 40, 0);
    t.dst(3, 0) = rgb(0, 200, 0);
    s.side = 4;
    interpolateSideLine(&s, t.fa());
    EXPECT_EQ(t.dst(1, 0), rgb(0, 80, 0));
    EXPECT_EQ(t.dst(2, 0), rgb(0, 120, 0));
}

TEST(RepairFirstPass, InterpolatesAlongTheWeightAxisOnlyWhenTheEndsAgree) {
    // Column 1, rows 1 to 3, is logo: from row 1 the clean south end is 1 row down, the
    // north end 3 rows up. Red 100 below, 40 above (they differ by 60).
    RectCase t({"...", ".L.", ".L.", ".L.", "..."});
    FilterSettings &s = t.s();
    t.dst(0, 1) = rgb(100, 0, 0);
    t.dst(4, 1) = rgb(40, 0, 0);
    for (int r = 1; r <= 3; ++r)
        t.dst(r, 1) = 0xAB000000u | rgb(7, 7, 7);
    // East and west ends agree too, but weight 1 picks north-south.
    std::copy(s.bitmapMask, s.bitmapMask + 15, s.workMap);
    s.t1 = 60; // a difference of exactly t1 fails
    repairFirstPass(&s, t.fa(), 1);
    EXPECT_EQ(t.dst(1, 1), rgb(7, 7, 7)); // unchanged, but rewritten without its top byte
    EXPECT_EQ(s.workMap[4], 0);

    s.t1 = 61;
    repairFirstPass(&s, t.fa(), 1);
    EXPECT_EQ(t.dst(1, 1), rgb(85, 0, 0)); // (100*3 + 40*1)/4
    EXPECT_EQ(t.dst(2, 1), rgb(70, 0, 0)); // (100*2 + 40*2)/4
    EXPECT_EQ(t.dst(3, 1), rgb(55, 0, 0)); // (100*1 + 40*3)/4
    EXPECT_EQ(s.workMap[4], 2);
    EXPECT_EQ(s.workMap[10], 2);
}

TEST(RepairSecondPass, RepairsAVerticalRunBottomUpFromItsOwnResults) {
    // The first pass (east-west) failed everywhere; the second runs north-south.
    RectCase t({"...", ".L.", ".L.", ".L.", "..."});
    FilterSettings &s = t.s();
    t.dst(0, 1) = rgb(0, 0, 0);
    t.dst(4, 1) = rgb(254, 0, 0);
    std::copy(s.bitmapMask, s.bitmapMask + 15, s.workMap);
    s.t2 = 255;
    repairSecondPass(&s, t.fa(), 2);
    // Row 1: ends 1 down (0) and 3 up (254): 254/4 = 63. Row 2: its south end is row 1,
    // repaired a moment ago: (63*2 + 254)/3 = 126 (the clean ends alone would give 127).
    // Row 3: (126 + 254)/2 = 190.
    EXPECT_EQ(t.dst(1, 1), rgb(63, 0, 0));
    EXPECT_EQ(t.dst(2, 1), rgb(126, 0, 0));
    EXPECT_EQ(t.dst(3, 1), rgb(190, 0, 0));
    EXPECT_EQ(s.workMap[4], 3);
    EXPECT_EQ(s.workMap[7], 3);
    EXPECT_EQ(s.workMap[10], 3);
}

TEST(RepairClosingPass, ModeFollowsTheChannelContrasts) {
    struct Case {
        int south, north, west, east, t3;
        int expected;
    };
    const Case cases[] = {
        {0, 100, 50, 60, 40, 55},   // D = 100 - 10 = 90 > 40: east-west, (60 + 50)/2
        {50, 60, 0, 100, 40, 55},   // D = 10 - 100 < -40: north-south, (50 + 60)/2
        {10, 30, 100, 120, 0, 65},  // D = 0 with t3 0 fails both: (10 + 30 + 100 + 120)/4
        {10, 30, 100, 120, -5, 20}, // both tests hold: north-south wins, (10 + 30)/2
    };
    for (const Case &k : cases) {
        RectCase t({"...", ".L.", "..."});
        FilterSettings &s = t.s();
        auto grey = [](int v) { return rgb(v, v, v); };
        t.dst(0, 1) = grey(k.south);
        t.dst(2, 1) = grey(k.north);
        t.dst(1, 0) = grey(k.west);
        t.dst(1, 2) = grey(k.east);
        std::copy(s.bitmapMask, s.bitmapMask + 9, s.workMap);
        s.t3 = k.t3;
        repairClosingPass(&s, t.fa());
        EXPECT_EQ(t.dst(1, 1), grey(k.expected)) << k.south << " " << k.north << " t3 " << k.t3;
        EXPECT_EQ(s.workMap[4], 0);
    }
    // One channel disagreeing with the others gives the four-way blend.
    RectCase t({"...", ".L.", "..."});
    FilterSettings &s = t.s();
    t.dst(0, 1) = rgb(0, 0, 0);
    t.dst(2, 1) = rgb(100, 100, 0);
    t.dst(1, 0) = rgb(50, 50, 0);
    t.dst(1, 2) = rgb(60, 60, 100);
    std::copy(s.bitmapMask, s.bitmapMask + 9, s.workMap);
    repairClosingPass(&s, t.fa());
    EXPECT_EQ(t.dst(1, 1), rgb(52, 52, 25)); // (0+100+60+50)/4, same, (0+0+100+0)/4
}

TEST(Smoothing, AveragesNeighboursByPerPixelCounts) {
    {
        // One pixel, count 1, neighbours 10, 11, 12, 13: (46 / 4) = 11; its own 200 is ignored.
        RectCase t({"...", ".L.", "..."});
        FilterSettings &s = t.s();
        t.dst(0, 1) = rgb(10, 0, 0);
        t.dst(2, 1) = rgb(11, 0, 0);
        t.dst(1, 0) = rgb(12, 0, 0);
        t.dst(1, 2) = rgb(13, 0, 0);
        t.dst(1, 1) = rgb(200, 0, 0);
        int32_t counts[9] = {0, 0, 0, 0, 1, 0, 0, 0, 0};
        smoothRect(&s, t.fa(), s.smoothScratch, s.smoothImage, counts, 1);
        EXPECT_EQ(t.dst(1, 1), rgb(11, 0, 0));
    }
    {
        // Counts 3, 1, 2 in a row with n = 3; left 160, right 80, above and below 0; the
        // middle starts at 64. m=3: a = (160+64)/4 = 56. m=2: a = 56, c = (64+80)/4 = 36.
        // m=1: b = (56+36)/4 = 23 (a averaged twice, c once before).
        RectCase t({".....", ".LLL.", "....."});
        FilterSettings &s = t.s();
        t.dst(1, 0) = rgb(160, 0, 0);
        t.dst(1, 4) = rgb(80, 0, 0);
        t.dst(1, 2) = rgb(64, 0, 0);
        int32_t counts[15] = {};
        counts[6] = 3, counts[7] = 1, counts[8] = 2;
        smoothRect(&s, t.fa(), s.smoothScratch, s.smoothImage, counts, 3);
        EXPECT_EQ(t.dst(1, 1), rgb(56, 0, 0));
        EXPECT_EQ(t.dst(1, 2), rgb(23, 0, 0));
        EXPECT_EQ(t.dst(1, 3), rgb(36, 0, 0));
    }
    {
        // Fractions carry between iterations: counts 2, 2, 2, left 102, right 106.
        // m=2: a = 25.5, c = 26.5, b = 0. m=1: b = (25.5 + 26.5)/4 = 13 (truncating each
        // iteration would give (25 + 26)/4 = 12); a and c stay 25.5 and 26.5 -> 25, 26.
        RectCase t({".....", ".LLL.", "....."});
        FilterSettings &s = t.s();
        t.dst(1, 0) = rgb(0, 102, 0);
        t.dst(1, 4) = rgb(0, 106, 0);
        int32_t counts[15] = {};
        counts[6] = counts[7] = counts[8] = 2;
        smoothRect(&s, t.fa(), s.smoothScratch, s.smoothImage, counts, 2);
        EXPECT_EQ(t.dst(1, 1), rgb(0, 25, 0));
        EXPECT_EQ(t.dst(1, 2), rgb(0, 13, 0));
        EXPECT_EQ(t.dst(1, 3), rgb(0, 26, 0));
    }
}

TEST(Smoothing, CountZeroRewritesInteriorOnlyAndThinRectanglesAreLeftAlone) {
    RectCase t({"...", "...", "..."});
    FilterSettings &s = t.s();
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            t.dst(r, c) = 0xAB000000u | rgb(r, c, 5);
    int32_t counts[9] = {};
    smoothRect(&s, t.fa(), s.smoothScratch, s.smoothImage, counts, 4);
    EXPECT_EQ(t.dst(1, 1), rgb(1, 1, 5));
    EXPECT_EQ(t.dst(0, 1), 0xAB000000u | rgb(0, 1, 5));

    RectCase thin({"LLLL", "LLLL"});
    thin.dst(1, 1) = 0xAB000000u;
    int32_t ones[8] = {1, 1, 1, 1, 1, 1, 1, 1};
    smoothRect(&thin.s(), thin.fa(), thin.s().smoothScratch, thin.s().smoothImage, ones, 1);
    EXPECT_EQ(thin.dst(1, 1), 0xAB000000u);
}

TEST(Smoothing, RepairStatesBecomeBoundedCounts) {
    RectCase t({"....", "...."});
    FilterSettings &s = t.s();
    s.b2 = 5;
    s.b3 = INT_MAX;
    const int32_t states[8] = {0, 1, 2, 3, 0, 1, 2, 3};
    std::copy(states, states + 8, s.workMap);
    repairBlurCounts(&s);
    EXPECT_EQ(s.workMap[0], SMOOTH_COUNT_MAX);
    EXPECT_EQ(s.workMap[1], 0);
    EXPECT_EQ(s.workMap[2], 5);
    EXPECT_EQ(s.workMap[3], 5);
    s.b2 = -3;
    std::copy(states, states + 8, s.workMap);
    repairBlurCounts(&s);
    EXPECT_EQ(s.workMap[2], 0);
}

TEST(SceneChange, PercentTruncatesAndPicksTheWorseAxis) {
    // One logo pixel in the middle: four distances of 1, marks +1 on both axes, so its
    // sample is the mean of its east and north neighbours.
    RectCase t({"...", ".L.", "..."});
    FilterSettings &s = t.s();
    t.dst(1, 2) = rgb(40, 0, 0); // east
    t.dst(2, 1) = rgb(60, 0, 0); // north
    t.dst(1, 0) = rgb(40, 0, 0); // west
    t.dst(0, 1) = rgb(0, 0, 0);  // south
    // Sample (40 + 60)/2 = 50. North-south estimate (0 + 60)/2 = 30, miss 20; east-west
    // 40, miss 10: north-south is worse, so the first pass goes east-west.
    SceneMeasure m = measureSceneChange(&s, t.fa());
    EXPECT_EQ(m.diffNs, 20u);
    EXPECT_EQ(m.diffEw, 10u);
    EXPECT_EQ(m.weight, 2);
    EXPECT_EQ(m.scenePercent, 100); // 50 against the black snapshot exceeds t1
    EXPECT_TRUE(m.sceneChanged);

    // 1 changed edge pixel out of 250 is 0.4 percent: 0, and not above scene 0.
    s.edgeCount = 250;
    s.scene = 0;
    m = measureSceneChange(&s, t.fa());
    EXPECT_EQ(m.scenePercent, 0);
    EXPECT_FALSE(m.sceneChanged);

    // The snapshot within t1 of the sample: nothing changed. Equal sums give weight 1.
    s.edgeCount = 1;
    s.rectPixels[5] = rgb(45, 0, 0);
    s.rectPixels[7] = rgb(60, 10, 0); // mean (52, 5, 0): within 10 of (50, 0, 0)
    t.dst(1, 0) = rgb(20, 0, 0);      // east-west estimate 30, miss 20 = the north-south miss
    m = measureSceneChange(&s, t.fa());
    EXPECT_EQ(m.scenePercent, 0);
    EXPECT_EQ(m.weight, 1);
}

TEST(SceneChange, NoEdgePixelMeansNoChange) {
    RectCase t({"...", "...", "..."});
    FilterSettings &s = t.s();
    ASSERT_EQ(s.edgeCount, 0);
    s.scene = -1; // even a threshold that 0 percent exceeds
    SceneMeasure m = measureSceneChange(&s, t.fa());
    EXPECT_EQ(m.scenePercent, 0);
    EXPECT_FALSE(m.sceneChanged);
    EXPECT_EQ(m.weight, 1);
}
