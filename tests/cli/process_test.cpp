// The pendra command run on small clips made here with the ffmpeg command.
#include "cli/bmp_file.h"
#include "host/module_library.h"
#include "tests/cli/command_runner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

namespace fs = std::filesystem;
using pendra::cli::RgbImage;
using namespace pendra::test;

namespace {

constexpr int logoX = 40, logoY = 30, logoW = 24, logoH = 16;

fs::path here(const std::string &name) {
    return pendra::host::executableFolder() / name;
}

std::vector<std::string> logoOptions() {
    return {"--logo", here("logo0.bmp").string(), "--x", std::to_string(logoX),
            "--y",    std::to_string(logoY),      "-y"};
}

bool insideRectangle(int x, int line) {
    return x >= logoX && x < logoX + logoW && line >= logoY && line < logoY + logoH;
}

// Pixels (in picture coordinates) where two frames differ.
std::vector<std::pair<int, int>> differences(const pendra::host::FrameBuffer &a,
                                             const pendra::host::FrameBuffer &b) {
    std::vector<std::pair<int, int>> out;
    for (int line = 0; line < a.height(); ++line)
        for (int x = 0; x < a.width(); ++x)
            if (a.at(a.height() - 1 - line, x) != b.at(b.height() - 1 - line, x))
                out.emplace_back(x, line);
    return out;
}

class PendraCommand : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        // H.264 and AAC at NTSC's rate, as from a camera or a download.
        makeClip("-f lavfi -i testsrc2=size=160x120:rate=30000/1001:duration=2 "
                 "-f lavfi -i sine=frequency=440:duration=2 -c:v libx264 -pix_fmt yuv420p "
                 "-c:a aac -shortest",
                 here("camera.mp4"));
        // Lossless RGB with PCM sound: decoded pixels compare exactly.
        makeClip("-f lavfi -i testsrc2=size=160x120:rate=25:duration=1.2 "
                 "-f lavfi -i sine=frequency=300:duration=1.2 -c:v ffv1 -pix_fmt bgr0 "
                 "-c:a pcm_s16le -shortest",
                 here("lossless.mkv"));
        // The same in 4:2:0, as most video is.
        makeClip("-i '" + here("lossless.mkv").string() + "' -c:v ffv1 -pix_fmt yuv420p -c:a copy",
                 here("planar.mkv"));
        writeTestLogoSet("logo", logoW, logoH);
        writeTestLogoSet("edge", logoW, logoH, {.maskTouchesEdge = true});
    }
};

TEST_F(PendraCommand, OutputKeepsFrameCountSizeRateAndSound) {
    fs::path out = here("camera-out.mp4");
    fs::remove(out);
    CommandResult r = runPendra(join({"process", "camera.mp4", out.string()}, logoOptions()));
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    // Captures over black and white and nothing else set: pure un-blending, said in one line.
    EXPECT_EQ(r.errors.rfind("pendra: settings: x 40, y 30, alpha ", 0), 0u) << r.errors;
    EXPECT_NE(r.errors.find("bitmap blur 0, noise 0"), std::string::npos) << r.errors;
    EXPECT_EQ(std::count(r.errors.begin(), r.errors.end(), '\n'), 1) << r.errors;

    VideoContents in = readVideo(here("camera.mp4")), got = readVideo(out);
    EXPECT_EQ(got.frames.size(), in.frames.size());
    EXPECT_EQ(got.width, 160);
    EXPECT_EQ(got.height, 120);
    EXPECT_EQ(got.frameRate.num, 30000);
    EXPECT_EQ(got.frameRate.den, 1001);
    EXPECT_EQ(got.videoCodec, "h264");
    EXPECT_EQ(got.audioCodec, "aac");
    EXPECT_FALSE(in.audioBytes.empty());
    EXPECT_TRUE(got.audioBytes == in.audioBytes) << "the sound was not copied unchanged";
}

TEST_F(PendraCommand, AFrameCountingContainerGetsEveryFrameOnce) {
    // Matroska's millisecond timestamps into AVI, which counts frames.
    fs::path out = here("counted.avi");
    CommandResult r = runPendra(join({"process", "lossless.mkv", out.string()}, logoOptions()));
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    VideoContents got = readVideo(out);
    EXPECT_EQ(got.frames.size(), 30u);
    EXPECT_EQ(got.frameRate.num, 25);
    EXPECT_EQ(got.frameRate.den, 1);
    EXPECT_EQ(got.audioCodec, "pcm_s16le");
}

