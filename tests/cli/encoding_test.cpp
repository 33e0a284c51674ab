// How the pendra command encodes: each encoder's quality scale behind --crf
// and --bitrate, the default quality of each kind of file measured against
// H.264 at CRF 18, the settings an encoder cannot use refused before any work,
// and picture sizes a 4:2:0 encoder cannot take explained with the cure.
#include "cli/video_reader.h"
#include "cli/video_writer.h"
#include "host/module_library.h"
#include "tests/cli/command_runner.h"

#include <gtest/gtest.h>

#include <cmath>

namespace fs = std::filesystem;
using namespace pendra::test;
using pendra::cli::CliError;
using pendra::cli::EncoderChoice;

namespace {

fs::path here(const std::string &name) {
    return pendra::host::executableFolder() / name;
}

// The tests' logo set, at x 40, y 30.
constexpr int logoX = 40, logoY = 30, logoW = 24, logoH = 16;

CommandResult process(const std::string &input, const fs::path &output,
                      std::vector<std::string> extra = {}) {
    fs::remove(output);
    std::vector<std::string> args = {"process", input, output.string()};
    for (const std::string &a : testLogoOptions(logoX, logoY))
        args.push_back(a);
    args.insert(args.end(), extra.begin(), extra.end());
    return runPendra(args);
}

// PSNR of every colour channel over all frames, outside the logo rectangle:
// what the encoder alone did to the picture.
double psnrOutsideLogo(const VideoContents &a, const VideoContents &b) {
    EXPECT_EQ(a.frames.size(), b.frames.size());
    double squares = 0;
    int64_t samples = 0;
    for (size_t n = 0; n < std::min(a.frames.size(), b.frames.size()); ++n)
        for (int line = 0; line < a.height; ++line)
            for (int x = 0; x < a.width; ++x) {
                if (x >= logoX && x < logoX + logoW && line >= logoY && line < logoY + logoH)
                    continue;
                uint32_t p = a.frames[n].at(a.height - 1 - line, x);
                uint32_t q = b.frames[n].at(b.height - 1 - line, x);
                for (int shift = 0; shift < 24; shift += 8) {
                    double d = static_cast<double>((p >> shift) & 0xFF) - ((q >> shift) & 0xFF);
                    squares += d * d;
                    ++samples;
                }
            }
    return 10 * std::log10(255.0 * 255.0 * static_cast<double>(samples) / squares);
}

bool haveEncoder(const char *name) {
    return avcodec_find_encoder_by_name(name) != nullptr;
}

class PendraEncoding : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        // Fine grain that a starved encoder visibly smears.
        makeClip("-f lavfi -i testsrc2=size=320x240:rate=25:duration=1,noise=alls=16:allf=t "
                 "-c:v ffv1 -pix_fmt yuv420p",
                 here("grain.mkv"));
        // Light grain, which every encoder below can carry at either rate of the test.
        makeClip("-f lavfi -i testsrc2=size=320x240:rate=25:duration=2,noise=alls=4:allf=t "
                 "-c:v ffv1 -pix_fmt yuv420p",
                 here("light.mkv"));
        // An odd size in 4:2:0, as some cropped or resized video has.
        makeClip("-f lavfi -i testsrc=size=161x121:rate=25:duration=0.4 -c:v ffv1 -pix_fmt yuv420p",
                 here("odd.mkv"));
    }
};

TEST_F(PendraEncoding, EveryKindOfFileDefaultsToAQualityNearH264AtCrf18) {
    const VideoContents in = readVideo(here("grain.mkv"));
    ASSERT_EQ(process("grain.mkv", here("reference.mp4")).exitCode, 0);
    const double reference = psnrOutsideLogo(in, readVideo(here("reference.mp4")));
    std::vector<std::pair<std::string, std::string>> kinds = {
        {"default.avi", "mpeg4"}, {"default.mkv", "h264"}, {"default.mpg", "mpeg1video"}};
    if (haveEncoder("libvpx-vp9"))
        kinds.emplace_back("default.webm", "vp9");
    for (const auto &[name, codec] : kinds) {
        SCOPED_TRACE(name);
        CommandResult r = process("grain.mkv", here(name));
        ASSERT_EQ(r.exitCode, 0) << r.errors;
        VideoContents got = readVideo(here(name));
        EXPECT_EQ(got.videoCodec, codec);
        EXPECT_GT(psnrOutsideLogo(in, got), reference - 1.5) << "H.264 CRF 18: " << reference;
    }
}

