// Settings chosen stretch by stretch; see stretch_plan.h.
#include "cli/stretch_plan.h"

#include "analysis/shot_cuts.h"
#include "cli/setting_trial.h"

#include <cstdio>
#include <cstdlib>
#include <functional>

namespace pendra::cli {

namespace {

// A few frames tell a shot's ground apart; more only cost time.
constexpr size_t framesPerStretch = 5;
constexpr int blendAlpha = 128;
// Sampled frames a stretch needs to be judged on its own.
constexpr size_t leastFramesPerStretch = 3;
// A shot shorter than this is a stretch of its own only on another ground
// than its neighbour's: on the same one, a few frames judge it no better.
constexpr int64_t shortestShot = 24;
// Cuts this close bound a flash, not a shot.
constexpr int64_t flashShot = 6;
constexpr int fullSmoothing = 255;

// Un-blending alone, un-blending with its rims repaired, the capture's
// alpha, a blend, the repair alone: from the most restored to the most
// guessed, without repeats. Over a smooth
// ground the repair's own smoothing is too light to hide the coding noise
// of the clean pixels it starts from, so where it mixes in, it is also tried
// smoothed as far as the module goes. Where the encoder smeared the logo's
// colour past its mask, the repair from the mask starts from that smear, so
// it is also tried from the wide set's grown mask. The smoothed repairs are
// also tried with every pixel from the clean pixels on its four sides, with
// no pass along one axis first: where nothing crosses the logo along an
// axis, that pass's straight runs show.
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
    c.push_back({0, fullSmoothing, "repair alone from four sides, smoothed", false, false, true});
    c.push_back({0, fullSmoothing, "repair alone from a wider mask's four sides, smoothed", true,
                 false, true});
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

// A stretch with the base call's alpha, as nothing was tried on it.
StretchChoice untried(const analysis::PresenceRange &range, const ConfigValues &base,
                      const std::string &why) {
    StretchChoice choice;
    choice.range = range;
    choice.setting.alpha = base.numbers.alpha;
    choice.why = why;
    return choice;
}

StretchChoice chooseOne(const analysis::LogoEstimate &logo, const ConfigValues &base,
                        const std::string &why, const AreaSamples &samples,
                        const analysis::PresenceRange &stretch, int captureAlpha,
                        const std::vector<analysis::Cut> &cuts) {
    StretchChoice choice = untried(stretch, base, why);
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
    choice.setting = best.candidate;
    choice.why = trialWhy(best, trials, frames.size());
    for (const Trial &t : trials)
        choice.tried.push_back({t.candidate, t.residue.outline, t.residue.lifted,
                                t.residue.flattened, t.residue.ground});
    return choice;
}

// A presence range's piece between cuts, with its sampled frames and how
// many of those show a smooth ground.
struct Piece {
    analysis::PresenceRange range;
    size_t frames = 0, smooth = 0;
    bool smoothGround() const { return 2 * smooth >= frames; }
    bool shortShot() const { return range.end - range.start + 1 < shortestShot; }
};

Piece measured(const analysis::PresenceRange &range, const AreaSamples &samples,
               const std::function<bool(const analysis::Picture &)> &smoothAt) {
    Piece p{range};
    for (const auto &[frame, picture] : samples.frames)
        if (frame >= range.start + range.fadeIn && frame <= range.end - range.fadeOut) {
            ++p.frames;
            p.smooth += smoothAt(picture);
        }
    return p;
}

// Whether two neighbouring pieces are one stretch: one too thinly sampled
// to judge, or a short shot on the other's ground.
bool oneStretch(const Piece &a, const Piece &b) {
    if (a.frames < leastFramesPerStretch || b.frames < leastFramesPerStretch)
        return true;
    return (a.shortShot() || b.shortShot()) && a.smoothGround() == b.smoothGround();
}

} // namespace

std::vector<StretchToTry>
stretchesToTry(const analysis::PresenceRange &range, const std::vector<analysis::Cut> &cuts,
               const AreaSamples &samples,
               const std::function<bool(const analysis::Picture &)> &smoothAt) {
    std::vector<Piece> joined;
    for (const analysis::PresenceRange &r :
         analysis::splitAtCuts(range, cuts, {flashShot, analysis::StretchLimits{}.mostPerRange})) {
        const Piece p = measured(r, samples, smoothAt);
        if (joined.empty() || !oneStretch(joined.back(), p)) {
            joined.push_back(p);
            continue;
        }
        Piece &last = joined.back();
        last.range.end = p.range.end;
        last.range.fadeOut = p.range.fadeOut;
        last.frames += p.frames;
        last.smooth += p.smooth;
    }
    std::vector<StretchToTry> out;
    for (const Piece &p : joined)
        out.push_back({p.range, p.shortShot(), p.smoothGround()});
    return out;
}

void shortShotsFollowNeighbours(std::vector<StretchChoice> &chosen,
                                const std::vector<StretchToTry> &stretches) {
    for (size_t i = 0; i < chosen.size() && i < stretches.size(); ++i) {
        if (!stretches[i].shortShot)
            continue;
        const size_t n = i > 0 ? i - 1 : i + 1;
        if (n >= chosen.size() || stretches[n].shortShot)
            continue;
        const StretchChoice &beside = chosen[n];
        // The rims' repair counts over texture only, the wide mask's over a
        // smooth ground only: there the short shot keeps its own choice.
        const bool smooth = stretches[i].smooth;
        if ((beside.setting.rims && smooth) || (beside.setting.wide && !smooth))
            continue;
        StretchChoice taken = beside;
        taken.range = chosen[i].range;
        taken.why = "as the shot beside it, whose setting counts on this ground too: " + beside.why;
        taken.tried = chosen[i].tried;
        chosen[i] = std::move(taken);
    }
}

std::vector<StretchChoice> chooseByStretch(const analysis::LogoEstimate &logo,
                                           const ConfigValues &base, const std::string &why,
                                           int captureAlpha, const AreaSamples *samples,
                                           const std::vector<analysis::Cut> &cuts) {
    std::vector<StretchChoice> out;
    for (const analysis::PresenceRange &range : logo.presence) {
        if (!samples) {
            out.push_back(untried(range, base, why));
            continue;
        }
        const std::vector<StretchToTry> stretches =
            stretchesToTry(range, cuts, *samples, [&](const analysis::Picture &frame) {
                return smoothGroundIn(logo, samples->area, frame);
            });
        std::vector<StretchChoice> chosen;
        for (const StretchToTry &s : stretches)
            chosen.push_back(chooseOne(logo, base, why, *samples, s.range, captureAlpha, cuts));
        shortShotsFollowNeighbours(chosen, stretches);
        out.insert(out.end(), chosen.begin(), chosen.end());
    }
    return out;
}

std::vector<StretchChoice> joinAlike(const std::vector<StretchChoice> &stretches) {
    std::vector<StretchChoice> joined;
    for (const StretchChoice &s : stretches) {
        if (!joined.empty() && sameFilter(joined.back().setting, s.setting) &&
            joined.back().range.end + 1 == s.range.start) {
            joined.back().range.end = s.range.end;
            joined.back().range.fadeOut = s.range.fadeOut;
            continue;
        }
        joined.push_back(s);
    }
    return joined;
}

} // namespace pendra::cli
