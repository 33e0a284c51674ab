// The logo analysis's quality table: film-like footage generated with FFmpeg's
// sources (five shots with cuts, grain), a text-and-emblem logo of known
// opacity laid over it in RGB except for an 80-frame break, encoded with x264
// at CRF 18 in 4:2:0. The analysis is run on it, in this process (for its
// float opacities, time and memory) and as `pendra analyze` (for the folder
// the command writes), and its job replayed against the true captures and
// FFmpeg's delogo. Prints a Markdown table of the measures and their targets.
//   pendra-analysis-bench [PENDRA] [WORK_FOLDER] [--opacity-only]
#include "analysis/logo_analysis.h"
#include "bench/decoded_video.h"
#include "cli/analysis_source.h"
#include "cli/bmp_file.h"
#include "cli/clip_writer.h"
#include "cli/pixel_convert.h"
#include "cli/video_reader.h"

#include <nlohmann/json.hpp>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;
namespace a = pendra::analysis;
namespace cli = pendra::cli;

namespace {

constexpr int width = 640, height = 360, frames = 1000;
constexpr int logoX = 500, logoY = 20, logoW = 120, logoH = 48;
constexpr int breakStart = 480, breakEnd = 559; // the logo is away in these frames
constexpr uint32_t logoColour = 0xF0F0F0;

bool present(int64_t frame) {
    return frame < breakStart || frame > breakEnd;
}

void run(const std::string &command) {
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "analysis-bench: failed: %s\n", command.c_str());
        std::exit(1);
    }
}

// Five shots of 200 frames: drifting gradients, a Mandelbrot zoom, a blurred
// cellular pattern, faster gradients, a blurred automaton; grain on all.
void makeFootage(const fs::path &clean) {
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    const std::string shots[] = {
        "gradients=s=" + size + ":rate=25:speed=0.015:nb_colors=3:seed=3",
        "mandelbrot=s=" + size + ":rate=25:end_scale=0.05",
        "life=s=" + size +
            ":rate=25:mold=20:ratio=0.12:life_color=#c08040:"
            "death_color=#203050:mold_color=#406020,gblur=sigma=4",
        "gradients=s=" + size + ":rate=25:speed=0.04:nb_colors=5:seed=11",
        "cellauto=s=" + size +
            ":rate=25:rule=30:scroll=1,gblur=sigma=3,"
            "colorchannelmixer=rr=0.8:gg=0.5:bb=0.3",
    };
    std::string inputs, filter;
    int n = 0;
    for (const std::string &shot : shots) {
        inputs += " -f lavfi -i \"" + shot + "\"";
        filter += "[" + std::to_string(n) +
                  "]trim=end_frame=200,setpts=PTS-STARTPTS,format=rgb24[s" + std::to_string(n) +
                  "];";
        ++n;
    }
    for (int i = 0; i < n; ++i)
        filter += "[s" + std::to_string(i) + "]";
    filter += "concat=n=" + std::to_string(n) + ":v=1,noise=alls=4:allf=t,format=rgb24";
    run("ffmpeg -v error -nostdin -y" + inputs + " -filter_complex \"" + filter + "\" -frames:v " +
        std::to_string(frames) + " -c:v ffv1 " + clean.string());
}

// The benchmark's footage, decoded.
struct Video : pendra::bench::DecodedVideo {
    explicit Video(const fs::path &path) : DecodedVideo(path, width, height) {}
};

// The logo's opacity: an anti-aliased ring and dot at 0.75, the text "TV5" at 0.45.
std::vector<double> makeOpacity(const fs::path &work) {
    const fs::path text = work / "text.png";
    run("ffmpeg -v error -nostdin -y -f lavfi -i \"color=black:s=" + std::to_string(logoW) + "x" +
        std::to_string(logoH) +
        ",format=rgb24,drawtext=fontfile=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf:"
        "text=TV5:fontsize=30:fontcolor=white:x=50:y=10\" -frames:v 1 " +
        text.string());
    Video t(text);
    t.next();
    std::vector<double> opacity(static_cast<size_t>(logoW) * logoH);
    for (int line = 0; line < logoH; ++line)
        for (int x = 0; x < logoW; ++x) {
            const double cx = x + 0.5 - 24, cy = line + 0.5 - 24, r = std::hypot(cx, cy);
            const double ring = std::clamp(3.0 - std::abs(r - 14), 0.0, 1.0);
            const double dot = std::clamp(5.5 - r, 0.0, 1.0);
            const double letters = (t.at(x, line) & 0xFF) / 255.0;
            opacity[static_cast<size_t>(line) * logoW + x] =
                std::max({0.75 * ring, 0.75 * dot, 0.45 * letters});
        }
    return opacity;
}