TEST_F(PendraEncoding, CrfWorksOnEachEncodersOwnScale) {
    const VideoContents in = readVideo(here("grain.mkv"));
    struct Case {
        const char *name, *codec, *better, *worse;
    };
    std::vector<Case> cases = {{"q.avi", "mpeg4", "2", "12"},
                               {"q.mkv", "libx264", "16", "30"},
                               {"q.mpg", "mpeg1video", "2", "12"},
                               {"j.mkv", "mjpeg", "2", "12"}};
    if (haveEncoder("libvpx-vp9"))
        cases.push_back({"q.webm", "libvpx-vp9", "20", "50"});
    for (const Case &c : cases) {
        SCOPED_TRACE(c.codec);
        const fs::path better = here(std::string("better-") + c.name);
        const fs::path worse = here(std::string("worse-") + c.name);
        ASSERT_EQ(process("grain.mkv", better, {"--codec", c.codec, "--crf", c.better}).exitCode,
                  0);
        ASSERT_EQ(process("grain.mkv", worse, {"--codec", c.codec, "--crf", c.worse}).exitCode, 0);
        EXPECT_GT(fs::file_size(better), fs::file_size(worse) * 3 / 2);
        EXPECT_GT(psnrOutsideLogo(in, readVideo(better)),
                  psnrOutsideLogo(in, readVideo(worse)) + 3);
    }
}

TEST_F(PendraEncoding, ASettingTheEncoderCannotUseIsRefusedBeforeAnyWork) {
    const struct {
        std::vector<std::string> options;
        std::string message;
    } cases[] = {
        {{"--codec", "ffv1", "--crf", "10"},
         "pendra: --crf: the ffv1 encoder is lossless and takes no quality or bit rate\n"},
        {{"--codec", "mpeg4", "--crf", "40"},
         "pendra: --crf 40: the mpeg4 encoder's quantiser runs from 1 to 31 (lower is better)\n"},
        {{"--codec", "libx264", "--crf", "52"},
         "pendra: --crf 52: the libx264 encoder's CRF runs from 0 to 51 (lower is better)\n"},
        {{"--codec", "cinepak", "--crf", "10"},
         "pendra: --crf: the cinepak encoder has no quality scale; give --bitrate\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.message);
        const fs::path out = here(c.options[1] == "cinepak" ? "refused.avi" : "refused.mkv");
        CommandResult r = process("grain.mkv", out, c.options);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.errors, c.message);
        EXPECT_TRUE(leftNoOutput(out));
    }
    // A quality and a rate together say two things.
    pendra::cli::VideoReader reader(here("grain.mkv").string());
    EncoderChoice both;
    both.crf = 20;
    both.bitrate = 1'000'000;
    EXPECT_THROW(pendra::cli::VideoWriter(here("both.mkv").string(), reader, both), CliError);
    EXPECT_TRUE(leftNoOutput(here("both.mkv")));
}

// Encodes the clip's frames as they are with `choice`; the video's bytes per second.
double encodedRate(const fs::path &output, const EncoderChoice &choice) {
    pendra::cli::VideoReader reader(here("light.mkv").string());
    double seconds = 0;
    {
        pendra::cli::VideoWriter writer(output.string(), reader, choice);
        while (AVFrame *frame = reader.nextFrame()) {
            writer.writeFrame(*frame);
            seconds += 1.0 / 25;
        }
        writer.finish();
    }
    return 8.0 * static_cast<double>(fs::file_size(output)) / seconds;
}

TEST_F(PendraEncoding, BitrateSetsTheRateOfEncodersWithAndWithoutAQualityScale) {
    for (const char *codec : {"mpeg4", "libx264"}) {
        SCOPED_TRACE(codec);
        EncoderChoice low, high;
        low.codec = high.codec = codec;
        low.bitrate = 600'000;
        high.bitrate = 2'400'000;
        // Rate control over two seconds is rough: within a factor of two.
        const double lowRate = encodedRate(here("low-rate.mkv"), low);
        const double highRate = encodedRate(here("high-rate.mkv"), high);
        EXPECT_GT(lowRate, 300'000);
        EXPECT_LT(lowRate, 1'200'000);
        EXPECT_GT(highRate, 1'200'000);
        EXPECT_LT(highRate, 4'800'000);
        EXPECT_GT(highRate, 2 * lowRate);
    }
}

TEST_F(PendraEncoding, AnOddSizeIn420IsExplainedWithTheCure) {
    CommandResult r = process("odd.mkv", here("odd.mp4"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.errors, "pendra: odd.mkv: its 161x121 pictures cannot be encoded by libx264 in "
                        "yuv420p: 4:2:0 needs an even width and height; give --pixel-format "
                        "yuv444p\n");
    EXPECT_TRUE(leftNoOutput(here("odd.mp4")));

    r = process("odd.mkv", here("odd.mp4"), {"--pixel-format", "yuv444p"});
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    VideoContents got = readVideo(here("odd.mp4"));
    EXPECT_EQ(got.width, 161);
    EXPECT_EQ(got.height, 121);
    EXPECT_EQ(got.frames.size(), 10u);
}

} // namespace
