/*
 * The runs of the first and second repair passes (see repair_runs.h): find
 * each run on a line, test its two ends once, then fill, mark or only
 * rewrite its pixels. Interpolated channels weight each end by the distance
 * to the other: the first pass with both ends fixed, the second from the
 * pixel just behind (distance 1) and the end ahead.
 */
#include "process/repair_runs.h"
#include "process/repair_division.h"

int zeroRunLength(const int32_t *first, ptrdiff_t step, int limit) {
    int n = 0;
    while (n < limit && first[n * step] == 0)
        ++n;
    return n;
}

/* Pixel i of a line. */
static uint32_t *linePixel(const RepairLine *line, int i) {
    return reinterpret_cast<uint32_t *>(line->pixels + i * line->pixelStep);
}

/* n / d for 0 <= n <= 255 * d: by reciprocal where the table reaches. */
static int exactQuotient(int n, int d) {
    return d <= REPAIR_DIVISOR_MAX ? divideByReciprocal(n, repairReciprocals.m[d]) : n / d;
}

/* Rewrites pixels first .. first + n - 1 as channels, top byte 0. */
static void rewriteRun(const RepairLine *line, int first, int n) {
    for (int i = first; i < first + n; ++i)
        *linePixel(line, i) &= 0xFFFFFFu;
}

/* Sets the marks of positions first .. first + n - 1. */
static void markRun(const RepairLine *line, int first, int n, int32_t mark) {
    for (int i = first; i < first + n; ++i)
        line->marks[i * line->mapStep] = mark;
}

/* Pixel j of the n between a (j = 0) and b (j = n + 1): (a (n + 1 - j) + b j) / (n + 1),
 * the numerators stepped by b - a from pixel to pixel. */
static void fillLinear(const RepairLine *line, int first, int n, uint32_t a, uint32_t b) {
    int red = redOf(a) * n + redOf(b), green = greenOf(a) * n + greenOf(b);
    int blue = blueOf(a) * n + blueOf(b);
    int stepRed = redOf(b) - redOf(a), stepGreen = greenOf(b) - greenOf(a);
    int stepBlue = blueOf(b) - blueOf(a);
    int d = n + 1;
    if (d <= REPAIR_DIVISOR_MAX) {
        uint32_t m = repairReciprocals.m[d];
        for (int i = first; i < first + n; ++i) {
            *linePixel(line, i) =
                packPixel(divideByReciprocal(red, m), divideByReciprocal(green, m),
                          divideByReciprocal(blue, m));
            red += stepRed, green += stepGreen, blue += stepBlue;
        }
        return;
    }
    for (int i = first; i < first + n; ++i) {
        *linePixel(line, i) = packPixel(red / d, green / d, blue / d);
        red += stepRed, green += stepGreen, blue += stepBlue;
    }
}

/* Pixel j of the n before b (j = n + 1), from pixel j - 1 at distance 1 and b at distance
 * k = n + 1 - j: (p k + b) / (k + 1). */
static void fillChained(const RepairLine *line, int first, int n, uint32_t p, uint32_t b) {
    int red = redOf(p), green = greenOf(p), blue = blueOf(p);
    for (int i = first, k = n; k >= 1; ++i, --k) {
        red = exactQuotient(red * k + redOf(b), k + 1);
        green = exactQuotient(green * k + greenOf(b), k + 1);
        blue = exactQuotient(blue * k + blueOf(b), k + 1);
        *linePixel(line, i) = packPixel(red, green, blue);
    }
}

/* How a run of n pixels from first on is filled between its ends. */
typedef void (*RunFill)(const RepairLine *line, int first, int n, uint32_t behind, uint32_t ahead);

/* Calls fill on every run of the line whose ends agree within t, rewrites the others. */
static void repairRuns(const RepairLine *line, int t, int32_t mark, RunFill fill) {
    for (int i = 1; i <= line->length - 2;) {
        if (line->runs[i * line->mapStep] != 0) {
            ++i;
            continue;
        }
        /* A run reaching the border ends on it: valid masks never let it. */
        int n = zeroRunLength(line->runs + i * line->mapStep, line->mapStep, line->length - 1 - i);
        uint32_t behind = *linePixel(line, i - 1), ahead = *linePixel(line, i + n);
        if (channelsClose(behind, ahead, t)) {
            fill(line, i, n, behind, ahead);
            markRun(line, i, n, mark);
        } else {
            rewriteRun(line, i, n);
        }
        i += n;
    }
}

void repairRunsLinear(const RepairLine *line, int t, int32_t mark) {
    repairRuns(line, t, mark, fillLinear);
}

void repairRunsChained(const RepairLine *line, int t, int32_t mark) {
    repairRuns(line, t, mark, fillChained);
}