uint32_t blend(uint32_t under, double alpha) {
    uint32_t out = 0;
    for (int shift : {0, 8, 16}) {
        const double s = under >> shift & 0xFF, l = logoColour >> shift & 0xFF;
        out |= static_cast<uint32_t>(std::lround((1 - alpha) * s + alpha * l)) << shift;
    }
    return out;
}

// Lays the logo over the clean footage in RGB (losslessly kept), then encodes
// the result as a broadcaster would.
void makeInput(const fs::path &clean, const std::vector<double> &opacity, const fs::path &work,
               const fs::path &input) {
    const fs::path logoed = work / "logoed.mkv";
    {
        cli::ClipFormat format;
        format.width = width;
        format.height = height;
        format.tone = false;
        cli::ClipWriter writer(logoed.string(), format);
        Video v(clean);
        for (int64_t n = 0; v.next(); ++n) {
            if (present(n))
                for (int line = 0; line < logoH; ++line)
                    for (int x = 0; x < logoW; ++x) {
                        uint32_t &p = v.frame.atPicture(logoX + x, logoY + line);
                        p = blend(p, opacity[static_cast<size_t>(line) * logoW + x]);
                    }
            writer.addFrame(v.frame);
        }
        writer.finish();
    }
    // A keyframe a second, as broadcast streams have (recordings of them are
    // what the analysis is for).
    run("ffmpeg -v error -nostdin -y -i " + logoed.string() +
        " -c:v libx264 -crf 18 -preset medium -g 25 -pix_fmt yuv420p " + input.string());
}

// The captures a user would make by hand, exactly.
std::string writeTrueSet(const std::vector<double> &opacity, const fs::path &work) {
    cli::RgbImage black(logoW, logoH), white(logoW, logoH), mask(logoW, logoH);
    for (int line = 0; line < logoH; ++line)
        for (int x = 0; x < logoW; ++x) {
            const double o = opacity[static_cast<size_t>(line) * logoW + x];
            black.at(x, line) = blend(0, o);
            white.at(x, line) = blend(0xFFFFFF, o);
            bool near = false;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const int nx = x + dx, ny = line + dy;
                    near = near || (nx >= 0 && nx < logoW && ny >= 0 && ny < logoH &&
                                    opacity[static_cast<size_t>(ny) * logoW + nx] > 0);
                }
            mask.at(x, line) = near ? 0xFFFFFF : 0;
        }
    const std::string stem =
        (work / ("true_x_" + std::to_string(logoX) + "_y_" + std::to_string(logoY) + "_")).string();
    cli::writeBmp(stem + "0.bmp", black);
    cli::writeBmp(stem + "1.bmp", white);
    cli::writeBmp(stem + "2.bmp", mask);
    return stem + "0.bmp";
}

double seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

double psnr(double squaredError, double samples) {
    return samples > 0 && squaredError > 0 ? 10 * std::log10(255.0 * 255.0 * samples / squaredError)
                                           : 99;
}

double squaredDifference(uint32_t p, uint32_t q) {
    double sum = 0;
    for (int shift : {0, 8, 16}) {
        const double d = double(p >> shift & 0xFF) - double(q >> shift & 0xFF);
        sum += d * d;
    }
    return sum;
}

struct Scores {
    double present = 0,
           absent =
               0; // PSNR of logo pixels against the clean frame; of the rectangle against the input
};

