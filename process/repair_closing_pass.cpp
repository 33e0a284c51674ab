/*
 * Closing repair pass: every logo pixel that neither earlier pass took is
 * filled from the nearest clean or repaired pixel in all four directions,
 * with threshold t3 choosing how. Where the north-south pair disagrees more
 * than the east-west pair by over t3 in every channel the pixel follows
 * east-west; in the opposite case north-south; otherwise it blends all four
 * ends. workMap is left unchanged (these pixels stay 0), so the searches
 * never end on a pixel this pass wrote and the visiting order does not
 * matter.
 *
 * The east and west searches of a run of such pixels in a row end on the
 * run's two ends; the north and south ones come from per-column records of
 * the last marked row below and the next one above. As in the other passes
 * a search ends on the nearest marked entry, never beyond the side table's
 * clean pixel, and at the rectangle's border at the latest. The channels of
 * a pixel are worked side by side in one vector register, in exact integer
 * steps.
 */
#include "process/repair_division.h"
#include "process/repair_scan.h"

#include <emmintrin.h>

/* |S - N| - |W - E| of one channel. */
static int axisContrast(int south, int north, int west, int east) {
    return absDiff(south, north) - absDiff(west, east);
}

/* Each of four ends weighted by the distance to its opposite end. */
static int blendFour(int south, int dS, int north, int dN, int east, int dE, int west, int dW) {
    return (south * dN + north * dS + east * dW + west * dE) / (dS + dN + dE + dW);
}

/* The pixel's value from its four ends by the t3 test, one channel at a time. Out of line:
 * it is rare, and inlined it would crowd the common path's registers. */
[[gnu::noinline]] static uint32_t closingValuePlain(uint32_t south, int dS, uint32_t north, int dN,
                                                    uint32_t east, int dE, uint32_t west, int dW,
                                                    int t) {
    int dRed = axisContrast(redOf(south), redOf(north), redOf(west), redOf(east));
    int dGreen = axisContrast(greenOf(south), greenOf(north), greenOf(west), greenOf(east));
    int dBlue = axisContrast(blueOf(south), blueOf(north), blueOf(west), blueOf(east));
    /* The north-south test comes second and wins when both hold. */
    if (dRed < -t && dGreen < -t && dBlue < -t)
        return blendPair(south, dS, north, dN);
    if (dRed > t && dGreen > t && dBlue > t)
        return blendPair(east, dE, west, dW);
    return packPixel(
        blendFour(redOf(south), dS, redOf(north), dN, redOf(east), dE, redOf(west), dW),
        blendFour(greenOf(south), dS, greenOf(north), dN, greenOf(east), dE, greenOf(west), dW),
        blendFour(blueOf(south), dS, blueOf(north), dN, blueOf(east), dE, blueOf(west), dW));
}

/* Lanes 0 to 2 of num, each at most 255 * D, divided by D through its reciprocal m and
 * packed as a pixel word. */
static uint32_t packQuotients(__m128i num, uint32_t m) {
    __m128i mv = _mm_set1_epi32(static_cast<int>(m));
    __m128i even = _mm_srli_epi64(_mm_mul_epu32(num, mv), 32);
    __m128i odd = _mm_mul_epu32(_mm_srli_epi64(num, 32), mv);
    __m128i q = _mm_or_si128(even, _mm_and_si128(odd, _mm_set_epi32(-1, 0, -1, 0)));
    q = _mm_packs_epi32(q, q);
    return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(q, q))) & 0xFFFFFFu;
}

/* Bytes of a pixel word widened to 16-bit lanes, paired with those of b: a0 b0 a1 b1 ... */
static __m128i pairChannels(uint32_t a, uint32_t b) {
    __m128i av = _mm_cvtsi32_si128(static_cast<int>(a)),
            bv = _mm_cvtsi32_si128(static_cast<int>(b));
    return _mm_unpacklo_epi8(_mm_unpacklo_epi8(av, bv), _mm_setzero_si128());
}

/* |a - b| of every byte. */
static __m128i byteDistance(uint32_t a, uint32_t b) {
    __m128i av = _mm_cvtsi32_si128(static_cast<int>(a)),
            bv = _mm_cvtsi32_si128(static_cast<int>(b));
    return _mm_or_si128(_mm_subs_epu8(av, bv), _mm_subs_epu8(bv, av));
}

/* What the pixels of one run share: its east and west ends and the t3 test. */
struct ClosingRun {
    uint32_t east, west;
    __m128i eastWest;         /* E and W paired, 16-bit lanes */
    __m128i eastWestContrast; /* |W - E|, 16-bit lanes */
    __m128i above, below;     /* t and -t, bounded to -256 .. 256 (D lies within -255 .. 255) */
    int t;
};

