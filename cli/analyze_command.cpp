#include "cli/analyze_command.h"

#include "analysis/frame_pass.h"
#include "cli/analysis_files.h"
#include "cli/analysis_source.h"
#include "cli/config_line.h"
#include "cli/filter_job.h"
#include "cli/output_check.h"
#include "cli/progress.h"
#include "cli/setting_trial.h"
#include "cli/stretch_plan.h"
#include "cli/stretch_recording.h"
#include "cli/stretch_samples.h"

#include "pendra_version.h"
#include <algorithm>
#include <climits>
#include <cstdio>
#include <map>
#include <memory>
#include <system_error>

namespace pendra::cli {

namespace {

// Refuses, before any work, a folder that is a file, files there that would be
// replaced without -y, and a folder that cannot be made.
void checkFolder(const AnalyzeRequest &r) {
    const std::vector<std::filesystem::path> inputs{r.input};
    std::error_code error;
    if (!std::filesystem::exists(r.folder, error)) {
        checkOutputFile(r.folder, inputs, false);
        return;
    }
    if (!std::filesystem::is_directory(r.folder, error))
        throw CliError(r.folder.string() + ": exists and is not a folder; name another with --out");
    for (const std::filesystem::path &file : fixedAnalysisFiles(r.folder))
        checkOutputFile(file, inputs, r.overwrite);
    if (r.overwrite)
        return;
    for (const auto &entry : std::filesystem::directory_iterator(r.folder, error))
        if (isLogoSetName(entry.path().filename().string()))
            throw CliError(entry.path().string() + ": exists (use -y to overwrite)");
}

void checkRect(const AnalyzeRequest &r, int width, int height) {
    if (!r.rect)
        return;
    const RectOption &x = *r.rect;
    if (static_cast<int64_t>(x.x) + x.width > width ||
        static_cast<int64_t>(x.y) + x.height > height)
        throw CliError("--rect " + std::to_string(x.x) + "," + std::to_string(x.y) + "," +
                           std::to_string(x.width) + "," + std::to_string(x.height) +
                           " does not lie inside the " + std::to_string(width) + "x" +
                           std::to_string(height) + " picture of " + r.input,
                       2);
}

// Un-blending restores every logo pixel exactly when none is nearly opaque
// or poorly fitted; otherwise the capture-based alpha, as Browse sets it, mixes
// in the repair where un-blending would lift the noise. A mark whose opacity
// is unknown is repaired alone (alpha 0). This is the setting of a stretch
// where none could be tried.
std::optional<int> chosenAlpha(const analysis::LogoEstimate &logo) {
    if (logo.repairOnly)
        return 0;
    if (logo.stats.repairPixels == 0)
        return 255;
    return std::nullopt;
}

std::string alphaWhy(const analysis::LogoEstimate &logo, bool set) {
    if (logo.repairOnly)
        return "repair alone: " + logo.why;
    if (set)
        return "un-blending alone: no logo pixel is nearly opaque or poorly fitted";
    return "from the capture, as Browse sets it: " + std::to_string(logo.stats.repairPixels) +
           " pixels are nearly opaque or poorly fitted";
}

// The filter's call as the command writes it for a new filter over the set,
// its alpha the capture's (as Browse derives it) unless `alpha` is given.
ConfigValues filterCall(const std::string &logoSet, std::optional<int> alpha) {
    Options o;
    o.command = Command::Process;
    o.settings.logo = logoSet;
    o.settings.set("bb", 0);
    if (alpha)
        o.settings.set("alpha", *alpha);
    FilterJob filter(o);
    const std::vector<host::JobEntry> entries = filter.entries();
    std::optional<ConfigValues> values = parseConfigLine(entries.at(0).call);
    if (!values)
        throw CliError("the filter's own settings could not be read back: " + entries.at(0).call);
    return *values;
}

// The alpha over most of the stretches' frames, and why in words.
JobChoice overallChoice(const std::vector<StretchChoice> &stretches) {
    std::map<int, int64_t> frames;
    for (const StretchChoice &s : stretches)
        frames[s.setting.alpha] += s.range.end - s.range.start + 1;
    JobChoice choice;
    int64_t most = -1;
    for (const StretchChoice &s : stretches)
        if (frames[s.setting.alpha] > most) {
            most = frames[s.setting.alpha];
            choice.alpha = s.setting.alpha;
            choice.why = s.why;
        }
    if (frames.size() > 1)
        choice.why = "by stretch (" + std::to_string(stretches.size()) +
                     " stretches, see stretches); most frames: " + choice.why;
    choice.stretches = stretches;
    return choice;
}

// One Pendra filter per stretch of the ranges where the logo is present
// (neighbours of one setting joined), followed by the rim set's where the
// stretch repairs the rims; the set's path absolute so the job runs
// from any folder. The module's fade window covers N + 1 frames, so a fade of
// F partial frames is written as F - 1.
void planLogo(const analysis::LogoEstimate &logo, const std::filesystem::path &folder,
              JobPlan &plan, bool first, const StretchSamples &samples, size_t index) {
    const std::string set = (folder / logoSetName(logo.rect.x, logo.rect.y, '0')).string();
    ConfigValues values = filterCall(set, logo.repairOnly ? std::optional<int>(0) : std::nullopt);
    const int captureAlpha = values.numbers.alpha;
    const std::optional<int> alpha = chosenAlpha(logo);
    values.numbers.alpha = alpha.value_or(captureAlpha);
    const std::vector<StretchChoice> stretches = chooseByStretch(
        logo, values, alphaWhy(logo, alpha.has_value()), captureAlpha,
        index < samples.logos.size() ? &samples.logos[index] : nullptr, samples.cuts);
    if (first)
        plan.choice = overallChoice(stretches);
    const ConfigValues base = values;
    for (const StretchChoice &s : joinAlike(stretches)) {
        values = base;
        applyCandidate(s.setting, values);
        values.numbers.start = static_cast<int>(s.range.start);
        values.numbers.end = static_cast<int>(s.range.end);
        values.numbers.fadeIn = s.range.fadeIn > 0 ? s.range.fadeIn - 1 : 0;
        values.numbers.fadeOut = s.range.fadeOut > 0 ? s.range.fadeOut - 1 : 0;
        std::vector<ConfigValues> filters{values};
        if (s.setting.rims)
            filters.push_back(rimCall(values));
        for (const ConfigValues &f : filters) {
            host::JobEntry entry;
            entry.filterName = PENDRA_FILTER_NAME;
            entry.call = formatConfigLine(f);
            plan.entries.push_back(entry);
        }
    }
}

JobPlan planJob(const analysis::Result &result, const std::filesystem::path &folder,
                const StretchSamples &samples) {
    JobPlan plan;
    const std::vector<const analysis::LogoEstimate *> logos = logosOf(result);
    for (size_t i = 0; i < logos.size(); ++i)
        planLogo(*logos[i], folder, plan, i == 0, samples, i);
    return plan;
}

// The cuts and samples of every logo's rectangle over the frames where any
// is present: those recorded while the analysis read the video, or another pass.
StretchSamples stretchSamples(VideoFrameSource &source, const analysis::Result &result,
                              const StretchRecording &recording,
                              const std::function<void(double)> &progress) {
    std::vector<analysis::Rect> rects;
    int64_t first = INT64_MAX, last = -1;
    for (const analysis::LogoEstimate *logo : logosOf(result)) {
        rects.push_back(logo->rect);
        for (const analysis::PresenceRange &p : logo->presence) {
            first = std::min(first, p.start);
            last = std::max(last, p.end);
        }
    }
    if (last < 0)
        return {};
    if (std::optional<StretchSamples> recorded = recording.samples(rects, first, last))
        return std::move(*recorded);
    return gatherStretchSamples(source, rects, first, last, progress);
}

// The frame found.png shows: the middle one of those the fit used, else the
// middle of the first stretch where the logo is, else of the frames looked at
// (the first is often a fade from black); reached by a seek to a keyframe
// near it when that lands where the logo is present, else by decoding up to it.
int64_t frameWorthShowing(const analysis::Result &result, const analysis::Range &range) {
    std::vector<int64_t> used;
    for (const analysis::FrameVerdict &v : result.verdicts)
        if (v.accepted)
            used.push_back(v.frame);
    if (!used.empty())
        return used[used.size() / 2];
    if (!result.presence.empty())
        return (result.presence[0].start + result.presence[0].end) / 2;
    return range.known > 0 ? range.first + (range.known - 1) / 2 : range.first;
}

analysis::Picture frameToShow(VideoFrameSource &source, const analysis::Result &result,
                              const analysis::Options &options) {
    // The range was read already, so it holds frames.
    const int64_t wanted = frameWorthShowing(result, analysis::frameRange(source, options));
    analysis::Picture frame;
    const analysis::Rect whole{0, 0, source.width(), source.height()};
    source.rewind();
    const int64_t landed = source.seekNear(wanted);
    for (const analysis::PresenceRange &p : result.presence)
        if (landed >= p.start && landed <= p.end) {
            source.read(whole, frame);
            return frame;
        }
    source.rewind();
    for (int64_t n = 0; source.advance(); ++n)
        if (n == wanted) {
            source.read(whole, frame);
            return frame;
        }
    return analysis::Picture(source.width(), source.height());
}

std::filesystem::path makeFolder(const std::filesystem::path &folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error)
        throw CliError(folder.string() + ": cannot make the folder: " + error.message());
    return std::filesystem::absolute(folder);
}

std::string rangesText(const std::vector<analysis::PresenceRange> &ranges) {
    std::string text;
    for (const analysis::PresenceRange &p : ranges)
        text += (text.empty() ? "" : ", ") + std::to_string(p.start) + "-" + std::to_string(p.end);
    return text;
}

// The alpha, or each stretch's where they differ: "alpha 0 in 0-97, 255 in
// 98-143"; "smoothed" where the repair is smoothed as far as it goes.
std::string alphaText(const JobChoice &choice) {
    const std::vector<StretchChoice> joined = joinAlike(choice.stretches);
    auto setting = [](const StretchChoice &stretch) {
        const SettingCandidate &s = stretch.setting;
        return std::to_string(s.alpha) + (s.smoothing >= 0 ? " smoothed" : "") +
               (s.wide ? " from a wider mask" : "") +
               (s.fourSides ? " (each pixel from its four sides)" : "") +
               (s.rims ? ", rims repaired" : "");
    };
    bool alike = true;
    for (const StretchChoice &s : joined)
        alike = alike && setting(s) == setting(joined.front());
    if (joined.empty())
        return "alpha " + std::to_string(choice.alpha);
    if (alike)
        return "alpha " + setting(joined.front());
    std::string text;
    for (const StretchChoice &s : joined)
        text += (text.empty() ? "alpha " : ", ") + setting(s) + " in " +
                std::to_string(s.range.start) + "-" + std::to_string(s.range.end);
    return text;
}

// The one line that says what was found and written.
std::string summary(const AnalyzeRequest &r, const analysis::Result &result,
                    const JobChoice &choice) {
    const analysis::Rect &rect = result.rect;
    char where[96];
    std::snprintf(where, sizeof where, "logo at x %d, y %d (%dx%d)", rect.x, rect.y, rect.width,
                  rect.height);
    std::string text = r.input + ": " + where;
    if (result.repairOnly) {
        text += ": " + result.why;
    } else {
        char opacity[48];
        std::snprintf(opacity, sizeof opacity, ", mean opacity %.2f", result.stats.mean);
        text += opacity;
    }
    text += ", present in frames " + rangesText(result.presence) + "; " + alphaText(choice);
    for (const analysis::LogoEstimate &other : result.others)
        text += "; another mark at x " + std::to_string(other.rect.x) + ", y " +
                std::to_string(other.rect.y) + (other.repairOnly ? " (repaired from around)" : "");
    return text + "; wrote " + r.folder.string();
}

} // namespace

