/*
 * Closing repair pass: every logo pixel that neither earlier pass took is
 * filled from the nearest clean or repaired pixel in all four directions,
 * with threshold t3 choosing how. Where the north-south pair disagrees more
 * than the east-west pair by over t3 in every channel the pixel follows
 * east-west; in the opposite case north-south; otherwise it blends all four
 * ends. workMap is left unchanged (these pixels stay 0), so the searches
 * never end on a pixel this pass wrote and the visiting order does not
 * matter. The east and west searches of a run of such pixels in a row end on
 * the run's two ends; the north and south ones come from per-column records.
 * As in the other passes, a search ends on the nearest marked entry without
 * the side table's bound, and at the rectangle's border at the latest.
 */
#include "process/repair_division.h"
#include "process/repair_runs.h"

/* |S - N| - |W - E| of one channel. */
static int axisContrast(int south, int north, int west, int east) {
    return absDiff(south, north) - absDiff(west, east);
}

/* Each of four ends weighted by the distance to its opposite end: (S dN + N dS + E dW + W dE)
 * / (dS + dN + dE + dW), every distance at least 1. */
static uint32_t blendFour(uint32_t south, int dS, uint32_t north, int dN, uint32_t east, int dE,
                          uint32_t west, int dW) {
    int sum = dS + dN + dE + dW;
    int red = redOf(south) * dN + redOf(north) * dS + redOf(east) * dW + redOf(west) * dE;
    int green = greenOf(south) * dN + greenOf(north) * dS + greenOf(east) * dW + greenOf(west) * dE;
    int blue = blueOf(south) * dN + blueOf(north) * dS + blueOf(east) * dW + blueOf(west) * dE;
    if (sum > REPAIR_DIVISOR_MAX)
        return packPixel(red / sum, green / sum, blue / sum);
    uint32_t m = repairReciprocals.m[sum];
    return packPixel(divideByReciprocal(red, m), divideByReciprocal(green, m),
                     divideByReciprocal(blue, m));
}

/* The pixel's value from its four ends by the t3 test. */
static uint32_t closingValue(uint32_t south, int dS, uint32_t north, int dN, uint32_t east, int dE,
                             uint32_t west, int dW, int t) {
    int dRed = axisContrast(redOf(south), redOf(north), redOf(west), redOf(east));
    int dGreen = axisContrast(greenOf(south), greenOf(north), greenOf(west), greenOf(east));
    int dBlue = axisContrast(blueOf(south), blueOf(north), blueOf(west), blueOf(east));
    /* The north-south test comes second and wins when both hold. */
    if (dRed < -t && dGreen < -t && dBlue < -t)
        return blendPair(south, dS, north, dN);
    if (dRed > t && dGreen > t && dBlue > t)
        return blendPair(east, dE, west, dW);
    return blendFour(south, dS, north, dN, east, dE, west, dW);
}

/* Row of the first non-zero entry above row r in column c, or the top border row. */
static int nextMarkedRow(const int32_t *workMap, int w, int h, int r, int c) {
    int q = r + 1;
    while (q < h - 1 && workMap[q * w + c] == 0)
        ++q;
    return q;
}

void repairClosingPass(FilterSettings *s, const FilterActivation *fa) {
    FrameRect fr = frameRectOf(s, fa);
    int w = fr.w, h = fr.h;
    if (w < 3 || h < 3)
        return;
    /* Per column: the last marked row so far (the bottom border to begin with) and the
     * nearest marked row above, scanned again only once the rows have passed it. */
    int32_t *below = s->repairColumns, *above = s->repairColumns + w;
    for (int c = 0; c < w; ++c)
        below[c] = above[c] = 0;
    for (int r = 1; r <= h - 2; ++r) {
        uint32_t *row = rectRow(&fr, r);
        const int32_t *mapRow = s->workMap + r * w;
        for (int c = 1; c <= w - 2;) {
            if (mapRow[c] != 0) {
                below[c++] = r;
                continue;
            }
            /* A run of n unmarked pixels: all share its west and east ends. */
            int n = zeroRunLength(mapRow + c, 1, w - 1 - c);
            uint32_t west = row[c - 1], east = row[c + n];
            for (int j = 0; j < n; ++j) {
                int p = c + j;
                if (above[p] <= r)
                    above[p] = nextMarkedRow(s->workMap, w, h, r, p);
                int dS = r - below[p], dN = above[p] - r;
                row[p] = closingValue(*rectPixel(&fr, r - dS, p), dS, *rectPixel(&fr, r + dN, p),
                                      dN, east, n - j, west, j + 1, s->t3);
            }
            c += n;
        }
    }
}