/* The shared part of a run's pixels. */
static ClosingRun closingRun(uint32_t east, uint32_t west, int t) {
    int bounded = t < -256 ? -256 : (t > 256 ? 256 : t);
    ClosingRun run = {east,
                      west,
                      pairChannels(east, west),
                      _mm_unpacklo_epi8(byteDistance(west, east), _mm_setzero_si128()),
                      _mm_set1_epi16(static_cast<short>(bounded)),
                      _mm_set1_epi16(static_cast<short>(-bounded)),
                      t};
    return run;
}

/* closingValuePlain's result with the channels side by side, for a distance sum within the
 * reciprocal table. */
static uint32_t closingValue(const ClosingRun *run, uint32_t south, int dS, uint32_t north, int dN,
                             int dE, int dW) {
    int sum = dS + dN + dE + dW;
    if (sum > REPAIR_DIVISOR_MAX)
        return closingValuePlain(south, dS, north, dN, run->east, dE, run->west, dW, run->t);
    __m128i contrast = _mm_sub_epi16(
        _mm_unpacklo_epi8(byteDistance(south, north), _mm_setzero_si128()), run->eastWestContrast);
    int high = _mm_movemask_epi8(_mm_cmpgt_epi16(contrast, run->above));
    int low = _mm_movemask_epi8(_mm_cmplt_epi16(contrast, run->below));
    /* S dN + N dS and E dW + W dE in every lane. */
    __m128i northSouth = _mm_madd_epi16(pairChannels(south, north), _mm_set1_epi32(dN | dS << 16));
    __m128i eastWest = _mm_madd_epi16(run->eastWest, _mm_set1_epi32(dW | dE << 16));
    /* Red, green and blue are the low six bytes; north-south wins when both tests hold. */
    if ((low & 0x3F) == 0x3F)
        return packQuotients(northSouth, repairReciprocals.m[dS + dN]);
    if ((high & 0x3F) == 0x3F)
        return packQuotients(eastWest, repairReciprocals.m[dE + dW]);
    return packQuotients(_mm_add_epi32(northSouth, eastWest), repairReciprocals.m[sum]);
}

/* Row of the first non-zero entry above row r in column c, or the top border row. */
static int nextMarkedRow(const int32_t *workMap, int w, int h, int r, int c) {
    int q = r + 1;
    while (q < h - 1 && workMap[q * w + c] == STATE_LOGO)
        ++q;
    return q;
}

/* Sets below[c] to r wherever row r is marked, four columns at a time. */
static void recordMarkedRow(int32_t *below, const int32_t *mapRow, int w, int r) {
    __m128i rv = _mm_set1_epi32(r);
    int c = 1;
    for (; c + 4 <= w - 1; c += 4) {
        __m128i unmarked = _mm_cmpeq_epi32(
            _mm_loadu_si128(reinterpret_cast<const __m128i *>(mapRow + c)), _mm_setzero_si128());
        __m128i *to = reinterpret_cast<__m128i *>(below + c);
        _mm_storeu_si128(to, _mm_or_si128(_mm_and_si128(unmarked, _mm_loadu_si128(to)),
                                          _mm_andnot_si128(unmarked, rv)));
    }
    for (; c <= w - 2; ++c)
        if (mapRow[c] != 0)
            below[c] = r;
}

void repairClosingPass(FilterSettings *s, const FilterActivation *fa) {
    FrameRect fr = frameRectOf(s, fa);
    int w = fr.w, h = fr.h, t = s->t3;
    if (w < 3 || h < 3)
        return;
    /* Per column: the last marked row so far (the bottom border to begin with) and the
     * nearest marked row above, scanned again only once the rows have passed it. */
    int32_t *below = s->repairScratch, *above = below + w, *runs = above + w;
    uint32_t *bits = reinterpret_cast<uint32_t *>(runs + w);
    for (int c = 0; c < w; ++c)
        below[c] = above[c] = 0;
    for (int r = 1; r <= h - 2; ++r) {
        uint32_t *row = rectRow(&fr, r);
        const int32_t *mapRow = s->workMap + r * w;
        unmarkedBitmap(mapRow, w, bits);
        int count = listRuns(bits, w - 2, runs);
        for (int j = 0; j < count; ++j) {
            /* A run of unmarked pixels (bit i is column i + 1): all share its west and east
             * ends. */
            int c = runs[2 * j] + 1, end = runs[2 * j + 1] + 1;
            ClosingRun run = closingRun(row[end], row[c - 1], t);
            for (int p = c; p < end; ++p) {
                if (above[p] <= r)
                    above[p] = nextMarkedRow(s->workMap, w, h, r, p);
                int dS = r - below[p], dN = above[p] - r;
                row[p] = closingValue(&run, *rectPixel(&fr, r - dS, p), dS,
                                      *rectPixel(&fr, r + dN, p), dN, end - p, p - c + 1);
            }
        }
        recordMarkedRow(below, mapRow, w, r);
    }
}
