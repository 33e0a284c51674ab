// The run callback on small frames with hand-built tables: the range, the
// blend factor, compositing, noise, the snapshot across frames, in-place
// processing and the trace file. Expected values are worked out by hand.
#include "module/callbacks.h"
#include "process/stages.h"
#include "tests/support/rect_case.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

using pendra::test::RectCase;
using pendra::test::rgb;

namespace {

uint32_t grey(int v) {
    return rgb(v, v, v);
}

// Every pixel word of the source frame, its padding aside, taken from a simple generator.
void fillSource(RectCase &t, uint32_t seed) {
    pendra::host::FrameBuffer &f = t.source();
    for (int r = 0; r < f.height(); ++r)
        for (int c = 0; c < f.width(); ++c) {
            seed = seed * 1103515245u + 12345u;
            f.at(r, c) = seed;
        }
}

// The rectangle's words of the destination, row 0 first.
std::vector<uint32_t> destinationRect(RectCase &t) {
    std::vector<uint32_t> out;
    for (int r = 0; r < t.h(); ++r)
        for (int c = 0; c < t.w(); ++c)
            out.push_back(t.dst(r, c));
    return out;
}

std::string readText(const std::string &path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string traceFile() {
    char path[1024];
    EXPECT_TRUE(tracePath(path, sizeof path));
    return path;
}

#if !defined(_WIN32)
// Points the trace at this test's own folder.
void useTraceFolder(const std::string &folder) {
    std::filesystem::create_directories(folder);
    setenv("TMPDIR", folder.c_str(), 1);
}
#endif

} // namespace

TEST(BlendFactor, FadeWindowsForceZero) {
    RectCase t({"."});
    FilterSettings &s = t.s();
    s.alpha = 51; // 0.2 outside the windows
    s.start = 100;
    s.fadeIn = 3;
    s.end = 200;
    s.fadeOut = 3;
    for (uint32_t frame : {100u, 101u, 103u, 197u, 199u, 200u})
        EXPECT_EQ(blendFactor(&s, frame), 0.0) << frame;
    for (uint32_t frame : {104u, 150u, 196u})
        EXPECT_EQ(blendFactor(&s, frame), 0.2) << frame;
    s.end = 0; // no end: no fade-out window
    EXPECT_EQ(blendFactor(&s, 4000000000u), 0.2);
    EXPECT_EQ(blendFactor(&s, 103u), 0.0);
}

TEST(Compositing, MixesLogoPixelsOnly) {
    RectCase t({"L.", ".."});
    FilterSettings &s = t.s();
    s.blackMode = 2;
    s.unblended[0] = ChannelTriple{100, 0, 255};
    s.unblended[1] = ChannelTriple{100, 100, 100};
    t.dst(0, 0) = 0xAB000000u | rgb(50, 0, 255);
    t.dst(0, 1) = 0xAB000000u | rgb(50, 50, 50);
    // f = 128/255: 100 f + (1 - f) 50 = 75.098 -> 75; 255 stays 255.
    compositeRect(&s, t.fa(), 128 / 255.0);
    EXPECT_EQ(t.dst(0, 0), rgb(75, 0, 255));
    EXPECT_EQ(t.dst(0, 1), 0xAB000000u | rgb(50, 50, 50)); // clean: never composited
    compositeRect(&s, t.fa(), 1.0);
    EXPECT_EQ(t.dst(0, 0), rgb(100, 0, 255));
    t.dst(0, 0) = rgb(1, 2, 3);
    compositeRect(&s, t.fa(), 300 / 255.0); // above 1: nothing
    compositeRect(&s, t.fa(), 0.0);
    EXPECT_EQ(t.dst(0, 0), rgb(1, 2, 3));

    // Without a black bitmap the source as received is mixed in; at f = 1 nothing changes.
    s.blackMode = 0;
    s.sourceRect[0] = 0xCD000000u | rgb(100, 200, 0);
    t.dst(0, 0) = rgb(50, 100, 0);
    compositeRect(&s, t.fa(), 1.0);
    EXPECT_EQ(t.dst(0, 0), rgb(50, 100, 0));
    compositeRect(&s, t.fa(), 128 / 255.0); // green: 200 f + 100 (1 - f) = 150.196
    EXPECT_EQ(t.dst(0, 0), rgb(75, 150, 0));
}

TEST(Noise, StaysInTheRangeOfTheLevelOnEveryChannel) {
    RectCase t({"........", "........", "........", "........"});
    FilterSettings &s = t.s();
    std::srand(7);
    auto deltas = [&](int level, uint32_t start) {
        s.noiseL = level;
        std::set<int> seen[3];
        for (int round = 0; round < 40; ++round) {
            for (int r = 0; r < 4; ++r)
                for (int c = 0; c < 8; ++c)
                    t.dst(r, c) = 0xAB000000u | start;
            addNoise(&s, t.fa());
            for (int r = 0; r < 4; ++r)
                for (int c = 0; c < 8; ++c) {
                    uint32_t p = t.dst(r, c);
                    if (level > 0) {
                        EXPECT_EQ(p >> 24, 0u);
                    }
                    seen[0].insert(static_cast<int>((p >> 16) & 255) - int((start >> 16) & 255));
                    seen[1].insert(static_cast<int>((p >> 8) & 255) - int((start >> 8) & 255));
                    seen[2].insert(static_cast<int>(p & 255) - int(start & 255));
                }
        }
        return std::vector<std::set<int>>{seen[0], seen[1], seen[2]};
    };
    for (const std::set<int> &channel : deltas(3, grey(128)))
        EXPECT_EQ(channel, (std::set<int>{-3, -2, -1, 0, 1, 2}));
    // Level 1: -1 or 0, and a channel at 0 never goes below it.
    std::vector<std::set<int>> one = deltas(1, rgb(0, 100, 255));
    EXPECT_EQ(one[0], std::set<int>{0});
    EXPECT_EQ(one[1], (std::set<int>{-1, 0}));
    EXPECT_EQ(one[2], (std::set<int>{-1, 0}));
    // Levels too large for 2n are bounded: every channel lands somewhere in 0..255, both
    // ends included; negative levels add nothing.
    std::vector<std::set<int>> huge = deltas(INT_MAX, grey(128));
    EXPECT_TRUE(huge[0].count(-128) && huge[0].count(127));
    for (const std::set<int> &channel : deltas(-5, grey(128)))
        EXPECT_EQ(channel, std::set<int>{0});
}

TEST(RunCallback, FramesOutsideTheRangePassThroughUntouched) {
    for (bool inPlace : {false, true}) {
        RectCase t({".....", ".LLL.", "....."}, 2, inPlace);
        FilterSettings &s = t.s();
        s.start = 10;
        s.end = 20;
        s.blackMode = 2;
        s.bb = 3;
        s.noiseL = 5;
        s.debugOutput = 1;
        fillSource(t, 1);
        const pendra::host::FrameBuffer input = t.source();
        for (size_t k = 0; k < t.workMap.size(); ++k) {
            s.workMap[k] = 0x5A5A;
            s.rectPixels[k] = 0xDEADBEEF;
            s.sourceRect[k] = 0x01020304;
            s.unblended[k] = ChannelTriple{-1, -2, -3};
        }
        for (int32_t frame : {9, 21, -1}) {
            EXPECT_EQ(t.run(frame), 0);
            EXPECT_TRUE(t.destination().samePixels(input)) << frame;
        }
        for (size_t k = 0; k < t.workMap.size(); ++k) {
            EXPECT_EQ(s.workMap[k], 0x5A5A);
            EXPECT_EQ(s.rectPixels[k], 0xDEADBEEFu);
            EXPECT_EQ(s.sourceRect[k], 0x01020304u);
            EXPECT_EQ(s.unblended[k].blue, -3);
        }
        // Both ends of the range are processed.
        for (int32_t frame : {10, 20}) {
            s.sourceRect[0] = 0;
            uint32_t corner = t.source().at(2, 2); // in place, frame 10 has changed it
            t.run(frame);
            EXPECT_EQ(s.sourceRect[0], corner) << frame;
        }
        // A rectangle moved beyond the frame after start is not processed.
        s.start = 0;
        s.x = 5; // 5 + 5 columns in a frame 9 wide
        const pendra::host::FrameBuffer before = t.source();
        EXPECT_EQ(t.run(15), 0);
        EXPECT_TRUE(t.destination().samePixels(before));
    }
}

TEST(RunCallback, InPlaceGivesWhatSeparateBuffersGive) {
    const std::vector<std::string> mask = {"......", ".LLL..", ".LLLL.", "..LL..", "......"};
    for (int blackMode : {0, 1, 2}) {
        RectCase apart(mask, 2, false), shared(mask, 2, true);
        for (RectCase *t : {&apart, &shared}) {
            FilterSettings &s = t->s();
            s.blackMode = blackMode;
            s.alpha = 128;
            s.side = 1;
            s.b2 = 2;
            s.b3 = 4;
            s.bb = 2;
            s.fadeIn = 1;
            s.blackKey[0] = s.blackKey[1] = s.blackKey[2] = 16;
            s.whiteKey[0] = s.whiteKey[1] = s.whiteKey[2] = 235;
            for (int k = 0; k < 65536; ++k)
                s.unblendTable[k] = static_cast<unsigned char>(k * 7 / 256);
            for (int r = 0; r < 5; ++r)
                for (int c = 0; c < 6; ++c) {
                    t->setBlack(r, c, 40 + r, 60 + c, 50);
                    t->setWhite(r, c, 200, 190 + r, 210 + c);
                }
        }
        for (int32_t frame = 0; frame < 4; ++frame) {
            fillSource(apart, static_cast<uint32_t>(frame * 31 + blackMode));
            fillSource(shared, static_cast<uint32_t>(frame * 31 + blackMode));
            apart.run(frame);
            shared.run(frame);
            EXPECT_TRUE(apart.destination().samePixels(shared.destination()))
                << "blackMode " << blackMode << " frame " << frame;
        }
    }
}

TEST(RunCallback, SnapshotCarriesTheRepairUntilTheSceneChanges) {
    RectCase t({".....", ".LLL.", "....."});
    FilterSettings &s = t.s();
    auto frame = [&](int around, int logo) {
        t.fillRect(grey(around));
        for (int c = 1; c <= 3; ++c)
            t.src(1, c) = rgb(logo, 0, 0);
    };
    // Frame 1: every outline pixel changed against the black snapshot: repaired to 100.
    frame(100, 250);
    t.run(1);
    for (int c = 1; c <= 3; ++c)
        EXPECT_EQ(t.dst(1, c), grey(100));
    EXPECT_EQ(s.rectPixels[7], grey(100));
    EXPECT_EQ(s.rectPixels[0], grey(100));
    // Frame 2: the surroundings drift by 5 (not above t1) and the logo area changes: the
    // kept repair comes back, not a fresh one (which would give 105).
    frame(105, 20);
    t.run(2);
    for (int c = 1; c <= 3; ++c)
        EXPECT_EQ(t.dst(1, c), grey(100));
    EXPECT_EQ(t.dst(0, 2), grey(105));
    // Frame 3: a real change: repaired afresh.
    frame(150, 20);
    t.run(3);
    for (int c = 1; c <= 3; ++c)
        EXPECT_EQ(t.dst(1, c), grey(150));
}

TEST(RunCallback, DarkFirstFrameTakesTheBlackSnapshot) {
    RectCase t({".....", ".LLL.", "....."});
    t.fillRect(0xAB000000u | grey(10)); // no channel above t1 = 10
    for (int c = 1; c <= 3; ++c)
        t.src(1, c) = grey(200);
    t.run(0);
    for (int c = 1; c <= 3; ++c)
        EXPECT_EQ(t.dst(1, c), 0u);
    EXPECT_EQ(t.dst(0, 1), 0xAB000000u | grey(10)); // clean pixels as received
}

TEST(RunCallback, FullAlphaShowsTheUnblendedPictureWithoutRepair) {
    RectCase t({"....", ".LL.", "...."});
    FilterSettings &s = t.s();
    s.blackMode = 2;
    s.alpha = 255;
    s.side = 1;
    s.b3 = 5;
    s.blackKey[0] = s.blackKey[1] = s.blackKey[2] = 16;
    s.whiteKey[0] = s.whiteKey[1] = s.whiteKey[2] = 235;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c) {
            t.setBlack(r, c, 100, 100, 100);
            t.setWhite(r, c, 200, 200, 200);
        }
    t.fillRect(0xAB000000u | grey(7));
    t.src(2, 0) = grey(20);
    t.src(2, 3) = grey(60);
    t.src(1, 1) = grey(150); // un-blends to 126 (r = 0.5, correction 24.5)
    t.src(1, 2) = grey(200); // P = W: 200 + 35 = 235
    t.run(0);
    EXPECT_EQ(t.dst(1, 1), grey(126));
    EXPECT_EQ(t.dst(1, 2), grey(235));
    EXPECT_EQ(t.dst(2, 1), 0xAB000000u | grey(7)); // no side line
    EXPECT_EQ(s.rectPixels[5], 0u);                // no snapshot