TEST_F(PendraCommand, LosslessOutputChangesOnlyTheRectangleOfFramesInRange) {
    fs::path out = here("range.mkv");
    CommandResult r =
        runPendra(join({"process", "lossless.mkv", out.string(), "--codec", "ffv1", "--start", "10",
                        "--end", "19", "--alpha", "255", "--bitmap-blur", "0", "--noise", "0"},
                       logoOptions()));
    ASSERT_EQ(r.exitCode, 0) << r.errors;

    VideoContents in = readVideo(here("lossless.mkv")), got = readVideo(out);
    ASSERT_EQ(got.frames.size(), 30u);
    ASSERT_EQ(in.frames.size(), 30u);
    EXPECT_EQ(got.audioCodec, "pcm_s16le");
    EXPECT_TRUE(got.audioBytes == in.audioBytes);
    for (size_t n = 0; n < got.frames.size(); ++n) {
        auto changed = differences(in.frames[n], got.frames[n]);
        if (n < 10 || n > 19) {
            EXPECT_TRUE(changed.empty()) << "frame " << n << " is outside the range";
            continue;
        }
        EXPECT_FALSE(changed.empty()) << "frame " << n << " was not filtered";
        for (auto [x, line] : changed)
            ASSERT_TRUE(insideRectangle(x, line))
                << "frame " << n << " changed at x " << x << ", line " << line;
    }
}

TEST_F(PendraCommand, FramesOutOfRangeOfA420VideoAreNotConvertedBackAndForth) {
    fs::path out = here("planar-range.mkv");
    CommandResult r = runPendra(join(
        {"process", "planar.mkv", out.string(), "--codec", "ffv1", "--start", "10", "--end", "19"},
        logoOptions()));
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    VideoContents in = readVideo(here("planar.mkv")), got = readVideo(out);
    ASSERT_EQ(got.frames.size(), in.frames.size());
    for (size_t n = 0; n < got.frames.size(); ++n)
        if (n < 10 || n > 19)
            EXPECT_TRUE(got.frames[n].samePixels(in.frames[n])) << "frame " << n;
        else
            EXPECT_FALSE(got.frames[n].samePixels(in.frames[n])) << "frame " << n;
}

TEST_F(PendraCommand, JobFileAndTheSameOptionsGiveIdenticalOutput) {
    fs::path job = here("saved.job"), a = here("from-options.mkv"), b = here("from-job.mkv");
    std::vector<std::string> settings =
        join(logoOptions(), {"--alpha", "128", "--start", "5", "--fade-in", "3", "--threshold2",
                             "30", "--blur3", "12", "--side", "north"});
    CommandResult r1 = runPendra(join({"process", "lossless.mkv", a.string(), "--codec", "ffv1",
                                       "--noise", "0", "--save-job", job.string()},
                                      settings));
    ASSERT_EQ(r1.exitCode, 0) << r1.errors;
    CommandResult r2 = runPendra({"process", "lossless.mkv", b.string(), "--codec", "ffv1",
                                  "--noise", "0", "--job", job.string(), "-y"});
    ASSERT_EQ(r2.exitCode, 0) << r2.errors;

    VideoContents in = readVideo(here("lossless.mkv"));
    VideoContents fromOptions = readVideo(a), fromJob = readVideo(b);
    ASSERT_EQ(fromOptions.frames.size(), fromJob.frames.size());
    bool filtered = false;
    for (size_t n = 0; n < fromJob.frames.size(); ++n) {
        EXPECT_TRUE(fromOptions.frames[n].samePixels(fromJob.frames[n])) << "frame " << n;
        filtered = filtered || !fromJob.frames[n].samePixels(in.frames[n]);
    }
    EXPECT_TRUE(filtered) << "the settings did not reach the filter";
}

TEST_F(PendraCommand, TraceGoesToTheNamedFileForEachFrameInRange) {
    fs::path trace = here("run-trace.txt");
    fs::remove(trace);
    CommandResult r = runPendra(join({"process", "lossless.mkv", "traced.mkv", "--start", "3",
                                      "--end", "5", "--trace", trace.string()},
                                     logoOptions()));
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    std::ifstream in(trace);
    std::string first;
    std::getline(in, first);
    EXPECT_EQ(first, "Frame: 5"); // rewritten for every frame: the last one stays
}

