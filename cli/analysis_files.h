// What `pendra analyze` leaves in its folder: the bitmap set named so that
// --logo and the dialog's Browse place it, the job that replays it, the
// analysis's findings as JSON, and two pictures for a person to check them.
#pragma once

#include "analysis/logo_analysis.h"
#include "cli/setting_candidate.h"
#include "host/job_script.h"

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace pendra::cli {

// The set's member `digit` ('0' over black, '1' over white, '2' the mask) for
// a rectangle at x, y: logo_x_N_y_M_D.bmp.
std::string logoSetName(int x, int y, char digit);

// The same set with its mask grown by `wideMaskGrowth` pixels
// (wide_x_N_y_M_D.bmp), for a repair that must start from pixels the
// encoder did not smear the logo over; written beside the set and kept only
// when a filter of the job uses it.
inline constexpr int wideMaskGrowth = 2;
std::string wideSetName(int x, int y, char digit);
// The wide set's member for a path to a set's member.
std::string wideSetOf(const std::string &setPath);

// A set that un-blends nothing and whose mask is the logo's rims
// (rim_x_N_y_M_D.bmp): run after the logo's own set at full alpha, it
// repairs the band where un-blending leaves an outline from the un-blended
// pixels around it. Written beside the set and kept only when a filter of
// the job uses it.
std::string rimSetName(int x, int y, char digit);
std::string rimSetOf(const std::string &setPath);
// Whether `setPath` names a member of a rim set.
bool isRimSet(const std::string &setPath);

// The files of the folder whose names do not depend on what is found.
std::vector<std::filesystem::path> fixedAnalysisFiles(const std::filesystem::path &folder);

// Whether `name` is a member of a set this command writes.
bool isLogoSetName(const std::string &name);

// A setting tried on a stretch and what it left of the logo (analysis/outline_residue.h).
struct TriedSetting {
    SettingCandidate setting;
    double outline = 0, lifted = 0, flattened = 0, ground = 0;
};

// The setting one stretch (a shot or more of a presence range) was given, and why.
struct StretchChoice {
    analysis::PresenceRange range; // the first keeps the range's fade-in, the last its fade-out
    SettingCandidate setting;      // its alpha the base call's where nothing was tried
    std::string why;
    std::vector<TriedSetting> tried; // empty when nothing was tried
};

// What the job's filters get besides the set and the ranges.
struct JobChoice {
    int alpha = 255;                      // the alpha of most of the chosen logo's frames
    std::string why;                      // in words, for the JSON and the summary
    std::vector<StretchChoice> stretches; // the chosen logo's, in frame order
};

struct AnalysisReport {
    std::string input;
    int videoWidth = 0, videoHeight = 0;
    int64_t start = 0, end = 0; // the range looked at, as asked
    bool rectGiven = false;
    int64_t framesDecoded = 0;        // over every pass: what the analysis cost
    int64_t stretchFramesDecoded = 0; // the pass for settings by stretch, besides
    JobChoice choice;
    std::string refused; // why, when the analysis found no logo
};

// The logos found: the chosen one, then the further marks.
std::vector<const analysis::LogoEstimate *> logosOf(const analysis::Result &result);

// The job's filters and how their settings were chosen.
struct JobPlan {
    std::vector<host::JobEntry> entries;
    JobChoice choice;
};

// Writes the sets (one per logo), then asks `planJob` for the job (which may read the set),
// then the JSON, the pictures and, last, the job; each file appears only when
// complete, and the set is taken away again when no job can follow it.
// `frame` is a whole frame of the video for found.png. Returns the choice
// made; throws CliError naming a file.
JobChoice writeAnalysisFolder(const std::filesystem::path &folder, const analysis::Result &result,
                              AnalysisReport report, const analysis::Picture &frame,
                              const std::function<JobPlan()> &planJob);

// found.png's picture: `frame` with the first-ranked candidates outlined, the
// logos found last and thicker so they stay on top.
analysis::Picture foundPicture(const analysis::Result &result, const analysis::Picture &frame);

// What a refusal leaves so the user sees what was tried: the findings as
// JSON (with the reason) and found.png; no set, no job. Throws CliError.
void writeRefusedFolder(const std::filesystem::path &folder, const analysis::Result &tried,
                        const AnalysisReport &report, const analysis::Picture &frame);

// The analysis's findings as JSON text (stable: the same result, the same bytes).
std::string analysisJson(const analysis::Result &result, const AnalysisReport &report);

} // namespace pendra::cli
