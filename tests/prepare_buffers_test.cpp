// Start-time preparation on small masks: the repair mask, side distances and
// frame offsets, edge marks, the feathered blur map and the un-blending table.
#include "logo/prepare_buffers.h"
#include "module/test_hooks.h"
#include "tests/support/bmp_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace {

using Rows = std::vector<std::string>; // top line first

class Preparation : public ::testing::Test {
  protected:
    void TearDown() override {
        releaseBuffers(s.get());
        EXPECT_EQ(moduleLiveBlocks(), 0);
    }

    // '.' is the key colour (clean), '~' one step off it and '#' far off (logo).
    void setMask(const Rows &rows, int frameW = 64, int frameH = 40, int pitch = 0) {
        const int h = static_cast<int>(rows.size()), w = static_cast<int>(rows[0].size());
        const int stride = pendra::test::bmpStride(w);
        pixels_.assign(static_cast<size_t>(stride * h), 0xEE);
        for (int r = 0; r < h; ++r)
            for (int c = 0; c < w; ++c) {
                unsigned char *p = &pixels_[static_cast<size_t>(r * stride + c * 3)];
                const char mark = rows[static_cast<size_t>(h - 1 - r)][static_cast<size_t>(c)];
                p[0] = mark == '~' ? 31 : mark == '#' ? 200 : 30;
                p[1] = 20;
                p[2] = 10;
            }
        releaseBuffers(s.get());
        *s = FilterSettings{};
        s->maskPixels = pixels_.data();
        s->logoWidth = w;
        s->logoHeight = h;
        s->logoStride = stride;
        s->maskKey[0] = 10, s->maskKey[1] = 20, s->maskKey[2] = 30;
        frame_.w = frameW;
        frame_.h = frameH;
        frame_.pitch = pitch != 0 ? pitch : frameW * 4;
        fa_.filter_data = s.get();
        fa_.src = fa_.dst = &frame_;
    }
    int prepare() {
        releaseBuffers(s.get());
        return prepareBuffers(s.get(), &fa_);
    }
    // Byte offset of rectangle pixel (row, column) from picture coordinates:
    // line 0 is the frame's top line, stored rows run bottom up.
    int32_t offsetOf(int row, int column) const {
        const int line = s->y + s->logoHeight - 1 - row;
        return static_cast<int32_t>((frame_.h - 1 - line) * frame_.pitch + (s->x + column) * 4);
    }
    const SideRecord &side(int row, int column) const {
        return s->sideTable[row * s->logoWidth + column];
    }
    // A per-pixel array drawn top line first, one symbol per value.
    Rows draw(const int32_t *values, const char *symbols = "-0+", int bias = 1) const {
        Rows rows;
        for (int r = s->logoHeight - 1; r >= 0; --r) {
            rows.emplace_back();
            for (int c = 0; c < s->logoWidth; ++c)
                rows.back() += symbols[values[r * s->logoWidth + c] + bias];
        }
        return rows;
    }

    std::unique_ptr<FilterSettings> s = std::make_unique<FilterSettings>();
    std::vector<unsigned char> pixels_;
    VFBitmap frame_{};
    FilterActivation fa_{};
};

std::vector<int> distances(const SideRecord &r) {
    return {r.southDistance, r.eastDistance, r.northDistance, r.westDistance};
}

} // namespace

TEST_F(Preparation, SearchesStopAtTheNearestCleanPixelOnEachSide) {
    setMask({".......", "...#...", "...#...", ".###...", "...#~..", "...#...", ".....#."}, 64, 40,
            68 * 4); // '~' is one step off the key; the ring's '#' gets no record
    s->x = 50;
    s->y = 30;
    ASSERT_EQ(prepare(), 0);
    EXPECT_EQ(s->bitmapMask[2 * 7 + 4], 0);
    EXPECT_EQ(distances(side(3, 1)), std::vector<int>({1, 3, 1, 1}));
    EXPECT_EQ(distances(side(2, 4)), std::vector<int>({1, 1, 1, 2}));
    const SideRecord &c = side(3, 3);
    EXPECT_EQ(distances(c), std::vector<int>({3, 1, 3, 3}));
    EXPECT_EQ(c.southOffset, offsetOf(0, 3));
    EXPECT_EQ(c.eastOffset, offsetOf(3, 4));
    EXPECT_EQ(c.northOffset, offsetOf(6, 3));
    EXPECT_EQ(c.westOffset, offsetOf(3, 0));
    EXPECT_EQ(distances(side(0, 5)), std::vector<int>({0, 0, 0, 0}));
}

