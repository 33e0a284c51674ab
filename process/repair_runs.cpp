/*
 * The runs of the first and second repair passes (see repair_runs.h): find
 * each run, test its two ends once, then fill and mark its pixels or only
 * rewrite them. Interpolated channels weight each end by the distance to
 * the other: the first pass with both ends fixed, the second from the pixel
 * just behind (distance 1) and the end ahead.
 */
#include "process/repair_runs.h"
#include "process/repair_division.h"
#include "process/repair_scan.h"

#include <emmintrin.h>

/* n pixels from first, pixelStep bytes apart, with their map entries mapStep apart. */
struct PixelRun {
    unsigned char *first;
    ptrdiff_t pixelStep;
    int32_t *marks;
    ptrdiff_t mapStep;
    int n;
};

/* Pixel i of a run (-1 the end behind, n the end ahead). */
static uint32_t *runPixel(const PixelRun *run, int i) {
    return reinterpret_cast<uint32_t *>(run->first + i * run->pixelStep);
}

/* Pixel j of the n between a (j = 0) and b (j = n + 1): (a (n + 1 - j) + b j) / (n + 1),
 * the numerators stepped by b - a from pixel to pixel. */
static void fillLinear(PixelRun run, uint32_t a, uint32_t b) {
    int n = run.n, d = n + 1;
    int red = redOf(a) * n + redOf(b), green = greenOf(a) * n + greenOf(b);
    int blue = blueOf(a) * n + blueOf(b);
    int stepRed = redOf(b) - redOf(a), stepGreen = greenOf(b) - greenOf(a);
    int stepBlue = blueOf(b) - blueOf(a);
    unsigned char *p = run.first;
    if (d <= REPAIR_DIVISOR_MAX) {
        uint32_t m = repairReciprocals.m[d];
        for (int i = 0; i < n; ++i, p += run.pixelStep) {
            *reinterpret_cast<uint32_t *>(p) =
                packPixel(divideByReciprocal(red, m), divideByReciprocal(green, m),
                          divideByReciprocal(blue, m));
            red += stepRed, green += stepGreen, blue += stepBlue;
        }
        return;
    }
    for (int i = 0; i < n; ++i, p += run.pixelStep) {
        *reinterpret_cast<uint32_t *>(p) = packPixel(red / d, green / d, blue / d);
        red += stepRed, green += stepGreen, blue += stepBlue;
    }
}

/* (p k + b) m >> 32 as (p (k m) + b m) >> 32: k m stays below 2^32, and the one multiply
 * that waits on p shortens the chain from pixel to pixel. */
static int chainStep(int p, uint32_t km, uint64_t bm) {
    return static_cast<int>((static_cast<uint64_t>(static_cast<uint32_t>(p)) * km + bm) >> 32);
}

/* Pixel j of the n before b (j = n + 1), from pixel j - 1 (a for j = 1) at distance 1 and b
 * at distance k = n + 1 - j: (p k + b) / (k + 1). */
static void fillChained(PixelRun run, uint32_t a, uint32_t b) {
    int red = redOf(a), green = greenOf(a), blue = blueOf(a);
    unsigned char *p = run.first;
    int k = run.n;
    for (; k + 1 > REPAIR_DIVISOR_MAX; --k, p += run.pixelStep) {
        red = (red * k + redOf(b)) / (k + 1);
        green = (green * k + greenOf(b)) / (k + 1);
        blue = (blue * k + blueOf(b)) / (k + 1);
        *reinterpret_cast<uint32_t *>(p) = packPixel(red, green, blue);
    }
    for (; k >= 1; --k, p += run.pixelStep) {
        uint32_t m = repairReciprocals.m[k + 1], km = static_cast<uint32_t>(k) * m;
        red = chainStep(red, km, static_cast<uint64_t>(redOf(b)) * m);
        green = chainStep(green, km, static_cast<uint64_t>(greenOf(b)) * m);
        blue = chainStep(blue, km, static_cast<uint64_t>(blueOf(b)) * m);
        *reinterpret_cast<uint32_t *>(p) = packPixel(red, green, blue);
    }
}

