// The estimation at one rectangle (see estimate.h). Only the rectangle is
// read, so that it costs little more than decoding. Running sums, a few
// numbers per frame and bounded stores of rectangles are all that is kept.
#include "analysis/estimate.h"

#include "analysis/edge_presence.h"
#include "analysis/frame_store.h"
#include "analysis/gradient_estimate.h"
#include "analysis/location_pass.h"
#include "analysis/logo_colour.h"
#include "analysis/mask.h"
#include "analysis/opacity_fit.h"
#include "analysis/pixel_channels.h"
#include "analysis/presence.h"
#include "analysis/ring_background.h"
#include "analysis/strength_log.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <optional>
#include <string>

namespace pendra::analysis {

namespace {

// A frame is used only where the ring's plane fits closely: within the
// smallest of these RMS limits (levels) that leaves enough frames. Grainy or
// compressed video needs the looser ones; a looser fit biases the opacity low.
constexpr double ringLimits[] = {2.0, 3.0, 4.0, 5.0, 6.0};
constexpr int tiers = static_cast<int>(std::size(ringLimits));
// Memory for the rectangles kept for the second fit.
constexpr size_t storeBytes = size_t{96} << 20;
// Frames wanted before a looser limit is tried.
constexpr int64_t enoughFrames = 60;
// Frames whose ring's plane lies within this many levels of the last used
// frame's everywhere add nothing new.
constexpr double alikeLevels = 2.0;
// Fewer usable frames than this leave the fit to noise.
constexpr int64_t minAccepted = 20;
// The background under the logo must vary at least this much (levels, standard deviation).
constexpr double minSpread = 4.0;
// In the second fit, frames whose logo strength lies outside this band are left out.
constexpr double fullLow = 0.85;
constexpr double fullHigh = 1.15;
constexpr double absentBelow = 0.3;
// Frames without the logo only pull the first fit's opacity down, so the
// logo's strength measured with it is at least about 1 wherever the logo is
// fully there: above this, a frame clearly shows the logo.
constexpr double shownAbove = 0.5;
// A pixel further from the first fit than this many times the ring's RMS
// limit (and the floor, in levels) is an outlier.
constexpr double outlierFactor = 3.0;
constexpr double outlierFloor = 10.0;
// A pixel must keep at least this share of its frames for its outliers to be dropped.
constexpr double keptShare = 0.5;
// Frames sampled across the whole video for the estimate from its gradients,
// when too few have a smooth ring: at most this many, in at most these bytes
// (but never fewer than the least).
constexpr size_t sampleBytes = size_t{48} << 20;
constexpr size_t mostSamples = 192;
constexpr size_t leastSamples = 48;

// The blend's pixels of one frame, fed to a fit; `keep` says which pixels to use.
template <typename Keep>
void addFrame(OpacityFit &fit, const Picture &area, const Plane &plane, const RingBackground &ring,
              Keep keep) {
    for (int y = 0; y < ring.height(); ++y)
        for (int x = 0; x < ring.width(); ++x) {
            double s[3];
            int o[3];
            for (int c = 0; c < 3; ++c) {
                s[c] = ring.at(plane, c, x, y);
                o[c] = channel(area.at(x, y), c);
            }
            size_t k = static_cast<size_t>(y) * ring.width() + x;
            if (keep(k, s, o))
                fit.add(k, s, o);
        }
}

// The smoothest tiers that together hold enough frames (or all of them):
// the last tier used, and in `used` the frames they hold.
int chooseTiers(const int64_t (&tierFrames)[tiers], int64_t &used) {
    used = 0;
    int last = 0;
    for (; last < tiers; ++last) {
        used += tierFrames[last];
        if (used >= enoughFrames || last == tiers - 1)
            break;
    }
    return last;
}

// The fit over the tiers from the smoothest to `last`.
OpacityFit mergedFit(const std::vector<OpacityFit> &tierFits, int last) {
    OpacityFit merged = tierFits[0];
    for (int tier = 1; tier <= last; ++tier)
        merged.merge(tierFits[tier]);
    return merged;
}

// For addFrame: every pixel of the frame counts.
constexpr auto everyPixel = [](size_t, const double *, const int *) { return true; };

// `still` counts frames whose ring looked like the frame before's, smooth or not.
// `located`: the rectangle is the location's guess rather than the user's.
[[noreturn]] void refuseFewFrames(int64_t accepted, int64_t alike, int64_t rough, int64_t still,
                                  int64_t frames, bool located, const Rect &rect) {
    if (frames == 0)
        throw Refusal("the range to analyse holds no frames; give a start before the video's end");
    std::string counted = std::to_string(accepted) + " frame" + (accepted == 1 ? "" : "s");
    if (alike >= rough || still * 10 >= frames * 9)
        throw EstimateFailure(
            "too few usable frames (" + counted +
                "): the background around the logo hardly changes (a static camera?); "
                "analyse a longer stretch with more movement, or use captures made by hand",
            Shortfall::Still, frames);
    // Most frames had a smooth ring, yet too few: the stretch is short.
    if (rough * 2 < frames)
        throw EstimateFailure("too few usable frames (" + counted +
                                  "); analyse a longer stretch, or use captures made by hand",
                              Shortfall::Short, frames);
    // A still picture's own edges stay still too, and its surroundings are
    // rarely smooth: the place found may not be a logo at all.
    if (located && accepted == 0)
        throw EstimateFailure("no logo could be seen through: the place that stays still (" +
                                  rectText(rect) +
                                  ") never has smooth surroundings, as a logo over moving "
                                  "pictures has now and then",
                              Shortfall::Rough, frames);
    throw EstimateFailure(
        "too few usable frames (" + counted +
            "): the background around the logo is rarely smooth enough to see through it",
        Shortfall::Rough, frames);
}

} // namespace

namespace {

// What the estimation pass leaves: a fit per tier of ring smoothness, the
// rectangles kept for the second fit, every frame's logo strength (or what
// is needed to measure it), and per frame how its ring looked.
struct FirstPass {
    FirstPass(const RingBackground &ring, size_t pixels, size_t holdBytes)
        : tierFits(tiers, OpacityFit(pixels)),
          store(storeBytes, pixels * sizeof(uint32_t), 2 * enoughFrames),
          samples(std::min(sampleBytes, mostSamples * pixels * sizeof(uint32_t)),
                  pixels * sizeof(uint32_t), leastSamples),
          strengthLog(ring, holdBytes) {}
    std::vector<OpacityFit> tierFits;
    FrameStore store;
    FrameStore samples; // every frame offered, smooth or not
    StrengthLog strengthLog;
    int64_t tierFrames[tiers] = {};
    std::vector<float> ringRms;     // per frame
    std::vector<uint8_t> alikeLast; // per frame: skipped as like the last used one
    int64_t alike = 0, rough = 0, still = 0, frames = 0;
    // The planes of the last frame used and of the frame before.
    Plane lastUsed, previous;
    bool haveLast = false;
};

} // namespace

// The rectangle's ring and its first pass, at a fixed place in memory: the
// strength log refers to the ring.
struct Reading::State {
    State(const Rect &r, size_t holdBytes, EdgePattern e)
        : rect(r), edges(std::move(e)),
          ring(r.width, r.height,
               std::max(1, std::min(ringWidth, std::min(r.width, r.height) / 6))),
          pass(ring, static_cast<size_t>(r.width) * r.height, holdBytes) {}
    Rect rect;
    EdgePattern edges;
    std::vector<float> edgeStrengths; // per frame, while edges are watched
    RingBackground ring;
    FirstPass pass;
};

Reading::Reading(const Rect &rect, size_t holdBytes, EdgePattern edges)
    : state_(std::make_unique<State>(rect, holdBytes, std::move(edges))) {}
Reading::~Reading() = default;
Reading::Reading(Reading &&) noexcept = default;
Reading &Reading::operator=(Reading &&) noexcept = default;

const Rect &Reading::rect() const {
    return state_->rect;
}

// Estimation and presence in one pass. Frames go to one fit per tier of
// ring smoothness; the smoothest tiers that hold enough frames make the
// first fit. The rectangles of the frames used are kept (a bounded number)
// for the second fit. Every frame's rectangle is held to measure its logo
// strength with the first fit at the end; a video too long to hold is
// measured, from where the hold fills, with the fit of the frames before
// (hundreds of frames at least).
void Reading::add(int64_t f, const Picture &area) {
    FirstPass &p = state_->pass;
    const RingBackground &ring = state_->ring;
    if (!state_->edges.empty())
        state_->edgeStrengths.push_back(patternStrength(area, state_->edges));
    Plane plane = ring.fit(area);
    p.strengthLog.add(area, plane);
    p.ringRms.push_back(static_cast<float>(plane.rms));
    p.alikeLast.push_back(0);
    if (p.frames++ > 0 && ring.alike(plane, p.previous, alikeLevels))
        ++p.still;
    p.previous = plane;
    p.samples.offer(f, tiers, plane, area);
    int tier = 0;
    while (tier < tiers && plane.rms > ringLimits[tier])
        ++tier;
    if (tier == tiers) {
        ++p.rough;
    } else if (p.haveLast && ring.alike(plane, p.lastUsed, alikeLevels)) {
        ++p.alike;
        p.alikeLast.back() = 1;
    } else {
        p.lastUsed = plane, p.haveLast = true, ++p.tierFrames[tier];
        addFrame(p.tierFits[tier], area, plane, ring, everyPixel);
        p.store.offer(f, tier, plane, area);
    }
    // When the held frames can wait no longer: the fit so far measures them
    // and every frame after them, once it rests on frames enough; before
    // that they are let go, to be read again at the end.
    if (!p.strengthLog.measuring() && p.strengthLog.full()) {
        int64_t used = 0;
        const int last = chooseTiers(p.tierFrames, used);
        if (used < minAccepted)
            return p.strengthLog.release();
        p.strengthLog.measureWith(
            solveWithColour(mergedFit(p.tierFits, last), state_->rect.width, state_->rect.height));
    }
}

size_t Reading::need(const Rect &rect, const Range &range, size_t holdBytes) {
    const size_t frameBytes = static_cast<size_t>(rect.width) * rect.height * sizeof(uint32_t);
    const size_t store = std::max(storeBytes, 2 * enoughFrames * frameBytes);
    const size_t samples =
        std::max(leastSamples * frameBytes, std::min(sampleBytes, mostSamples * frameBytes));
    if (range.known == 0)
        return store + samples + holdBytes;
    const size_t all = static_cast<size_t>(range.known) * frameBytes;
    return std::min(store, all) + std::min(samples, all) + std::min(holdBytes, all);
}

size_t Reading::most(size_t holdBytes) {
    return storeBytes + sampleBytes + holdBytes;
}

void readTogether(FrameSource &source, const Range &range, const Options &options,
                  const std::vector<Reading *> &readings) {
    Picture area;
    eachFrame(source, range, options, "analysing", [&](int64_t f) {
        for (Reading *r : readings) {
            source.read(r->rect(), area);
            r->add(f, area);
        }
    });
}

namespace {

// Throws when the first fit shows no logo, or a background that never changes under it.
void checkFirstFit(const OpacityFit &first, const std::vector<PixelEstimate> &firstFit,
                   const Rect &rect, int64_t frames) {
    double spread = 0;
    int logoCount = 0;
    for (size_t k = 0; k < firstFit.size(); ++k)
        if (firstFit[k].opacity > logoOpacity) {
            spread += first.backgroundSpread(k);
            ++logoCount;
        }
    if (logoCount == 0)
        throw EstimateFailure("no logo found in the rectangle " + rectText(rect) +
                                  ": nothing there blends with the background; check the "
                                  "rectangle, or use captures made by hand",
                              Shortfall::NoLogo, frames);
    if (spread / logoCount < minSpread)
        throw EstimateFailure("the background under the logo hardly changes (a static "
                              "camera?), so its blend cannot be told apart; analyse a stretch "
                              "with more movement, or use captures made by hand",
                              Shortfall::Still, frames);
}

// Every frame's logo strength, scaled so that a frame showing the whole logo
// is 1. Frames held until the end are measured with the whole first fit, and
// so are those let go, read again.
std::vector<float> measuredStrengths(FrameSource &source, const Range &range,
                                     const Options &options, const Rect &rect,
                                     const RingBackground &ring, FirstPass &p,
                                     const std::vector<PixelEstimate> &firstFit) {
    if (!p.strengthLog.measuring())
        p.strengthLog.measureWith(firstFit);
    if (const int64_t again = static_cast<int64_t>(p.strengthLog.released()); again > 0) {
        Range before{range.first, range.first + again - 1, again};
        Picture area;
        eachFrame(source, before, options, "measuring", [&](int64_t f) {
            source.read(rect, area);
            p.strengthLog.measureAgain(static_cast<size_t>(f - range.first), area, ring.fit(area));
        });
    }
    return p.strengthLog.strengths();
}

// Why a frame is left out of the second fit, or empty when it is used.
std::string verdictOn(const FirstPass &p, size_t i, double strength, double ringLimit, bool kept) {
    if (p.ringRms[i] > ringLimit)
        return "ring not planar";
    if (p.alikeLast[i])
        return "like the last";
    if (std::isnan(strength))
        return "logo not visible";
    if (strength < absentBelow)
        return "logo absent";
    if (strength < fullLow || strength > fullHigh)
        return "logo fading";
    if (!kept)
        return "thinned out";
    return {};
}

struct SecondFit {
    OpacityFit second, whole;
    int64_t accepted = 0;
};

// The second fit: kept frames where the logo is fully there, without the
// pixels far off the reference (`shownFit`); every frame's verdict says why
// it was used or not.
SecondFit runSecondFit(const FirstPass &p, const Range &range, const RingBackground &ring,
                       const std::vector<float> &strengths, int chosen,
                       const std::vector<PixelEstimate> &shownFit,
                       std::vector<FrameVerdict> &verdicts) {
    const size_t pixels = shownFit.size();
    const double ringLimit = ringLimits[chosen];
    // Outliers are judged against the noise the ring shows (its RMS limit),
    // not against the pixels' own fit, which the very objects that crossed
    // them inflate.
    const double limit = std::fmax(outlierFloor, outlierFactor * ringLimit);
    SecondFit fit{OpacityFit(pixels), OpacityFit(pixels), 0};
    auto kept = p.store.kept().begin();
    for (int64_t i = 0; i < p.frames; ++i) {
        const int64_t f = range.first + i;
        while (kept != p.store.kept().end() && kept->frame < f)
            ++kept;
        const bool isKept = kept != p.store.kept().end() && kept->frame == f;
        FrameVerdict verdict{f, false,
                             verdictOn(p, static_cast<size_t>(i), strengths[static_cast<size_t>(i)],
                                       ringLimit, isKept)};
        if (verdict.reason.empty()) {
            verdict.accepted = true;
            ++fit.accepted;
            addFrame(fit.whole, kept->area, kept->plane, ring, everyPixel);
            addFrame(fit.second, kept->area, kept->plane, ring,
                     [&](size_t k, const double *s, const int *o) {
                         const PixelEstimate &e = shownFit[k];
                         for (int c = 0; c < 3; ++c) {
                             double predicted = (1 - e.opacity) * s[c] + e.premultiplied[c];
                             if (std::fabs(o[c] - predicted) > limit)
                                 return false;
                         }
                         return true;
                     });
        }
        verdicts.push_back(std::move(verdict));
    }
    return fit;
}

// The bitmap set, opacity and predicted error from the final fit.
void fillFromFit(LogoEstimate &result, const std::vector<PixelEstimate> &fit) {
    const Rect &rect = result.rect;
    Captures captures = buildCaptures(fit, rect.width, rect.height);
    result.black = std::move(captures.black);
    result.white = std::move(captures.white);
    result.mask = std::move(captures.mask);
    result.stats = captures.stats;
    result.opacity.resize(fit.size());
    double squares = 0, samples = 0;
    for (size_t k = 0; k < fit.size(); ++k) {
        result.opacity[k] = static_cast<float>(fit[k].opacity);
        if (fit[k].opacity > logoOpacity) {
            squares += fit[k].residualSquares;
            samples += 3 * fit[k].frames;
        }
    }
    result.predictedError = samples > 0 ? std::sqrt(squares / samples) : 0;
}

// The sampled frames where the logo's persistent edges show it present: a
// logo away for long leaves the background's full variation under it, which
// reads as no logo at all. All of them when the edges tell nothing. (Tried
// only when all the frames fail: where they do not, the estimate's own
// leaving out of frames it hardly shows in did better, on a ring emblem
// over a street 0.021 against 0.023 in opacity.)
std::vector<const KeptFrame *> shownSamples(const FirstPass &p, const Range &range,
                                            const std::vector<float> &edgeStrengths) {
    const std::vector<PresenceRange> present = edgeStrengths.empty()
                                                   ? std::vector<PresenceRange>{}
                                                   : patternPresence(edgeStrengths, range.first);
    std::vector<const KeptFrame *> shown;
    for (const KeptFrame &k : p.samples.kept())
        if (present.empty() ||
            std::any_of(present.begin(), present.end(), [&](const PresenceRange &r) {
                return k.frame >= r.start + r.fadeIn && k.frame <= r.end - r.fadeOut;
            }))
            shown.push_back(&k);
    return shown;
}

// The estimate from the frames sampled across the whole video, for a logo
// whose ring was too rarely smooth; empty, with `why`, when it cannot be
// trusted. Its verdicts say which frames it rests on.
std::optional<LogoEstimate> wholeVideoEstimate(FrameSource &source, const Range &range,
                                               const Options &options, const Rect &rect,
                                               const RingBackground &ring, FirstPass &p,
                                               const std::vector<float> &edgeStrengths,
                                               std::string &why) {
    std::optional<GradientEstimate> found = estimateFromGradients(p.samples.kept(), ring, why);
    if (!found) {
        const std::vector<const KeptFrame *> shown = shownSamples(p, range, edgeStrengths);
        if (shown.size() < p.samples.kept().size())
            found = estimateFromGradients(shown, ring, why);
    }
    if (!found)
        return std::nullopt;
    LogoEstimate result;
    result.rect = rect;
    fillFromFit(result, found->pixels);
    std::vector<float> strengths =
        measuredStrengths(source, range, options, rect, ring, p, found->pixels);
    const double scale = typicalStrength(strengths);
    for (float &s : strengths)
        s = static_cast<float>(s / scale);
    auto used = found->used.begin();
    for (int64_t i = 0; i < p.frames; ++i) {
        const int64_t f = range.first + i;
        while (used != found->used.end() && *used < f)
            ++used;
        FrameVerdict verdict{f, used != found->used.end() && *used == f, {}};
        if (!verdict.accepted)
            verdict.reason =
                strengths[static_cast<size_t>(i)] < absentBelow ? "logo absent" : "not sampled";
        result.verdicts.push_back(std::move(verdict));
    }
    result.presence = presenceRanges(strengths, range.first);
    return result;
}

// The estimate from the frames whose ring a plane fits closely, once the
// pass has read them all. Throws EstimateFailure.
LogoEstimate ringEstimate(FrameSource &source, const Range &range, const Options &options,
                          const Rect &rect, bool located, const RingBackground &ring,
                          FirstPass &pass) {
    LogoEstimate result;
    result.rect = rect;
    const size_t pixels = static_cast<size_t>(rect.width) * rect.height;
    int64_t accepted = 0;
    const int chosen = chooseTiers(pass.tierFrames, accepted);
    if (accepted < minAccepted)
        refuseFewFrames(accepted, pass.alike, pass.rough, pass.still, pass.frames, located, rect);
    const OpacityFit first = mergedFit(pass.tierFits, chosen);
    pass.tierFits.clear();
    const std::vector<PixelEstimate> firstFit = solveWithColour(first, rect.width, rect.height);
    checkFirstFit(first, firstFit, rect, pass.frames);
    std::vector<float> strengths =
        measuredStrengths(source, range, options, rect, ring, pass, firstFit);

    // A fit over the kept frames that clearly show the logo: the reference
    // against which the second fit finds outlying pixels.
    OpacityFit shown(pixels);
    for (const KeptFrame &k : pass.store.kept())
        if (k.tier <= chosen && strengths[static_cast<size_t>(k.frame - range.first)] >= shownAbove)
            addFrame(shown, k.area, k.plane, ring, everyPixel);
    const std::vector<PixelEstimate> shownFit = solveWithColour(shown, rect.width, rect.height);
    // Frames without the logo pulled the fit's opacity down, which scales
    // every strength up alike; the typical strength of the frames that show
    // the logo undoes it.
    const double scale = typicalStrength(strengths);
    for (float &s : strengths)
        s = static_cast<float>(s / scale);

    const SecondFit fits =
        runSecondFit(pass, range, ring, strengths, chosen, shownFit, result.verdicts);
    if (fits.accepted < minAccepted)
        throw EstimateFailure("too few frames show the whole logo over a smooth background (" +
                                  std::to_string(fits.accepted) +
                                  "); analyse a longer stretch, or use captures made by hand",
                              Shortfall::Rough, pass.frames);
    std::vector<PixelEstimate> fit = solveWithColour(fits.second, rect.width, rect.height);
    // A pixel that lost most of its frames as outliers was judged against a
    // reference that failed there; its frames all count instead.
    const std::vector<PixelEstimate> wholeFit =
        solveWithColour(fits.whole, rect.width, rect.height);
    for (size_t k = 0; k < pixels; ++k)
        if (fit[k].frames < keptShare * wholeFit[k].frames)
            fit[k] = wholeFit[k];
    fillFromFit(result, fit);
    result.presence = presenceRanges(strengths, range.first);
    return result;
}

} // namespace

LogoEstimate estimateFrom(Reading &reading, FrameSource &source, const Range &range,
                          const Options &options, bool located, int64_t &framesRead,
                          bool wholeVideo) {
    const Rect &rect = reading.state_->rect;
    const RingBackground &ring = reading.state_->ring;
    FirstPass &pass = reading.state_->pass;
    framesRead = pass.frames;
    try {
        return ringEstimate(source, range, options, rect, located, ring, pass);
    } catch (EstimateFailure &failure) {
        // Too few smooth frames to see through: the whole video may still tell.
        std::string why;
        if (wholeVideo && (failure.kind == Shortfall::Rough || failure.kind == Shortfall::Still)) {
            if (std::optional<LogoEstimate> whole = wholeVideoEstimate(
                    source, range, options, rect, ring, pass, reading.state_->edgeStrengths, why))
                return std::move(*whole);
            failure =
                EstimateFailure(std::string(failure.what()) + "; nor over the whole video: " + why,
                                failure.kind, failure.frames);
        }
        if (!reading.state_->edges.empty())
            failure.presence = patternPresence(reading.state_->edgeStrengths, range.first);
        throw;
    }
}

LogoEstimate estimateAt(FrameSource &source, const Range &range, const Options &options,
                        const Rect &rect, bool located, int64_t &framesRead, bool wholeVideo) {
    Reading reading(rect, options.holdBytes);
    readTogether(source, range, options, {&reading});
    return estimateFrom(reading, source, range, options, located, framesRead, wholeVideo);
}

} // namespace pendra::analysis
