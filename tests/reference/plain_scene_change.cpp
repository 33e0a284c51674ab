// The scene measurement as first written, kept as the reference for the
// module's: a visit of every interior pixel, edge marks and side distances
// read from the full-size arrays.
#include "tests/reference/plain_stages.h"

SceneMeasure plainMeasureSceneChange(const FilterSettings *s, const FilterActivation *fa) {
    FrameRect fr = frameRectOf(s, fa);
    int w = fr.w;
    SceneMeasure m = {0, 0, 0, 1, false};
    int changedEdges = 0;
    for (int r = 1; r <= fr.h - 2; ++r) {
        for (int c = 1; c <= w - 2; ++c) {
            int k = r * w + c;
            int e = s->horzEdge[k], v = s->vertEdge[k];
            if (e == 0 && v == 0)
                continue;
            uint32_t sample, previous;
            if (e != 0 && v != 0) {
                sample = meanPixel(*rectPixel(&fr, r, c + e), *rectPixel(&fr, r + v, c));
                previous = meanPixel(s->rectPixels[k + e], s->rectPixels[k + v * w]);
            } else if (e != 0) {
                sample = *rectPixel(&fr, r, c + e);
                previous = s->rectPixels[k + e];
            } else {
                sample = *rectPixel(&fr, r + v, c);
                previous = s->rectPixels[k + v * w];
            }
            const SideRecord *side = &s->sideTable[k];
            uint32_t south = *rectPixel(&fr, r - side->southDistance, c);
            uint32_t north = *rectPixel(&fr, r + side->northDistance, c);
            uint32_t east = *rectPixel(&fr, r, c + side->eastDistance);
            uint32_t west = *rectPixel(&fr, r, c - side->westDistance);
            m.diffNs += channelMiss(
                interpolatePair(south, side->southDistance, north, side->northDistance), sample);
            m.diffEw += channelMiss(
                interpolatePair(east, side->eastDistance, west, side->westDistance), sample);
            if (channelsMoved(previous, sample, s->t1))
                ++changedEdges;
        }
    }
    m.weight = m.diffNs > m.diffEw ? 2 : 1;
    /* No edge pixel means no logo pixel beside a clean one: nothing can have
       changed, and the percentage is taken as 0 rather than divided by 0. */
    if (s->edgeCount > 0) {
        m.scenePercent = static_cast<int>(static_cast<int64_t>(changedEdges) * 100 / s->edgeCount);
        m.sceneChanged = m.scenePercent > s->scene;
    }
    return m;
}
