// Runs candidate settings on sampled frames and scores them; see setting_trial.h.
#include "cli/setting_trial.h"

#include "analysis/mask.h"
#include "cli/analysis_files.h"
#include "cli/filter_session.h"
#include "cli/run_defaults.h"
#include "module/user_settings.h"

#include <algorithm>
#include <memory>
#include <stdexcept>

namespace pendra::cli {

namespace {

// Residues closer than this are a tie: the measure's own noise between frames.
constexpr double tieMargin = 0.1;
// A wide ring calmer than this share of the narrow one's shows the smear; a
// repair from four sides leaving less than this share beats the passes'.
constexpr double clearerShare = 0.9;

void toFrame(const analysis::Picture &p, host::FrameBuffer &frame) {
    for (int line = 0; line < p.height; ++line)
        for (int x = 0; x < p.width; ++x)
            frame.atPicture(x, line) = p.at(x, line);
}

analysis::Picture logoArea(const host::FrameBuffer &frame, const analysis::Rect &rect,
                           const analysis::Rect &area) {
    analysis::Picture out(rect.width, rect.height);
    const int dx = rect.x - area.x, dy = rect.y - area.y;
    for (int line = 0; line < rect.height; ++line)
        for (int x = 0; x < rect.width; ++x)
            out.at(x, line) = frame.at(frame.height() - 1 - (line + dy), x + dx);
    return out;
}

// Where the logo's edges lie: its opacity, or for a mark whose opacity is
// unknown, its repair shape.
std::vector<float> logoEdges(const analysis::LogoEstimate &logo) {
    if (!logo.repairOnly)
        return logo.opacity;
    std::vector<float> shape;
    for (uint32_t p : logo.mask.pixels)
        shape.push_back((p & 0xFF) >= 128 ? 1.0f : 0.0f);
    return shape;
}

// One candidate over every frame: the filter placed in the area, working on
// every frame with no fade, so each frame shows the setting itself.
// A filter of the candidate, placed in the area and started.
std::unique_ptr<FilterSession> placed(const RunDefaults &defaults,
                                      const std::shared_ptr<host::LoadedModule> &module,
                                      ConfigValues values, const analysis::LogoEstimate &logo,
                                      const analysis::Rect &area) {
    auto session = std::make_unique<FilterSession>(defaults, module);
    values.numbers.x = logo.rect.x - area.x;
    values.numbers.y = logo.rect.y - area.y;
    values.numbers.start = values.numbers.end = 0;
    values.numbers.fadeIn = values.numbers.fadeOut = 0;
    session->configure(formatConfigLine(values));
    session->start(area.width, area.height);
    return session;
}

// One candidate over every frame: its filters placed in the area, working on
// every frame with no fade, so each frame shows the setting itself.
analysis::OutlineResidue tryOne(const RunDefaults &defaults,
                                const std::shared_ptr<host::LoadedModule> &module,
                                const std::vector<ConfigValues> &filters,
                                const analysis::LogoEstimate &logo, const analysis::Picture &mask,
                                const analysis::Rect &area,
                                const std::vector<const analysis::Picture *> &frames) {
    std::vector<std::unique_ptr<FilterSession>> sessions;
    for (const ConfigValues &values : filters)
        sessions.push_back(placed(defaults, module, values, logo, area));
    const std::vector<float> edges = logoEdges(logo);
    analysis::OutlineResidue sum;
    for (size_t i = 0; i < frames.size(); ++i) {
        toFrame(*frames[i], sessions.front()->source());
        for (size_t f = 0; f < sessions.size(); ++f) {
            if (f > 0)
                sessions[f]->source().copyPixels(sessions[f - 1]->destination());
            sessions[f]->run(static_cast<int32_t>(i));
        }
        const analysis::OutlineResidue r = analysis::outlineResidue(
            logoArea(sessions.back()->destination(), logo.rect, area), edges, mask);
        sum.outline += r.outline / static_cast<double>(frames.size());
        sum.lifted += r.lifted / static_cast<double>(frames.size());
        sum.flattened += r.flattened / static_cast<double>(frames.size());
        sum.ground += r.ground / static_cast<double>(frames.size());
        sum.reach = r.reach;
    }
    return sum;
}

} // namespace

bool smoothGroundIn(const analysis::LogoEstimate &logo, const analysis::Rect &area,
                    const analysis::Picture &frame) {
    analysis::Picture around(logo.rect.width, logo.rect.height);
    for (int y = 0; y < logo.rect.height; ++y)
        for (int x = 0; x < logo.rect.width; ++x)
            around.at(x, y) = frame.at(x + logo.rect.x - area.x, y + logo.rect.y - area.y);
    return analysis::outlineResidue(around, logoEdges(logo), logo.mask).ground <
           analysis::smoothGround;
}

namespace {

// The passes a repair runs. The first, along the axis that predicts the
// logo's surroundings best, reads clean pixels only and follows an edge
// across the logo; every pixel it leaves comes from its four sides
// (thresholds 2 and 3 at 0). The second pass is left out: it repairs each
// pixel from the one it repaired just before, so its divisions' rounding
// down adds up along the chain and the chain smears (on a red box over a
// dark scene, up to 2.3 dB below the same repair without it). From four sides
// alone, the first pass is left out too (threshold 1 at 0). The repair is
// worked out afresh on every frame whose surroundings changed at all (scene
// change 0 %): the module's own default waits until a tenth of the logo's
// edge pixels have changed, and until then keeps the last repair over a
// slowly moving scene. Un-blending filters get the same: inside a fade the
// module repairs instead.
void repairPasses(ConfigValues &values, bool fourSides) {
    for (const char *name : {"t2", "t3", "scene"})
        values.set(*userSettingNamed(name), 0);
    if (fourSides)
        values.set(*userSettingNamed("t1"), 0);
}

} // namespace

ConfigValues rimCall(const ConfigValues &values) {
    ConfigValues rim = values;
    rim.logo = rimSetOf(values.logo);
    rim.numbers.alpha = 0;
    return rim;
}

void applyCandidate(const SettingCandidate &candidate, ConfigValues &values) {
    values.numbers.alpha = candidate.alpha;
    if (candidate.wide)
        values.logo = wideSetOf(values.logo);
    repairPasses(values, candidate.fourSides);
    if (candidate.smoothing < 0)
        return;
    for (const char *name : {"b2", "b3"})
        values.set(*userSettingNamed(name), candidate.smoothing);
}

std::vector<Trial> trySettings(const ConfigValues &base, const analysis::LogoEstimate &logo,
                               const analysis::Rect &area,
                               const std::vector<const analysis::Picture *> &frames,
                               const std::vector<SettingCandidate> &candidates) {
    // As the job runs: noise 0 (what analyze writes), the same seed.
    SettingOptions run;
    run.set("noiseL", 0);
    const RunDefaults defaults(installedDefaultsFile(), run, std::nullopt, 1u);
    // Loaded once for every candidate: the load lasts only while someone holds it.
    const std::shared_ptr<host::LoadedModule> module = FilterSession::loadModule();
    // Each is scored against the ring outside its own mask, the pixels its
    // repair starts from.
    const analysis::Picture wideMask = analysis::grownMask(logo.mask, wideMaskGrowth);
    std::vector<Trial> trials;
    for (const SettingCandidate &c : candidates) {
        ConfigValues values = base;
        applyCandidate(c, values);
        std::vector<ConfigValues> filters{values};
        if (c.rims)
            filters.push_back(rimCall(values));
        const analysis::Picture &mask = c.wide ? wideMask : logo.mask;
        trials.push_back({c, tryOne(defaults, module, filters, logo, mask, area, frames)});
    }
    return trials;
}

namespace {

// Whether of two trials, one from each mask, the wide one's ring is clearly
// calmer: the smear past the narrow mask shows there as texture.
bool clearerRing(const Trial &a, const Trial &b) {
    const Trial &wide = a.candidate.wide ? a : b, &narrow = a.candidate.wide ? b : a;
    return wide.residue.ground < clearerShare * narrow.residue.ground;
}

// Whether a repair from four sides leaves clearly less than the module's
// own passes with the same setting: in a near tie the passes' repair, which
// follows an edge across the logo, is kept.
bool clearlyBelowPasses(const Trial &t, const std::vector<Trial> &trials) {
    SettingCandidate passes = t.candidate;
    passes.fourSides = false;
    for (const Trial &other : trials)
        if (sameFilter(other.candidate, passes))
            return t.residue.total() < clearerShare * other.residue.total();
    return true;
}

} // namespace

const Trial &leastResidue(const std::vector<Trial> &trials) {
    if (trials.empty())
        throw std::logic_error("no setting was tried");
    // The repair from the wide mask counts only over a smooth ground: there a
    // smear past the mask shows and the band between the masks holds little
    // to lose; over texture the wide repair wipes that band's detail, which
    // its own ring, outside the band, cannot see.
    // Un-blending with its rims repaired counts only over texture: over a
    // plain wall the repair from around is near perfect, and the interior's
    // colour, where the estimate is off, shows as blotches that have no edge
    // for the measure to see (a street's plain wall, 10 dB below delogo).
    // The ground is the least textured ring seen: a smear past the mask only
    // adds to the plain ring's.
    double ground = trials.front().residue.ground;
    for (const Trial &t : trials)
        ground = std::min(ground, t.residue.ground);
    const bool smooth = ground < analysis::smoothGround;
    auto counts = [smooth, &trials](const Trial &t) {
        return (smooth ? !t.candidate.rims : !t.candidate.wide) &&
               (!t.candidate.fourSides || clearlyBelowPasses(t, trials));
    };
    const Trial *least = nullptr;
    for (const Trial &t : trials)
        if (counts(t) && (!least || t.residue.total() < least->residue.total()))
            least = &t;
    if (!least)
        throw std::logic_error("no setting tried counts on this ground");
    // Among the near ties: the most un-blending, then over a smooth ground
    // the most smoothing, then the wide mask where its ring is clearly
    // calmer than the narrow one's (the narrow ring takes in the encoder's
    // smear, which the measure cannot see), then the least residue.
    // Un-blending with its rims repaired counts as a repair in a tie: on
    // thin strokes the rims are nearly all of the logo.
    auto restores = [](const SettingCandidate &c) { return c.rims ? 0 : c.alpha; };
    const Trial *best = least;
    for (const Trial &t : trials) {
        if (!counts(t) || t.residue.total() > least->residue.total() + tieMargin)
            continue;
        const SettingCandidate &a = t.candidate, &b = best->candidate;
        if (restores(a) != restores(b)) {
            if (restores(a) > restores(b))
                best = &t;
        } else if (smooth && a.smoothing != b.smoothing) {
            if (a.smoothing > b.smoothing)
                best = &t;
        } else if (smooth && a.wide != b.wide && clearerRing(t, *best)) {
            if (a.wide)
                best = &t;
        } else if (t.residue.total() < best->residue.total()) {
            best = &t;
        }
    }
    return *best;
}

} // namespace pendra::cli
