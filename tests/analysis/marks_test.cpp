// Marks on edge maps drawn by hand: which edges make one mark and how far
// its box reaches, where generated video would leave the strengths to chance.
#include "analysis/marks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace a = pendra::analysis;

namespace {

// An edge map with room to draw strong persistent edges on.
struct DrawnEdges {
    static constexpr int width = 120, height = 100;
    std::vector<float> strength = std::vector<float>(width * height, 0.0f);
    std::vector<uint16_t> stillShots = std::vector<uint16_t>(width * height, 1);
    std::vector<uint8_t> changes = std::vector<uint8_t>(width * height, 0);
    std::vector<float> level = std::vector<float>(width * height, 10.0f);

    void set(int x, int y, float s, uint8_t changed) {
        strength[y * width + x] = s;
        changes[y * width + x] = changed;
    }
    // The outline of a letter's box, inclusive.
    void box(int left, int top, int right, int bottom, float s, uint8_t changed) {
        for (int x = left; x <= right; ++x)
            set(x, top, s, changed), set(x, bottom, s, changed);
        for (int y = top; y <= bottom; ++y)
            set(left, y, s, changed), set(right, y, s, changed);
    }
    std::vector<a::Mark> marks() const {
        std::vector<a::Mark> found =
            a::findMarks({width, height, strength, stillShots, changes, level});
        const std::vector<uint64_t> none(strength.size(), 0);
        a::mergeNear(found, {10, 1.0, width, height}, {none, 0});
        for (a::Mark &m : found)
            a::trimTails({width, height, strength, stillShots, changes, level}, m);
        return found;
    }
};

} // namespace

// A word whose first letter lies over the strong edge of still scenery
// running from the top of the picture to the bottom (a window frame): the
// letter's edges go with the scenery's when it is split off and dropped, and
// the word's mark takes them back within its own lines.
TEST(Marks, LetterOverSceneryRunningOffThePictureStaysWithItsWord) {
    DrawnEdges edges;
    for (int y = 0; y < DrawnEdges::height; ++y)
        edges.set(12, y, 250, 2); // flickering now and then, as scenery does
    edges.box(8, 62, 18, 74, 200, 2);
    edges.box(21, 62, 31, 74, 200, 0);
    edges.box(34, 62, 44, 74, 200, 0);
    const std::vector<a::Mark> marks = edges.marks();
    ASSERT_EQ(marks.size(), 1u);
    EXPECT_EQ(marks[0].left, 8);
    EXPECT_EQ(marks[0].right, 44);
    EXPECT_EQ(marks[0].top, 62);
    EXPECT_EQ(marks[0].bottom, 74);
}

// An emblem with a twig of still scenery running out of its side, joined to
// it and strong enough to pass the emblem's own level: the twig's columns
// hold far less edge than the emblem's, and the mark ends where the emblem
// does.
TEST(Marks, SparseTailOfWeakerEdgesIsCutOff) {
    DrawnEdges edges;
    edges.box(30, 30, 60, 60, 200, 0);
    edges.box(31, 31, 59, 59, 200, 0);
    for (int x = 61; x <= 85; ++x)
        edges.set(x, 45 + (x - 61) / 5, 90, 0);
    const std::vector<a::Mark> marks = edges.marks();
    ASSERT_EQ(marks.size(), 1u);
    EXPECT_EQ(marks[0].left, 30);
    EXPECT_EQ(marks[0].right, 60);
    EXPECT_EQ(marks[0].top, 30);
    EXPECT_EQ(marks[0].bottom, 60);
}

// Two words on the very same lines, the space between them wider than the
// clean rings reach (a wide text straddling the corner and the border band):
// one mark, though the words leave at no common sample. A word on the same
// lines further off than a letter's height is another text.
TEST(Marks, WordsOnTheSameLinesJoinAcrossAWordSpace) {
    DrawnEdges edges;
    edges.box(4, 10, 14, 24, 200, 0);
    edges.box(17, 10, 27, 24, 200, 0);
    edges.box(40, 10, 50, 24, 200, 0); // 12 pixels on from the first word
    edges.box(53, 10, 63, 24, 200, 0);
    edges.box(84, 10, 94, 24, 200, 0); // 20 pixels on
    edges.box(97, 10, 107, 24, 200, 0);
    const std::vector<a::Mark> marks = edges.marks();
    ASSERT_EQ(marks.size(), 2u);
    EXPECT_EQ(marks[0].left, 4);
    EXPECT_EQ(marks[0].right, 63);
    EXPECT_EQ(marks[1].left, 84);
    EXPECT_EQ(marks[1].right, 107);
}

// Lettering that lasts through every one of many shots, framed a few pixels
// out by fainter lasting edges: a box's outline joins it, where still
// scenery filling the space around it (a static shot seen again after a cut)
// does not.
TEST(Marks, ABoxOutlineFramingTheLetteringJoinsItLastingSceneryDoesNot) {
    for (bool outline : {true, false}) {
        SCOPED_TRACE(outline ? "outline" : "scenery");
        DrawnEdges edges;
        edges.box(45, 45, 51, 63, 200, 0);
        edges.box(54, 45, 60, 63, 200, 0);
        edges.box(63, 45, 69, 63, 200, 0);
        if (outline)
            edges.box(36, 36, 78, 72, 60, 0);
        else
            for (int y = 30; y <= 76; ++y)
                for (int x = 30; x <= 84; ++x)
                    if ((x < 38 || x > 76 || y < 38 || y > 70) && (x + y) % 2 == 0)
                        edges.set(x, y, 60, 0);
        edges.stillShots.assign(edges.stillShots.size(), 8);
        std::vector<a::Mark> marks = edges.marks();
        a::joinLastingFrames({DrawnEdges::width, DrawnEdges::height, edges.strength,
                              edges.stillShots, edges.changes, edges.level, 8},
                             marks);
        const int left = outline ? 36 : 45, right = outline ? 78 : 69;
        EXPECT_EQ(marks.size(), outline ? 1u : 2u);
        EXPECT_TRUE(std::any_of(marks.begin(), marks.end(), [&](const a::Mark &m) {
            return m.left == left && m.right == right && m.top <= 45 && m.bottom >= 63;
        }));
    }
}
