#include "cli/analyze_command.h"

#include "cli/analysis_files.h"
#include "cli/analysis_source.h"
#include "cli/config_line.h"
#include "cli/filter_job.h"
#include "cli/output_check.h"
#include "cli/progress.h"

#include <cstdio>
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
// is unknown is repaired alone (alpha 0).
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

// One Pendra filter per range where a logo is present; the set's path
// absolute so the job runs from any folder. The module's fade window covers
// N + 1 frames, so a fade of F partial frames is written as F - 1.
void planLogo(const analysis::LogoEstimate &logo, const std::filesystem::path &folder,
              JobPlan &plan, bool first) {
    Options o;
    o.command = Command::Process;
    o.settings.logo = (folder / logoSetName(logo.rect.x, logo.rect.y, '0')).string();
    o.settings.set("bb", 0);
    if (std::optional<int> alpha = chosenAlpha(logo))
        o.settings.set("alpha", *alpha);
    FilterJob filter(o);
    std::vector<host::JobEntry> entries = filter.entries();
    std::optional<ConfigValues> values = parseConfigLine(entries.at(0).call);
    if (!values)
        throw CliError("the filter's own settings could not be read back: " + entries.at(0).call);
    if (first) {
        plan.choice.alpha = values->numbers.alpha;
        plan.choice.why = alphaWhy(logo, o.settings.get("alpha").has_value());
    }
    for (const analysis::PresenceRange &p : logo.presence) {
        values->numbers.start = static_cast<int>(p.start);
        values->numbers.end = static_cast<int>(p.end);
        values->numbers.fadeIn = p.fadeIn > 0 ? p.fadeIn - 1 : 0;
        values->numbers.fadeOut = p.fadeOut > 0 ? p.fadeOut - 1 : 0;
        host::JobEntry entry = entries.at(0);
        entry.call = formatConfigLine(*values);
        entry.line = 0;
        entry.lineText.clear();
        plan.entries.push_back(entry);
    }
}

JobPlan planJob(const analysis::Result &result, const std::filesystem::path &folder) {
    JobPlan plan;
    for (const analysis::LogoEstimate *logo : logosOf(result))
        planLogo(*logo, folder, plan, logo == &result);
    return plan;
}

// The frame found.png shows: the middle one of those the fit used (the first
// is often a fade from black), reached by a seek to a keyframe near it when
// that lands where the logo is present, else by decoding up to it.
analysis::Picture frameToShow(VideoFrameSource &source, const analysis::Result &result,
                              int64_t start) {
    std::vector<int64_t> used;
    for (const analysis::FrameVerdict &v : result.verdicts)
        if (v.accepted)
            used.push_back(v.frame);
    const int64_t wanted = used.empty() ? start : used[used.size() / 2];
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
    text += ", present in frames " + rangesText(result.presence) + "; alpha " +
            std::to_string(choice.alpha);
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
    try {
        result = analysis::analyze(source, options);
    } catch (const analysis::Refusal &refusal) {
        // What was looked at is shown, so the user sees what was tried.
        if (refusal.looked) {
            report.refused = refusal.what();
            report.framesDecoded = source.framesDecoded();
            const std::filesystem::path folder = makeFolder(r.folder);
            writeRefusedFolder(folder, refusal.tried, report,
                               frameToShow(source, refusal.tried, r.start));
        }
        throw CliError(r.input + ": " + refusal.what());
    }
    progress.finish();
    if (result.presence.empty())
        throw CliError(r.input + ": the logo was found but no frame range where it is present");

    const std::filesystem::path folder = makeFolder(r.folder);
    report.framesDecoded = source.framesDecoded();
    const analysis::Picture frame = frameToShow(source, result, r.start);
    // The job's settings are read from the sets themselves, so the sets go
    // first; the job is written last, only once everything it names is there.
    const JobChoice choice = writeAnalysisFolder(folder, result, report, frame, [&] {
        std::unique_lock<std::mutex> lock;
        if (r.moduleLock)
            lock = std::unique_lock<std::mutex>(*r.moduleLock);
        return planJob(result, folder);
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
