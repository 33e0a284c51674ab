// Still scenery against a logo: a static camera's straight edges (a door
// frame, a table's edge) persist as a logo does and may be stronger, but
// they run one way where lettering turns through all directions; and a
// clip with no logo, only a faint still spot, is refused as having none
// rather than given a job that repairs the spot.
#include "analysis/frame_pass.h"
#include "analysis/logo_analysis.h"
#include "tests/analysis/scene_checks.h"
#include "tests/support/generated_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace a = pendra::analysis;
namespace t = pendra::test;

namespace {

struct Block {
    a::Rect rect;
    uint32_t colour = 0;
};

// A generated scene with flat blocks painted over every frame, logos
// included: scenery that never moves, with edges as straight as one wants.
class SceneWithBlocks : public a::FrameSource {
  public:
    SceneWithBlocks(t::Scene scene, std::vector<Block> blocks)
        : source_(std::move(scene)), blocks_(std::move(blocks)) {}
    int width() const override { return source_.width(); }
    int height() const override { return source_.height(); }
    int64_t frameCount() const override { return source_.frameCount(); }
    void rewind() override { source_.rewind(); }
    bool advance() override { return source_.advance(); }
    void read(const a::Rect &area, a::Picture &out) override {
        source_.read(area, out);
        for (const Block &b : blocks_)
            for (int y = std::max(b.rect.y, area.y);
                 y < std::min(b.rect.y + b.rect.height, area.y + area.height); ++y)
                for (int x = std::max(b.rect.x, area.x);
                     x < std::min(b.rect.x + b.rect.width, area.x + area.width); ++x)
                    out.at(x - area.x, y - area.y) = b.colour;
    }

  private:
    t::GeneratedSource source_;
    std::vector<Block> blocks_;
};

} // namespace

// A static camera over textured scenery with a door frame standing in the
// bottom-left corner, a black and a white post side by side whose long edges
// are far stronger than the faint logo's: both persist through the one shot,
// but only the logo's edges turn, and it ranks first.
TEST(StillScenery, AStraightDoorFrameRanksBelowTheLogoOnAStaticShot) {
    t::Scene scene;
    scene.background = t::Background::Still;
    scene.noise = 1.5; // the camera's noise: the picture is not frozen
    scene.logos.push_back(t::textLogo(152, 8, 0.7, 0xF8F8F8));
    // A ball passing now and then keeps the picture from standing still.
    scene.balls.push_back({0, scene.frames - 1, 60, 100, 130, 60, 8, 0x303030});
    SceneWithBlocks source(scene, {{{12, 66, 8, 34}, 0x000000}, {{20, 66, 8, 34}, 0xFFFFFF}});
    const a::Result result = a::analyze(source, {});
    ASSERT_FALSE(result.candidates.empty());
    SCOPED_TRACE(t::describe(result.candidates));
    int slack = 0;
    EXPECT_TRUE(t::holds(result.candidates.front().rect, scene.logos[0], slack));
    EXPECT_LE(slack, 10);
    EXPECT_TRUE(t::holds(result.rect, scene.logos[0], slack));
}

// No logo: the top half of the picture moves, the bottom half is a still
// grey floor bearing a faint square. The square stays still through every
// shot and is a candidate, but far weaker than any logo: the analysis says
// there is no logo and names the place it passed over, instead of a job
// repairing the square.
TEST(StillScenery, AFaintStillSpotIsNoLogo) {
    t::Scene scene;
    scene.background = t::Background::Mixed;
    SceneWithBlocks source(scene, {{{0, 54, 192, 54}, 0x646464}, {{150, 80, 8, 8}, 0x686868}});
    try {
        const a::Result result = a::analyze(source, {});
        FAIL() << "a job for " << a::rectText(result.rect) << ": " << result.why
               << t::describe(result.candidates);
    } catch (const a::Refusal &refusal) {
        const std::vector<a::Candidate> &found = refusal.tried.candidates;
        SCOPED_TRACE(refusal.what() + t::describe(found));
        EXPECT_EQ(std::string(refusal.what()).rfind("no logo: the likeliest place", 0), 0u);
        // The square was a candidate, and scored low.
        EXPECT_TRUE(std::any_of(found.begin(), found.end(), [](const a::Candidate &c) {
            return c.rect.x <= 150 && c.rect.y <= 80 && c.rect.x + c.rect.width >= 158 &&
                   c.rect.y + c.rect.height >= 88 && c.rect.width < 30;
        }));
    }
}
