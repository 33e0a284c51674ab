/*
 * First repair pass: each logo pixel of the interior is interpolated along
 * the axis that the scene measurement found to predict the outline best
 * (weight 1 north-south, 2 east-west), between the nearest clean pixels of
 * the side table, provided those two agree to within t1 in every channel.
 * Repaired pixels are marked 2 in workMap. The end points are clean pixels,
 * which this pass never writes, so the visiting order does not matter.
 */
#include "process/repair_division.h"

void repairFirstPass(FilterSettings *s, const FilterActivation *fa, int weight) {
    FrameRect fr = frameRectOf(s, fa);
    int w = fr.w;
    for (int r = 1; r <= fr.h - 2; ++r) {
        uint32_t *row = rectRow(&fr, r);
        const int32_t *maskRow = s->bitmapMask + r * w;
        const SideRecord *sides = s->sideTable + r * w;
        int32_t *mapRow = s->workMap + r * w;
        for (int c = 1; c <= w - 2; ++c) {
            if (maskRow[c] != 0)
                continue;
            const SideRecord *side = &sides[c];
            uint32_t value = row[c];
            if (weight == 1) {
                uint32_t south = *rectPixel(&fr, r - side->southDistance, c);
                uint32_t north = *rectPixel(&fr, r + side->northDistance, c);
                if (channelsClose(south, north, s->t1)) {
                    value = blendPair(south, side->southDistance, north, side->northDistance);
                    mapRow[c] = 2;
                }
            } else if (weight == 2) {
                uint32_t east = row[c + side->eastDistance];
                uint32_t west = row[c - side->westDistance];
                if (channelsClose(east, west, s->t1)) {
                    value = blendPair(east, side->eastDistance, west, side->westDistance);
                    mapRow[c] = 2;
                }
            }
            /* Every visited pixel is written as channels, top byte 0. */
            row[c] = value & 0xFFFFFFu;
        }
    }
}
