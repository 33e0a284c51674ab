/*
 * First repair pass: each logo pixel of the interior is interpolated along
 * the axis that the scene measurement found to predict the outline best
 * (weight 1 north-south, 2 east-west), between the nearest clean pixels of
 * that axis, provided those two agree to within t1 in every channel.
 * Repaired pixels are marked 2 in workMap. The end points are clean pixels,
 * which this pass never writes, so the visiting order does not matter; the
 * pass goes run by run along the axis (repair_runs.h).
 */
#include "process/repair_runs.h"

/* Rewrites every interior logo pixel unchanged, top byte 0 (no axis). */
static void rewriteLogoPixels(const FilterSettings *s, const FrameRect *fr) {
    for (int r = 1; r <= fr->h - 2; ++r) {
        uint32_t *row = rectRow(fr, r);
        const int32_t *maskRow = s->bitmapMask + r * fr->w;
        for (int c = 1; c <= fr->w - 2; ++c)
            if (maskRow[c] == STATE_LOGO)
                row[c] &= 0xFFFFFFu;
    }
}

void repairFirstPass(FilterSettings *s, const FilterActivation *fa, int weight) {
    FrameRect fr = frameRectOf(s, fa);
    if (fr.w < 3 || fr.h < 3)
        return;
    RunPass pass = {s->bitmapMask, s->workMap, STATE_FIRST_PASS, s->t1, FILL_LINEAR};
    if (weight == AXIS_NORTH_SOUTH)
        repairColumnRuns(&pass, &fr, s->repairScratch);
    else if (weight == AXIS_EAST_WEST)
        repairRowRuns(&pass, &fr, s->repairScratch);
    else
        rewriteLogoPixels(s, &fr);
}
