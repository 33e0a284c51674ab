/*
 * Second repair pass: the logo pixels that the first pass left are
 * interpolated along the other axis, with threshold t2. Its end points are
 * found afresh in workMap: the nearest pixel that is clean or already
 * repaired, so a pixel repaired a moment earlier in this pass (below it or
 * to its left) ends the searches of the pixels after it and lends them its
 * new value. The visiting order, bottom row first and left to right, is
 * therefore part of the result. Repaired pixels are marked 3.
 *
 * The search behind a pixel (down or left) meets only visited pixels, so a
 * running record of the last marked one answers it, updated as this pass
 * marks; the search ahead meets only pixels as the first pass left them, so
 * a scan made once per stretch answers it (repair_search.h).
 */
#include "process/repair_division.h"
#include "process/repair_search.h"

/* North-south: per-column records, rows bottom to top. */
static void secondPassNorthSouth(FilterSettings *s, const FrameRect *fr) {
    int w = fr->w, h = fr->h;
    int32_t *below = s->repairColumns, *above = s->repairColumns + w;
    startColumnRecords(s->workMap, w, below, above);
    for (int r = 1; r <= h - 2; ++r) {
        uint32_t *row = rectRow(fr, r);
        int32_t *mapRow = s->workMap + r * w;
        const SideRecord *sides = s->sideTable + r * w;
        for (int c = 1; c <= w - 2; ++c) {
            if (mapRow[c] != 0) {
                below[c] = r;
                continue;
            }
            if (above[c] <= r)
                above[c] = nextMarkedRow(s->workMap, w, h, r, c);
            int dS = searchLength(r - below[c], sides[c].southDistance);
            int dN = searchLength(above[c] - r, sides[c].northDistance);
            uint32_t south = *rectPixel(fr, r - dS, c);
            uint32_t north = *rectPixel(fr, r + dN, c);
            uint32_t value = row[c];
            if (channelsClose(south, north, s->t2)) {
                value = blendPair(south, dS, north, dN);
                mapRow[c] = 3;
                below[c] = r;
            }
            row[c] = value & 0xFFFFFFu;
        }
    }
}

/* East-west: the records of one row at a time, columns left to right. */
static void secondPassEastWest(FilterSettings *s, const FrameRect *fr) {
    int w = fr->w;
    for (int r = 1; r <= fr->h - 2; ++r) {
        uint32_t *row = rectRow(fr, r);
        int32_t *mapRow = s->workMap + r * w;
        const SideRecord *sides = s->sideTable + r * w;
        int west = mapRow[0] != 0 ? 0 : -REPAIR_FAR;
        int east = 0;
        for (int c = 1; c <= w - 2; ++c) {
            if (mapRow[c] != 0) {
                west = c;
                continue;
            }
            if (east <= c)
                east = nextMarkedColumn(mapRow, w, c);
            int dE = searchLength(east - c, sides[c].eastDistance);
            int dW = searchLength(c - west, sides[c].westDistance);
            uint32_t value = row[c];
            if (channelsClose(row[c + dE], row[c - dW], s->t2)) {
                value = blendPair(row[c + dE], dE, row[c - dW], dW);
                mapRow[c] = 3;
                west = c;
            }
            row[c] = value & 0xFFFFFFu;
        }
    }
}

/* No axis: the pixels are only rewritten, top byte 0. */
static void secondPassNoAxis(FilterSettings *s, const FrameRect *fr) {
    int w = fr->w;
    for (int r = 1; r <= fr->h - 2; ++r) {
        uint32_t *row = rectRow(fr, r);
        const int32_t *mapRow = s->workMap + r * w;
        for (int c = 1; c <= w - 2; ++c)
            if (mapRow[c] == 0)
                row[c] &= 0xFFFFFFu;
    }
}

void repairSecondPass(FilterSettings *s, const FilterActivation *fa, int weight) {
    FrameRect fr = frameRectOf(s, fa);
    if (fr.w < 3 || fr.h < 3)
        return;
    int axis = 3 - weight;
    if (axis == 1)
        secondPassNorthSouth(s, &fr);
    else if (axis == 2)
        secondPassEastWest(s, &fr);
    else
        secondPassNoAxis(s, &fr);
}
