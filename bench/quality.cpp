#include "bench/quality.h"

#include "bench/bench_setup.h"
#include "bench/ffmpeg_logo_filter.h"
#include "module/filter_settings.h"

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
}

namespace pendra::bench {

namespace {

constexpr int qualityFrames = 16; // one cut, at frame 12
const double opacities[] = {0.25, 0.5, 0.75};

// Squared error summed over the rectangle's channels, and the number of terms.
struct ErrorSum {
    double squares = 0;
    double count = 0;
    void add(const Picture &a, const Picture &b) {
        int baseRow = a.height - logoY - logoHeight;
        for (int row = baseRow; row < baseRow + logoHeight; ++row)
            for (int col = logoX; col < logoX + logoWidth; ++col)
                for (int shift = 0; shift <= 16; shift += 8) {
                    double d = static_cast<int>((a.at(row, col) >> shift) & 255) -
                               static_cast<int>((b.at(row, col) >> shift) & 255);
                    squares += d * d;
                    count += 1;
                }
    }
    double psnr() const {
        return squares == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 * count / squares);
    }
};

const std::vector<Picture> &cleanFootage() {
    static const std::vector<Picture> frames = [] {
        FootageGenerator generator(frameWidth, frameHeight, 12);
        std::vector<Picture> out(qualityFrames);
        for (int n = 0; n < qualityFrames; ++n)
            generator.frame(n, out[n]);
        return out;
    }();
    return frames;
}

// Pendra's PSNR on the footage with the logo, with the given bitmaps and settings.
double pendraPsnr(const std::vector<Picture> &marked, const LogoSet &set,
                  const std::function<void(FilterSettings &)> &configure) {
    PendraRunner runner(frameWidth, frameHeight, false, set, logoX, logoY, configure);
    ErrorSum error;
    Picture out;
    for (int n = 0; n < qualityFrames; ++n) {
        runner.load(marked[n]);
        runner.run(n);
        runner.output(out);
        error.add(out, cleanFootage()[n]);
    }
    return error.psnr();
}

// An FFmpeg filter's PSNR, against the clean picture through the same yuv420p
// round trip, so that only the filter's own error counts.
double ffmpegPsnr(const std::vector<Picture> &marked, const std::string &graph) {
    FfmpegLogoFilter filter(frameWidth, frameHeight, graph);
    AVFrame *in = allocYuvFrame(frameWidth, frameHeight);
    ErrorSum error;
    Picture out{frameWidth, frameHeight,
                std::vector<uint32_t>(static_cast<size_t>(frameWidth) * frameHeight)};
    Picture clean = out;
    for (int n = 0; n < qualityFrames; ++n) {
        rgbToYuv(marked[n].pixels.data(), frameWidth, frameHeight, frameWidth, *in);
        yuvToRgb(filter.process(*in), out.pixels.data(), frameWidth, frameHeight, frameWidth);
        rgbToYuv(cleanFootage()[n].pixels.data(), frameWidth, frameHeight, frameWidth, *in);
        yuvToRgb(*in, clean.pixels.data(), frameWidth, frameHeight, frameWidth);
        error.add(out, clean);
    }
    av_frame_free(&in);
    return error.psnr();
}

void quiet(FilterSettings &s) {
    s.noiseL = 0;
}

} // namespace

void printQualityTable() {
    std::printf("\nQuality: PSNR (dB) of the %dx%d rectangle against the clean picture, "
                "%d frames of generated footage\n",
                logoWidth, logoHeight, qualityFrames);
    std::printf("  %-48s", "method \\ logo opacity");
    for (double a : opacities)
        std::printf("  %6.2f", a);
    std::printf("\n");
    struct Row {
        const char *name;
        std::vector<double> psnr;
    };
    std::vector<Row> rows = {{"logo left in (no filter)", {}},
                             {"Pendra un-blend, black + white captures", {}},
                             {"Pendra un-blend, black capture + white level", {}},
                             {"Pendra repair only (defaults)", {}},
                             {"FFmpeg delogo (yuv420p)", {}},
                             {"FFmpeg removelogo (yuv420p)", {}}};
    for (double opacity : opacities) {
        Logo logo = Logo::make(logoWidth, logoHeight, opacity);
        std::vector<Picture> marked = cleanFootage();
        for (Picture &p : marked)
            overlayLogo(p, logo, logoX, logoY);
        std::string tag = std::to_string(static_cast<int>(opacity * 100));
        LogoSet both{workFolder() / ("quality-" + tag)};
        both.write(logo);
        LogoSet blackOnly{workFolder() / ("quality-black-" + tag), false, true};
        blackOnly.write(logo);

        ErrorSum untouched;
        for (int n = 0; n < qualityFrames; ++n)
            untouched.add(marked[n], cleanFootage()[n]);
        rows[0].psnr.push_back(untouched.psnr());
        // Un-blending alone: alpha 255 shows the un-blended picture; no blur or noise.
        auto unblendOnly = [](FilterSettings &s) {
            quiet(s);
            s.alpha = 255;
            s.bb = 0;
        };
        rows[1].psnr.push_back(pendraPsnr(marked, both, unblendOnly));
        rows[2].psnr.push_back(pendraPsnr(marked, blackOnly, [&](FilterSettings &s) {
            unblendOnly(s);
            s.white = 250; // the logo's brightest channel
        }));
        rows[3].psnr.push_back(pendraPsnr(marked, both, quiet));
        rows[4].psnr.push_back(ffmpegPsnr(marked, delogoGraph()));
        rows[5].psnr.push_back(ffmpegPsnr(marked, removelogoGraph()));
    }
    for (const Row &row : rows) {
        std::printf("  %-48s", row.name);
        for (double v : row.psnr)
            std::printf("  %6.2f", v);
        std::printf("\n");
    }
}

} // namespace pendra::bench
