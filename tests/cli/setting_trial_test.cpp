// The settings tried on sampled frames through the module: where the encoder
// smeared the logo's colour over the pixels just outside its mask, the repair
// from a wider mask leaves less of it and is chosen; where un-blending leaves
// the logo's outline over a textured ground, repairing its rims after it is;
// and the wide and rim sets stay beside the set only when the job names them.
#include "analysis/mask.h"
#include "cli/analysis_files.h"
#include "cli/bmp_file.h"
#include "cli/filter_session.h"
#include "cli/run_defaults.h"
#include "cli/setting_trial.h"
#include "cli/stretch_plan.h"
#include "host/module_library.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>

namespace a = pendra::analysis;
namespace c = pendra::cli;
namespace fs = std::filesystem;

namespace {

// A scratch folder beside the test program, wherever it is started from.
fs::path scratch(const std::string &name) {
    return pendra::host::executableFolder() / name;
}

constexpr int width = 40, height = 28;
// The logo: a block of opacity 0.6 in white, its mask grown by one pixel.
bool inLogo(int x, int y) {
    return x >= 14 && x < 26 && y >= 10 && y < 18;
}
// A box as wide as a channel's name, with a few pixels of ring around it.
bool inWideLogo(int x, int y) {
    return x >= 5 && x < 35 && y >= 6 && y < 22;
}

// A repair-only estimate of the block (or another shape) at 100, 60 with
// the sets written in `folder`.
a::LogoEstimate blockLogo(const fs::path &folder, bool (*shape)(int, int) = inLogo) {
    std::vector<a::PixelEstimate> estimates(size_t(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (shape(x, y)) {
                a::PixelEstimate &e = estimates[size_t(y) * width + x];
                e.opacity = 0.6;
                for (double &p : e.premultiplied)
                    p = 0.6 * 255;
            }
    const a::Captures captures = a::buildCaptures(estimates, width, height);
    a::LogoEstimate logo;
    logo.rect = {100, 60, width, height};
    logo.black = captures.black, logo.white = captures.white, logo.mask = captures.mask;
    for (const a::PixelEstimate &e : estimates)
        logo.opacity.push_back(float(e.opacity));
    logo.repairOnly = true;
    fs::create_directories(folder);
    for (char d : {'0', '1', '2'}) {
        const a::Picture &member = d == '0' ? logo.black : d == '1' ? logo.white : logo.mask;
        c::writeBmp(folder / c::logoSetName(100, 60, d), member);
        c::writeBmp(folder / c::wideSetName(100, 60, d),
                    d == '2' ? a::grownMask(logo.mask, c::wideMaskGrowth) : member);
    }
    c::writeBmp(folder / c::rimSetName(100, 60, '0'), a::Picture(width, height, 0));
    c::writeBmp(folder / c::rimSetName(100, 60, '1'), a::Picture(width, height, 0xFFFFFF));
    c::writeBmp(folder / c::rimSetName(100, 60, '2'), a::rimMask(logo.opacity, logo.mask));
    return logo;
}

// A smooth grey ground with the logo over it and, when `smear`, its colour
// bled one and two pixels past the mask as a strong encoder leaves it.
a::Picture frameWith(bool smear, int shade) {
    a::Picture p(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            int distance = 99;
            for (int v = 10; v < 18; ++v)
                for (int u = 14; u < 26; ++u)
                    distance = std::min(distance, std::max(std::abs(x - u), std::abs(y - v)));
            int level = shade + (x + y) / 4;
            if (distance == 0)
                level = int(0.4 * level + 0.6 * 255);
            else if (smear && distance <= 3)
                level += 60 / distance;
            p.at(x, y) = uint32_t(level) * 0x010101u;
        }
    return p;
}

std::vector<c::Trial> tryRepairs(const a::LogoEstimate &logo, const fs::path &folder, bool smear) {
    std::optional<c::ConfigValues> base =
        c::parseConfigLine("Config(\"" + (folder / c::logoSetName(100, 60, '0')).string() +
                           "\",2, 1, 100, 60, 0, 0, 0, 0, 0, 661800, 332800, 230, 0, 10)");
    EXPECT_TRUE(base.has_value());
    std::vector<a::Picture> frames;
    for (int shade : {70, 90, 110})
        frames.push_back(frameWith(smear, shade));
    std::vector<const a::Picture *> pointers;
    for (const a::Picture &f : frames)
        pointers.push_back(&f);
    return c::trySettings(*base, logo, logo.rect, pointers,
                          {{0, -1, "repair alone"}, {0, -1, "repair alone, wider", true}});
}

// A striped ground that shifts from frame to frame, with the block over it at
// 0.6, its outermost line at 0.4: a softer edge than the estimate's, as an
// encoder leaves it, which un-blending turns into a bright outline.
a::Picture texturedWithSoftEdge(int shift) {
    a::Picture p(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            double level = 90 + 40 * (((x + shift) / 3 + y / 5) % 2);
            if (inLogo(x, y)) {
                const bool edge = !inLogo(x - 1, y) || !inLogo(x + 1, y) || !inLogo(x, y - 1) ||
                                  !inLogo(x, y + 1);
                const double a = edge ? 0.4 : 0.6;
                level = (1 - a) * level + a * 255;
            }
            p.at(x, y) = uint32_t(level) * 0x010101u;
        }
    return p;
}

} // namespace

TEST(SettingTrial, RimsRepairedAfterUnBlendingWhereItLeavesTheOutline) {
    const fs::path folder = scratch("trial-rims");
    a::LogoEstimate logo = blockLogo(folder);
    logo.repairOnly = false;
    std::optional<c::ConfigValues> base =
        c::parseConfigLine("Config(\"" + (folder / c::logoSetName(100, 60, '0')).string() +
                           "\",2, 1, 100, 60, 0, 0, 0, 0, 255, 661800, 332800, 230, 0, 10)");
    ASSERT_TRUE(base.has_value());
    std::vector<a::Picture> frames;
    for (int shift : {0, 1, 2, 4})
        frames.push_back(texturedWithSoftEdge(shift));
    std::vector<const a::Picture *> pointers;
    for (const a::Picture &f : frames)
        pointers.push_back(&f);
    const std::vector<c::Trial> trials =
        c::trySettings(*base, logo, logo.rect, pointers,
                       {{255, -1, "un-blending alone"},
                        {255, -1, "un-blending, rims repaired", false, true},
                        {0, -1, "repair alone"}});
    ASSERT_EQ(trials.size(), 3u);
    EXPECT_LT(trials[1].residue.outline, trials[0].residue.outline / 2);
    EXPECT_TRUE(c::leastResidue(trials).candidate.rims);
    EXPECT_EQ(c::rimCall(*base).logo, (folder / c::rimSetName(100, 60, '0')).string());
    EXPECT_EQ(c::rimCall(*base).numbers.alpha, 0);
}

TEST(SettingTrial, AWiderMaskWinsWhereTheLogoSmearedPastItsMask) {
    const fs::path folder = scratch("trial-sets");
    const a::LogoEstimate logo = blockLogo(folder);
    const std::vector<c::Trial> smeared = tryRepairs(logo, folder, true);
    ASSERT_EQ(smeared.size(), 2u);
    EXPECT_LT(smeared[1].residue.total(), smeared[0].residue.total() / 2);
    EXPECT_TRUE(c::leastResidue(smeared).candidate.wide);
}

// A filter of `candidate` over the wide box's set written in `folder`, as
// the job runs it (noise 0), placed at the picture's corner and started.
struct BoxFilter {
    static c::SettingOptions noNoise() {
        c::SettingOptions run;
        run.set("noiseL", 0);
        return run;
    }
    c::RunDefaults defaults{c::installedDefaultsFile(), noNoise(), std::nullopt, 1u};
    c::FilterSession session{defaults, c::FilterSession::loadModule()};

    BoxFilter(const fs::path &folder, const c::SettingCandidate &candidate, int fadeIn = 0) {
        blockLogo(folder, inWideLogo);
        std::optional<c::ConfigValues> values =
            c::parseConfigLine("Config(\"" + (folder / c::logoSetName(100, 60, '0')).string() +
                               "\",2, 1, 0, 0, 0, 0, 0, 0, 0, 661800, 332800, 230, 0, 10)");
        c::applyCandidate(candidate, *values);
        values->numbers.fadeIn = fadeIn;
        session.configure(c::formatConfigLine(*values));
        session.start(width, height);
    }
    // Frame `number` of a ground of level(x, y) with the box blended over it.
    void run(int number, const std::function<double(int, int)> &level) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const double ground = level(x, y);
                const double seen = inWideLogo(x, y) ? 0.4 * ground + 0.6 * 255 : ground;
                session.source().atPicture(x, y) = uint32_t(seen) * 0x010101u;
            }
        session.run(number);
    }
    int at(int x, int y) { return int(session.destination().at(height - 1 - y, x) & 0xFF); }
};

