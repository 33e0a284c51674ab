// A faint logo over a calm sky while most of the picture is busy texture
// (grass, foliage): the texture lifts the level a persistent edge must pass
// for the picture as a whole, and the logo's edges, weak but standing far
// above the sky's residue, must still be found and rank first.
#include "analysis/frame_pass.h"
#include "analysis/locate.h"
#include "analysis/logo_analysis.h"
#include "tests/analysis/scene_checks.h"
#include "tests/support/generated_source.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace a = pendra::analysis;
namespace t = pendra::test;

namespace {

// Two generated scenes side by side in one picture: `busy` everywhere but
// the calm rectangle, where `calm` (logos included) shows.
class SkyOverTexture : public a::FrameSource {
  public:
    SkyOverTexture(t::Scene busy, t::Scene calm, a::Rect sky)
        : busy_(std::move(busy)), calm_(std::move(calm)), sky_(sky) {}
    int width() const override { return busy_.width(); }
    int height() const override { return busy_.height(); }
    int64_t frameCount() const override { return busy_.frameCount(); }
    void rewind() override { busy_.rewind(), calm_.rewind(); }
    bool advance() override { return busy_.advance() && calm_.advance(); }
    void read(const a::Rect &area, a::Picture &out) override {
        busy_.read(area, out);
        calm_.read(area, calmPart_);
        for (int y = 0; y < area.height; ++y)
            for (int x = 0; x < area.width; ++x)
                if (inSky(area.x + x, area.y + y))
                    out.at(x, y) = calmPart_.at(x, y);
    }

  private:
    bool inSky(int x, int y) const {
        return x >= sky_.x && x < sky_.x + sky_.width && y >= sky_.y && y < sky_.y + sky_.height;
    }
    t::GeneratedSource busy_, calm_;
    a::Rect sky_;
    a::Picture calmPart_;
};

} // namespace

// The static camera's texture (most of the picture) lifts the picture's
// median strength far above the faint logo's edges; over the moving sky the
// logo stands well above what is around it, and ranks first.
TEST(CalmRegion, FaintLogoOverASkyBesideStillTextureRanksFirst) {
    t::Scene busy;
    busy.background = t::Background::Still;
    busy.noise = 1.5;
    t::Scene calm = busy;
    calm.background = t::Background::Planar;
    calm.logos.push_back(t::textLogo(152, 8, 0.1, 0xF8F8F8));
    SkyOverTexture source(busy, calm, {116, 0, 76, 54});
    const std::vector<a::Candidate> found = t::sampleEdges(source, 4).candidates(4);
    ASSERT_FALSE(found.empty());
    SCOPED_TRACE(t::describe(found));
    int slack = 0;
    EXPECT_TRUE(t::holds(found.front().rect, calm.logos[0], slack));
    EXPECT_LE(slack, 10);
}
