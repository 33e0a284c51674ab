// pendra analyze and process --auto through the real command, on clips of
// generated scenes whose logo, opacity and presence are known: the folder's
// files, a job that replays and takes the logo out, byte-identical reruns,
// and the errors (missing input, bad --rect, existing files, a refusal) that
// must leave nothing behind.
#include "cli/config_line.h"
#include "host/module_library.h"
#include "tests/cli/command_runner.h"
#include "tests/support/scene_clip.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>

namespace fs = std::filesystem;
namespace t = pendra::test;
using t::runPendra;

namespace {

fs::path here(const std::string &name) {
    return pendra::host::executableFolder() / name;
}

std::string contents(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Present in frames 0..119 and 180..299, away for a break between.
t::Scene breakScene() {
    t::Scene scene;
    scene.frames = 300;
    scene.background = t::Background::Mixed;
    t::GeneratedLogo logo = t::textLogo(150, 8, 0.6, 0xF0F0F0);
    logo.presence = [](int64_t f) { return f >= 120 && f < 180 ? 0.0 : 1.0; };
    scene.logos.push_back(logo);
    return scene;
}

int channelError(uint32_t a, uint32_t b) {
    int worst = 0;
    for (int shift : {0, 8, 16})
        worst = std::max(worst, std::abs(int(a >> shift & 0xFF) - int(b >> shift & 0xFF)));
    return worst;
}

class Analyze : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        scene_ = breakScene();
        t::writeSceneClip(scene_, here("break.mkv"));
        t::Scene still = breakScene();
        still.background = t::Background::Still;
        still.frames = 120;
        t::writeSceneClip(still, here("still.mkv"));
        t::Scene empty = breakScene();
        empty.logos.clear();
        empty.frames = 90;
        empty.blackFrames = 8;
        t::writeSceneClip(empty, here("nologo.mkv"));
    }
    static t::Scene scene_;
};

t::Scene Analyze::scene_;

namespace {

// Each filter's first and last frame, in the job's order: the fifth and
// sixth numbers after the set's name.
std::vector<std::pair<int, int>> filterRanges(const std::string &job) {
    std::vector<std::pair<int, int>> ranges;
    for (size_t at = job.find(".Config(\""); at != std::string::npos;
         at = job.find(".Config(\"", at + 1)) {
        std::istringstream numbers(job.substr(job.find('"', at + 9) + 2));
        std::vector<int> n(6);
        char comma = 0;
        for (int &v : n)
            numbers >> v >> comma;
        ranges.emplace_back(n[4], n[5]);
    }
    return ranges;
}

} // namespace

