// What `pendra process` leaves of the input: with lossless output every
// sample outside the logo rectangle stays as decoded, whatever the input's
// depth, range, colour matrix or RGB-ness; inside it the filter's pixels come
// back close, converted with the input's own matrix and range. The filter
// run on the region alone, skipping frames out of range, gives exactly what a
// run on whole frames, frame after frame, gives. A failing stage of the
// pipeline stops it all.
#include "cli/bmp_file.h"
#include "cli/commands.h"
#include "cli/filter_job.h"
#include "cli/filter_session.h"
#include "cli/pixel_convert.h"
#include "cli/process_video.h"
#include "cli/video_reader.h"
#include "host/module_library.h"
#include "tests/cli/command_runner.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>

namespace fs = std::filesystem;
using namespace pendra::cli;
using pendra::host::FrameBuffer;
using pendra::test::leftNoOutput;
using pendra::test::makeClip;

namespace {

// Odd position and size: the rectangle does not fall on the chroma grid.
constexpr int logoX = 51, logoY = 37, logoW = 27, logoH = 19;
constexpr int frames = 16;

fs::path here(const std::string &name) {
    return pendra::host::executableFolder() / name;
}

Options optionsFor(int start, int alpha) {
    Options o;
    o.command = Command::Process;
    o.settings.logo = here("logo0.bmp").string();
    o.settings.values = {{"x", logoX},     {"y", logoY}, {"alpha", alpha},
                         {"start", start}, {"side", 1},  {"noiseL", 0}};
    o.run.builtInDefaults = true;
    return o;
}

std::vector<FramePtr> decodeAll(const fs::path &path) {
    VideoReader reader(path.string());
    std::vector<FramePtr> out;
    while (AVFrame *picture = reader.nextFrame())
        out.emplace_back(av_frame_clone(picture));
    return out;
}

FrameBuffer toRgb(const AVFrame &picture) {
    FrameBuffer rgb(picture.width, picture.height);
    ToModulePixels().convert(picture, rgb);
    return rgb;
}

bool insideRectangle(int x, int line) {
    return x >= logoX && x < logoX + logoW && line >= logoY && line < logoY + logoH;
}

// Samples of `got` that differ from `want`, leaving out those with a pixel
// in the rectangle when `outsideOnly`; both pictures planar, of one format and size.
int changedSamples(const AVFrame &want, const AVFrame &got, bool outsideOnly) {
    const AVPixFmtDescriptor *d = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(want.format));
    const int bytes = (d->comp[0].depth + 7) / 8;
    int changed = 0;
    for (int p = 0; p < av_pix_fmt_count_planes(static_cast<AVPixelFormat>(want.format)); ++p) {
        bool chroma = !(d->flags & AV_PIX_FMT_FLAG_RGB) && (p == 1 || p == 2);
        int sx = chroma ? d->log2_chroma_w : 0, sy = chroma ? d->log2_chroma_h : 0;
        int w = AV_CEIL_RSHIFT(want.width, sx), h = AV_CEIL_RSHIFT(want.height, sy);
        for (int line = 0; line < h; ++line)
            for (int x = 0; x < w; ++x) {
                bool covers = (x + 1) << sx > logoX && x << sx < logoX + logoW &&
                              (line + 1) << sy > logoY && line << sy < logoY + logoH;
                const uint8_t *a = want.data[p] + line * want.linesize[p] + x * bytes;
                const uint8_t *b = got.data[p] + line * got.linesize[p] + x * bytes;
                changed +=
                    !(outsideOnly && covers) && std::memcmp(a, b, static_cast<size_t>(bytes)) != 0;
            }
    }
    return changed;
}

EncoderChoice lossless(const char *codec, bool qualityZero) {
    EncoderChoice e;
    e.codec = codec;
    if (qualityZero)
        e.crf = 0; // lossless for x264's 8-bit encoders
    return e;
}

double psnr(double squaredError, int64_t samples) {
    if (squaredError == 0)
        return 99;
    return 10 * std::log10(255.0 * 255.0 * static_cast<double>(samples) / squaredError);
}

double squaredDifference(uint32_t a, uint32_t b) {
    double sum = 0;
    for (int shift : {16, 8, 0}) {
        double d = static_cast<double>((a >> shift) & 0xFF) - ((b >> shift) & 0xFF);
        sum += d * d;
    }
    return sum;
}

struct InputCase {
    const char *name;
    std::string makeArgs;  // ffmpeg arguments from the RGB source to the input clip
    std::string container; // extension
    EncoderChoice encoder; // lossless for this format
    double closeDecibels;  // the rectangle's least PSNR, output against the filter's pixels
    double matrixDecibels; // the filter's input against the RGB source, in the rectangle
};

