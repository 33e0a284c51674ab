// pendra demo: the main job on material of its own. A sample clip gets a
// semi-transparent logo of known opacity; the logo is taken out with the
// settings that suit it and with the built-in defaults, and the logo
// rectangle's PSNR against the clean clip shows what each achieves.
#include "cli/clip_writer.h"
#include "cli/commands.h"
#include "cli/demo_scene.h"
#include "cli/filter_job.h"
#include "cli/interrupt.h"
#include "cli/process_video.h"
#include "cli/progress.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <system_error>
#include <vector>

namespace pendra::cli {

namespace {

namespace fs = std::filesystem;

constexpr int clipWidth = 640, clipHeight = 360, clipFrames = 125;
constexpr int logoWidth = 112, logoHeight = 56;
constexpr int logoX = clipWidth - logoWidth - 24, logoY = 20;
constexpr double logoOpacity = 0.55;
constexpr uint32_t logoColour = 0xECF0FA;
constexpr int previewNumber = 56; // the ball passes under the logo here

// Squared error of the logo rectangle against the clean picture, summed
// over frames and channels.
struct RectangleError {
    double sum = 0;
    int64_t samples = 0;

    void add(const RegionPixels &frame, const std::vector<uint32_t> &clean) {
        for (int line = 0; line < logoHeight; ++line)
            for (int c = 0; c < logoWidth; ++c) {
                uint32_t p = frame.atPicture(logoX + c, logoY + line);
                uint32_t q = clean[static_cast<size_t>(line) * logoWidth + c];
                for (int shift : {16, 8, 0}) {
                    double d = static_cast<double>((p >> shift) & 0xFF) -
                               static_cast<double>((q >> shift) & 0xFF);
                    sum += d * d;
                }
                samples += 3;
            }
    }
    double psnr() const {
        if (samples == 0 || sum == 0)
            return std::numeric_limits<double>::infinity();
        return 10 * std::log10(255.0 * 255.0 / (sum / static_cast<double>(samples)));
    }
};

std::vector<uint32_t> cutRectangle(const host::FrameBuffer &frame) {
    std::vector<uint32_t> rect;
    rect.reserve(logoWidth * logoHeight);
    for (int line = 0; line < logoHeight; ++line)
        for (int c = 0; c < logoWidth; ++c)
            rect.push_back(frame.at(frame.height() - 1 - (logoY + line), logoX + c));
    return rect;
}

// Writes the clip with the logo and returns the clean rectangles of its frames.
std::vector<std::vector<uint32_t>> makeClip(const fs::path &path, const SampleLogo &logo) {
    ClipFormat format;
    format.width = clipWidth;
    format.height = clipHeight;
    ClipWriter clip(path.string(), format);
    host::FrameBuffer frame(clipWidth, clipHeight);
    std::vector<std::vector<uint32_t>> clean;
    Progress progress("pendra demo: making the clip", clipFrames);
    for (int i = 0; i < clipFrames; ++i) {
        stopIfInterrupted();
        drawSampleFrame(i, clipFrames, frame);
        clean.push_back(cutRectangle(frame));
        logo.composite(frame, logoX, logoY);
        clip.addFrame(frame);
        progress.update(i + 1);
    }
    clip.finish();
    return clean;
}

struct DemoRun {
    const char *title;
    Options options;
    RectangleError before, after;
};

Options settingsFor(const fs::path &folder, bool suited) {
    Options o;
    o.command = Command::Process;
    o.settings.logo = (folder / "logo0.bmp").string();
    o.settings.set("x", logoX);
    o.settings.set("y", logoY);
    o.run.builtInDefaults = true; // whatever the installed defaults file says
    o.overwrite = true;           // a rerun replaces the demo's own files
    o.automaticSettings = suited; // the other run shows the module's own defaults
    if (suited) {
        o.settings.set("alpha", 255);
        o.settings.set("bb", 0);
        o.settings.set("noiseL", 0);
    }
    return o;
}

void filterClip(const fs::path &clip, const fs::path &output, DemoRun &run,
                const std::vector<std::vector<uint32_t>> &clean) {
    FilterJob job(run.options);
    if (run.options.saveJob)
        job.save(*run.options.saveJob);
    processVideo(clip.string(), output.string(), job.chain(), EncoderChoice{},
                 [&](int64_t n, const RegionPixels &before, const RegionPixels &after) {
                     const std::vector<uint32_t> &reference = clean[static_cast<size_t>(n)];
                     run.before.add(before, reference);
                     run.after.add(after, reference);
                 });
}

std::string decibels(double value) {
    char text[32];
    if (std::isinf(value))
        return "exact";
    std::snprintf(text, sizeof text, "%5.1f dB", value);
    return text;
}

} // namespace

int runDemo(const Options &options) {
    fs::path folder = options.folder;
    std::error_code error;
    fs::create_directories(folder, error);
    if (error)
        throw CliError(folder.string() +
                       ": cannot make the folder: " + systemErrorText(error.value()));

    SampleLogo logo(logoWidth, logoHeight, logoOpacity, logoColour);
    fs::path clip = folder / "clip-with-logo.mkv";
    std::vector<std::vector<uint32_t>> clean = makeClip(clip, logo);
    writeBmp(folder / "logo0.bmp", logo.over(0x000000));
    writeBmp(folder / "logo1.bmp", logo.over(0xFFFFFF));
    writeBmp(folder / "logo2.bmp", logo.interpolateMask());

    DemoRun suited{
        "pure un-blending (alpha 255, bitmap blur 0, noise 0)", settingsFor(folder, true), {}, {}};
    suited.options.saveJob = (folder / "logo-removed.job").string();
    DemoRun defaults{
        "built-in defaults (alpha 0, blurs, noise 2)", settingsFor(folder, false), {}, {}};
    const fs::path suitedOut = folder / "logo-removed.mp4";
    const fs::path defaultsOut = folder / "logo-removed-defaults.mp4";
    filterClip(clip, suitedOut, suited, clean);
    filterClip(clip, defaultsOut, defaults, clean);
    {
        FilterJob job(suited.options);
        previewFrame(clip.string(), previewNumber, (folder / "before-after.png").string(),
                     job.chain());
    }

    std::printf("pendra demo: in %s/\n", folder.string().c_str());
    std::printf("  clip-with-logo.mkv   %d frames of %dx%d at 25 fps with sound; a logo of "
                "opacity %.0f%% at x %d, y %d\n",
                clipFrames, clipWidth, clipHeight, logoOpacity * 100, logoX, logoY);
    std::printf("  logo0/1/2.bmp        the logo over black, over white, and the interpolate "
                "mask\n");
    std::printf("  logo-removed.job     the job file of the suited settings\n");
    std::printf("  before-after.png     frame %d before and after, rectangle outlined\n\n",
                previewNumber);
    std::printf("PSNR of the logo rectangle (%dx%d) against the clean clip over all frames,\n"
                "as the filter outputs them (before encoding):\n",
                logoWidth, logoHeight);
    std::printf("  %-56s %s\n", "with the logo", decibels(suited.before.psnr()).c_str());
    std::printf("  %-56s %s   %s\n", suited.title, decibels(suited.after.psnr()).c_str(),
                suitedOut.filename().string().c_str());
    std::printf("  %-56s %s   %s\n", defaults.title, decibels(defaults.after.psnr()).c_str(),
                defaultsOut.filename().string().c_str());
    return 0;
}

} // namespace pendra::cli