TEST_F(Analyze, WritesTheSetJobFindingsAndPictures) {
    fs::remove_all(here("found"));
    t::CommandResult r = runPendra({"analyze", here("break.mkv").string(), "--out", "found"});
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    const fs::path folder = here("found");

    nlohmann::json j = nlohmann::json::parse(contents(folder / "analysis.json"));
    const int x = j["rect"]["x"], y = j["rect"]["y"], w = j["rect"]["width"],
              h = j["rect"]["height"];
    // The rectangle holds the logo with a little room, and names the set.
    const t::GeneratedLogo &logo = scene_.logos[0];
    EXPECT_LE(x, logo.x);
    EXPECT_LE(y, logo.y);
    EXPECT_GE(x + w, logo.x + logo.width);
    EXPECT_GE(y + h, logo.y + logo.height);
    EXPECT_LE(logo.x - x, 10);
    EXPECT_LE(x + w - logo.x - logo.width, 10);
    const std::string stem = "logo_x_" + std::to_string(x) + "_y_" + std::to_string(y) + "_";
    for (char digit : {'0', '1', '2'})
        EXPECT_TRUE(fs::exists(folder / (stem + digit + ".bmp"))) << stem << digit;
    EXPECT_FALSE(j["candidates"].empty());
    EXPECT_GT(j["frames"]["accepted"].get<int>(), 0);
    EXPECT_EQ(j["frames"]["read"].get<int>(), 300);
    EXPECT_NEAR(j["opacity"]["max"].get<double>(), 0.6, 0.03);

    // Two ranges around the break; the job's filters (a stretch or more
    // each) cover them and leave the break alone.
    ASSERT_EQ(j["presence"].size(), 2u);
    EXPECT_LE(std::abs(j["presence"][0]["end"].get<int>() - 119), 2);
    EXPECT_LE(std::abs(j["presence"][1]["start"].get<int>() - 180), 2);
    const std::string job = contents(folder / "logo.job");
    std::vector<std::pair<int, int>> ranges = filterRanges(job);
    ASSERT_GE(ranges.size(), 2u) << job;
    std::sort(ranges.begin(), ranges.end());
    EXPECT_EQ(ranges.front().first, j["presence"][0]["start"].get<int>());
    EXPECT_EQ(ranges.back().second, j["presence"][1]["end"].get<int>());
    for (size_t i = 1; i < ranges.size(); ++i)
        EXPECT_TRUE(ranges[i].first == ranges[i - 1].second + 1 ||
                    ranges[i].first == j["presence"][1]["start"].get<int>())
            << job;
    for (const auto &[first, last] : ranges)
        EXPECT_TRUE(last <= j["presence"][0]["end"].get<int>() ||
                    first >= j["presence"][1]["start"].get<int>())
            << job;
    // The job runs as it stands: without noise, which would only add to what it restores.
    EXPECT_NE(job.find("\n// pendra process: --noise 0\n"), std::string::npos) << job;
    // The set's path is absolute, so the job runs from any folder.
    EXPECT_NE(job.find(".Config(\"" + (folder / stem).string()), std::string::npos) << job;

    // Pictures for a person: the opacity four times enlarged, and a whole frame.
    t::VideoContents alpha = t::readVideo(folder / "alpha.png");
    EXPECT_EQ(alpha.width, 4 * w);
    EXPECT_EQ(alpha.height, 4 * h);
    t::VideoContents found = t::readVideo(folder / "found.png");
    EXPECT_EQ(found.width, scene_.width);

    // The same input, the same files.
    fs::remove_all(here("again"));
    ASSERT_EQ(runPendra({"analyze", here("break.mkv").string(), "--out", "again"}).exitCode, 0);
    for (const auto &entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name != "logo.job") {
            EXPECT_EQ(contents(entry.path()), contents(here("again") / name)) << name;
        }
    }
}

TEST_F(Analyze, LocationSeeksWhereKeyframesAllow) {
    // The same clip with a keyframe every five frames: the location lands on
    // its samples instead of decoding the whole video, and finds the same place.
    t::makeClip("-i " + here("break.mkv").string() + " -c:v libx264rgb -qp 0 -g 5 -an",
                here("keyframes.mkv"));
    fs::remove_all(here("by-seeking"));
    fs::remove_all(here("in-order"));
    ASSERT_EQ(
        runPendra({"analyze", here("keyframes.mkv").string(), "--out", "by-seeking"}).exitCode, 0);
    ASSERT_EQ(runPendra({"analyze", here("break.mkv").string(), "--out", "in-order"}).exitCode, 0);
    nlohmann::json seeking = nlohmann::json::parse(contents(here("by-seeking") / "analysis.json"));
    nlohmann::json inOrder = nlohmann::json::parse(contents(here("in-order") / "analysis.json"));
    EXPECT_EQ(seeking["rect"], inOrder["rect"]);
    EXPECT_GE(seeking["frames"]["sampled"].get<int>(), 24);
    EXPECT_LE(seeking["frames"]["decoded"].get<int>(), 300 + 60);
    EXPECT_EQ(seeking["presence"], inOrder["presence"]);
}

TEST_F(Analyze, JobReplaysAndTakesTheLogoOut) {
    fs::remove_all(here("replay"));
    ASSERT_EQ(runPendra({"analyze", here("break.mkv").string(), "--out", "replay"}).exitCode, 0);
    fs::remove(here("clean.mkv"));
    t::CommandResult r = runPendra({"process", here("break.mkv").string(), "clean.mkv", "--job",
                                    (here("replay") / "logo.job").string(), "--codec", "ffv1"});
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    t::VideoContents in = t::readVideo(here("break.mkv"));
    t::VideoContents out = t::readVideo(here("clean.mkv"));
    ASSERT_EQ(out.frames.size(), 300u);

    const t::GeneratedLogo &logo = scene_.logos[0];
    double before = 0, after = 0;
    double pixels = 0;
    for (int64_t n = 0; n < 300; n += 7) {
        if (n >= 118 && n < 182)
            continue;
        for (int line = logo.y; line < logo.y + logo.height; ++line)
            for (int x = logo.x; x < logo.x + logo.width; ++x) {
                if (logo.at(x, line) < 0.05)
                    continue;
                const uint32_t truth = t::backgroundPixel(scene_, n, x, line);
                before += channelError(in.frames[n].atPicture(x, line), truth);
                after += channelError(out.frames[n].atPicture(x, line), truth);
                ++pixels;
            }
    }
    ASSERT_GT(pixels, 0);
    EXPECT_GT(before / pixels, 30);
    EXPECT_LT(after / pixels, 3) << "before " << before / pixels;
    // Frames of the break go through untouched.
    for (int64_t n = 125; n < 175; n += 10)
        EXPECT_TRUE(out.frames[n].samePixels(in.frames[n])) << "frame " << n;
}