class FaithfulOutput : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        // An RGB source, lossless, from which every input is made with FFmpeg's own scaler.
        makeClip("-f lavfi -i testsrc2=size=160x120:rate=25:duration=0.64 -c:v ffv1 -pix_fmt bgr0",
                 here("source.mkv"));
        // Smooth colours, so that 4:2:0 loses little and a wrong matrix shows.
        makeClip("-f lavfi -i gradients=size=160x120:rate=25:duration=0.64:speed=0.05 -c:v ffv1 "
                 "-pix_fmt bgr0",
                 here("smooth.mkv"));
        pendra::test::writeTestLogoSet("logo", logoW, logoH);
    }
};

const std::vector<InputCase> &inputCases() {
    static const std::vector<InputCase> cases = {
        {"yuv420p, limited range, BT.601",
         "-vf scale=out_color_matrix=bt601:out_range=tv -pix_fmt yuv420p -colorspace bt470bg "
         "-color_range tv -c:v ffv1",
         "mkv", lossless("ffv1", false), 45, 45},
        {"yuv420p, limited range, BT.709",
         "-vf scale=out_color_matrix=bt709:out_range=tv -pix_fmt yuv420p -colorspace bt709 "
         "-color_range tv -c:v ffv1",
         "mkv", lossless("ffv1", false), 45, 45},
        {"yuvj420p, full range",
         "-vf scale=out_color_matrix=bt601:out_range=pc -pix_fmt yuvj420p -colorspace bt470bg "
         "-color_range pc -c:v libx264 -qp 0",
         "mkv", lossless("libx264", true), 45, 45},
        {"yuv420p10le, BT.709",
         "-vf scale=out_color_matrix=bt709:out_range=tv -pix_fmt yuv420p10le -colorspace bt709 "
         "-color_range tv -c:v ffv1",
         "mkv", lossless("ffv1", false), 45, 45},
        {"gbrp", "-c:v libx264rgb -qp 0", "mkv", lossless("libx264rgb", true), 60, 60},
    };
    return cases;
}

TEST_F(FaithfulOutput, OnlyTheRectangleChangesAndItComesBackClose) {
    const std::vector<FramePtr> source = decodeAll(here("smooth.mkv"));
    ASSERT_EQ(source.size(), static_cast<size_t>(frames));
    int number = 0;
    for (const InputCase &c : inputCases()) {
        SCOPED_TRACE(c.name);
        const std::string stem = "input" + std::to_string(number++);
        fs::path input = here(stem + "." + c.container), output = here(stem + "-out.mkv");
        makeClip("-i '" + here("smooth.mkv").string() + "' " + c.makeArgs, input);
        fs::remove(output);

        const Options options = optionsFor(4, 255);
        FilterJob sessionJob(options);
        FilterSession &session = *sessionJob.chain().front();
        // The filter's rectangle per frame, as it got it and as it left it.
        std::map<int64_t, std::vector<uint32_t>> before, after;
        processVideo(input.string(), output.string(), {&session}, c.encoder,
                     [&](int64_t n, const RegionPixels &in, const RegionPixels &out) {
                         for (int line = logoY; line < logoY + logoH; ++line)
                             for (int x = logoX; x < logoX + logoW; ++x) {
                                 before[n].push_back(in.atPicture(x, line));
                                 after[n].push_back(out.atPicture(x, line));
                             }
                     });

        const std::vector<FramePtr> in = decodeAll(input), got = decodeAll(output);
        ASSERT_EQ(got.size(), in.size());
        ASSERT_EQ(before.size(), static_cast<size_t>(frames - 4)) << "frames 4 on ran";
        double outputError = 0, matrixError = 0;
        int64_t samples = 0;
        for (size_t n = 0; n < in.size(); ++n) {
            ASSERT_EQ(got[n]->format, in[n]->format);
            if (n < 4) {
                EXPECT_EQ(changedSamples(*in[n], *got[n], false), 0) << "frame " << n;
                continue;
            }
            EXPECT_EQ(changedSamples(*in[n], *got[n], true), 0) << "frame " << n;
            FrameBuffer result = toRgb(*got[n]), original = toRgb(*source[n]);
            size_t k = 0;
            for (int line = 0; line < 120; ++line)
                for (int x = 0; x < 160; ++x) {
                    if (!insideRectangle(x, line))
                        continue;
                    outputError += squaredDifference(result.atPicture(x, line), after[n][k]);
                    matrixError += squaredDifference(original.atPicture(x, line), before[n][k]);
                    samples += 3;
                    ++k;
                }
        }
        EXPECT_GE(psnr(outputError, samples), c.closeDecibels);
        EXPECT_GE(psnr(matrixError, samples), c.matrixDecibels);
    }
}

