// The job's settings chosen stretch by stretch. Un-blending restores a logo
// over a textured ground almost exactly, but over a smooth one it lifts the
// coding noise by 1 / (1 - opacity) into a speckled outline, where the
// module's repair from around does better; which wins changes from shot to
// shot. So each presence range is split at the cuts into stretches, a few
// settings are tried on sampled frames of each (setting_trial.h), and the
// stretch gets the one that leaves least of the logo. Neighbouring stretches
// given the same setting share a filter.
#pragma once

#include "analysis/logo_analysis.h"
#include "cli/analysis_files.h"
#include "cli/config_line.h"
#include "cli/stretch_samples.h"

#include <functional>
#include <vector>

namespace pendra::cli {

// `base` is the filter's call as the command would write it for the whole
// video and `why` says why; `captureAlpha` is the alpha Browse takes from the
// capture; `samples` are the logo's, or null when none were taken.
std::vector<StretchChoice> chooseByStretch(const analysis::LogoEstimate &logo,
                                           const ConfigValues &base, const std::string &why,
                                           int captureAlpha, const AreaSamples *samples,
                                           const std::vector<analysis::Cut> &cuts);

// A stretch whose setting is tried, with what its sampled frames show.
struct StretchToTry {
    analysis::PresenceRange range;
    bool shortShot = false; // under a second
    bool smooth = false;    // most of its sampled frames on a smooth ground
};

// `range` split at the cuts into the stretches whose settings are tried: a
// shot under a second is a stretch of its own only on another ground than
// its neighbour's (`smoothAt` tells a sampled frame's), so that a short
// smooth shot after a textured one does not take its setting unseen; a
// stretch with too few sampled frames to judge joins the one before it
// (the first, the one after).
std::vector<StretchToTry>
stretchesToTry(const analysis::PresenceRange &range, const std::vector<analysis::Cut> &cuts,
               const AreaSamples &samples,
               const std::function<bool(const analysis::Picture &)> &smoothAt);

// A short shot's few frames judge it less surely than its neighbour's many:
// it takes the setting chosen for the long shot beside it (the one before,
// the first the one after) unless that setting counts on the other ground
// only (the rims' repair over texture, the wide mask's over a smooth ground).
void shortShotsFollowNeighbours(std::vector<StretchChoice> &chosen,
                                const std::vector<StretchToTry> &stretches);

// The stretches as the filters' ranges: neighbours of one setting joined, a
// joined range keeping the fades at its two ends.
std::vector<StretchChoice> joinAlike(const std::vector<StretchChoice> &stretches);

} // namespace pendra::cli