// A wide box over a plain wall with light falling across it: the repair of
// every smoothed setting, from the module's passes as from four sides, and
// an un-blending filter's inside a fade, keeps the wall's own level in the
// box. The passes used to repair each pixel from the one repaired just
// before, each division rounding down, and left the box's middle darker
// (0.85 levels below the wall on the mean, against 0.58 for the one
// rounding down of a single interpolation).
TEST(SettingTrial, EveryRepairKeepsAPlainWallsLevelAcrossAWideBox) {
    // A gentle slope, as light falls on a wall.
    auto ground = [](int x, int y) { return 120 + 0.7 * x + 0.4 * y; };
    for (const c::SettingCandidate &candidate :
         {c::SettingCandidate{0, 255, "repair alone, smoothed"},
          c::SettingCandidate{0, 255, "from four sides", false, false, true},
          c::SettingCandidate{255, 255, "un-blending, fading in"}}) {
        BoxFilter filter(scratch("trial-plain-wall"), candidate, candidate.alpha == 255 ? 4 : 0);
        filter.run(0, ground);
        // The box's middle lines, where a chain of repairs had run longest.
        double error = 0;
        int count = 0;
        for (int y = 11; y < 17; ++y)
            for (int x = 8; x < 32; ++x, ++count)
                error += filter.at(x, y) - std::floor(ground(x, y));
        EXPECT_GT(error / count, -0.7) << candidate.name;
    }
}

