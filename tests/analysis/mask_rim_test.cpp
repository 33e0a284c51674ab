// The rims of a logo: a band along its opacity's steps that leaves its solid
// middle alone and stays within the logo's mask, so that the clean ring
// around it is the one every setting is judged against.
#include "analysis/mask.h"

#include <gtest/gtest.h>

#include <vector>

namespace a = pendra::analysis;

TEST(RimMask, ABandAlongTheStepsOfOpacityWithinTheMask) {
    constexpr int w = 30, h = 20;
    std::vector<float> opacity(w * h, 0.0f);
    // A block at 0.5 with a faint step inside it.
    for (int y = 5; y < 15; ++y)
        for (int x = 6; x < 24; ++x)
            opacity[y * w + x] = x < 15 ? 0.5f : 0.53f;
    // The mask: the block grown by one pixel.
    a::Picture mask(w, h);
    for (int y = 4; y < 16; ++y)
        for (int x = 5; x < 25; ++x)
            mask.at(x, y) = 0xFFFFFF;
    const a::Picture rim = a::rimMask(opacity, mask);
    auto marked = [&](int x, int y) { return (rim.at(x, y) & 0xFF) >= 128; };
    for (int x : {5, 6, 7, 22, 23, 24})
        EXPECT_TRUE(marked(x, 10)) << x; // the block's left and right steps, both sides
    for (int y : {4, 5, 14, 15})
        EXPECT_TRUE(marked(12, y)) << y;
    EXPECT_FALSE(marked(12, 10)); // the solid middle
    EXPECT_FALSE(marked(15, 10)); // a step below the rim's
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if ((mask.at(x, y) & 0xFF) == 0) {
                EXPECT_FALSE(marked(x, y)) << x << "," << y;
            }
}

// The middle of a strong stroke, where un-blending would lift the coding
// noise eightfold into coloured specks, is repaired with the rims.
TEST(RimMask, TheMiddleOfAStrongStrokeJoinsTheRims) {
    constexpr int w = 40, h = 30;
    std::vector<float> opacity(w * h, 0.0f);
    a::Picture mask(w, h);
    for (int y = 2; y < 28; ++y)
        for (int x = 2; x < 38; ++x) {
            const bool stroke = y >= 12 && y < 18 && x >= 12 && x < 28;
            opacity[y * w + x] = stroke ? 0.875f : 0.5f;
            mask.at(x, y) = 0xFFFFFF;
        }
    const a::Picture rim = a::rimMask(opacity, mask);
    EXPECT_EQ(rim.at(20, 15) & 0xFF, 0xFFu); // the stroke's middle
    EXPECT_EQ(rim.at(6, 6) & 0xFF, 0u);      // the box at 0.5 around it stays un-blended
}