// The module's fade window covers N + 1 frames: a fade of F partial frames is
// written as F - 1, so the job repairs exactly the frames where the logo is
// partly there.
TEST_F(Analyze, FadesAreWrittenAsTheModuleCountsThem) {
    t::Scene scene = breakScene();
    scene.frames = 240;
    // Away until frame 99, then 12 frames partly there (100..111).
    scene.logos[0].presence = [](int64_t f) {
        return f < 100 ? 0.0 : f < 112 ? double(f - 99) / 13 : 1.0;
    };
    t::writeSceneClip(scene, here("fade.mkv"));
    fs::remove_all(here("fade-logo"));
    t::CommandResult r = runPendra({"analyze", here("fade.mkv").string()});
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    nlohmann::json j = nlohmann::json::parse(contents(here("fade-logo") / "analysis.json"));
    ASSERT_EQ(j["presence"].size(), 1u);
    const int start = j["presence"][0]["start"], fadeIn = j["presence"][0]["fadeIn"];
    EXPECT_LE(std::abs(start - 100), 2);
    EXPECT_LE(std::abs(fadeIn - 12), 2);
    const std::string job = contents(here("fade-logo") / "logo.job");
    // The first stretch's filter carries the fade-in, the last reaches the end.
    const std::string range = ", " + std::to_string(start) + ", ";
    const size_t first = job.find(".Config(");
    ASSERT_NE(first, std::string::npos) << job;
    const std::string firstCall = job.substr(first, job.find('\n', first) - first);
    EXPECT_NE(firstCall.find(range), std::string::npos) << job << "\nwanted " << range;
    EXPECT_NE(firstCall.find(", " + std::to_string(fadeIn - 1) + ", 0, "), std::string::npos)
        << job;
    const std::vector<std::pair<int, int>> ranges = filterRanges(job);
    ASSERT_FALSE(ranges.empty());
    EXPECT_EQ(ranges.back().second, 239) << job;
}

