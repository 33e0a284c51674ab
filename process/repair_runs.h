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
 * A line is a row or a column of the rectangle: entry i of its work map at
 * map + i * mapStep and pixel i at pixels + i * pixelStep bytes; positions
 * 0 and length - 1 are border pixels, never written.
 */
#ifndef PENDRA_PROCESS_REPAIR_RUNS_H
#define PENDRA_PROCESS_REPAIR_RUNS_H

#include <cstddef>
#include <cstdint>

/* One row or column of the rectangle, as the passes walk it. */
struct RepairLine {
    const int32_t *runs; /* the map whose zero entries form the runs */
    int32_t *marks;      /* the map that records repaired pixels */
    ptrdiff_t mapStep;   /* entries from one position to the next in both maps */
    unsigned char *pixels;
    ptrdiff_t pixelStep; /* bytes from one position to the next */
    int length;
};

/* Number of zero entries from first on, stride step, at most limit. */
int zeroRunLength(const int32_t *first, ptrdiff_t step, int limit);

/* First pass on a line: each run between agreeing ends is interpolated linearly and marked
 * mark; the others are only rewritten. */
void repairRunsLinear(const RepairLine *line, int t, int32_t mark);

/* Second pass on a line: each run whose ends agree is repaired pixel by pixel from the
 * pixel behind and the end ahead, and marked mark; the others are only rewritten. */
void repairRunsChained(const RepairLine *line, int t, int32_t mark);

#endif
