// The places the location found are read in one pass over the video, within
// the memory one reading may hold, and each estimate is the one its
// rectangle gets when it is given alone.
#include "analysis/logo_analysis.h"
#include "analysis/shared_reading.h"
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

// Each reading keeps the memory it would have alone, so places are read
// together only where that stays within what one reading may hold: a short
// video's places share a pass, while over a video of unknown length, where
// each could fill its room, every place is read in a pass of its own.
TEST(SharedReading, PlacesShareAPassOnlyWithinOneReadingsMemory) {
    for (const bool known : {true, false}) {
        SCOPED_TRACE(known ? "known length" : "unknown length");
        t::Scene scene;
        scene.background = t::Background::Mixed;
        scene.countKnown = known;
        scene.logos.push_back(t::textLogo(152, 8, 0.6, 0xF8F8F8));
        scene.logos.push_back(t::textLogo(10, 84, 0.5, 0xF0F0A0));
        t::GeneratedSource source(scene);
        const a::Options options;
        const a::Range range = a::frameRange(source, options);
        std::vector<a::Candidate> candidates(2);
        candidates[0].rect = {146, 2, 44, 22};
        candidates[1].rect = {4, 78, 44, 22};
        a::SharedReadings readings(source, range, options, candidates);
        int64_t framesRead = 0;
        const auto any = [](const a::Candidate &) { return true; };
        for (size_t i = 0; i < candidates.size(); ++i) {
            const a::LogoEstimate found = readings.estimate(i, any, 1, true, framesRead);
            EXPECT_EQ(framesRead, scene.frames);
            EXPECT_FALSE(found.presence.empty());
        }
        EXPECT_EQ(readings.passes(), known ? 1 : 2);
    }
}
