// The places the location found are read in one pass over the video, and
// each estimate is the one its rectangle gets when it is given alone.
#include "analysis/logo_analysis.h"
#include "tests/support/generated_source.h"

#include <gtest/gtest.h>

namespace a = pendra::analysis;
namespace t = pendra::test;

namespace {

// Counts the frames the analysis moves through, over every pass.
class CountingSource : public t::GeneratedSource {
  public:
    using GeneratedSource::GeneratedSource;
    bool advance() override {
        ++advanced;
        return GeneratedSource::advance();
    }
    int64_t advanced = 0;
};

void expectSameEstimate(const a::LogoEstimate &found, const a::LogoEstimate &alone) {
    EXPECT_EQ(found.opacity, alone.opacity);
    EXPECT_EQ(found.black.pixels, alone.black.pixels);
    EXPECT_EQ(found.white.pixels, alone.white.pixels);
    EXPECT_EQ(found.mask.pixels, alone.mask.pixels);
    EXPECT_EQ(found.predictedError, alone.predictedError);
    ASSERT_EQ(found.verdicts.size(), alone.verdicts.size());
    for (size_t i = 0; i < found.verdicts.size(); ++i)
        EXPECT_EQ(found.verdicts[i].reason, alone.verdicts[i].reason) << "frame " << i;
    ASSERT_EQ(found.presence.size(), alone.presence.size());
    for (size_t i = 0; i < found.presence.size(); ++i) {
        EXPECT_EQ(found.presence[i].start, alone.presence[i].start);
        EXPECT_EQ(found.presence[i].end, alone.presence[i].end);
    }
}

} // namespace

TEST(SharedReading, MarksAreReadInOnePassAndEstimatedAsWhenAlone) {
    t::Scene scene;
    scene.background = t::Background::Mixed;
    scene.noise = 1.0;
    scene.logos.push_back(t::textLogo(152, 8, 0.6, 0xF8F8F8));
    scene.logos.push_back(t::textLogo(10, 84, 0.5, 0xF0F0A0));
    CountingSource source(scene);
    const a::Result result = a::analyze(source, {});
    ASSERT_EQ(result.others.size(), 1u);
    // The location's pass and one pass for every place tried, not one each.
    EXPECT_GT(source.advanced, scene.frames);
    EXPECT_LE(source.advanced, 2 * scene.frames);

    for (const a::LogoEstimate *found :
         {static_cast<const a::LogoEstimate *>(&result), &result.others[0]}) {
        SCOPED_TRACE(testing::Message() << "at " << found->rect.x << "," << found->rect.y);
        t::GeneratedSource alone(scene);
        a::Options given;
        given.rect = found->rect;
        expectSameEstimate(*found, a::analyze(alone, given));
    }
}
