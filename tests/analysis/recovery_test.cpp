// The blend fit on generated scenes: exact recovery without noise, bounded
// error with noise, the same result on every run, and a found bitmap set that
// the real module loads and un-blends with.
#include "analysis/logo_analysis.h"
#include "host/filter_instance.h"
#include "module/filter_settings.h"
#include "tests/analysis/scene_checks.h"
#include "tests/support/bmp_file.h"
#include "tests/support/generated_source.h"
#include "tests/support/test_folder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

namespace a = pendra::analysis;
namespace t = pendra::test;

namespace {

t::Scene sceneWith(t::Background background, double noise, t::GeneratedLogo logo) {
    t::Scene scene;
    scene.background = background;
    scene.noise = noise;
    scene.logos.push_back(std::move(logo));
    return scene;
}

} // namespace

TEST(Recovery, ExactWithoutNoiseForTextAndEmblem) {
    // A white text logo and a coloured emblem, at both ends of the opacity range.
    const t::GeneratedLogo logos[] = {t::textLogo(150, 8, 0.75, 0xF0F0E8),
                                      t::emblemLogo(12, 10, 9, 0.3, 0xFFC828)};
    for (const t::GeneratedLogo &logo : logos) {
        SCOPED_TRACE(testing::Message() << "logo at " << logo.x << "," << logo.y);
        t::GeneratedSource source(sceneWith(t::Background::Planar, 0, logo));
        a::Result result = a::analyze(source, {});
        int slack = 0;
        ASSERT_FALSE(result.candidates.empty());
        EXPECT_TRUE(t::holds(result.rect, logo, slack));
        EXPECT_LE(slack, 10);
        t::Accuracy acc = t::accuracy(result, logo);
        EXPECT_LT(acc.meanOpacityError, 0.003);
        EXPECT_LE(acc.worstBlack, 1);
        EXPECT_LE(acc.worstWhite, 1);
        EXPECT_LT(result.predictedError, 0.5);
        // The loader takes key colours from the bottom-left pixel and the repair
        // needs a clean outermost line; un-blended pixels must differ from the
        // black key in every channel.
        const a::Rect &r = result.rect;
        for (int y = 0; y < r.height; ++y)
            for (int x = 0; x < r.width; ++x) {
                uint32_t black = result.black.at(x, y), mask = result.mask.at(x, y);
                if (x == 0 || y == 0 || x == r.width - 1 || y == r.height - 1) {
                    EXPECT_EQ(black, 0u);
                    EXPECT_EQ(result.white.at(x, y), 0xFFFFFFu);
                    EXPECT_EQ(mask, 0u);
                } else if (mask != 0) {
                    EXPECT_TRUE((black & 0xFF0000) && (black & 0xFF00) && (black & 0xFF));
                }
                if (logo.at(r.x + x, r.y + y) > 0.03) {
                    EXPECT_NE(mask, 0u) << x << "," << y;
                }
            }
        ASSERT_EQ(result.presence.size(), 1u);
        EXPECT_EQ(result.presence[0].start, 0);
        EXPECT_EQ(result.presence[0].end, 239);
    }
}

TEST(Recovery, BoundedErrorWithNoiseOverMixedShots) {
    const t::GeneratedLogo logo = t::textLogo(150, 8, 0.45, 0xF0F0F0);
    t::GeneratedSource source(sceneWith(t::Background::Mixed, 2.0, logo));
    a::Options options;
    options.rect = a::Rect{143, 1, 42, 28};
    a::Result result = a::analyze(source, options);
    EXPECT_TRUE(result.candidates.empty());
    t::Accuracy acc = t::accuracy(result, logo);
    EXPECT_LT(acc.meanOpacityError, 0.02);
    EXPECT_LE(acc.worstBlack, 6);
    EXPECT_LE(acc.worstWhite, 6);
    // The noise shows in the fit's error, the textured shots in the rejected frames.
    EXPECT_GT(result.predictedError, 1.0);
    EXPECT_LT(result.predictedError, 3.0);
    int rough = 0;
    for (const a::FrameVerdict &v : result.verdicts)
        rough += v.reason == "ring not planar";
    EXPECT_GT(rough, 80);
}

// A ball crossing the logo while the ring stays smooth: the frames look
// usable, but the pixels it covers are far off the first fit and left out.
TEST(Recovery, ObjectsCrossingTheLogoAreLeftOut) {
    const t::GeneratedLogo logo = t::textLogo(150, 8, 0.5, 0xF0F0F0);
    t::Scene scene = sceneWith(t::Background::Planar, 0, logo);
    for (int64_t from = 0; from < scene.frames; from += 40)
        scene.balls.push_back({from, from + 11, 150, 12, 178, 16, 5, 0x181818});
    t::GeneratedSource source(scene);
    a::Options options;
    options.rect = a::Rect{143, 1, 42, 28};
    a::Result result = a::analyze(source, options);
    t::Accuracy acc = t::accuracy(result, logo);
    EXPECT_LT(acc.meanOpacityError, 0.005);
    EXPECT_LE(acc.worstBlack, 2);
    EXPECT_LE(acc.worstWhite, 2);
}

TEST(Recovery, DimFootageKeepsTheWholeLogo) {
    // Over a dark background that varies by a few levels a faint light logo
    // and a strong dark one look alike; the letters must not come out
    // missing where the frames alone leave the opacity to noise.
    const t::GeneratedLogo logo = t::textLogo(150, 8, 0.6, 0xF0F0F0);
    t::Scene scene = sceneWith(t::Background::Dim, 3, logo);
    scene.frames = 80;
    t::GeneratedSource source(scene);
    a::Result result = a::analyze(source, {});
    t::Accuracy acc = t::accuracy(result, logo);
    EXPECT_LT(acc.meanOpacityError, 0.025);
    int missing = 0;
    for (int y = 0; y < result.rect.height; ++y)
        for (int x = 0; x < result.rect.width; ++x)
            if (logo.at(result.rect.x + x, result.rect.y + y) >= 0.3 &&
                result.opacity[static_cast<size_t>(y) * result.rect.width + x] < 0.15)
                ++missing;
    EXPECT_EQ(missing, 0);
}

