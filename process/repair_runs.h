/*
 * Runs: the unit of work of the first and second repair passes.
 *
 * Along a pass's axis, the pixels still to repair come in runs between two
 * marked pixels, and every pixel of a run searches to the same two ends: the
 * first pass's ends are clean pixels it never writes, and in the second pass
 * the end behind is the pixel just before (marked, or repaired a moment
 * earlier) while the end ahead has not been visited yet. So one threshold
 * test decides a whole run: in the first pass the two ends are the same for
 * all its pixels; in the second, a repaired pixel lies between its two ends
 * channel by channel, so it agrees with the end ahead at least as well as
 * the end behind did and the next pixel passes too, while after a failure
 * the next pixel sees the same two ends and fails too.
 *
 * A search stops at the nearest marked entry, which is never beyond the
 * side table's clean pixel (clean pixels stay marked), so that bound is not
 * read. Runs end at the rectangle's border whatever it holds, so that no
 * search leaves the rectangle.
 *
 * A pixel's searches stay on its own row or column, and only the pixels of
 * that line change it, so the lines may be taken in any order as long as
 * each line's runs come in the visiting order: rows left to right, columns
 * bottom to top.
 */
#ifndef PENDRA_PROCESS_REPAIR_RUNS_H
#define PENDRA_PROCESS_REPAIR_RUNS_H

#include "process/stages.h"

/* How a pass treats the runs whose ends agree. */
enum RunFill {
    FILL_LINEAR, /* both ends fixed: each pixel weighted between them */
    FILL_CHAINED /* each pixel from the one just repaired and the end ahead */
};

/* The maps and settings of one pass over the runs. */
struct RunPass {
    const int32_t *runs; /* the map whose zero entries form the runs */
    int32_t *marks;      /* the map that records repaired pixels */
    int32_t mark;
    int t; /* threshold: ends must differ by less in every channel */
    RunFill fill;
};

/* Repair or rewrite every run of unmarked interior pixels along the rows, or along the
 * columns; scratch is repairScratch. */
void repairRowRuns(const RunPass *pass, const FrameRect *fr, int32_t *scratch);
void repairColumnRuns(const RunPass *pass, const FrameRect *fr, int32_t *scratch);

#endif