TEST_F(PendraCommand, PreviewShowsTheProcessedFrameBesideTheInput) {
    fs::path png = here("preview.png"), video = here("preview-ref.mkv");
    std::vector<std::string> settings = join(logoOptions(), {"--noise", "0", "--alpha", "0"});
    CommandResult r = runPendra(
        join({"preview", "lossless.mkv", "--frame", "12", "--out", png.string()}, settings));
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    r = runPendra(join({"process", "lossless.mkv", video.string(), "--codec", "ffv1"}, settings));
    ASSERT_EQ(r.exitCode, 0) << r.errors;

    VideoContents picture = readVideo(png);
    ASSERT_EQ(picture.frames.size(), 1u);
    ASSERT_EQ(picture.width, 2 * 160 + 16);
    ASSERT_EQ(picture.height, 120);
    const VideoContents input = readVideo(here("lossless.mkv")), output = readVideo(video);
    const auto &canvas = picture.frames[0];
    const auto &before = input.frames[12];
    const auto &after = output.frames[12];
    // Away from the rectangle's outline both halves are the frames themselves.
    auto nearOutline = [](int x, int line) {
        return x >= logoX - 2 && x < logoX + logoW + 2 && line >= logoY - 2 &&
               line < logoY + logoH + 2 && !insideRectangle(x, line);
    };
    int outlined = 0;
    for (int line = 0; line < 120; ++line)
        for (int x = 0; x < 160; ++x) {
            uint32_t left = canvas.at(119 - line, x), right = canvas.at(119 - line, 176 + x);
            if (nearOutline(x, line)) {
                outlined += left == 0xFFE000 && right == 0xFFE000;
                continue;
            }
            ASSERT_EQ(left, before.at(119 - line, x)) << x << "," << line;
            ASSERT_EQ(right, after.at(119 - line, x)) << x << "," << line;
        }
    EXPECT_EQ(outlined, (logoW + 4) * (logoH + 4) - logoW * logoH);
}

// The PSNR the demo prints on the line that begins with `label` ("... 57.1 dB ...").
double demoDecibels(const std::string &report, const std::string &label) {
    size_t at = report.find("  " + label);
    size_t unit = report.find(" dB", at);
    if (at == std::string::npos || unit == std::string::npos)
        return -1;
    size_t value = report.rfind(' ', unit - 1) + 1;
    return std::stod(report.substr(value, unit - value));
}

TEST_F(PendraCommand, DemoTakesItsLogoOutAndReportsWhatEachSettingAchieves) {
    fs::path folder = here("demo");
    fs::remove_all(folder);
    CommandResult r = runPendra({"demo", "--folder", folder.string()});
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    double withLogo = demoDecibels(r.output, "with the logo");
    double suited = demoDecibels(r.output, "pure un-blending");
    double defaults = demoDecibels(r.output, "built-in defaults");
    EXPECT_LT(withLogo, 25) << r.output;
    EXPECT_GT(suited, 45) << r.output; // the captures undo the blend up to rounding
    EXPECT_GT(defaults, withLogo) << r.output;
    EXPECT_LT(defaults, suited) << r.output;

    for (const char *name : {"clip-with-logo.mkv", "logo0.bmp", "logo1.bmp", "logo2.bmp",
                             "logo-removed.job", "before-after.png", "logo-removed-defaults.mp4"})
        EXPECT_TRUE(fs::exists(folder / name)) << name;
    VideoContents clip = readVideo(folder / "clip-with-logo.mkv");
    VideoContents out = readVideo(folder / "logo-removed.mp4");
    EXPECT_EQ(out.frames.size(), clip.frames.size());
    EXPECT_EQ(out.audioCodec, "aac");
    EXPECT_TRUE(out.audioBytes == clip.audioBytes);
}

struct ErrorCase {
    const char *what;
    std::vector<std::string> args;
    const char *output;
    std::string message;
    int exitCode;
};

