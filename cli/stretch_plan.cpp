// Settings chosen stretch by stretch; see stretch_plan.h.
#include "cli/stretch_plan.h"

#include "analysis/shot_cuts.h"
#include "cli/setting_trial.h"

#include <cstdio>
#include <cstdlib>

namespace pendra::cli {

namespace {

// A few frames tell a shot's ground apart; more only cost time.
constexpr size_t framesPerStretch = 5;
constexpr int blendAlpha = 128;
// Sampled frames a stretch needs to be judged on its own.
constexpr size_t leastFramesPerStretch = 3;
constexpr int fullSmoothing = 255;

// Un-blending alone, un-blending with its rims repaired, the capture's
// alpha, a blend, the repair alone: from the most restored to the most
// guessed, without repeats. Over a smooth
// ground the repair's own smoothing is too light to hide the coding noise
// of the clean pixels it starts from, so where it mixes in, it is also tried
// smoothed as far as the module goes. Where the encoder smeared the logo's
// colour past its mask, the repair from the mask starts from that smear, so
// it is also tried from the wide set's grown mask.
std::vector<SettingCandidate> candidatesFor(const analysis::LogoEstimate &logo, int captureAlpha) {
    std::vector<SettingCandidate> c;
    if (!logo.repairOnly) { // else nothing to un-blend with
        c.push_back({255, -1, "un-blending alone"});
        c.push_back({255, -1, "un-blending, its rims repaired from around", false, true});
    }
    if (!logo.repairOnly && captureAlpha > 0 && captureAlpha < 255) {
        c.push_back({captureAlpha, -1, "alpha from the capture"});
        c.push_back({captureAlpha, fullSmoothing, "alpha from the capture, repair smoothed"});
    }
    if (!logo.repairOnly && std::abs(captureAlpha - blendAlpha) > 16)
        c.push_back({blendAlpha, fullSmoothing, "half un-blending, half smoothed repair"});
    c.push_back({0, -1, "repair alone"});
    c.push_back({0, fullSmoothing, "repair alone, smoothed"});
    c.push_back({0, -1, "repair alone from a wider mask", true});
    c.push_back({0, fullSmoothing, "repair alone from a wider mask, smoothed", true});
    return c;
}

std::string residueText(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

// What the trial found, in words: the winner's residue against the others'.
std::string trialWhy(const Trial &best, const std::vector<Trial> &trials, size_t frames) {
    std::string text = best.candidate.name + " leaves least of the logo over " +
                       std::to_string(frames) + " sampled frames (residue " +
                       residueText(best.residue.total());
    for (const Trial &t : trials)
        if (&t != &best)
            text += ", " + t.candidate.name + " " + residueText(t.residue.total());
    return text + ")";
}

StretchChoice chooseOne(const analysis::LogoEstimate &logo, const ConfigValues &base,
                        const std::string &why, const AreaSamples &samples,
                        const analysis::PresenceRange &stretch, int captureAlpha,
                        const std::vector<analysis::Cut> &cuts) {
    StretchChoice choice{stretch, base.numbers.alpha, -1, false, false, why, {}};
    std::vector<int64_t> shotStarts{stretch.start};
    for (const analysis::Cut &c : cuts)
        if (c.frame > stretch.start && c.frame <= stretch.end)
            shotStarts.push_back(c.frame);
    std::vector<const analysis::Picture *> frames =
        framesWithin(samples, stretch.start + stretch.fadeIn, stretch.end - stretch.fadeOut,
                     framesPerStretch, shotStarts);
    if (frames.empty()) {
        choice.why += " (not tried: no frame of the stretch was sampled)";
        return choice;
    }
    const std::vector<Trial> trials =
        trySettings(base, logo, samples.area, frames, candidatesFor(logo, captureAlpha));
    const Trial &best = leastResidue(trials);
    choice.alpha = best.candidate.alpha;
    choice.smoothing = best.candidate.smoothing;
    choice.wide = best.candidate.wide;
    choice.rims = best.candidate.rims;
    choice.why = trialWhy(best, trials, frames.size());
    for (const Trial &t : trials)
        choice.tried.push_back({t.candidate.alpha, t.candidate.smoothing, t.candidate.wide,
                                t.candidate.rims, t.candidate.name, t.residue.outline,
                                t.residue.lifted, t.residue.flattened, t.residue.ground});
    return choice;
}

size_t framesSampledIn(const AreaSamples &samples, const analysis::PresenceRange &s) {
    size_t n = 0;
    for (const auto &f : samples.frames)
        n += f.first >= s.start + s.fadeIn && f.first <= s.end - s.fadeOut;
    return n;
}

} // namespace

std::vector<analysis::PresenceRange> stretchesToTry(const analysis::PresenceRange &range,
                                                    const std::vector<analysis::Cut> &cuts,
                                                    const AreaSamples &samples) {
    std::vector<analysis::PresenceRange> out;
    bool carry = false; // the first stretches, too thinly sampled, join the next
    for (const analysis::PresenceRange &s : analysis::splitAtCuts(range, cuts)) {
        if (carry) {
            out.back().end = s.end;
            out.back().fadeOut = s.fadeOut;
        } else {
            out.push_back(s);
        }
        const bool few = framesSampledIn(samples, out.back()) < leastFramesPerStretch;
        carry = few && out.size() == 1;
        if (few && out.size() > 1) {
            out[out.size() - 2].end = out.back().end;
            out[out.size() - 2].fadeOut = out.back().fadeOut;
            out.pop_back();
        }
    }
    return out;
}

std::vector<StretchChoice> chooseByStretch(const analysis::LogoEstimate &logo,
                                           const ConfigValues &base, const std::string &why,
                                           int captureAlpha, const AreaSamples *samples,
                                           const std::vector<analysis::Cut> &cuts) {
    std::vector<StretchChoice> out;
    for (const analysis::PresenceRange &range : logo.presence) {
        if (!samples) {
            out.push_back({range, base.numbers.alpha, -1, false, false, why, {}});
            continue;
        }
        for (const analysis::PresenceRange &s : stretchesToTry(range, cuts, *samples))
            out.push_back(chooseOne(logo, base, why, *samples, s, captureAlpha, cuts));
    }
    return out;
}

std::vector<StretchChoice> joinAlike(const std::vector<StretchChoice> &stretches) {
    std::vector<StretchChoice> joined;
    for (const StretchChoice &s : stretches) {
        if (!joined.empty() && joined.back().alpha == s.alpha &&
            joined.back().smoothing == s.smoothing && joined.back().wide == s.wide &&
            joined.back().rims == s.rims && joined.back().range.end + 1 == s.range.start) {
            joined.back().range.end = s.range.end;
            joined.back().range.fadeOut = s.range.fadeOut;
            continue;
        }
        joined.push_back(s);
    }
    return joined;
}

} // namespace pendra::cli