// Logo-pixel PSNR over the frames where the logo is present (two frames of
// slack at each boundary), and the logo rectangle's PSNR against the input
// where it is absent.
Scores score(const fs::path &output, const fs::path &clean, const fs::path &input,
             const std::vector<double> &opacity) {
    Video out(output), ref(clean), in(input);
    double presentError = 0, presentSamples = 0, absentError = 0, absentSamples = 0;
    for (int64_t n = 0; out.next() && ref.next() && in.next(); ++n) {
        const bool nearBoundary = std::abs(n - breakStart) <= 2 || std::abs(n - breakEnd) <= 2;
        if (nearBoundary)
            continue;
        for (int line = 0; line < logoH; ++line)
            for (int x = 0; x < logoW; ++x) {
                const int fx = logoX + x, fy = logoY + line;
                if (present(n)) {
                    if (opacity[static_cast<size_t>(line) * logoW + x] > 0) {
                        presentError += squaredDifference(out.at(fx, fy), ref.at(fx, fy));
                        presentSamples += 3;
                    }
                } else {
                    absentError += squaredDifference(out.at(fx, fy), in.at(fx, fy));
                    absentSamples += 3;
                }
            }
    }
    return {psnr(presentError, presentSamples), psnr(absentError, absentSamples)};
}

double decodeSeconds(const fs::path &input) {
    const auto started = std::chrono::steady_clock::now();
    cli::VideoReader reader(input.string());
    while (reader.nextFrame()) {
    }
    return seconds(started);
}

void row(const char *measure, const std::string &value, const char *target, bool met) {
    std::printf("| %s | %s | %s | %s |\n", measure, value.c_str(), target, met ? "met" : "missed");
}

std::string format(const char *pattern, double value) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

} // namespace

