// Start-time preparation on small masks: the repair mask, side distances and
// frame offsets, edge marks, the feathered blur map and the un-blending table.
#include "logo/prepare_buffers.h"
#include "module/memory.h"
#include "tests/support/bmp_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace {

// An activation record whose source and destination are one frame.
FilterActivation activationFor(FilterSettings *s, VFBitmap *frame) {
    FilterActivation fa{};
    fa.filter_data = s;
    fa.src = fa.dst = frame;
    return fa;
}

using Rows = std::vector<std::string>; // top line first

class Preparation : public ::testing::Test {
  protected:
    void TearDown() override {
        releaseBuffers(s.get());
        EXPECT_EQ(moduleLiveBlocks(), 0);
    }

    // '.' is the key colour (clean), '~' one step off it and '#' far off (logo).
    void setMask(const Rows &rows) {
        const int h = static_cast<int>(rows.size());
        const int w = static_cast<int>(rows[0].size());
        const int stride = pendra::test::bmpStride(w);
        pixels_.assign(static_cast<size_t>(stride * h), 0xEE);
        for (int r = 0; r < h; ++r)
            for (int c = 0; c < w; ++c) {
                unsigned char *p = &pixels_[static_cast<size_t>(r * stride + c * 3)];
                const char mark = rows[static_cast<size_t>(h - 1 - r)][static_cast<size_t>(c)];
                p[0] = mark == '~' ? 31 : mark == '#' ? 200 : 30; // blue
                p[1] = 20;
                p[2] = 10;
            }
        s->maskPixels = pixels_.data();
        s->logoWidth = w;
        s->logoHeight = h;
        s->logoStride = stride;
        s->maskKey[0] = 10;
        s->maskKey[1] = 20;
        s->maskKey[2] = 30;
    }
    void setFrame(int w, int h, int pitch, int x, int y) {
        frame_.w = w;
        frame_.h = h;
        frame_.pitch = pitch;
        s->x = x;
        s->y = y;
    }
    int prepare() { return prepareBuffers(s.get(), &fa_); }

    // Byte offset of rectangle pixel (row, column) worked out from picture
    // coordinates: line 0 is the frame's top, stored rows run bottom up.
    int32_t offsetOf(int row, int column) const {
        const int line = s->y + (s->logoHeight - 1 - row);
        return static_cast<int32_t>((frame_.h - 1 - line) * frame_.pitch + (s->x + column) * 4);
    }
    const SideRecord &side(int row, int column) const {
        return s->sideTable[row * s->logoWidth + column];
    }
    // A per-pixel array drawn top line first, one character per value.
    Rows draw(const int32_t *values, const char *symbols = "-0+", int bias = 1) const {
        Rows rows;
        for (int r = s->logoHeight - 1; r >= 0; --r) {
            std::string line;
            for (int c = 0; c < s->logoWidth; ++c)
                line += symbols[values[r * s->logoWidth + c] + bias];
            rows.push_back(line);
        }
        return rows;
    }

    std::unique_ptr<FilterSettings> s = std::make_unique<FilterSettings>();
    std::vector<unsigned char> pixels_;
    VFBitmap frame_{};
    FilterActivation fa_ = activationFor(s.get(), &frame_);
};

void expectSide(const SideRecord &rec, int south, int east, int north, int west) {
    EXPECT_EQ(rec.southDistance, south);
    EXPECT_EQ(rec.eastDistance, east);
    EXPECT_EQ(rec.northDistance, north);
    EXPECT_EQ(rec.westDistance, west);
}

} // namespace

