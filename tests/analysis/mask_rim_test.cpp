// The rims of a logo: a band along its opacity's steps, inside and out, that
// leaves its solid middle and the clean ground away from it alone and never
// reaches the rectangle's two outermost lines, where the key colours and the
// repair's clean pixels are.
#include "analysis/mask.h"

#include <gtest/gtest.h>

#include <vector>

namespace a = pendra::analysis;

TEST(RimMask, ABandAlongTheStepsOfOpacity) {
    constexpr int w = 30, h = 20;
    std::vector<float> opacity(w * h, 0.0f);
    // A block at 0.5 with a faint step inside it, and one reaching the side.
    for (int y = 5; y < 15; ++y)
        for (int x = 6; x < 24; ++x)
            opacity[y * w + x] = x < 15 ? 0.5f : 0.53f;
    for (int y = 0; y < 4; ++y)
        opacity[y * w + 1] = 0.6f;
    const a::Picture rim = a::rimMask(opacity, w, h);
    auto marked = [&](int x, int y) { return (rim.at(x, y) & 0xFF) >= 128; };
    for (int x : {6, 7, 23, 22})
        EXPECT_TRUE(marked(x, 10)) << x; // the block's left and right steps, both sides
    for (int x : {5, 24})
        EXPECT_TRUE(marked(x, 10)) << x;
    for (int y : {4, 5, 14, 15})
        EXPECT_TRUE(marked(12, y)) << y;
    EXPECT_FALSE(marked(12, 10)); // the solid middle
    EXPECT_FALSE(marked(15, 10)); // a step below the rim's
    EXPECT_FALSE(marked(3, 10));  // clean ground two away
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (x < 2 || y < 2 || x >= w - 2 || y >= h - 2) {
                EXPECT_FALSE(marked(x, y)) << x << "," << y;
            }
}