    // With the bitmap blur the rectangle is blurred whatever f: 3 x 3 all clean, one pass.
    RectCase b({"...", "...", "..."});
    b.s().alpha = 255;
    b.s().bb = 1;
    b.blurPasses.assign(9, 1);
    b.s().blurPasses = b.blurPasses.data();
    b.src(0, 1) = grey(10);
    b.src(2, 1) = grey(11);
    b.src(1, 0) = grey(12);
    b.src(1, 2) = grey(13);
    b.run(0);
    EXPECT_EQ(b.dst(1, 1), grey(11));
}

TEST(RunCallback, HugeBlurSettingsAreCappedNotHung) {
    auto smoothed = [](int b3) {
        RectCase t({".......", ".LLLLL.", ".LLLLL.", "......."});
        t.s().b3 = b3;
        t.s().scene = 100; // never a scene change: black logo pixels, then b3 smoothing
        t.fillRect(grey(10));
        for (int c = 0; c < 7; ++c)
            t.src(3, c) = grey(200);
        t.run(0);
        return destinationRect(t);
    };
    EXPECT_EQ(smoothed(INT_MAX), smoothed(SMOOTH_COUNT_MAX));
    EXPECT_NE(smoothed(SMOOTH_COUNT_MAX), smoothed(3));
}

