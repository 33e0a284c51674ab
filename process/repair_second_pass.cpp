/*
 * Second repair pass: the logo pixels that the first pass left are
 * interpolated along the other axis, with threshold t2. Its end points are
 * found afresh in workMap: the nearest pixel that is clean or already
 * repaired, so a pixel repaired a moment earlier in this pass (below it or
 * to its left) ends the searches of the pixels after it and lends them its
 * new value. The visiting order, bottom row first and left to right, is
 * therefore part of the result. Repaired pixels are marked 3.
 * The pass goes run by run along its axis (repair_runs.h).
 */
#include "process/repair_runs.h"

/* Rewrites every interior pixel still at 0 unchanged, top byte 0 (no axis). */
static void rewriteUnrepaired(const FilterSettings *s, const FrameRect *fr) {
    for (int r = 1; r <= fr->h - 2; ++r) {
        uint32_t *row = rectRow(fr, r);
        const int32_t *mapRow = s->workMap + r * fr->w;
        for (int c = 1; c <= fr->w - 2; ++c)
            if (mapRow[c] == STATE_LOGO)
                row[c] &= 0xFFFFFFu;
    }
}

void repairSecondPass(FilterSettings *s, const FilterActivation *fa, int weight) {
    FrameRect fr = frameRectOf(s, fa);
    if (fr.w < 3 || fr.h < 3)
        return;
    RunPass pass = {s->workMap, s->workMap, STATE_SECOND_PASS, s->t2, FILL_CHAINED};
    int axis = crossAxis(weight);
    if (axis == AXIS_NORTH_SOUTH)
        repairColumnRuns(&pass, &fr, s->repairScratch);
    else if (axis == AXIS_EAST_WEST)
        repairRowRuns(&pass, &fr, s->repairScratch);
    else
        rewriteUnrepaired(s, &fr);
}