/* Rewrites a run's pixels unchanged, top byte 0; along a row four at a time. */
static void rewriteRun(PixelRun run) {
    unsigned char *p = run.first;
    int i = 0;
    if (run.pixelStep == 4)
        for (; i + 4 <= run.n; i += 4, p += 16) {
            __m128i *q = reinterpret_cast<__m128i *>(p);
            _mm_storeu_si128(q, _mm_and_si128(_mm_loadu_si128(q), _mm_set1_epi32(0xFFFFFF)));
        }
    for (; i < run.n; ++i, p += run.pixelStep)
        *reinterpret_cast<uint32_t *>(p) &= 0xFFFFFFu;
}

/* Marks a run's entries; along a row four at a time. */
static void markRun(PixelRun run, int32_t mark) {
    int32_t *p = run.marks;
    int i = 0;
    if (run.mapStep == 1)
        for (; i + 4 <= run.n; i += 4, p += 4)
            _mm_storeu_si128(reinterpret_cast<__m128i *>(p), _mm_set1_epi32(mark));
    for (; i < run.n; ++i, p += run.mapStep)
        *p = mark;
}

/* Tests a run's two ends; fills and marks it when they agree, else only rewrites it. */
static void repairRun(const RunPass *pass, const PixelRun *run) {
    uint32_t behind = *runPixel(run, -1), ahead = *runPixel(run, run->n);
    if (!channelsClose(behind, ahead, pass->t)) {
        rewriteRun(*run);
        return;
    }
    if (pass->fill == FILL_LINEAR)
        fillLinear(*run, behind, ahead);
    else
        fillChained(*run, behind, ahead);
    markRun(*run, pass->mark);
}

void repairRowRuns(const RunPass *pass, const FrameRect *fr, int32_t *scratch) {
    int w = fr->w;
    int32_t *runs = scratch;
    uint32_t *bits = reinterpret_cast<uint32_t *>(scratch + w);
    for (int r = 1; r <= fr->h - 2; ++r) {
        unsigned char *row = reinterpret_cast<unsigned char *>(rectRow(fr, r));
        /* A run's entries change only once it is taken, after every run before it. Bit i is
         * column i + 1; a run reaching the border ends on it. */
        unmarkedBitmap(pass->runs + r * w, w, bits);
        int count = listRuns(bits, w - 2, runs);
        for (int j = 0; j < count; ++j) {
            int c = runs[2 * j] + 1, end = runs[2 * j + 1] + 1;
            PixelRun run = {row + c * 4, 4, pass->marks + r * w + c, 1, end - c};
            repairRun(pass, &run);
        }
    }
}

void repairColumnRuns(const RunPass *pass, const FrameRect *fr, int32_t *scratch) {
    int w = fr->w, h = fr->h, words = rowBitmapWords(w);
    int32_t *runStart = scratch;
    uint32_t *here = reinterpret_cast<uint32_t *>(scratch + w), *below = here + words;
    /* Rows bottom to top: a run starts on an unmarked entry above a marked one and ends below
     * a marked one; the border rows count as marked. A run is taken once its end is known,
     * before anything above it in its column, from the rows' state before this row's runs. */
    for (int i = 0; i < words; ++i)
        below[i] = 0;
    for (int r = 1; r <= h - 1; ++r) {
        if (r == h - 1)
            for (int i = 0; i < words; ++i)
                here[i] = 0;
        else
            unmarkedBitmap(pass->runs + r * w, w, here);
        for (int i = 0; i < words; ++i) {
            uint32_t starts = here[i] & ~below[i], ends = below[i] & ~here[i];
            for (; starts != 0; starts &= starts - 1)
                runStart[i * 32 + __builtin_ctz(starts) + 1] = r;
            for (; ends != 0; ends &= ends - 1) {
                int k = i * 32 + __builtin_ctz(ends) + 1, first = runStart[k];
                PixelRun run = {reinterpret_cast<unsigned char *>(rectPixel(fr, first, k)),
                                fr->pitch, pass->marks + first * w + k, w, r - first};
                repairRun(pass, &run);
            }
        }
        uint32_t *swap = below;
        below = here, here = swap;
    }
}
