// Settings tried on a few frames before the job is written: the module runs
// through the host on each sampled frame (its rectangle with a little room),
// as a job would run it, once per candidate alpha, and the output's logo area
// is scored by how much of the logo it leaves (analysis/outline_residue.h).
// The caller picks the setting that leaves least.
#pragma once

#include "analysis/logo_analysis.h"
#include "analysis/outline_residue.h"
#include "cli/config_line.h"
#include "cli/setting_candidate.h"
#include "cli/stretch_samples.h"

#include <string>
#include <vector>

namespace pendra::cli {

// `values` with the candidate's alpha, smoothing and set.
void applyCandidate(const SettingCandidate &candidate, ConfigValues &values);
// The filter that follows `values` (the logo's own set, applied) for a
// candidate that repairs the rims: the rim set, repair alone.
ConfigValues rimCall(const ConfigValues &values);

struct Trial {
    SettingCandidate candidate;
    analysis::OutlineResidue residue; // mean over the frames tried
};

// Whether the ground around the logo in `frame`, a picture of `area`, is
// smooth: the line between the grounds the wide mask's and the rims'
// repairs count on.
bool smoothGroundIn(const analysis::LogoEstimate &logo, const analysis::Rect &area,
                    const analysis::Picture &frame);

// The logo whose set `base` names, its rectangle `rect` and its estimate
// `logo` (opacity, mask); `frames` are pictures of `area` (which holds rect).
// Throws CliError when the module refuses the set.
std::vector<Trial> trySettings(const ConfigValues &base, const analysis::LogoEstimate &logo,
                               const analysis::Rect &area,
                               const std::vector<const analysis::Picture *> &frames,
                               const std::vector<SettingCandidate> &candidates);

// The trial that leaves least. Near ties go to the setting that un-blends
// more, since it restores the ground rather than guessing it, and over a
// smooth ground to the more smoothed repair. The wide mask's repairs count
// only over a smooth ground.
const Trial &leastResidue(const std::vector<Trial> &trials);

} // namespace pendra::cli