TEST_F(Preparation, PixelOneStepOffTheKeyIsALogoPixelWithCleanNeighbours) {
    setMask({".....", ".....", "..~..", ".....", "....."});
    setFrame(20, 12, 96, 3, 2); // pitch padded beyond 20 * 4
    ASSERT_EQ(prepare(), 0);
    EXPECT_EQ(draw(s->bitmapMask, "01", 0), Rows({"11111", "11111", "11011", "11111", "11111"}));
    const SideRecord &c = side(2, 2);
    expectSide(c, 1, 1, 1, 1);
    EXPECT_EQ(c.southOffset, offsetOf(1, 2));
    EXPECT_EQ(c.eastOffset, offsetOf(2, 3));
    EXPECT_EQ(c.northOffset, offsetOf(3, 2));
    EXPECT_EQ(c.westOffset, offsetOf(2, 1));
    EXPECT_EQ(draw(s->horzEdge)[2], "00+00");
    EXPECT_EQ(draw(s->vertEdge)[2], "00+00");
    EXPECT_EQ(s->edgeCount, 1);
}

TEST_F(Preparation, SearchesStopAtTheNearestCleanPixelOnEachSide) {
    setMask({".......", "...#...", "...#...", ".###...", "...##..", "...#...",
             ".....#."}); // a logo pixel in the outer ring gets no record
    setFrame(64, 40, 64 * 4, 50, 30);
    ASSERT_EQ(prepare(), 0);
    expectSide(side(3, 3), 3, 1, 3, 3);
    expectSide(side(3, 1), 1, 3, 1, 1);
    expectSide(side(2, 4), 1, 1, 1, 2);
    const SideRecord &c = side(3, 3);
    EXPECT_EQ(c.southOffset, offsetOf(0, 3));
    EXPECT_EQ(c.eastOffset, offsetOf(3, 4));
    EXPECT_EQ(c.northOffset, offsetOf(6, 3));
    EXPECT_EQ(c.westOffset, offsetOf(3, 0));
    expectSide(side(0, 5), 0, 0, 0, 0);
}

TEST_F(Preparation, EdgeMarksPointFromLogoPixelsToCleanNeighbours) {
    setMask({"........", ".####.#.", ".###....", ".##.....", "........"});
    setFrame(8, 5, 32, 0, 0);
    ASSERT_EQ(prepare(), 0);
    EXPECT_EQ(draw(s->horzEdge),
              Rows({"00000000", "0-00+0+0", "0-0+0000", "0-+00000", "00000000"}));
    EXPECT_EQ(draw(s->vertEdge),
              Rows({"00000000", "0++++0+0", "000-0000", "0--00000", "00000000"}));
    EXPECT_EQ(s->edgeCount, 9) << "the one enclosed logo pixel is no edge";
}

TEST_F(Preparation, CleanMaskHasNoEdgesAndStarts) {
    setMask({"....", "....", "...."});
    setFrame(4, 3, 16, 0, 0);
    ASSERT_EQ(prepare(), 0);
    EXPECT_EQ(s->edgeCount, 0);
    EXPECT_EQ(draw(s->bitmapMask, "01", 0), Rows({"1111", "1111", "1111"}));
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(s->rectPixels[i], 0u);
}

TEST_F(Preparation, LogoPixelWithoutCleanPixelOnOneSideFails) {
    const Rows masks[] = {
        {".....", "..#..", "..#..", "..#.."}, // down to the bottom row
        {"..#..", "..#..", ".....", "....."}, // up to the top row
        {"......", "##....", "......"},       // to the left edge
        {"......", "....##", "......"},       // to the right edge
    };
    for (const Rows &m : masks) {
        SCOPED_TRACE(m[1]);
        setMask(m);
        setFrame(10, 10, 40, 0, 0);
        EXPECT_EQ(prepare(), 1);
        EXPECT_NE(s->sideTable, nullptr) << "buffers stay for the end callback";
        releaseBuffers(s.get());
    }
}