TEST(Recovery, LogoOfTwoColours) {
    // The colour lent to poorly seen pixels is their neighbours', so a
    // yellow emblem beside white letters keeps both colours.
    t::Scene scene = sceneWith(t::Background::Mixed, 1.5, t::textLogo(140, 8, 0.6, 0xF0F0F0));
    scene.logos.push_back(t::emblemLogo(124, 8, 7, 0.6, 0xFFC828));
    t::GeneratedSource source(scene);
    a::Options options;
    options.rect = a::Rect{118, 3, 68, 26};
    a::Result result = a::analyze(source, options);
    for (const t::GeneratedLogo &logo : scene.logos) {
        t::Accuracy acc = t::accuracy(result, logo);
        SCOPED_TRACE(testing::Message() << "logo at " << logo.x << "," << logo.y);
        EXPECT_LT(acc.meanOpacityError, 0.005);
        EXPECT_LE(acc.worstBlack, 2);
        EXPECT_LE(acc.worstWhite, 2);
    }
}

TEST(Recovery, SameInputSameResult) {
    t::Scene scene = sceneWith(t::Background::Mixed, 1.5, t::emblemLogo(160, 6, 8, 0.5, 0xE0E0FF));
    scene.countKnown = false; // also without a frame count
    a::Result runs[2];
    for (a::Result &r : runs) {
        t::GeneratedSource source(scene);
        a::Options options;
        std::string passes;
        options.progress = [&](const std::string &pass, double done) {
            if (done == 1.0)
                passes += pass + " ";
        };
        r = a::analyze(source, options);
        EXPECT_EQ(passes, "locating analysing ");
    }
    EXPECT_EQ(std::memcmp(&runs[0].rect, &runs[1].rect, sizeof(a::Rect)), 0);
    EXPECT_EQ(runs[0].opacity, runs[1].opacity);
    EXPECT_EQ(runs[0].black.pixels, runs[1].black.pixels);
    EXPECT_EQ(runs[0].white.pixels, runs[1].white.pixels);
    EXPECT_EQ(runs[0].mask.pixels, runs[1].mask.pixels);
    EXPECT_EQ(runs[0].predictedError, runs[1].predictedError);
    ASSERT_EQ(runs[0].candidates.size(), runs[1].candidates.size());
    for (size_t i = 0; i < runs[0].candidates.size(); ++i)
        EXPECT_EQ(runs[0].candidates[i].notes, runs[1].candidates[i].notes);
}

// The bitmap set as files, through the module's own loader and un-blending:
// the logo rectangle comes back as the background it covered.
TEST(Recovery, FoundSetUnblendsThroughTheModule) {
    const t::GeneratedLogo logo = t::textLogo(150, 8, 0.6, 0xF0F0E8);
    const t::Scene scene = sceneWith(t::Background::Planar, 0, logo);
    t::GeneratedSource source(scene);
    a::Result result = a::analyze(source, {});
    const a::Rect r = result.rect;

    const std::filesystem::path dir = pendra::host::executableFolder() / "found";
    std::filesystem::create_directories(dir);
    const a::Picture *members[] = {&result.black, &result.white, &result.mask};
    for (int i = 0; i < 3; ++i) {
        t::BmpImage image = t::BmpImage::filled(r.width, r.height, 0);
        for (int y = 0; y < r.height; ++y)
            for (int x = 0; x < r.width; ++x)
                image.at(r.height - 1 - y, x) = members[i]->at(x, y); // bitmaps are bottom-up
        t::writeBmp(dir / ("logo" + std::to_string(i) + ".bmp"), image);
    }

    t::removeDefaultsFile();
    auto module = t::loadModule();
    pendra::host::FilterInstance instance(t::pendraFilter(*module));
    FilterSettings &s = instance.dataAs<FilterSettings>();
    std::strncpy(s.bitmapPath, (dir / "logo0.bmp").string().c_str(), sizeof s.bitmapPath - 1);
    s.x = r.x, s.y = r.y, s.alpha = 255, s.bb = 0, s.noiseL = 0;
    instance.setFrames(scene.width, scene.height);
    ASSERT_EQ(instance.start(), 0);
    EXPECT_EQ(s.blackMode, 2);
    double squares = 0;
    int count = 0;
    for (int64_t f = 0; f < 20; ++f) {
        for (int y = 0; y < scene.height; ++y)
            for (int x = 0; x < scene.width; ++x)
                instance.source().atPicture(x, y) = t::scenePixel(scene, f, x, y);
        ASSERT_EQ(instance.run(static_cast<int32_t>(f)), 0);
        for (int y = r.y; y < r.y + r.height; ++y)
            for (int x = r.x; x < r.x + r.width; ++x) {
                uint32_t out = instance.destination().atPicture(x, y);
                uint32_t clean = t::backgroundPixel(scene, f, x, y);
                for (int c = 0; c < 3; ++c) {
                    double d = double((out >> (8 * c)) & 255) - double((clean >> (8 * c)) & 255);
                    squares += d * d;
                    ++count;
                }
            }
    }
    EXPECT_EQ(instance.end(), 0);
    double psnr = 10 * std::log10(255.0 * 255.0 * count / std::max(squares, 1e-9));
    EXPECT_GT(psnr, 40.0) << "rectangle PSNR against the clean background";
}