std::filesystem::path analysisFolderFor(const std::filesystem::path &file) {
    return file.parent_path() / (file.stem().string() + "-logo");
}

std::filesystem::path analyzeVideo(const AnalyzeRequest &r) {
    checkFolder(r);
    VideoFrameSource source(r.input);
    checkRect(r, source.width(), source.height());

    analysis::Options options;
    if (r.rect)
        options.rect = analysis::Rect{r.rect->x, r.rect->y, r.rect->width, r.rect->height};
    options.start = r.start;
    options.end = r.end;
    Progress progress("analyze", 0);
    options.progress = [&progress, &r](const std::string &pass, double done) {
        progress.updateShare(pass, done);
        if (r.progress)
            r.progress(pass, done);
    };
    AnalysisReport report;
    report.input = r.input;
    report.videoWidth = source.width();
    report.videoHeight = source.height();
    report.start = r.start;
    report.end = r.end;
    report.rectGiven = r.rect.has_value();
    analysis::Result result;
    auto recording =
        std::make_unique<StretchRecording>(source.width(), source.height(), source.frameCount());
    // A video whose frames are kept needs no decoding for the stretch pass:
    // the recording would only take memory.
    source.watchReads([&](int64_t frame, const analysis::Rect &area) {
        if (source.framesKept() == 0)
            recording->watch(source, frame, area);
    });
    try {
        result = analysis::analyze(source, options);
        source.watchReads({});
    } catch (const analysis::Refusal &refusal) {
        source.watchReads({});
        // What was looked at is shown, so the user sees what was tried.
        if (refusal.looked) {
            report.refused = refusal.what();
            report.framesDecoded = source.framesDecoded();
            const std::filesystem::path folder = makeFolder(r.folder);
            writeRefusedFolder(folder, refusal.tried, report,
                               frameToShow(source, refusal.tried, options));
        }
        throw CliError(r.input + ": " + refusal.what());
    }
    if (result.presence.empty())
        throw CliError(r.input + ": the logo was found but no frame range where it is present");
    report.framesDecoded = source.framesDecoded();
    const StretchSamples samples = stretchSamples(
        source, result, *recording, [&](double done) { options.progress("stretches", done); });
    recording.reset(); // its memory is better left to the trials that follow
    report.stretchFramesDecoded = source.framesDecoded() - report.framesDecoded;
    progress.finish();

    const std::filesystem::path folder = makeFolder(r.folder);
    const analysis::Picture frame = frameToShow(source, result, options);
    // The job's settings are read from the sets themselves, so the sets go
    // first; the job is written last, only once everything it names is there.
    const JobChoice choice = writeAnalysisFolder(folder, result, report, frame, [&] {
        std::unique_lock<std::mutex> lock;
        if (r.moduleLock)
            lock = std::unique_lock<std::mutex>(*r.moduleLock);
        return planJob(result, folder, samples);
    });
    std::fprintf(stderr, "pendra: %s\n", summary(r, result, choice).c_str());
    return folder / "logo.job";
}

int runAnalyze(const Options &o) {
    AnalyzeRequest request;
    request.input = o.input;
    request.folder =
        o.output.empty() ? analysisFolderFor(o.input) : std::filesystem::path(o.output);
    request.rect = o.rect;
    request.start = o.analysisStart.value_or(0);
    request.end = o.analysisEnd.value_or(0);
    request.overwrite = o.overwrite;
    analyzeVideo(request);
    return 0;
}

} // namespace pendra::cli