int main(int argc, char **argv) {
    const std::string pendra = fs::absolute(argc > 1 ? argv[1] : "build-native/bin/pendra");
    const fs::path work = fs::absolute(argc > 2 ? argv[2] : "/tmp/pendra-analysis-bench");
    fs::create_directories(work);
    av_log_set_level(AV_LOG_FATAL);

    const fs::path clean = work / "clean.mkv", input = work / "input.mp4";
    const std::vector<double> opacity = makeOpacity(work);
    if (!fs::exists(input)) {
        makeFootage(clean);
        makeInput(clean, opacity, work, input);
    }

    // The analysis in this process: its own time and memory, its float opacity.
    const double decoding = decodeSeconds(input);
    const auto started = std::chrono::steady_clock::now();
    cli::VideoFrameSource source(input.string());
    a::Result result;
    try {
        result = a::analyze(source, a::Options{});
    } catch (const a::Refusal &refusal) {
        std::fprintf(stderr, "analysis-bench: the analysis refused: %s\n", refusal.what());
        return 1;
    }
    const double analysing = seconds(started);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double rssMiB = static_cast<double>(usage.ru_maxrss) / 1024;

    // Opacity error over the logo's pixels (anywhere the true logo shows).
    double opacityError = 0, logoPixels = 0, edgeError = 0, edgePixels = 0;
    int left = logoW, top = logoH, right = -1, bottom = -1;
    for (int line = 0; line < logoH; ++line)
        for (int x = 0; x < logoW; ++x) {
            const double truth = opacity[static_cast<size_t>(line) * logoW + x];
            if (truth <= 0)
                continue;
            left = std::min(left, x), right = std::max(right, x);
            top = std::min(top, line), bottom = std::max(bottom, line);
            const int rx = logoX + x - result.rect.x, ry = logoY + line - result.rect.y;
            double estimate = 0;
            if (rx >= 0 && ry >= 0 && rx < result.rect.width && ry < result.rect.height)
                estimate = result.opacity[static_cast<size_t>(ry) * result.rect.width + rx];
            opacityError += std::abs(estimate - truth);
            ++logoPixels;
            if (truth < 0.3) { // the anti-aliased edges
                edgeError += std::abs(estimate - truth);
                ++edgePixels;
            }
        }
    opacityError /= logoPixels;
    const int slackLeft = logoX + left - result.rect.x, slackTop = logoY + top - result.rect.y;
    const int slackRight = result.rect.x + result.rect.width - (logoX + right + 1);
    const int slackBottom = result.rect.y + result.rect.height - (logoY + bottom + 1);
    const int worstSlack = std::max({slackLeft, slackTop, slackRight, slackBottom});
    const bool inside = std::min({slackLeft, slackTop, slackRight, slackBottom}) >= 0;

    // A quick look while tuning the fit: the opacity alone, nothing encoded.
    if (argc > 3 && std::string(argv[3]) == "--opacity-only") {
        std::printf("opacity error %.4f (edges %.4f, elsewhere %.4f), %d repair pixels\n",
                    opacityError, edgeError / edgePixels,
                    (opacityError * logoPixels - edgeError) / (logoPixels - edgePixels),
                    result.stats.repairPixels);
        return 0;
    }

    // Presence against the truth: 0..479 and 560..999.
    int64_t boundaryError = 1000;
    int fades = 0;
    for (const a::PresenceRange &p : result.presence)
        fades = std::max({fades, p.fadeIn, p.fadeOut});
    if (result.presence.size() == 2)
        boundaryError = std::max({std::llabs(result.presence[0].start - 0),
                                  std::llabs(result.presence[0].end - (breakStart - 1)),
                                  std::llabs(result.presence[1].start - (breakEnd + 1)),
                                  std::llabs(result.presence[1].end - (frames - 1))});

    // The command end to end, its job replayed; the true captures; delogo.
    const fs::path folder = work / "found";
    const std::string quiet = " >" + (work / "run.log").string() + " 2>&1";
    run(pendra + " analyze " + input.string() + " --out " + folder.string() + " -y" + quiet);
    run(pendra + " process " + input.string() + " " + (work / "estimated.mkv").string() +
        " --job " + (folder / "logo.job").string() + " --noise 0 --codec ffv1 -y" + quiet);
    int jobAlpha = 255;
    {
        std::ifstream json(folder / "analysis.json");
        jobAlpha = nlohmann::json::parse(json)["job"]["alpha"].get<int>();
    }
    const std::string trueSet = writeTrueSet(opacity, work);
    const std::string estimatedSet = (folder / ("logo_x_" + std::to_string(result.rect.x) + "_y_" +
                                                std::to_string(result.rect.y) + "_0.bmp"))
                                         .string();
    // Both sets over the whole clip at the same settings: pure un-blending,
    // and the alpha the job chose. Only frames with the logo are scored.
    auto withSet = [&](const std::string &set, int alpha, const std::string &name) {
        run(pendra + " process " + input.string() + " " + (work / name).string() + " --logo " +
            set + " --alpha " + std::to_string(alpha) +
            " --bitmap-blur 0 --noise 0 --codec ffv1 -y" + quiet);
        return score(work / name, clean, input, opacity);
    };
    const Scores estimatedPure = withSet(estimatedSet, 255, "estimated-255.mkv");
    const Scores capturesPure = withSet(trueSet, 255, "true-255.mkv");
    const Scores capturesJob = withSet(trueSet, jobAlpha, "true-job.mkv");
    run("ffmpeg -v error -nostdin -y -i " + input.string() + " -vf delogo=x=" +
        std::to_string(logoX) + ":y=" + std::to_string(logoY) + ":w=" + std::to_string(logoW) +
        ":h=" + std::to_string(logoH) + " -c:v ffv1 " + (work / "delogo.mkv").string());
    const Scores estimated = score(work / "estimated.mkv", clean, input, opacity);
    const Scores delogo = score(work / "delogo.mkv", clean, input, opacity);
    const Scores untouched = score(input, clean, input, opacity);

    // A static camera: one picture under the logo for the whole clip.
    const fs::path still = work / "still.mp4";
    run("ffmpeg -v error -nostdin -y -f lavfi -i \"mandelbrot=s=" + std::to_string(width) + "x" +
        std::to_string(height) + ",trim=end_frame=1,loop=loop=299:size=1,noise=alls=4:allf=t\" " +
        "-vf \"drawbox=x=" + std::to_string(logoX + 30) + ":y=" + std::to_string(logoY + 10) +
        ":w=60:h=24:color=white@0.5:t=fill\" -frames:v 300 -c:v libx264 -crf 18 -pix_fmt yuv420p " +
        still.string());
    const int stillExit = std::system((pendra + " analyze " + still.string() + " --out " +
                                       (work / "still-found").string() + " -y" + quiet)
                                          .c_str());

    std::printf("| Measure | Value | Target | |\n|---|---|---|---|\n");
    row("mean absolute opacity error over logo pixels", format("%.4f", opacityError), "<= 0.01",
        opacityError <= 0.01);
    row("rectangle: logo inside, most room on a side",
        std::string(inside ? "inside, " : "CUTS THE LOGO, ") + std::to_string(worstSlack) +
            " px (" + std::to_string(result.rect.x) + "," + std::to_string(result.rect.y) + " " +
            std::to_string(result.rect.width) + "x" + std::to_string(result.rect.height) + ")",
        "<= 10 px", inside && worstSlack <= 10);
    const std::string jobAlphaText = " (alpha " + std::to_string(jobAlpha) + ")";
    row("logo-pixel PSNR, estimated set, pure un-blending",
        format("%.2f dB", estimatedPure.present), "", true);
    row("logo-pixel PSNR, true captures, pure un-blending", format("%.2f dB", capturesPure.present),
        "", true);
    row(("logo-pixel PSNR, estimated set, the job as written" + jobAlphaText).c_str(),
        format("%.2f dB", estimated.present), "", true);
    row(("logo-pixel PSNR, true captures, the job's settings" + jobAlphaText).c_str(),
        format("%.2f dB", capturesJob.present), "", true);
    row("logo-pixel PSNR, FFmpeg delogo on the true rectangle", format("%.2f dB", delogo.present),
        "", true);
    row("logo-pixel PSNR, input as it is", format("%.2f dB", untouched.present), "", true);
    row("estimated set below the true captures, pure un-blending",
        format("%.2f dB", capturesPure.present - estimatedPure.present), "<= 0.5 dB",
        capturesPure.present - estimatedPure.present <= 0.5);
    row("estimated set below the true captures, the job's settings",
        format("%.2f dB", capturesJob.present - estimated.present), "<= 0.5 dB",
        capturesJob.present - estimated.present <= 0.5);
    row("the job as written above delogo", format("%.2f dB", estimated.present - delogo.present),
        ">= 4 dB", estimated.present - delogo.present >= 4);
    row("frames without the logo: rectangle against the input", format("%.2f dB", estimated.absent),
        ">= 40 dB", estimated.absent >= 40);
    row("presence boundaries, worst error",
        std::to_string(result.presence.size()) + " ranges, " + std::to_string(boundaryError) +
            " frames; longest fade " + std::to_string(fades) + " (none in the clip)",
        "<= 2 frames", boundaryError <= 2);
    row("analysis time against decoding alone",
        format("%.2f x", analysing / decoding) + format(" (%.1f s", analysing) +
            format(" / %.1f s)", decoding),
        "<= 1 x", analysing <= decoding);
    row("max RSS of the analysis (in-process)", format("%.0f MiB", rssMiB), "< 300 MB",
        rssMiB * 1.048576 < 300);
    row("static camera refused", stillExit != 0 ? "refused" : "accepted", "refused",
        stillExit != 0);
    std::printf("\nfootage: %d frames %dx%d, five generated shots with cuts, grain 4, logo at "
                "%d,%d %dx%d (opacity 0.45 text, 0.75 emblem), away in frames %d..%d; "
                "x264 CRF 18 4:2:0. Analysis: %lld frames read, %zu candidates, mean opacity "
                "%.3f, %d repair pixels, predicted error %.2f; opacity error on the anti-aliased "
                "edges (true opacity below 0.3) %.4f over %.0f pixels, elsewhere %.4f over %.0f\n",
                frames, width, height, logoX, logoY, logoW, logoH, breakStart, breakEnd,
                static_cast<long long>(result.framesRead), result.candidates.size(),
                result.stats.mean, result.stats.repairPixels, result.predictedError,
                edgeError / std::max(edgePixels, 1.0), edgePixels,
                (opacityError * logoPixels - edgeError) / std::max(logoPixels - edgePixels, 1.0),
                logoPixels - edgePixels);
    return 0;
}
