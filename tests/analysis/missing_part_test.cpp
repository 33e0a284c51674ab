// A part missing from the logo's shape, on variation maps drawn by hand:
// which dimmed clumps count, and which are the scene's own.
#include "analysis/missing_part.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace a = pendra::analysis;

namespace {

// A 60x30 rectangle whose logo (with its margin) leaves columns 18 to 41 of
// lines 8 to 21 unclean; the variation elsewhere is as expected (ratio 1).
struct VariationMap {
    static constexpr int width = 60, height = 30;
    std::vector<double> ratio = std::vector<double>(width * height, 1.0);
    std::vector<uint8_t> clean = std::vector<uint8_t>(width * height, 1);

    VariationMap() {
        for (int y = 8; y <= 21; ++y)
            for (int x = 18; x <= 41; ++x)
                clean[y * width + x] = 0;
    }
    void block(int left, int top, int right, int bottom, double value) {
        for (int y = top; y <= bottom; ++y)
            for (int x = left; x <= right; ++x)
                ratio[y * width + x] = value;
    }
    double missing() const { return a::missingShare(ratio, clean, 0.3, width); }
};

} // namespace

// A part of the logo beside the part found dims its background's variation:
// it is missing from the shape.
TEST(MissingPart, ADimmedClumpAgainstTheLogoIsAPartMissing) {
    VariationMap beside;
    beside.block(43, 10, 54, 17, 0.4);
    EXPECT_GT(beside.missing(), 0.05);
}

// Dimmed clumps that are no part of the logo: still scenery in a far corner
// of the rectangle, and the scatter of a textured ground's variation beside
// the logo, which lifts it in clumps as often as it dims it.
TEST(MissingPart, TheScenesOwnClumpsAreNone) {
    VariationMap corner;
    corner.block(48, 0, 59, 7, 0.4);
    EXPECT_LT(corner.missing(), 0.01);
    VariationMap scatter;
    scatter.block(43, 10, 54, 17, 0.4);
    scatter.block(6, 10, 15, 19, 2.0);
    EXPECT_LT(scatter.missing(), 0.01);
}
