// The analysis's passes over the video:
//   1. location (only without a given rectangle): whole frames, sampled
//      across the range, for edges that persist;
//   2. estimation and presence: every frame's rectangle; frames whose ring a
//      plane fits closely feed a first per-pixel blend fit, and the fit of
//      the frames so far tells how strongly the logo shows in each frame.
// A second fit then runs on the rectangles the estimation kept (a bounded
// number), without the frames where the logo is absent or fading and the
// pixels far off the fit of the frames that clearly show it.
// The second pass reads only the rectangle, so that the analysis costs
// little more than decoding. Running sums, a few numbers per frame and
// bounded stores of rectangles are all that is kept.
#include "analysis/frame_store.h"
#include "analysis/locate.h"
#include "analysis/logo_analysis.h"
#include "analysis/logo_colour.h"
#include "analysis/mask.h"
#include "analysis/opacity_fit.h"
#include "analysis/pixel_channels.h"
#include "analysis/presence.h"
#include "analysis/ring_background.h"
#include "analysis/strength_log.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <limits>
#include <string>

namespace pendra::analysis {

namespace {

// Frames sampled for location, across the range.
constexpr int64_t locationSamples = 60;
// Without a frame count, samples start this many frames apart.
constexpr int64_t unknownLengthStride = 12;
// Sampling by seeking needs this many distinct frames to land on; with fewer
// keyframes the video is decoded in order instead.
constexpr int64_t seekSamples = 24;
// Fewer samples than this cannot tell a still mark from a slow picture.
constexpr int minLocationSamples = 8;
// Mean change between samples (levels) below which nothing moves.
constexpr double minMotion = 1.0;
// Clean ring around the mark, in pixels.
constexpr int ringWidth = 4;
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
// How often progress is reported, in frames.
constexpr int64_t progressEvery = 16;

struct Range {
    int64_t first = 0;
    int64_t last = 0;  // inclusive; max() when only the end will tell
    int64_t known = 0; // frames in the range when known, else 0
};

std::string rectText(const Rect &r) {
    return std::to_string(r.x) + "," + std::to_string(r.y) + "," + std::to_string(r.width) + "," +
           std::to_string(r.height);
}

// Visits frames first..last in order, calling visit(frame) for each; reports progress.
template <typename Visit>
int64_t eachFrame(FrameSource &source, const Range &range, const Options &options,
                  const std::string &pass, Visit visit) {
    source.rewind();
    int64_t frame = -1, visited = 0;
    while (frame < range.last && source.advance()) {
        ++frame;
        if (frame < range.first)
            continue;
        visit(frame);
        ++visited;
        if (options.progress && visited % progressEvery == 0)
            options.progress(
                pass, range.known > 0 ? std::min(1.0, double(visited) / double(range.known)) : 0.0);
    }
    if (options.progress)
        options.progress(pass, 1.0);
    return visited;
}

Range frameRange(const FrameSource &source, const Options &options) {
    Range r;
    int64_t count = source.frameCount();
    r.first = options.start;
    r.last = options.end > 0 ? options.end : std::numeric_limits<int64_t>::max();
    if (count > 0)
        r.last = std::min(r.last, count - 1);
    if (r.first < 0 || r.first > r.last)
        throw Refusal("the range to analyse holds no frames (start " +
                      std::to_string(options.start) +
                      "); give a start before the end and inside the video");
    if (r.last != std::numeric_limits<int64_t>::max())
        r.known = r.last - r.first + 1;
    return r;
}

// Samples frames spread across the range while decoding it in order.
void sampleInOrder(FrameSource &source, const Range &range, const Options &options,
                   EdgePersistence &edges) {
    int64_t stride =
        range.known > 0 ? std::max<int64_t>(1, range.known / locationSamples) : unknownLengthStride;
    int64_t next = range.first;
    Picture frame;
    const Rect whole{0, 0, source.width(), source.height()};
    eachFrame(source, range, options, "locating", [&](int64_t f) {
        if (f < next || (range.known > 0 && edges.samples() >= locationSamples))
            return;
        source.read(whole, frame);
        edges.add(frame);
        // Without a length, samples thin out as the video goes on, so that
        // they still span it at a cost that grows only with its logarithm.
        if (range.known == 0 && edges.samples() % (locationSamples / 2) == 0)
            stride *= 2;
        next = f + stride;
    });
}

// Samples by seeking, where the source can and the video has keyframes
// enough to land on: a few decoded frames instead of the whole video. False
// when too few distinct frames of the range were reached.
bool sampleBySeeking(FrameSource &source, const Range &range, const Options &options,
                     EdgePersistence &edges) {
    std::vector<int64_t> landed; // few: a search is cheaper than a set
    Picture frame;
    const Rect whole{0, 0, source.width(), source.height()};
    for (int64_t i = 0; i < locationSamples; ++i) {
        const int64_t reached = source.seekNear(range.first + i * range.known / locationSamples);
        if (reached < 0)
            return false;
        if (reached >= range.first && reached <= range.last &&
            std::find(landed.begin(), landed.end(), reached) == landed.end()) {
            landed.push_back(reached);
            source.read(whole, frame);
            edges.add(frame);
        }
        // Landing again and again on the same few keyframes: give up early.
        if (i + 1 - static_cast<int64_t>(landed.size()) > locationSamples - seekSamples)
            return false;
    }
    if (edges.samples() < seekSamples)
        return false;
    if (options.progress)
        options.progress("locating", 1.0);
    return true;
}

std::vector<Candidate> locate(FrameSource &source, const Range &range, const Options &options,
                              int64_t &sampled) {
    EdgePersistence edges(source.width(), source.height());
    if (range.known == 0 || !sampleBySeeking(source, range, options, edges)) {
        edges = EdgePersistence(source.width(), source.height());
        sampleInOrder(source, range, options, edges);
    }
    sampled = edges.samples();
    if (edges.samples() < minLocationSamples)
        throw Refusal("too few frames (" + std::to_string(edges.samples()) +
                      " sampled) to tell a logo from the picture; analyse a longer stretch or "
                      "give the logo's rectangle with --rect");
    if (edges.motion() < minMotion)
        throw Refusal("the picture hardly changes (a static camera), so nothing shows a logo "
                      "apart from its background; analyse a stretch where the picture moves, "
                      "or use captures made by hand");
    std::vector<Candidate> found = edges.candidates(ringWidth);
    if (found.empty())
        throw Refusal("nothing stays still while the picture moves: no logo found; give the "
                      "logo's rectangle with --rect, or use captures made by hand");
    return found;
}

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

// The strength of a frame that shows the whole logo: the median of the
// strengths above half of the strong ones (the 90th percentile).
double typicalStrength(const std::vector<float> &strengths) {
    std::vector<float> known;
    for (float s : strengths)
        if (!std::isnan(s))
            known.push_back(s);
    if (known.empty())
        return 1;
    std::sort(known.begin(), known.end());
    const float high = known[known.size() * 9 / 10];
    auto from = std::lower_bound(known.begin(), known.end(), high / 2);
    if (from == known.end())
        return 1; // no frame shows the logo with any strength
    double typical = from[(known.end() - from) / 2];
    return typical > 0 ? typical : 1;
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
    // A still picture's own edges stay still too, and its surroundings are
    // rarely smooth: the place found may not be a logo at all.
    if (located && accepted == 0)
        throw Refusal("no logo could be seen through: the place that stays still (" +
                      rectText(rect) +
                      ") never has smooth surroundings, as a logo over moving pictures has now "
                      "and then; it may be part of a still picture (a static camera?); give the "
                      "logo's rectangle with --rect, or use captures made by hand");
    if (alike >= rough || still * 10 >= frames * 9)
        throw Refusal("too few usable frames (" + counted +
                      "): the background around the logo hardly changes (a static camera?); "
                      "analyse a longer stretch with more movement, or use captures made by hand");
    throw Refusal("too few usable frames (" + counted +
                  "): the background around the logo is rarely smooth enough to see through it; "
                  "analyse a longer stretch, give a wider rectangle with --rect, or use captures "
                  "made by hand");
}

} // namespace

Result analyze(FrameSource &source, const Options &options) {
    Result result;
    const Range range = frameRange(source, options);

    if (options.rect) {
        const Rect &r = *options.rect;
        if (r.width < 3 || r.height < 3 || r.x < 0 || r.y < 0 || r.x + r.width > source.width() ||
            r.y + r.height > source.height())
            throw Refusal("the rectangle " + rectText(r) + " does not lie inside the " +
                          std::to_string(source.width()) + "x" + std::to_string(source.height()) +
                          " picture with room for a ring of clean pixels; give one inside it");
        result.rect = r;
    } else {
        result.candidates = locate(source, range, options, result.framesSampled);
        result.rect = result.candidates.front().rect;
    }

    const Rect rect = result.rect;
    const int ringPixels = std::max(1, std::min(ringWidth, std::min(rect.width, rect.height) / 6));
    const RingBackground ring(rect.width, rect.height, ringPixels);
    const size_t pixels = static_cast<size_t>(rect.width) * rect.height;
    Picture area;

    // Estimation and presence in one pass. Frames go to one fit per tier of
    // ring smoothness; the smoothest tiers that hold enough frames make the
    // first fit. The rectangles of the frames used are kept (a bounded
    // number) for the second fit. Every frame's rectangle is held to measure
    // its logo strength with the first fit at the end; a video too long to
    // hold is measured, from where the hold fills, with the fit of the
    // frames before (hundreds of frames at least).
    std::vector<OpacityFit> tierFits(tiers, OpacityFit(pixels));
    FrameStore store(storeBytes, pixels * sizeof(uint32_t), 2 * enoughFrames);
    StrengthLog strengthLog(ring, options.holdBytes);
    int64_t tierFrames[tiers] = {};
    std::vector<float> ringRms;     // per frame
    std::vector<uint8_t> alikeLast; // per frame: skipped as like the last used one
    int64_t alike = 0, rough = 0, still = 0, frames = 0;
    // When the held frames can wait no longer: the fit so far measures them
    // and every frame after them, once it rests on frames enough; before
    // that they are let go, to be read again at the end.
    auto startMeasuring = [&] {
        int64_t used = 0;
        const int last = chooseTiers(tierFrames, used);
        if (used < minAccepted)
            return strengthLog.release();
        strengthLog.measureWith(
            solveWithColour(mergedFit(tierFits, last), rect.width, rect.height));
    };
    {
        Plane lastUsed, previous;
        bool haveLast = false;
        frames = eachFrame(source, range, options, "analysing", [&](int64_t f) {
            source.read(rect, area);
            Plane plane = ring.fit(area);
            strengthLog.add(area, plane);
            ringRms.push_back(static_cast<float>(plane.rms));
            alikeLast.push_back(0);
            if (f > range.first && ring.alike(plane, previous, alikeLevels))
                ++still;
            previous = plane;
            int tier = 0;
            while (tier < tiers && plane.rms > ringLimits[tier])
                ++tier;
            if (tier == tiers) {
                ++rough;
            } else if (haveLast && ring.alike(plane, lastUsed, alikeLevels)) {
                ++alike;
                alikeLast.back() = 1;
            } else {
                lastUsed = plane, haveLast = true, ++tierFrames[tier];
                addFrame(tierFits[tier], area, plane, ring, everyPixel);
                store.offer(f, tier, plane, area);
            }
            if (!strengthLog.measuring() && strengthLog.full())
                startMeasuring();
        });
    }
    result.framesRead = frames;
    int64_t accepted = 0;
    const int chosen = chooseTiers(tierFrames, accepted);
    const double ringLimit = ringLimits[chosen];
    if (accepted < minAccepted)
        refuseFewFrames(accepted, alike, rough, still, frames, !options.rect, rect);
    const OpacityFit first = mergedFit(tierFits, chosen);
    tierFits.clear();
    const std::vector<PixelEstimate> firstFit = solveWithColour(first, rect.width, rect.height);
    double spread = 0;
    int logoCount = 0;
    for (size_t k = 0; k < pixels; ++k)
        if (firstFit[k].opacity > logoOpacity) {
            spread += first.backgroundSpread(k);
            ++logoCount;
        }
    if (logoCount == 0)
        throw Refusal("no logo found in the rectangle " + rectText(rect) +
                      ": nothing there blends with the background; check the rectangle, or use "
                      "captures made by hand");
    if (spread / logoCount < minSpread)
        throw Refusal("the background under the logo hardly changes (a static camera?), so its "
                      "blend cannot be told apart; analyse a stretch with more movement, or use "
                      "captures made by hand");
    // Frames held until the end are measured with the whole first fit, and
    // so are those let go, read again.
    if (!strengthLog.measuring())
        strengthLog.measureWith(firstFit);
    if (const int64_t again = static_cast<int64_t>(strengthLog.released()); again > 0) {
        Range before{range.first, range.first + again - 1, again};
        eachFrame(source, before, options, "measuring", [&](int64_t f) {
            source.read(rect, area);
            strengthLog.measureAgain(static_cast<size_t>(f - range.first), area, ring.fit(area));
        });
    }

    // Frames without the logo pulled the fit's opacity down, which scales
    // every strength up alike; the typical strength of the frames that show
    // the logo undoes it.
    std::vector<float> strengths = strengthLog.strengths();
    auto strengthOf = [&](int64_t f) { return strengths[static_cast<size_t>(f - range.first)]; };

    // A fit over the kept frames that clearly show the logo: the reference
    // against which the second fit finds outlying pixels.
    OpacityFit shown(pixels);
    for (const KeptFrame &k : store.kept())
        if (k.tier <= chosen && strengthOf(k.frame) >= shownAbove)
            addFrame(shown, k.area, k.plane, ring, everyPixel);
    const std::vector<PixelEstimate> shownFit = solveWithColour(shown, rect.width, rect.height);
    const double scale = typicalStrength(strengths);
    for (float &s : strengths)
        s = static_cast<float>(s / scale);

    // Outliers are judged against the noise the ring shows (its RMS limit),
    // not against the pixels' own fit, which the very objects that crossed
    // them inflate.
    const double limit = std::fmax(outlierFloor, outlierFactor * ringLimit);

    // The second fit: kept frames where the logo is fully there, without the
    // pixels far off the reference; every frame's verdict says why it was used or not.
    OpacityFit second(pixels), whole(pixels);
    accepted = 0;
    auto kept = store.kept().begin();
    for (int64_t i = 0; i < frames; ++i) {
        const int64_t f = range.first + i;
        while (kept != store.kept().end() && kept->frame < f)
            ++kept;
        const double strength = strengthOf(f);
        FrameVerdict verdict{f, false, {}};
        if (ringRms[static_cast<size_t>(i)] > ringLimit)
            verdict.reason = "ring not planar";
        else if (alikeLast[static_cast<size_t>(i)])
            verdict.reason = "like the last";
        else if (std::isnan(strength))
            verdict.reason = "logo not visible";
        else if (strength < absentBelow)
            verdict.reason = "logo absent";
        else if (strength < fullLow || strength > fullHigh)
            verdict.reason = "logo fading";
        else if (kept == store.kept().end() || kept->frame != f)
            verdict.reason = "thinned out";
        else {
            verdict.accepted = true;
            ++accepted;
            addFrame(whole, kept->area, kept->plane, ring, everyPixel);
            addFrame(second, kept->area, kept->plane, ring,
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
        result.verdicts.push_back(std::move(verdict));
    }
    if (accepted < minAccepted)
        throw Refusal("too few frames show the whole logo over a smooth background (" +
                      std::to_string(accepted) +
                      "); analyse a longer stretch, or use captures made by hand");

    std::vector<PixelEstimate> fit = solveWithColour(second, rect.width, rect.height);
    // A pixel that lost most of its frames as outliers was judged against a
    // reference that failed there; its frames all count instead.
    const std::vector<PixelEstimate> wholeFit = solveWithColour(whole, rect.width, rect.height);
    for (size_t k = 0; k < pixels; ++k)
        if (fit[k].frames < keptShare * wholeFit[k].frames)
            fit[k] = wholeFit[k];
    Captures captures = buildCaptures(fit, rect.width, rect.height);
    result.black = std::move(captures.black);
    result.white = std::move(captures.white);
    result.mask = std::move(captures.mask);
    result.stats = captures.stats;
    result.opacity.resize(pixels);
    double squares = 0, samples = 0;
    for (size_t k = 0; k < pixels; ++k) {
        result.opacity[k] = static_cast<float>(fit[k].opacity);
        if (fit[k].opacity > logoOpacity) {
            squares += fit[k].residualSquares;
            samples += 3 * fit[k].frames;
        }
    }
    result.predictedError = samples > 0 ? std::sqrt(squares / samples) : 0;
    result.presence = presenceRanges(strengths, range.first);
    return result;
}

} // namespace pendra::analysis