// The trace example: a 5 x 4 rectangle whose three inner pixels of rows 1 and 2 are logo.
// Clean pixels (red, green, blue), the rest black:
//   row 3:  (50,20,50) (55,30,60) (110,80,90)      above columns 1..3
//   row 2:  west (80,20,40), east (120,110,130)
//   row 0:  (0,0,5) under column 3
// Edge samples, north-south and east-west estimates, misses:
//   (1,1) P 0,0,0      ns 16,6,16  38   ew 0,0,0      0
//   (1,2) P 0,0,0      ns 18,10,20 48   ew 0,0,0      0
//   (1,3) P 0,0,2      ns 36,26,33 93   ew 0,0,0      2
//   (2,1) P 65,20,45   ns 33,13,33 51   ew 90,42,62   64
//   (2,2) P 55,30,60   ns 36,20,40 49   ew 100,65,85  105
//   (2,3) P 115,95,110 ns 73,53,61 133  ew 110,87,107 16
// Sums 412 and 187; the three row 2 samples exceed t1 = 20: 3 of 6, 50 percent.
// First pass east-west: row 1 ends agree (0 and 0), row 2 ends differ by 40 and more.
// Second pass north-south (t2 80): (2,1) and (2,2) between row 1 (0) and row 3; (2,3)
// fails (110 against 0). Closing: S 0, N (110,80,90), E (120,110,130), W (2,2) =
// (27,15,30) at distance 1; D = 17, -15, -10: the four-way blend (64, 51, 62).
class TraceFile : public ::testing::Test {
  protected:
    void SetUp() override {
#if !defined(_WIN32)
        useTraceFolder((std::filesystem::current_path() / "trace").string());
#endif
        std::remove(traceFile().c_str());
    }

