// The run callback on small frames: the range, the blend factor, compositing,
// noise, the snapshot across frames and the trace file. Expected values are
// worked out by hand.
#include "process/stages.h"
#include "tests/support/rect_case.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

using pendra::test::RectCase;
using pendra::test::rgb;

namespace {

uint32_t grey(int v) {
    return rgb(v, v, v);
}

std::string traceText() {
    char path[1024];
    EXPECT_TRUE(tracePath(path, sizeof path));
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

TEST(BlendFactor, FadeWindowsForceZero) {
    RectCase t({"."});
    t.s.alpha = 51; // 0.2 outside the windows
    t.s.start = 100, t.s.fadeIn = 3, t.s.end = 200, t.s.fadeOut = 3;
    for (uint32_t frame : {100u, 103u, 197u, 200u})
        EXPECT_EQ(blendFactor(&t.s, frame), 0.0) << frame;
    for (uint32_t frame : {104u, 196u})
        EXPECT_EQ(blendFactor(&t.s, frame), 0.2) << frame;
    t.s.end = 0; // no end: no fade-out window
    EXPECT_EQ(blendFactor(&t.s, 4000000000u), 0.2);
}

TEST(Compositing, MixesLogoPixelsOnly) {
    RectCase t({"L."});
    t.s.blackMode = 2;
    t.s.unblended[0] = ChannelTriple{100, 0, 255};
    t.dst(0, 0) = 0xAB000000u | rgb(50, 0, 255);
    // f = 128/255: 100 f + (1 - f) 50 = 75.098 -> 75.
    compositeRect(&t.s, t.fa(), 128 / 255.0);
    EXPECT_EQ(t.dst(0, 0), rgb(75, 0, 255));
    EXPECT_EQ(t.dst(0, 1), 0xAB000000u); // clean
    compositeRect(&t.s, t.fa(), 1.0);
    EXPECT_EQ(t.dst(0, 0), rgb(100, 0, 255));
    t.dst(0, 0) = rgb(1, 2, 3);
    compositeRect(&t.s, t.fa(), 300 / 255.0); // above 1: nothing
    EXPECT_EQ(t.dst(0, 0), rgb(1, 2, 3));
    // Without a black bitmap the source as received is mixed in, and f = 1 changes nothing.
    t.s.blackMode = 0;
    t.s.sourceRect[0] = rgb(100, 200, 0);
    t.dst(0, 0) = rgb(50, 100, 0);
    compositeRect(&t.s, t.fa(), 1.0);
    EXPECT_EQ(t.dst(0, 0), rgb(50, 100, 0));
    compositeRect(&t.s, t.fa(), 128 / 255.0); // green 200 f + 100 (1 - f) = 150.2
    EXPECT_EQ(t.dst(0, 0), rgb(75, 150, 0));
}

TEST(Noise, DrawsFromMinusLevelToLevelMinusOneOnEveryChannel) {
    RectCase t({"........", "........"});
    seedNoise(7);
    // The changes seen on each channel of pixels of value start, over 60 rounds.
    auto changes = [&](int level, uint32_t start) {
        t.s.noiseL = level;
        std::vector<std::set<int>> seen(3);
        for (int round = 0; round < 60; ++round) {
            for (int k = 0; k < 16; ++k)
                t.dst(k / 8, k % 8) = start;
            addNoise(&t.s, t.fa());
            for (int k = 0; k < 16; ++k)
                for (int ch = 0; ch < 3; ++ch)
                    seen[ch].insert(static_cast<int>((t.dst(k / 8, k % 8) >> (16 - 8 * ch)) & 255) -
                                    static_cast<int>((start >> (16 - 8 * ch)) & 255));
        }
        return seen;
    };
    for (const std::set<int> &ch : changes(3, grey(128)))
        EXPECT_EQ(ch, (std::set<int>{-3, -2, -1, 0, 1, 2}));
    // Level 1: -1 or 0, never below 0. A level beyond 2n's range is bounded: both ends of
    // 0..255 appear, with no overflow. A negative level adds nothing.
    EXPECT_EQ(changes(1, rgb(0, 100, 255)), (std::vector<std::set<int>>{{0}, {-1, 0}, {-1, 0}}));
    std::set<int> huge = changes(INT_MAX, grey(128))[0];
    EXPECT_TRUE(huge.count(-128) && huge.count(127));
    EXPECT_EQ(changes(-5, grey(128))[1], std::set<int>{0});
}

TEST(RunCallback, FramesOutsideTheRangePassThroughUntouched) {
    RectCase t({".....", ".LLL.", "....."}, 2);
    t.s.start = 10, t.s.end = 20, t.s.blackMode = 2, t.s.bb = 3, t.s.noiseL = 5;
    for (int r = 0; r < t.source().height(); ++r)
        for (int c = 0; c < t.source().width(); ++c)
            t.source().at(r, c) = 0x01000000u * static_cast<uint32_t>(r + 1) + grey(c * 20);
    const size_t n = 15;
    std::fill(t.s.workMap, t.s.workMap + n, 7);
    std::fill(t.s.rectPixels, t.s.rectPixels + n, 0xDEADBEEF);
    std::fill(t.s.sourceRect, t.s.sourceRect + n, 0x01020304);
    for (int32_t frame : {9, 21, -1}) {
        EXPECT_EQ(t.run(frame), 0);
        EXPECT_TRUE(t.destination().samePixels(t.source())) << frame;
    }
    EXPECT_EQ(std::count(t.s.workMap, t.s.workMap + n, 7), 15);
    EXPECT_EQ(std::count(t.s.rectPixels, t.s.rectPixels + n, 0xDEADBEEF), 15);
    EXPECT_EQ(std::count(t.s.sourceRect, t.s.sourceRect + n, 0x01020304u), 15);
    // Both ends of the range are processed.
    for (int32_t frame : {10, 20}) {
        t.s.sourceRect[0] = 0;
        t.run(frame);
        EXPECT_EQ(t.s.sourceRect[0], t.src(0, 0)) << frame;
    }
    // A rectangle the dialog moved beyond the frame after start is left alone.
    t.s.start = 0, t.s.x = 5; // 5 + 5 columns in a frame 9 wide
    t.run(15);
    EXPECT_TRUE(t.destination().samePixels(t.source()));
}

TEST(RunCallback, SnapshotCarriesTheRepairUntilTheSceneChanges) {
    RectCase t({".....", ".LLL.", "....."});
    auto frame = [&](int number, int around, int logo) {
        t.fillRect(0xAB000000u | grey(around));
        for (int c = 1; c <= 3; ++c)
            t.src(1, c) = rgb(logo, 0, 0);
        t.run(number);
        return std::vector<uint32_t>{t.dst(1, 1), t.dst(1, 2), t.dst(1, 3)};
    };
    const std::vector<uint32_t> black(3, 0);
    // A dark first frame (nothing above t1) is no scene change: the black snapshot.
    EXPECT_EQ(frame(0, 10, 250), black);
    EXPECT_EQ(t.dst(0, 1), 0xAB000000u | grey(10)); // clean pixels as received
    // Every outline pixel changed against the snapshot: repaired to the surroundings.
    EXPECT_EQ(frame(1, 100, 250), std::vector<uint32_t>(3, grey(100)));
    EXPECT_EQ(t.s.rectPixels[7], grey(100));
    // Surroundings drifting by 5 (not above t1): the kept repair, not a fresh 105.
    EXPECT_EQ(frame(2, 105, 20), std::vector<uint32_t>(3, grey(100)));
    EXPECT_EQ(frame(3, 150, 20), std::vector<uint32_t>(3, grey(150)));
    // scene 100 or more: never repaired, always the snapshot.
    t.s.scene = 100;
    EXPECT_EQ(frame(4, 250, 20), std::vector<uint32_t>(3, grey(150)));
}

TEST(RunCallback, FullAlphaShowsTheUnblendedPictureWithoutRepair) {
    RectCase t({"....", ".LL.", "...."});
    t.s.blackMode = 2, t.s.alpha = 255, t.s.side = 1, t.s.b3 = 5;
    t.s.whiteKey[0] = t.s.whiteKey[1] = t.s.whiteKey[2] = 235;
    for (int c = 1; c <= 2; ++c) {
        t.setBlack(1, c, grey(100));
        t.setWhite(1, c, grey(200));
    }
    t.fillRect(0xAB000000u | grey(7));
    t.src(2, 0) = grey(20);
    t.src(2, 3) = grey(60);
    t.src(1, 1) = grey(150); // r = 0.5, correction 24.5: 126
    t.src(1, 2) = grey(200); // P = W: 200 + 35
    t.run(0);
    EXPECT_EQ(t.dst(1, 1), grey(126));
    EXPECT_EQ(t.dst(1, 2), grey(235));
    EXPECT_EQ(t.dst(2, 1), 0xAB000000u | grey(7)); // no side line
    EXPECT_EQ(t.s.rectPixels[5], 0u);              // no snapshot
}

TEST(RunCallback, HugeBlurSettingsAreCappedNotHung) {
    auto smoothed = [](int b3) {
        RectCase t({".......", ".LLLLL.", ".LLLLL.", "......."});
        t.s.b3 = b3;
        t.s.scene = 100; // never repaired: black logo pixels, then b3 smoothing
        t.fillRect(grey(200));
        t.run(0);
        return t.rect();
    };
    EXPECT_EQ(smoothed(INT_MAX), smoothed(SMOOTH_COUNT_MAX));
    EXPECT_NE(smoothed(SMOOTH_COUNT_MAX), smoothed(3));
}

// The 5 x 4 trace example: the three inner pixels of rows 1 and 2 are logo, t1 20,
// t2 80. Clean pixels (red, green, blue), all others black:
//   row 3 above columns 1..3: (50,20,50) (55,30,60) (110,80,90)
//   row 2: west (80,20,40), east (120,110,130);  row 0 under column 3: (0,0,5)
// Edge pixel: sample P, north-south estimate and miss, east-west estimate and miss:
//   (1,1) 0,0,0      16,6,16  38   0,0,0       0
//   (1,2) 0,0,0      18,10,20 48   0,0,0       0
//   (1,3) 0,0,2      36,26,33 93   0,0,0       2
//   (2,1) 65,20,45   33,13,33 51   90,42,62    64
//   (2,2) 55,30,60   36,20,40 49   100,65,85   105
//   (2,3) 115,95,110 73,53,61 133  110,87,107  16
// Sums 412 and 187; the row 2 samples exceed t1: 3 of 6, 50 percent. First pass east-west:
// row 1 (ends 0 and 0) repaired, row 2 (ends 40 and more apart) not. Second pass
// north-south between row 1 (0) and row 3: (2,1), (2,2) repaired, (2,3) not (110 apart).
// Closing: S 0, N (110,80,90), E (120,110,130), W (2,2) = (27,15,30): D = 17, -15, -10,
// so the four-way blend (64, 51, 62).
TEST(TraceFile, ReproducesTheExampleAndItsShorterForms) {
#if !defined(_WIN32)
    const std::filesystem::path folder = std::filesystem::current_path() / "trace";
    std::filesystem::create_directories(folder);
    setenv("TMPDIR", folder.string().c_str(), 1);
#endif
    RectCase t({".....", ".LLL.", ".LLL.", "....."});
    t.s.t1 = 20, t.s.t2 = 80;
    t.fillRect(0);
    t.src(0, 3) = rgb(0, 0, 5);
    t.src(2, 0) = rgb(80, 20, 40), t.src(2, 4) = rgb(120, 110, 130);
    t.src(3, 1) = rgb(50, 20, 50), t.src(3, 2) = rgb(55, 30, 60);
    t.src(3, 3) = rgb(110, 80, 90);
    char path[1024];
    ASSERT_TRUE(tracePath(path, sizeof path));
    std::remove(path);
    t.run(1200); // debug output off: no file
    EXPECT_FALSE(std::filesystem::exists(path));
    const std::vector<uint32_t> quiet = t.rect();

    t.s.debugOutput = 1;
    std::fill(t.s.rectPixels, t.s.rectPixels + 20, 0);
    t.run(1200);
    auto grid = [](const char *row1, const char *row2) {
        return std::string(" 1 1 1 1 1\n") + row1 + "\n" + row2 + "\n 1 1 1 1 1\n\n";
    };
    const std::string mask = grid(" 1 0 0 0 1", " 1 0 0 0 1");
    const std::string second = "2nd pass:  Weight = 1\n\n" + grid(" 1 2 2 2 1", " 1 3 3 0 1");
    EXPECT_EQ(traceText(), "Frame: 1200\nDiff_ns:   412 Diff_ew:   187\nScene Change: 50\n"
                           "Bitmap mask:\n\n" +
                               mask + "First pass:  Weight = 2\n\n" +
                               grid(" 1 2 2 2 1", " 1 0 0 0 1") + second + second);
    EXPECT_EQ(t.rect(), quiet);
    EXPECT_EQ(t.dst(2, 1), rgb(25, 10, 25));
    EXPECT_EQ(t.dst(2, 3), rgb(64, 51, 62));
    // The same picture again: nothing changed against the new snapshot.
    t.run(1201);
    EXPECT_EQ(traceText(), "Frame: 1201\nDiff_ns:   412 Diff_ew:   187\nScene Change: 0\n"
                           "Bitmap mask:\n\n" +
                               mask);
    // Full alpha: nothing measured. Then a frame outside the range leaves the trace.
    t.s.alpha = 255;
    t.run(1202);
    t.s.start = 5000;
    t.run(1203);
    EXPECT_EQ(traceText(), "Frame: 1202\nBitmap mask:\n\n" + mask);
#if !defined(_WIN32)
    // A trace that cannot be created changes nothing in the processing.
    setenv("TMPDIR", (folder / "missing").string().c_str(), 1);
    t.s.start = 0, t.s.alpha = 0;
    std::fill(t.s.rectPixels, t.s.rectPixels + 20, 0);
    t.run(1200);
    EXPECT_EQ(t.rect(), quiet);
#endif
}

TEST(TraceFile, AFileNamedByTheEnvironmentReplacesTheUsualPlace) {
    char usual[1024], named[1024];
    ASSERT_TRUE(tracePath(usual, sizeof usual));
#if defined(_WIN32)
    EXPECT_STREQ(usual, "c:/pendra-debug.txt");
    _putenv_s("PENDRA_TRACE_FILE", "d:/run/trace.txt");
#else
    setenv("PENDRA_TRACE_FILE", "/run/trace.txt", 1);
#endif
    ASSERT_TRUE(tracePath(named, sizeof named));
    char small[8];
    EXPECT_FALSE(tracePath(small, sizeof small)); // no path rather than a cut one
#if defined(_WIN32)
    EXPECT_STREQ(named, "d:/run/trace.txt");
    _putenv_s("PENDRA_TRACE_FILE", "");
#else
    EXPECT_STREQ(named, "/run/trace.txt");
    unsetenv("PENDRA_TRACE_FILE");
#endif
    char again[1024];
    ASSERT_TRUE(tracePath(again, sizeof again));
    EXPECT_STREQ(again, usual);
}