TEST_F(Analyze, AutoAnalysesThenProcesses) {
    fs::remove_all(here("auto-logo"));
    fs::remove(here("auto.mkv"));
    t::CommandResult r = runPendra({"process", here("break.mkv").string(), "auto.mkv", "--auto"});
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    EXPECT_TRUE(fs::exists(here("auto.mkv")));
    EXPECT_TRUE(fs::exists(here("auto-logo") / "logo.job"));
    EXPECT_NE(r.errors.find("logo at x"), std::string::npos) << r.errors;
    // The output and the folder exist now: a rerun without -y is refused before any work.
    r = runPendra({"process", here("break.mkv").string(), "auto.mkv", "--auto"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.errors.find("auto.mkv"), std::string::npos) << r.errors;
    EXPECT_EQ(runPendra({"process", here("break.mkv").string(), "auto.mkv", "--auto", "--logo",
                         "x_0.bmp"})
                  .exitCode,
              2);
}

TEST_F(Analyze, ErrorsNameTheProblemAndLeaveNothing) {
    t::CommandResult r = runPendra({"analyze", "missing.mkv"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.errors.find("missing.mkv"), std::string::npos) << r.errors;
    EXPECT_FALSE(fs::exists(here("missing-logo")));

    for (const char *bad : {"1,2,3", "1,2,3,0", "a,b,c,d", "-1,0,10,10"}) {
        r = runPendra({"analyze", here("break.mkv").string(), "--rect", bad});
        EXPECT_EQ(r.exitCode, 2) << bad;
        EXPECT_NE(r.errors.find("--rect"), std::string::npos) << r.errors;
    }
    r = runPendra(
        {"analyze", here("break.mkv").string(), "--rect", "180,0,20,20", "--out", "outside"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.errors.find("192x108"), std::string::npos) << r.errors;
    EXPECT_FALSE(fs::exists(here("outside")));

    // An existing file of the folder is refused without -y, replaced with it.
    fs::remove_all(here("taken"));
    fs::create_directory(here("taken"));
    std::ofstream(here("taken") / "logo.job") << "mine";
    r = runPendra({"analyze", here("break.mkv").string(), "--out", "taken"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.errors.find("logo.job"), std::string::npos) << r.errors;
    EXPECT_EQ(contents(here("taken") / "logo.job"), "mine");
    // So is a member of any set the command writes, the rim set's too.
    fs::remove(here("taken") / "logo.job");
    std::ofstream(here("taken") / "rim_x_1_y_2_2.bmp") << "mine";
    r = runPendra({"analyze", here("break.mkv").string(), "--out", "taken"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.errors.find("rim_x_1_y_2_2.bmp"), std::string::npos) << r.errors;
    EXPECT_EQ(runPendra({"analyze", here("break.mkv").string(), "--out", "taken", "-y"}).exitCode,
              0);
}

// A static camera: refused in one line; what was looked at is left for the
// user (the findings and found.png), but no set and no job.
TEST_F(Analyze, ARefusalShowsWhatWasTriedAndWritesNoJob) {
    fs::remove_all(here("still-logo"));
    t::CommandResult r = runPendra({"analyze", here("still.mkv").string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(std::count(r.errors.begin(), r.errors.end(), '\n'), 1) << r.errors;
    EXPECT_NE(r.errors.find("still.mkv"), std::string::npos) << r.errors;
    const fs::path folder = here("still-logo");
    ASSERT_TRUE(fs::exists(folder / "analysis.json"));
    nlohmann::json j = nlohmann::json::parse(contents(folder / "analysis.json"));
    EXPECT_NE(j["refused"].get<std::string>().find("static camera"), std::string::npos) << j;
    EXPECT_EQ(t::readVideo(folder / "found.png").width, 192);
    EXPECT_FALSE(fs::exists(folder / "logo.job"));
    for (const auto &entry : fs::directory_iterator(folder))
        EXPECT_NE(entry.path().extension(), ".bmp") << entry.path();
}

// A clip without a logo that opens black: refused, and found.png shows the
// picture the analysis looked at, not the black opening.
TEST_F(Analyze, ARefusalPicturesAFrameOfThePictureNotItsBlackOpening) {
    fs::remove_all(here("nologo-logo"));
    t::CommandResult r = runPendra({"analyze", here("nologo.mkv").string()});
    EXPECT_EQ(r.exitCode, 1) << r.errors;
    const t::VideoContents found = t::readVideo(here("nologo-logo") / "found.png");
    ASSERT_FALSE(found.frames.empty());
    const pendra::host::FrameBuffer &picture = found.frames[0];
    int lit = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            const uint32_t p = picture.row(y)[x];
            lit += (p & 0xFF) + (p >> 8 & 0xFF) + (p >> 16 & 0xFF) > 3 * 24;
        }
    EXPECT_GT(lit, picture.width() * picture.height() / 2);
}

size_t configCalls(const std::string &job) {
    size_t calls = 0;
    for (size_t at = job.find(".Config(\""); at != std::string::npos;
         at = job.find(".Config(\"", at + 1))
        ++calls;
    return calls;
}

// A channel's logo and a programme tag in two corners: a set each, and a
// filter each at least (one a stretch).
TEST_F(Analyze, TwoLogosInTwoCornersGiveTwoFilters) {
    t::Scene scene;
    scene.frames = 240;
    scene.background = t::Background::Mixed;
    scene.logos.push_back(t::textLogo(150, 8, 0.6, 0xF0F0F0));
    scene.logos.push_back(t::textLogo(10, 84, 0.5, 0xF0F0A0));
    t::writeSceneClip(scene, here("two.mkv"));
    fs::remove_all(here("two-logo"));
    t::CommandResult r = runPendra({"analyze", here("two.mkv").string()});
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    EXPECT_NE(r.errors.find("another mark"), std::string::npos) << r.errors;
    const std::string job = contents(here("two-logo") / "logo.job");
    EXPECT_GE(configCalls(job), 2u) << job;
    nlohmann::json j = nlohmann::json::parse(contents(here("two-logo") / "analysis.json"));
    ASSERT_EQ(j["others"].size(), 1u);
    for (const nlohmann::json &rect : {j["rect"], j["others"][0]["rect"]}) {
        const std::string stem = "logo_x_" + std::to_string(rect["x"].get<int>()) + "_y_" +
                                 std::to_string(rect["y"].get<int>()) + "_";
        EXPECT_TRUE(fs::exists(here("two-logo") / (stem + "2.bmp"))) << stem;
        EXPECT_NE(job.find(stem + "0.bmp"), std::string::npos) << job;
    }
}

// A logo over busy pictures only: no frame shows it over smooth ground, yet
// the whole video tells its opacity, so the job un-blends it. Too short a
// stretch to tell leaves its shape repaired from around it (alpha 0), and the
// line says so.
TEST_F(Analyze, ALogoNeverOverSmoothGroundIsUnblendedOrElseRepaired) {
    t::Scene scene = breakScene();
    scene.frames = 200;
    scene.background = t::Background::Textured;
    scene.logos[0].presence = nullptr;
    for (const int64_t frames : {200, 20}) {
        SCOPED_TRACE(testing::Message() << frames << " frames");
        scene.frames = frames;
        t::writeSceneClip(scene, here("busy.mkv"));
        fs::remove_all(here("busy-logo"));
        t::CommandResult r = runPendra({"analyze", here("busy.mkv").string()});
        ASSERT_EQ(r.exitCode, 0) << r.errors;
        EXPECT_EQ(std::count(r.errors.begin(), r.errors.end(), '\n'), 1) << r.errors;
        const bool repaired = frames < 100;
        EXPECT_EQ(r.errors.find("repairs the whole mark") != std::string::npos, repaired)
            << r.errors;
        nlohmann::json j = nlohmann::json::parse(contents(here("busy-logo") / "analysis.json"));
        EXPECT_EQ(j["repairOnly"].get<bool>(), repaired);
        // Un-blending leads on busy ground; the stretch's measure may mix in some repair.
        if (repaired) {
            EXPECT_EQ(j["job"]["alpha"].get<int>(), 0);
        } else {
            EXPECT_GT(j["job"]["alpha"].get<int>(), 128);
            EXPECT_NEAR(j["opacity"]["max"].get<double>(), 0.6, 0.05);
        }
        EXPECT_EQ(configCalls(contents(here("busy-logo") / "logo.job")), 1u);
    }
}

} // namespace

namespace {

// Each Config call's start frame and alpha, in the job's order.
std::vector<std::pair<int, int>> startsAndAlphas(const std::string &job) {
    std::vector<std::pair<int, int>> out;
    for (size_t at = job.find("Config("); at != std::string::npos;
         at = job.find("Config(", at + 1)) {
        std::optional<pendra::cli::ConfigValues> v =
            pendra::cli::parseConfigLine(job.substr(at, job.find('\n', at) - at));
        if (v)
            out.emplace_back(v->numbers.start, v->numbers.alpha);
    }
    return out;
}

} // namespace

// A smooth shot, then a textured one, with coding-like noise: un-blending
// would lift the noise into a speckled logo over the smooth ground, and a
// repair would smooth the texture away, so each shot gets its own filter:
// the smooth one mostly repaired, the textured one mostly un-blended.
TEST_F(Analyze, EachShotGetsTheSettingThatLeavesLeastOfTheLogo) {
    t::Scene scene;
    scene.frames = 240;
    scene.shotLength = 120;
    scene.background = t::Background::Mixed; // planar shots even, textured odd
    scene.noise = 1.5;
    scene.logos.push_back(t::textLogo(150, 8, 0.7, 0xF0F0F0));
    t::writeSceneClip(scene, here("shots.mkv"));
    fs::remove_all(here("shots-logo"));
    t::CommandResult r = runPendra({"analyze", here("shots.mkv").string()});
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    const std::string job = contents(here("shots-logo") / "logo.job");
    nlohmann::json j = nlohmann::json::parse(contents(here("shots-logo") / "analysis.json"));
    const nlohmann::json &stretches = j["job"]["stretches"];
    ASSERT_EQ(stretches.size(), 2u);
    EXPECT_LE(stretches[0]["alpha"].get<int>(), 128) << job;
    EXPECT_GT(stretches[1]["alpha"].get<int>(), 128) << job;
    // A filter a stretch, followed by the rim set's repair where it repairs the rims.
    std::vector<std::pair<int, int>> expected;
    for (const nlohmann::json &s : stretches) {
        EXPECT_GE(s["tried"].size(), 3u) << s.dump();
        expected.push_back({s["start"].get<int>(), s["alpha"].get<int>()});
        if (s["rimsRepaired"].get<bool>())
            expected.push_back({s["start"].get<int>(), 0});
    }
    EXPECT_EQ(startsAndAlphas(job), expected) << job;
    EXPECT_EQ(stretches[1]["start"].get<int>(), 120);
    EXPECT_NE(r.errors.find(" in 120-239"), std::string::npos) << r.errors;
}