    static void exampleFrame(RectCase &t) {
        FilterSettings &s = t.s();
        s.t1 = 20;
        s.t2 = 80;
        s.debugOutput = 1;
        t.fillRect(0);
        t.src(0, 3) = rgb(0, 0, 5);
        t.src(2, 0) = rgb(80, 20, 40);
        t.src(2, 4) = rgb(120, 110, 130);
        t.src(3, 1) = rgb(50, 20, 50);
        t.src(3, 2) = rgb(55, 30, 60);
        t.src(3, 3) = rgb(110, 80, 90);
    }
};

const char *const maskGrid = " 1 1 1 1 1\n"
                             " 1 0 0 0 1\n"
                             " 1 0 0 0 1\n"
                             " 1 1 1 1 1\n"
                             "\n";

TEST_F(TraceFile, SceneChangeFrameWritesEveryPass) {
    RectCase t({".....", ".LLL.", ".LLL.", "....."});
    exampleFrame(t);
    t.run(1200);
    const std::string expected = std::string("Frame: 1200\n"
                                             "Diff_ns:   412 Diff_ew:   187\n"
                                             "Scene Change: 50\n"
                                             "Bitmap mask:\n\n") +
                                 maskGrid +
                                 "First pass:  Weight = 2\n\n"
                                 " 1 1 1 1 1\n"
                                 " 1 2 2 2 1\n"
                                 " 1 0 0 0 1\n"
                                 " 1 1 1 1 1\n"
                                 "\n"
                                 "2nd pass:  Weight = 1\n\n"
                                 " 1 1 1 1 1\n"
                                 " 1 2 2 2 1\n"
                                 " 1 3 3 0 1\n"
                                 " 1 1 1 1 1\n"
                                 "\n"
                                 "2nd pass:  Weight = 1\n\n"
                                 " 1 1 1 1 1\n"
                                 " 1 2 2 2 1\n"
                                 " 1 3 3 0 1\n"
                                 " 1 1 1 1 1\n"
                                 "\n";
    EXPECT_EQ(readText(traceFile()), expected);
    EXPECT_EQ(t.dst(1, 2), 0u);
    EXPECT_EQ(t.dst(2, 1), rgb(25, 10, 25));
    EXPECT_EQ(t.dst(2, 2), rgb(27, 15, 30));
    EXPECT_EQ(t.dst(2, 3), rgb(64, 51, 62));

    // The same picture again: measured against the new snapshot, nothing changed.
    t.run(1201);
    EXPECT_EQ(readText(traceFile()), std::string("Frame: 1201\n"
                                                 "Diff_ns:   412 Diff_ew:   187\n"
                                                 "Scene Change: 0\n"
                                                 "Bitmap mask:\n\n") +
                                         maskGrid);
    // Full alpha: nothing measured.
    t.s().alpha = 255;
    t.run(1202);
    EXPECT_EQ(readText(traceFile()), std::string("Frame: 1202\nBitmap mask:\n\n") + maskGrid);
    // A frame outside the range leaves the last trace.
    t.s().start = 5000;
    t.run(1203);
    EXPECT_EQ(readText(traceFile()), std::string("Frame: 1202\nBitmap mask:\n\n") + maskGrid);
}

TEST_F(TraceFile, OffWritesNothingAndAnUnwritableTraceChangesNothing) {
    RectCase quiet({".....", ".LLL.", ".LLL.", "....."});
    exampleFrame(quiet);
    quiet.s().debugOutput = 0;
    quiet.run(1200);
    EXPECT_FALSE(std::filesystem::exists(traceFile()));
#if !defined(_WIN32)
    useTraceFolder((std::filesystem::current_path() / "trace" / "missing").string());
    std::filesystem::remove(std::filesystem::current_path() / "trace" / "missing");
    RectCase traced({".....", ".LLL.", ".LLL.", "....."});
    exampleFrame(traced);
    traced.run(1200);
    EXPECT_EQ(destinationRect(traced), destinationRect(quiet));
#endif
}
