/*
 * The searches of the second and closing repair passes without walking:
 * each search runs from a pixel to the nearest non-zero workMap entry, no
 * farther than the side table's distance. A pass keeps, per row and per
 * column, the nearest marked entry behind it (everything behind has been
 * visited, so that record is final) and the nearest ahead (found by a scan
 * that each row or column makes only once, as nothing ahead changes before
 * the pass reaches it). A search then costs a subtraction and a minimum.
 */
#ifndef PENDRA_PROCESS_REPAIR_SEARCH_H
#define PENDRA_PROCESS_REPAIR_SEARCH_H

#include <cstdint>

/* A position farther than any search reaches: no marked entry on that side. */
#define REPAIR_FAR (1 << 29)

/* Steps of a search bounded by limit whose nearest marked entry is nearest steps away
 * (a search always takes at least one step). */
inline int searchLength(int nearest, int limit) {
    if (limit < 1)
        return 1;
    return nearest < limit ? nearest : limit;
}

/* Row of the first non-zero entry above row r in column c, or REPAIR_FAR. */
inline int nextMarkedRow(const int32_t *workMap, int w, int h, int r, int c) {
    for (int q = r + 1; q < h; ++q)
        if (workMap[q * w + c] != 0)
            return q;
    return REPAIR_FAR;
}

/* Column of the first non-zero entry right of column c in one row of w entries, or REPAIR_FAR. */
inline int nextMarkedColumn(const int32_t *mapRow, int w, int c) {
    for (int q = c + 1; q < w; ++q)
        if (mapRow[q] != 0)
            return q;
    return REPAIR_FAR;
}

/* Starts the per-column records of a pass: the last marked row so far is row 0 when its
 * entry is marked, and nothing ahead has been scanned yet. */
inline void startColumnRecords(const int32_t *workMap, int w, int32_t *below, int32_t *above) {
    for (int c = 0; c < w; ++c) {
        below[c] = workMap[c] != 0 ? 0 : -REPAIR_FAR;
        above[c] = 0; /* not yet scanned */
    }
}

#endif