TEST_F(Preparation, BlurPassesRampUpOverTheFeatheredBorder) {
    struct Case {
        int w, h, bb, feather;
        Rows expected; // digit d: d * (bb / feather) passes; 'B': bb passes
    };
    const Case cases[] = {
        {4, 3, 7, 0, {"BBBB", "BBBB", "BBBB"}},
        {10,
         6,
         10,
         3,
         {"1111111111", "1222222221", "1233333321", "1233333321", "1222222221", "1111111111"}},
        {40,
         5,
         16,
         8,
         {"1111555555555555555555555555555555551111", "1224444444444444444444444444444444444221",
          "1233333333333333333333333333333333333321", "1224444444444444444444444444444444444221",
          "1111555555555555555555555555555555551111"}},
        {7,
         7,
         21,
         2,
         {"1111111", "1222221", "12BBB21", "12BBB21", "12BBB21", "1222221", "1111111"}},
        {3, 2, 10, 20, {"000", "000"}},
        {3, 2, 10, 1000000, {"000", "000"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " feather " << c.feather);
        setMask(Rows(static_cast<size_t>(c.h), std::string(static_cast<size_t>(c.w), '.')));
        setFrame(c.w, c.h, c.w * 4, 0, 0);
        s->bb = c.bb;
        s->feather = c.feather;
        ASSERT_EQ(prepare(), 0);
        const int step = c.feather != 0 ? c.bb / c.feather : 0;
        for (int r = 0; r < c.h; ++r)
            for (int col = 0; col < c.w; ++col) {
                const char mark =
                    c.expected[static_cast<size_t>(c.h - 1 - r)][static_cast<size_t>(col)];
                const int expected = mark == 'B' ? c.bb : (mark - '0') * step;
                EXPECT_EQ(s->blurPasses[r * c.w + col], expected)
                    << "row " << r << ", column " << col;
            }
        releaseBuffers(s.get());
    }
}

TEST_F(Preparation, UnblendTableInvertsTheBlendWithTheWhiteLevel) {
    setMask({"...", "...", "..."});
    setFrame(3, 3, 12, 0, 0);
    s->blackMode = 1;
    // Keys beyond a byte drive the value past the int range.
    const int levels[][2] = {{230, 0},       {200, 10},  {255, 16},    {100, 120},    {INT_MAX, 0},
                             {INT_MIN, 255}, {-1000, 3}, {0, INT_MIN}, {255, INT_MAX}};
    for (const auto &level : levels) {
        const int white = level[0], key = level[1];
        SCOPED_TRACE(testing::Message() << "white " << white << ", key " << key);
        s->white = white;
        s->blackKey[0] = key;
        ASSERT_EQ(prepare(), 0);
        for (int o = 0; o < 256; ++o)
            for (int b = 0; b < 256; ++b) {
                const double m =
                    white - double(b) == 0 ? 0 : (white - double(key)) / (white - double(b));
                const double value = o * m + (key - b * m);
                int expected = value > 0 ? 255 : 0; // beyond int: the limit it saturates to
                if (std::fabs(value) < 2e9)
                    expected = std::clamp(static_cast<int>(value), 0, 255);
                ASSERT_EQ(s->unblendTable[o * 256 + b], expected) << "o " << o << ", b " << b;
            }
        releaseBuffers(s.get());
    }
    s->white = 230;
    s->blackKey[0] = 0;
    ASSERT_EQ(prepare(), 0);
    EXPECT_EQ(s->unblendTable[200 * 256 + 100], 176);
    releaseBuffers(s.get());
    s->white = 200;
    s->blackKey[0] = 10;
    ASSERT_EQ(prepare(), 0);
    for (int o = 0; o < 256; ++o)
        EXPECT_EQ(s->unblendTable[o * 256 + 200], 10) << "the logo's own level gives the key";
}

TEST_F(Preparation, UnblendTableIsLeftAloneUnlessOnlyBlackIsLoaded) {
    setMask({"...", "...", "..."});
    setFrame(3, 3, 12, 0, 0);
    for (int mode : {0, 2}) {
        s->blackMode = mode;
        std::fill(std::begin(s->unblendTable), std::end(s->unblendTable), 0xAB);
        ASSERT_EQ(prepare(), 0);
        EXPECT_EQ(s->unblendTable[12345], 0xAB);
        EXPECT_EQ(s->unblendTable[200 * 256 + 100], 0xAB);
        releaseBuffers(s.get());
    }
}