TEST_F(Preparation, EdgeMarksPointFromLogoPixelsToCleanNeighbours) {
    setMask({"........", ".####.#.", ".###....", ".##.....", "........"});
    ASSERT_EQ(prepare(), 0);
    EXPECT_EQ(draw(s->horzEdge),
              Rows({"00000000", "0-00+0+0", "0-0+0000", "0-+00000", "00000000"}));
    EXPECT_EQ(draw(s->vertEdge),
              Rows({"00000000", "0++++0+0", "000-0000", "0--00000", "00000000"}));
    EXPECT_EQ(s->edgeCount, 9) << "the one enclosed logo pixel is no edge";
}

TEST_F(Preparation, EveryLogoPixelNeedsACleanPixelOnEachSide) {
    setMask({"....", "....", "...."});
    ASSERT_EQ(prepare(), 0) << "a clean mask is no failure";
    EXPECT_EQ(s->edgeCount, 0);
    EXPECT_EQ(s->rectPixels[5], 0u);
    const Rows failing[] = {
        {".....", "..#..", "..#..", "..#.."}, // down to the bottom row
        {"..#..", "..#..", ".....", "....."}, // up to the top row
        {"......", "##....", "......"},       // to the left edge
        {"......", "....##", "......"},       // to the right edge
    };
    for (const Rows &m : failing) {
        SCOPED_TRACE(m[1]);
        setMask(m);
        EXPECT_EQ(prepare(), 1);
        EXPECT_NE(s->sideTable, nullptr) << "buffers stay for the end callback";
    }
}

TEST_F(Preparation, BlurPassesRampUpOverTheFeatheredBorder) {
    struct Case {
        int bb, feather;
        Rows expected; // digit d: d * (bb / feather) passes; 'B': bb passes
    };
    const Case cases[] = {
        {7, 0, {"BBBB", "BBBB", "BBBB"}},
        {10,
         3,
         {"1111111111", "1222222221", "1233333321", "1233333321", "1222222221", "1111111111"}},
        {16,
         8,
         {"1111555555555555555555555555555555551111", "1224444444444444444444444444444444444221",
          "1233333333333333333333333333333333333321", "1224444444444444444444444444444444444221",
          "1111555555555555555555555555555555551111"}},
        {21, 2, {"1111111", "1222221", "12BBB21", "12BBB21", "12BBB21", "1222221", "1111111"}},
        {10, 20, {"000", "000"}},
        {10, 1000000, {"000", "000"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "bb " << c.bb << ", feather " << c.feather);
        const int w = static_cast<int>(c.expected[0].size());
        const int h = static_cast<int>(c.expected.size());
        setMask(Rows(static_cast<size_t>(h), std::string(static_cast<size_t>(w), '.')));
        s->bb = c.bb;
        s->feather = c.feather;
        ASSERT_EQ(prepare(), 0);
        const int step = c.feather != 0 ? c.bb / c.feather : 0;
        for (int r = 0; r < h; ++r)
            for (int col = 0; col < w; ++col) {
                const char mark =
                    c.expected[static_cast<size_t>(h - 1 - r)][static_cast<size_t>(col)];
                EXPECT_EQ(s->blurPasses[r * w + col], mark == 'B' ? c.bb : (mark - '0') * step)
                    << "row " << r << ", column " << col;
            }
    }
}

TEST_F(Preparation, UnblendTableInvertsTheBlendWithTheWhiteLevel) {
    setMask({"...", "...", "..."});
    s->blackMode = 1;
    // Keys beyond a byte drive the value past the int range.
    const int levels[][2] = {{230, 0}, {200, 10}, {100, 120}, {INT_MIN, 255}, {0, INT_MIN}};
    for (const auto &[white, key] : levels) {
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
    }
    s->white = 230;
    s->blackKey[0] = 0;
    ASSERT_EQ(prepare(), 0);
    EXPECT_EQ(s->unblendTable[200 * 256 + 100], 176);
    for (int mode : {0, 2}) {
        s->blackMode = mode;
        s->white = 100;
        ASSERT_EQ(prepare(), 0);
        EXPECT_EQ(s->unblendTable[200 * 256 + 100], 176) << "left alone in mode " << mode;
    }
}