// The filter on whole frames, every frame, against the command's run on the
// region with frames out of range skipped: the same rectangle, word for word.
TEST_F(FaithfulOutput, TheRegionAloneGivesWhatTheWholeFrameGives) {
    for (const char *format : {"yuv420p", "yuv420p10le", "yuv422p"}) {
        SCOPED_TRACE(format);
        fs::path input = here(std::string("whole-") + format + ".mkv");
        makeClip("-i '" + here("source.mkv").string() + "' -pix_fmt " + format +
                     " -colorspace bt709 -c:v ffv1",
                 input);
        // Repair, blurs and a fade: every stage whose state runs from frame to frame.
        Options options = optionsFor(3, 128);
        options.settings.values["end"] = 12;
        options.settings.values["fadeIn"] = 2;
        // One instance of the module at a time: the whole frames first.
        std::vector<std::vector<uint32_t>> expected;
        {
            FilterJob wholeJob(options);
            FilterSession &whole = *wholeJob.chain().front();
            VideoReader reader(input.string());
            whole.checkRectangle(reader.width(), reader.height(), input.string());
            whole.start(reader.width(), reader.height());
            ToModulePixels toModule;
            for (int32_t n = 0; AVFrame *picture = reader.nextFrame(); ++n) {
                toModule.convert(*picture, whole.source());
                whole.run(n);
                std::vector<uint32_t> &rect = expected.emplace_back();
                for (int line = logoY; line < logoY + logoH; ++line)
                    for (int x = logoX; x < logoX + logoW; ++x)
                        rect.push_back(whole.destination().at(119 - line, x));
            }
        }
        ASSERT_EQ(expected.size(), static_cast<size_t>(frames));
        FilterJob sessionJob(options);
        FilterSession &session = *sessionJob.chain().front();
        VideoReader reader(input.string());
        std::unique_ptr<RegionFilter> filter;
        int64_t compared = 0;
        for (int64_t n = 0; AVFrame *picture = reader.nextFrame(); ++n) {
            if (!filter)
                filter = std::make_unique<RegionFilter>(FilterChain{&session}, *picture, "input");
            filter->process(*picture, n);
            EXPECT_EQ(filter->ran(), n >= 3 && n <= 12) << "frame " << n;
            if (!filter->ran())
                continue;
            ++compared;
            size_t k = 0;
            for (int line = logoY; line < logoY + logoH; ++line)
                for (int x = logoX; x < logoX + logoW; ++x, ++k)
                    ASSERT_EQ(filter->after().atPicture(x, line),
                              expected[static_cast<size_t>(n)][k])
                        << "frame " << n << " x " << x << " line " << line;
        }
        EXPECT_EQ(compared, 10);
    }
}

TEST_F(FaithfulOutput, RgbInputBecomesRgbOr444WithTheUsualEncoder) {
    fs::path input = here("rgb.mkv"), output = here("rgb-out.mp4");
    makeClip("-i '" + here("source.mkv").string() + "' -c:v libx264rgb -qp 0", input);
    fs::remove(output);
    const Options options = optionsFor(0, 255);
    FilterJob sessionJob(options);
    FilterSession &session = *sessionJob.chain().front();
    processVideo(input.string(), output.string(), {&session}, EncoderChoice{});
    VideoReader reader(output.string());
    AVFrame *picture = reader.nextFrame();
    ASSERT_NE(picture, nullptr);
    const AVPixFmtDescriptor *d = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(picture->format));
    EXPECT_TRUE((d->flags & AV_PIX_FMT_FLAG_RGB) ||
                (d->log2_chroma_w == 0 && d->log2_chroma_h == 0))
        << av_get_pix_fmt_name(static_cast<AVPixelFormat>(picture->format));
}

TEST_F(FaithfulOutput, AFailingStageStopsTheRunAndLeavesNoOutput) {
    fs::path output = here("stopped.mkv");
    fs::remove(output);
    const Options options = optionsFor(0, 255);
    FilterJob sessionJob(options);
    FilterSession &session = *sessionJob.chain().front();
    try {
        processVideo(here("source.mkv").string(), output.string(), {&session},
                     lossless("ffv1", false),
                     [](int64_t n, const RegionPixels &, const RegionPixels &) {
                         if (n == 5)
                             throw CliError("stopped at frame 5");
                     });
        FAIL() << "the filtering stage's failure was lost";
    } catch (const CliError &e) {
        EXPECT_STREQ(e.what(), "stopped at frame 5");
    }
    EXPECT_TRUE(leftNoOutput(output));
}

} // namespace