TEST_F(PendraCommand, EachFailureNamesTheFileAndLeavesNoOutput) {
    std::ofstream(here("notes.mp4")) << "not a video\n";
    // A bitmap stored top line first: a negative height.
    pendra::cli::writeBmp(here("flip0.bmp"), RgbImage(logoW, logoH));
    {
        std::fstream f(here("flip0.bmp"), std::ios::in | std::ios::out | std::ios::binary);
        const int32_t height = -logoH;
        f.seekp(22);
        f.write(reinterpret_cast<const char *>(&height), 4);
    }
    const std::string logo = here("logo0.bmp").string();
    const std::vector<ErrorCase> cases = {
        {"missing input", join({"process", "absent.mp4", "out1.mp4"}, logoOptions()), "out1.mp4",
         "pendra: absent.mp4: cannot open: no such file or directory\n", 1},
        {"input not a video", join({"process", "notes.mp4", "out2.mp4"}, logoOptions()), "out2.mp4",
         "pendra: notes.mp4: not a video FFmpeg can read\n", 1},
        {"logo file missing",
         {"process", "lossless.mkv", "out3.mkv", "--logo", here("gone0.bmp").string()},
         "out3.mkv",
         "pendra: " + here("gone0.bmp").string() + ": cannot open: no such file or directory\n",
         1},
        {"logo set refused by the filter",
         {"process", "lossless.mkv", "out4.mkv", "--logo", here("edge0.bmp").string(), "--x", "40",
          "--y", "30"},
         "out4.mkv",
         "pendra: " + here("edge0.bmp").string() + ": the filter refused this logo set",
         1},
        {"rectangle outside the picture",
         {"process", "lossless.mkv", "out5.mkv", "--logo", logo, "--x", "150", "--y", "30"},
         "out5.mkv",
         "pendra: lossless.mkv: the logo rectangle (24x16 at x 150, y 30) does not fit in its "
         "160x120 picture\n",
         1},
        {"output folder missing",
         join({"process", "lossless.mkv", "no/such/folder/out6.mkv"}, logoOptions()),
         "no/such/folder/out6.mkv",
         "pendra: no/such/folder/out6.mkv: its folder no/such/folder does not exist\n", 1},
        {"frame past the end",
         join({"preview", "lossless.mkv", "--frame", "30", "--out", "out7.png"}, logoOptions()),
         "out7.png",
         "pendra: lossless.mkv: has only 30 frames; frame 30 is past its end (frames count "
         "from 0)\n",
         1},
        {"unknown option",
         {"process", "lossless.mkv", "out8.mkv", "--colour", "red"},
         "out8.mkv",
         "pendra: process: unknown option --colour (see pendra process --help)\n",
         2},
        {"no position for the logo",
         {"process", "lossless.mkv", "out9.mkv", "--logo", logo},
         "out9.mkv",
         "pendra: " + logo +
             ": where does the logo lie? Give --x and --y, or name the capture "
             "with its position, as in logo_x_504_y_20_0.bmp\n",
         2},
        {"no logo at all",
         {"process", "lossless.mkv", "out10.mkv", "--x", "4", "--y", "4"},
         "out10.mkv",
         "pendra: process needs the logo: --logo FILE (its capture over black, or the mask), or "
         "--job FILE, or --auto to find it (see pendra process --help)\n",
         2},
        {"a top-down bitmap",
         {"process", "lossless.mkv", "out11.mkv", "--logo", here("flip0.bmp").string(), "--x", "40",
          "--y", "30"},
         "out11.mkv",
         "pendra: " + here("flip0.bmp").string() + ": is stored top line first",
         1},
        {"a picture format by a name FFmpeg does not know",
         join({"preview", "lossless.mkv", "--frame", "3", "--out", "out12.pict"}, logoOptions()),
         "out12.pict",
         "pendra: out12.pict: cannot tell a picture format FFmpeg writes from the name", 2},
    };
    for (const ErrorCase &c : cases) {
        fs::remove(here(c.output)); // from an earlier run of the tests
        CommandResult r = runPendra(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.what;
        EXPECT_EQ(r.errors.substr(0, c.message.size()), c.message) << c.what;
        EXPECT_EQ(std::count(r.errors.begin(), r.errors.end(), '\n'), 1)
            << c.what << ": " << r.errors;
        EXPECT_TRUE(leftNoOutput(here(c.output))) << c.what;
    }
}

} // namespace