// A pole comes into a plain scene and crosses the box: the repair follows it
// on the very frame, though it changes only a few of the pixels along the
// box's edge. The module's own scene-change default waits for a tenth of
// them and kept the repair of the plain wall.
TEST(SettingTrial, TheRepairFollowsASmallChangeAroundTheBox) {
    BoxFilter filter(scratch("trial-pole"), {0, -1, "repair alone"});
    filter.run(0, [](int, int) { return 100; });
    filter.run(1, [](int x, int) { return x >= 18 && x <= 20 ? 20 : 100; });
    // The pole through the middle of the box.
    EXPECT_LT(filter.at(19, 14), 80);
    EXPECT_EQ(filter.at(10, 14), 100);
}

// The wide and rim sets are written beside the set for the trial and kept
// only when a filter of the job names them; a mark repaired alone has nothing
// to un-blend and gets no rim set.
TEST(SettingTrial, TheSetsBesideStayOnlyWhenTheJobUsesThem) {
    using Namer = std::string (*)(int, int, char);
    const Namer named[] = {c::logoSetName, c::wideSetName, c::rimSetName};
    for (int used = 0; used < 3; ++used)
        for (bool repairOnly : {false, true}) {
            const fs::path folder =
                scratch("sets-" + std::to_string(used) + (repairOnly ? "-repair" : ""));
            fs::remove_all(folder);
            a::Result result;
            static_cast<a::LogoEstimate &>(result) = blockLogo(folder / "made");
            result.repairOnly = repairOnly;
            result.presence = {{0, 9, 0, 0}};
            c::writeAnalysisFolder(folder, result, {}, a::Picture(200, 120), [&] {
                c::JobPlan plan;
                pendra::host::JobEntry entry;
                entry.filterName = "Pendra";
                entry.call = "Config(\"" + (folder / named[used](100, 60, '0')).string() +
                             "\",2, 1, 100, 60, 0, 9, 0, 0, 0, 661800, 332800, 230, 0, 10)";
                plan.entries.push_back(entry);
                return plan;
            });
            for (char d : {'0', '1', '2'}) {
                EXPECT_TRUE(fs::exists(folder / c::logoSetName(100, 60, d)));
                EXPECT_EQ(fs::exists(folder / c::wideSetName(100, 60, d)), used == 1) << folder;
                EXPECT_EQ(fs::exists(folder / c::rimSetName(100, 60, d)), used == 2 && !repairOnly)
                    << folder;
            }
        }
}
