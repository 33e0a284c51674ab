/*
 * Second repair pass: the logo pixels that the first pass left are
 * interpolated along the other axis, with threshold t2. Its end points are
 * found afresh in workMap: the nearest pixel that is clean or already
 * repaired, so a pixel repaired a moment earlier in this pass (below it or
 * to its left) ends the searches of the pixels after it and lends them its
 * new value. The visiting order, bottom row first and left to right, is
 * therefore part of the result. Repaired pixels are marked 3.
 */
#include "process/stages.h"

int searchRepaired(const int32_t *workMap, int k, int step, int limit) {
    int d = 1;
    while (d < limit && workMap[k + d * step] == 0)
        ++d;
    return d;
}

void repairSecondPass(FilterSettings *s, const FilterActivation *fa, int weight) {
    FrameRect fr = frameRectOf(s, fa);
    int w = fr.w;
    int axis = 3 - weight;
    for (int r = 1; r <= fr.h - 2; ++r) {
        uint32_t *row = rectRow(&fr, r);
        for (int c = 1; c <= w - 2; ++c) {
            int k = r * w + c;
            if (s->workMap[k] != 0)
                continue;
            /* The side table's clean pixel bounds every search. */
            const SideRecord *side = &s->sideTable[k];
            uint32_t value = row[c];
            if (axis == 1) {
                int dS = searchRepaired(s->workMap, k, -w, side->southDistance);
                int dN = searchRepaired(s->workMap, k, w, side->northDistance);
                uint32_t south = *rectPixel(&fr, r - dS, c);
                uint32_t north = *rectPixel(&fr, r + dN, c);
                if (channelsClose(south, north, s->t2)) {
                    value = interpolatePair(south, dS, north, dN);
                    s->workMap[k] = 3;
                }
            } else if (axis == 2) {
                int dE = searchRepaired(s->workMap, k, 1, side->eastDistance);
                int dW = searchRepaired(s->workMap, k, -1, side->westDistance);
                if (channelsClose(row[c + dE], row[c - dW], s->t2)) {
                    value = interpolatePair(row[c + dE], dE, row[c - dW], dW);
                    s->workMap[k] = 3;
                }
            }
            row[c] = value & 0xFFFFFFu;
        }
    }
}
