// Sampling for location, and the location over whole frames (see location_pass.h).
#include "analysis/location_pass.h"

#include <algorithm>
#include <string>
#include <vector>

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

// Samples frames spread across the range while decoding it in order.
void sampleInOrder(FrameSource &source, const Range &range, const Options &options,
                   const Rect &area, EdgePersistence &edges) {
    int64_t stride =
        range.known > 0 ? std::max<int64_t>(1, range.known / locationSamples) : unknownLengthStride;
    int64_t next = range.first;
    Picture frame;
    eachFrame(source, range, options, "locating", [&](int64_t f) {
        if (f < next || (range.known > 0 && edges.samples() >= locationSamples))
            return;
        source.read(area, frame);
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
                     const Rect &area, EdgePersistence &edges) {
    // Seeks land on keyframes only: with fewer, they cannot reach enough frames.
    if (source.keyframes() >= 0 && source.keyframes() < seekSamples)
        return false;
    std::vector<int64_t> landed; // few: a search is cheaper than a set
    Picture frame;
    for (int64_t i = 0; i < locationSamples; ++i) {
        const int64_t reached = source.seekNear(range.first + i * range.known / locationSamples);
        if (reached < 0)
            return false;
        if (reached >= range.first && reached <= range.last &&
            std::find(landed.begin(), landed.end(), reached) == landed.end()) {
            landed.push_back(reached);
            source.read(area, frame);
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

} // namespace

EdgePersistence sampleEdges(FrameSource &source, const Range &range, const Options &options,
                            const Rect &area) {
    EdgePersistence edges(area.width, area.height);
    if (range.known == 0 || !sampleBySeeking(source, range, options, area, edges)) {
        // Seeking that gave up before a sample left the store as it was
        // made: a whole frame's store is not worth making twice.
        if (edges.samples() > 0)
            edges = EdgePersistence(area.width, area.height);
        sampleInOrder(source, range, options, area, edges);
    }
    edges.finish();
    return edges;
}

Location locate(FrameSource &source, const Range &range, const Options &options, int64_t &sampled) {
    Location found{sampleEdges(source, range, options, {0, 0, source.width(), source.height()}),
                   {}};
    const EdgePersistence &edges = found.edges;
    sampled = edges.samples();
    Result tried;
    tried.framesSampled = sampled;
    if (edges.samples() < minLocationSamples)
        throw Refusal("too few frames (" + std::to_string(edges.samples()) +
                          " sampled) to tell a logo from the picture; analyse a longer stretch or "
                          "give the logo's rectangle with --rect",
                      tried);
    found.candidates = edges.candidates(ringWidth);
    tried.candidates = found.candidates;
    if (edges.motion() < minMotion)
        throw Refusal("the picture hardly changes (a static camera), so nothing shows a logo "
                      "apart from its background; analyse a stretch where the picture moves, "
                      "or use captures made by hand",
                      tried);
    if (found.candidates.empty())
        throw Refusal("nothing stays still while the picture moves: no logo found; give the "
                      "logo's rectangle with --rect, or use captures made by hand",
                      tried);
    return found;
}

} // namespace pendra::analysis
