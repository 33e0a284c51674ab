/*
 * Scene-change detection, with the snapshot that makes it work.
 *
 * The repair is recomputed only when the picture around the logo has changed
 * since it was last computed; otherwise the logo pixels take back the repair
 * kept in rectPixels, so that the repaired area stays still while its
 * surroundings do. The measurement visits the edge pixels (logo pixels next
 * to a clean one): it counts those whose clean neighbour moved by more than
 * t1 against the snapshot, and sums how badly the north-south and east-west
 * interpolations predict that neighbour, which picks the axis of the first
 * repair pass. The edge pixels and their side distances come from a list
 * made at start, a small fraction of the rectangle.
 */
#include "process/repair_division.h"

SceneMeasure measureSceneChange(const FilterSettings *s, const FilterActivation *fa) {
    FrameRect fr = frameRectOf(s, fa);
    int w = fr.w;
    SceneMeasure m = {0, 0, 0, 1, false};
    int changedEdges = 0;
    for (int i = 0; i < s->edgeListCount; ++i) {
        const EdgeRecord *edge = &s->edgeList[i];
        int r = edge->row, c = edge->column, k = r * w + c;
        int e = edge->horz, v = edge->vert;
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
        uint32_t south = *rectPixel(&fr, r - edge->southDistance, c);
        uint32_t north = *rectPixel(&fr, r + edge->northDistance, c);
        uint32_t east = *rectPixel(&fr, r, c + edge->eastDistance);
        uint32_t west = *rectPixel(&fr, r, c - edge->westDistance);
        m.diffNs +=
            channelMiss(blendPair(south, edge->southDistance, north, edge->northDistance), sample);
        m.diffEw +=
            channelMiss(blendPair(east, edge->eastDistance, west, edge->westDistance), sample);
        if (channelsMoved(previous, sample, s->t1))
            ++changedEdges;
    }
    m.weight = m.diffNs > m.diffEw ? AXIS_EAST_WEST : AXIS_NORTH_SOUTH;
    /* No edge pixel means no logo pixel beside a clean one: nothing can have
       changed, and the percentage is taken as 0 rather than divided by 0. */
    if (s->edgeCount > 0) {
        m.scenePercent = static_cast<int>(static_cast<int64_t>(changedEdges) * 100 / s->edgeCount);
        m.sceneChanged = m.scenePercent > s->scene;
    }
    return m;
}

void takeSnapshot(FilterSettings *s, const FilterActivation *fa) {
    FrameRect fr = frameRectOf(s, fa);
    for (int r = 0; r < fr.h; ++r) {
        const uint32_t *row = rectRow(&fr, r);
        uint32_t *to = s->rectPixels + static_cast<ptrdiff_t>(r) * fr.w;
        for (int c = 0; c < fr.w; ++c)
            to[c] = row[c];
    }
}

void restoreSnapshot(const FilterSettings *s, const FilterActivation *fa) {
    FrameRect fr = frameRectOf(s, fa);
    for (int r = 0; r < fr.h; ++r) {
        uint32_t *row = rectRow(&fr, r);
        const int32_t *mask = s->bitmapMask + static_cast<ptrdiff_t>(r) * fr.w;
        const uint32_t *from = s->rectPixels + static_cast<ptrdiff_t>(r) * fr.w;
        for (int c = 0; c < fr.w; ++c)
            if (mask[c] == 0)
                row[c] = from[c];
    }
}
