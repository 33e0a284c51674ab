// The box behind lettering, found from mean pictures drawn by hand: which
// outlines widen a mark to a box, and which scenery leaves it as it was.
#include "analysis/box_outline.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace a = pendra::analysis;

namespace {

// A mean picture of one grey level per pixel (all three channels alike),
// turned into the gradient sums of `samples` frames.
struct MeanPicture {
    static constexpr int width = 200, height = 120, samples = 10;
    std::vector<int> level = std::vector<int>(width * height, 30);

    void fill(int left, int top, int right, int bottom, int value) {
        for (int y = top; y <= bottom; ++y)
            for (int x = left; x <= right; ++x)
                level[y * width + x] = value;
    }
    // Six letters, blocks with a gap between them as wide as a stroke.
    void lettering() {
        for (int k = 0; k < 6; ++k)
            fill(55 + 12 * k, 42, 62 + 12 * k, 56, 220);
    }
    a::Mark spanned(a::Mark m) {
        const size_t plane = level.size();
        sumX.assign(3 * plane, 0), sumY.assign(3 * plane, 0);
        for (int r = 1; r + 1 < height; ++r)
            for (int c = 1; c + 1 < width; ++c)
                for (size_t k = 0; k < 3; ++k) {
                    const size_t p = static_cast<size_t>(r) * width + c;
                    sumX[k * plane + p] = samples * (level[p + 1] - level[p - 1]);
                    sumY[k * plane + p] = samples * (level[p + width] - level[p - width]);
                }
        a::spanBox({width, height, sumX, sumY, samples}, m);
        return m;
    }
    std::vector<int32_t> sumX, sumY;
};

a::Mark bounds(int left, int top, int right, int bottom) {
    a::Mark m;
    m.left = left, m.top = top, m.right = right, m.bottom = bottom;
    return m;
}

} // namespace

// A tinted box (rounded off at its corners) around lettering: the mark of the
// lettering alone, and the mark of the lettering with the box's top (its
// lower part over a busy ground), both grow to the box's outline.
TEST(BoxOutline, AMarkWithinATintedBoxSpansTheBox) {
    MeanPicture mean;
    mean.fill(40, 30, 139, 69, 60);
    for (int corner : {0, 1})
        mean.level[(30 + corner * 39) * MeanPicture::width + 40] = 30;
    mean.lettering();
    const a::Mark letters = mean.spanned(bounds(54, 41, 123, 57));
    EXPECT_EQ(letters.left, 39);
    EXPECT_EQ(letters.top, 29);
    EXPECT_EQ(letters.right, 140);
    EXPECT_EQ(letters.bottom, 70);
    const a::Mark withTop = mean.spanned(bounds(39, 29, 140, 57));
    EXPECT_EQ(withTop.bottom, 70);
    EXPECT_EQ(withTop.left, 39);
    // A pole standing beyond the box, its lines as straight as the box's.
    mean.fill(20, 0, 23, 119, 120);
    const a::Mark besidePole = mean.spanned(bounds(54, 41, 123, 57));
    EXPECT_EQ(besidePole.left, 39);
    EXPECT_EQ(besidePole.right, 140);
}

// Scenery around a logo is no box: a doorway open at the bottom, lines on
// two sides only, or a box too far out to be the logo's all leave the mark.
TEST(BoxOutline, SceneryAroundAMarkLeavesItAsItWas) {
    const a::Mark letters = bounds(54, 41, 123, 57);
    auto unchanged = [&](const a::Mark &m) {
        EXPECT_EQ(m.left, letters.left);
        EXPECT_EQ(m.top, letters.top);
        EXPECT_EQ(m.right, letters.right);
        EXPECT_EQ(m.bottom, letters.bottom);
    };
    MeanPicture doorway;
    doorway.fill(40, 30, 139, 119, 60);
    doorway.lettering();
    unchanged(doorway.spanned(letters));
    MeanPicture stripe;
    stripe.fill(0, 30, 199, 69, 60);
    stripe.lettering();
    unchanged(stripe.spanned(letters));
    MeanPicture far;
    far.fill(10, 2, 189, 110, 60);
    far.lettering();
    unchanged(far.spanned(letters));
}
