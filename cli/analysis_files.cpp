#include "cli/analysis_files.h"

#include "analysis/mask.h"

#include "cli/outline.h"

#include "cli/av_support.h"
#include "cli/bmp_file.h"
#include "cli/job_run_options.h"
#include "cli/output_file.h"
#include "cli/picture_writer.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <map>
#include <sstream>
#include <stdexcept>

namespace pendra::cli {

namespace {

using nlohmann::ordered_json;

constexpr int alphaScale = 4; // alpha.png's pixels per opacity sample
constexpr uint32_t chosenColour = 0xFF2020;
constexpr uint32_t otherColour = 0xFFD800;
// Candidates outlined at most: the places the analysis may try. Lower ones
// are flecks of the picture that bury the picture under outlines;
// analysis.json lists them all.
constexpr size_t shownCandidates = 6;

// Opacities in their three decimals are what a person reads; more would only
// make the file longer.
double rounded(double value, double scale = 1000) {
    return std::round(value * scale) / scale;
}

ordered_json rectJson(const analysis::Rect &r) {
    return {{"x", r.x}, {"y", r.y}, {"width", r.width}, {"height", r.height}};
}

// Runs of frames with the same verdict, so a long video stays readable.
ordered_json verdictRuns(const std::vector<analysis::FrameVerdict> &verdicts) {
    ordered_json runs = ordered_json::array();
    for (size_t i = 0; i < verdicts.size();) {
        size_t j = i + 1;
        while (j < verdicts.size() && verdicts[j].accepted == verdicts[i].accepted &&
               verdicts[j].reason == verdicts[i].reason &&
               verdicts[j].frame == verdicts[j - 1].frame + 1)
            ++j;
        ordered_json run = {{"from", verdicts[i].frame},
                            {"to", verdicts[j - 1].frame},
                            {"accepted", verdicts[i].accepted}};
        if (!verdicts[i].accepted)
            run["reason"] = verdicts[i].reason;
        runs.push_back(run);
        i = j;
    }
    return runs;
}

host::FrameBuffer bottomUp(const analysis::Picture &p) {
    host::FrameBuffer frame(p.width, p.height);
    for (int line = 0; line < p.height; ++line)
        std::copy_n(p.pixels.begin() + static_cast<ptrdiff_t>(line) * p.width, p.width,
                    frame.row(p.height - 1 - line));
    return frame;
}

analysis::Picture alphaPicture(const analysis::Result &result) {
    const analysis::Rect &r = result.rect;
    analysis::Picture out(r.width * alphaScale, r.height * alphaScale);
    for (int line = 0; line < out.height; ++line)
        for (int x = 0; x < out.width; ++x) {
            float a =
                result.opacity[static_cast<size_t>(line / alphaScale) * r.width + x / alphaScale];
            auto v = static_cast<uint32_t>(std::lround(std::clamp(a, 0.0f, 1.0f) * 255));
            out.at(x, line) = v << 16 | v << 8 | v;
        }
    return out;
}

void outline(analysis::Picture &p, const analysis::Rect &r, uint32_t colour, int thickness) {
    forEachOutlinePixel(r.x, r.y, r.width, r.height, 0, thickness, [&](int x, int line) {
        if (x >= 0 && x < p.width && line >= 0 && line < p.height)
            p.at(x, line) = colour;
    });
}

// What one logo's entry of the JSON says besides the frame verdicts.
ordered_json estimateJson(const analysis::LogoEstimate &logo) {
    ordered_json j;
    j["rect"] = rectJson(logo.rect);
    j["repairOnly"] = logo.repairOnly;
    if (logo.repairOnly)
        j["why"] = logo.why;
    j["opacity"] = {{"logoPixels", logo.stats.logoPixels},
                    {"mean", rounded(logo.stats.mean)},
                    {"max", rounded(logo.stats.max)},
                    {"repairPixels", logo.stats.repairPixels}};
    j["predictedError"] = rounded(logo.predictedError, 100);
    ordered_json presence = ordered_json::array();
    for (const analysis::PresenceRange &p : logo.presence)
        presence.push_back(
            {{"start", p.start}, {"end", p.end}, {"fadeIn", p.fadeIn}, {"fadeOut", p.fadeOut}});
    j["presence"] = presence;
    return j;
}

// How a setting runs the filter, added to `j`.
void addSetting(ordered_json &j, const SettingCandidate &s) {
    j["alpha"] = s.alpha;
    j["smoothing"] = s.smoothing;
    j["wideMask"] = s.wide;
    j["rimsRepaired"] = s.rims;
    j["fromFourSides"] = s.fourSides;
}

// Each stretch's setting with the residue every tried setting left, so the
// choice can be checked.
ordered_json stretchesJson(const std::vector<StretchChoice> &stretches) {
    ordered_json out = ordered_json::array();
    for (const StretchChoice &s : stretches) {
        ordered_json tried = ordered_json::array();
        for (const TriedSetting &t : s.tried) {
            ordered_json one;
            addSetting(one, t.setting);
            one["setting"] = t.setting.name;
            one["outline"] = rounded(t.outline);
            one["lifted"] = rounded(t.lifted);
            one["flattened"] = rounded(t.flattened);
            one["ground"] = rounded(t.ground, 10);
            tried.push_back(std::move(one));
        }
        ordered_json stretch{{"start", s.range.start}, {"end", s.range.end}};
        addSetting(stretch, s.setting);
        stretch["why"] = s.why;
        stretch["tried"] = std::move(tried);
        out.push_back(std::move(stretch));
    }
    return out;
}

} // namespace

analysis::Picture foundPicture(const analysis::Result &result, const analysis::Picture &frame) {
    analysis::Picture out = frame;
    const size_t shown = std::min(result.candidates.size(), shownCandidates);
    for (size_t i = 0; i < shown; ++i)
        outline(out, result.candidates[i].rect, otherColour, 1);
    for (const analysis::LogoEstimate *logo : logosOf(result))
        if (logo->rect.width > 0)
            outline(out, logo->rect, chosenColour, 2);
    return out;
}

std::vector<const analysis::LogoEstimate *> logosOf(const analysis::Result &result) {
    std::vector<const analysis::LogoEstimate *> logos{&result};
    for (const analysis::LogoEstimate &other : result.others)
        logos.push_back(&other);
    return logos;
}

namespace {

std::string setName(const char *prefix, int x, int y, char digit) {
    return prefix + std::string("_x_") + std::to_string(x) + "_y_" + std::to_string(y) + "_" +
           digit + ".bmp";
}

} // namespace

std::string logoSetName(int x, int y, char digit) {
    return setName("logo", x, y, digit);
}

std::string wideSetName(int x, int y, char digit) {
    return setName("wide", x, y, digit);
}

namespace {

// The member of the set named `prefix` beside the logo set's member `setPath`.
std::string twinSetOf(const std::string &setPath, const std::string &prefix) {
    const std::filesystem::path path(setPath);
    const std::string name = path.filename().string();
    if (name.rfind("logo_", 0) != 0)
        throw std::logic_error("not a set this command writes: " + setPath);
    return (path.parent_path() / (prefix + "_" + name.substr(5))).string();
}

} // namespace

std::string wideSetOf(const std::string &setPath) {
    return twinSetOf(setPath, "wide");
}

std::string rimSetName(int x, int y, char digit) {
    return setName("rim", x, y, digit);
}

std::string rimSetOf(const std::string &setPath) {
    return twinSetOf(setPath, "rim");
}

bool isRimSet(const std::string &setPath) {
    return std::filesystem::path(setPath).filename().string().rfind("rim_", 0) == 0;
}

namespace {

// Consumes `literal` at `at`; false when the text differs there.
bool take(const std::string &text, size_t &at, const std::string &literal) {
    if (text.compare(at, literal.size(), literal) != 0)
        return false;
    at += literal.size();
    return true;
}

// Consumes one or more decimal digits at `at`.
bool takeDigits(const std::string &text, size_t &at) {
    const size_t from = at;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9')
        ++at;
    return at > from;
}

} // namespace

// "logo_x_N_y_M_D.bmp", "wide_x_…" or "rim_x_…" with D one of 0, 1, 2:
// scanned by hand, since GCC 12 warns falsely inside <regex> in the sanitizer
// builds.
bool isLogoSetName(const std::string &name) {
    size_t at = 0;
    return (take(name, at, "logo_x_") || take(name, at, "wide_x_") || take(name, at, "rim_x_")) &&
           takeDigits(name, at) && take(name, at, "_y_") && takeDigits(name, at) &&
           take(name, at, "_") && at < name.size() && name[at] >= '0' && name[at] <= '2' &&
           take(name, ++at, ".bmp") && at == name.size();
}

std::vector<std::filesystem::path> fixedAnalysisFiles(const std::filesystem::path &folder) {
    return {folder / "logo.job", folder / "analysis.json", folder / "alpha.png",
            folder / "found.png"};
}

std::string analysisJson(const analysis::Result &result, const AnalysisReport &report) {
    ordered_json j;
    j["input"] = report.input;
    j["video"] = {{"width", report.videoWidth}, {"height", report.videoHeight}};
    j["range"] = {{"start", report.start}, {"end", report.end}};
    if (!report.refused.empty())
        j["refused"] = report.refused;

    ordered_json candidates = ordered_json::array();
    for (const analysis::Candidate &c : result.candidates)
        candidates.push_back({{"rect", rectJson(c.rect)},
                              {"score", rounded(c.score)},
                              {"shots", rounded(c.shots, 10)},
                              {"shotShare", rounded(c.shotShare, 100)},
                              {"notes", c.notes}});
    j["candidates"] = candidates;
    j["rectGiven"] = report.rectGiven;

    int64_t accepted = 0;
    std::map<std::string, int64_t> rejected;
    for (const analysis::FrameVerdict &v : result.verdicts) {
        if (v.accepted)
            ++accepted;
        else
            ++rejected[v.reason];
    }
    int64_t rejectedTotal = 0;
    for (const auto &[reason, count] : rejected)
        rejectedTotal += count;
    j["frames"] = {{"read", result.framesRead},
                   {"sampled", result.framesSampled},
                   {"decoded", report.framesDecoded},
                   {"decodedForStretches", report.stretchFramesDecoded},
                   {"accepted", accepted},
                   {"rejected", rejectedTotal},
                   {"rejectedFor", rejected},
                   {"verdicts", verdictRuns(result.verdicts)}};
    j.update(estimateJson(result));
    if (report.refused.empty())
        j["job"] = {{"alpha", report.choice.alpha},
                    {"why", report.choice.why},
                    {"stretches", stretchesJson(report.choice.stretches)}};
    ordered_json others = ordered_json::array();
    for (const analysis::LogoEstimate &other : result.others)
        others.push_back(estimateJson(other));
    j["others"] = others;
    return j.dump(2) + "\n";
}

namespace {

// The sets written beside each logo's own: the wide twin (the same captures
// with the grown mask) and, for a logo that can be un-blended, the rim set.
using SetNamer = std::string (*)(int, int, char);
constexpr SetNamer twinSets[] = {wideSetName, rimSetName};

void writeSets(const std::filesystem::path &folder, const analysis::LogoEstimate &logo) {
    const int x = logo.rect.x, y = logo.rect.y;
    writeBmp(folder / logoSetName(x, y, '0'), logo.black);
    writeBmp(folder / logoSetName(x, y, '1'), logo.white);
    writeBmp(folder / logoSetName(x, y, '2'), logo.mask);
    writeBmp(folder / wideSetName(x, y, '0'), logo.black);
    writeBmp(folder / wideSetName(x, y, '1'), logo.white);
    writeBmp(folder / wideSetName(x, y, '2'), analysis::grownMask(logo.mask, wideMaskGrowth));
    if (logo.repairOnly)
        return;
    const int w = logo.rect.width, h = logo.rect.height;
    writeBmp(folder / rimSetName(x, y, '0'), analysis::Picture(w, h, 0));
    writeBmp(folder / rimSetName(x, y, '1'), analysis::Picture(w, h, 0xFFFFFF));
    writeBmp(folder / rimSetName(x, y, '2'), analysis::rimMask(logo.opacity, logo.mask));
}

// Every member of the sets beside each logo's own.
std::vector<std::filesystem::path> twinMembers(const std::filesystem::path &folder,
                                               const analysis::Result &result) {
    std::vector<std::filesystem::path> out;
    for (const analysis::LogoEstimate *logo : logosOf(result))
        for (SetNamer name : twinSets)
            for (char digit : {'0', '1', '2'})
                out.push_back(folder / name(logo->rect.x, logo->rect.y, digit));
    return out;
}

// Takes away each set beside a logo's own that no filter of the job names.
void removeUnusedTwins(const std::filesystem::path &folder, const analysis::Result &result,
                       const std::vector<host::JobEntry> &entries) {
    for (const analysis::LogoEstimate *logo : logosOf(result))
        for (SetNamer name : twinSets) {
            const std::string black = name(logo->rect.x, logo->rect.y, '0');
            bool used = false;
            for (const host::JobEntry &e : entries)
                used = used || e.call.find(black) != std::string::npos;
            std::error_code ignored;
            for (char digit : {'0', '1', '2'})
                if (!used)
                    std::filesystem::remove(folder / name(logo->rect.x, logo->rect.y, digit),
                                            ignored);
        }
}

} // namespace

void writeRefusedFolder(const std::filesystem::path &folder, const analysis::Result &tried,
                        const AnalysisReport &report, const analysis::Picture &frame) {
    writeWholeFile(folder / "analysis.json", analysisJson(tried, report));
    writePicture(folder / "found.png", bottomUp(foundPicture(tried, frame)));
}

JobChoice writeAnalysisFolder(const std::filesystem::path &folder, const analysis::Result &result,
                              AnalysisReport report, const analysis::Picture &frame,
                              const std::function<JobPlan()> &planJob) {
    std::vector<std::filesystem::path> sets = twinMembers(folder, result);
    for (const analysis::LogoEstimate *logo : logosOf(result))
        for (char digit : {'0', '1', '2'})
            sets.push_back(folder / logoSetName(logo->rect.x, logo->rect.y, digit));
    JobPlan plan;
    try {
        for (const analysis::LogoEstimate *logo : logosOf(result))
            writeSets(folder, *logo);
        plan = planJob();
        removeUnusedTwins(folder, result, plan.entries);
        report.choice = plan.choice;
        writeWholeFile(folder / "analysis.json", analysisJson(result, report));
        writePicture(folder / "alpha.png", bottomUp(alphaPicture(result)));
        writePicture(folder / "found.png", bottomUp(foundPicture(result, frame)));
        std::ostringstream text;
        host::writeJobScript(text, plan.entries);
        // The job un-blends; noise would only add to what it restores.
        SettingOptions run;
        run.set("noiseL", 0);
        writeWholeFile(folder / "logo.job", text.str() + runOptionsLine(run));
    } catch (...) {
        std::error_code ignored;
        for (const std::filesystem::path &member : sets)
            std::filesystem::remove(member, ignored);
        throw;
    }
    return plan.choice;
}

} // namespace pendra::cli
