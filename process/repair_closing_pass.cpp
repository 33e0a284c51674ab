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

/* The pixel's value from its four ends by the t3 test, one channel at a time. */
static uint32_t closingValuePlain(uint32_t south, int dS, uint32_t north, int dN, uint32_t east,
                                  int dE, uint32_t west, int dW, int t) {
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

/* closingValuePlain's result with the channels side by side, for a distance sum within the
 * reciprocal table; t is bounded to -256 .. 256, which decides every contrast alike. */
static uint32_t closingValue(uint32_t south, int dS, uint32_t north, int dN, uint32_t east, int dE,
                             uint32_t west, int dW, int t) {
    int sum = dS + dN + dE + dW;
    if (sum > REPAIR_DIVISOR_MAX)
        return closingValuePlain(south, dS, north, dN, east, dE, west, dW, t);
    t = t < -256 ? -256 : (t > 256 ? 256 : t);
    const __m128i zero = _mm_setzero_si128();
    __m128i contrast = _mm_sub_epi16(_mm_unpacklo_epi8(byteDistance(south, north), zero),
                                     _mm_unpacklo_epi8(byteDistance(west, east), zero));
    int high = _mm_movemask_epi8(_mm_cmpgt_epi16(contrast, _mm_set1_epi16(static_cast<short>(t))));
    int low = _mm_movemask_epi8(_mm_cmplt_epi16(contrast, _mm_set1_epi16(static_cast<short>(-t))));
    /* S dN + N dS and E dW + W dE in every lane. */
    __m128i northSouth = _mm_madd_epi16(pairChannels(south, north), _mm_set1_epi32(dN | dS << 16));
    __m128i eastWest = _mm_madd_epi16(pairChannels(east, west), _mm_set1_epi32(dW | dE << 16));
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
    while (q < h - 1 && workMap[q * w + c] == 0)
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
    int w = fr.w, h = fr.h;
    if (w < 3 || h < 3)
        return;
    /* Per column: the last marked row so far (the bottom border to begin with) and the
     * nearest marked row above, scanned again only once the rows have passed it. */
    int32_t *below = s->repairScratch, *above = s->repairScratch + w;
    uint32_t *bits = reinterpret_cast<uint32_t *>(s->repairScratch + 2 * w);
    for (int c = 0; c < w; ++c)
        below[c] = above[c] = 0;
    for (int r = 1; r <= h - 2; ++r) {
        uint32_t *row = rectRow(&fr, r);
        const int32_t *mapRow = s->workMap + r * w;
        unmarkedBitmap(mapRow, w, bits);
        /* Bit i is column i + 1. */
        for (int i = nextBit(bits, 0, w - 2, true); i < w - 2;) {
            /* A run of unmarked pixels: all share its west and east ends. */
            int c = i + 1, end = nextBit(bits, i, w - 2, false) + 1;
            uint32_t west = row[c - 1], east = row[end];
            for (int p = c; p < end; ++p) {
                if (above[p] <= r)
                    above[p] = nextMarkedRow(s->workMap, w, h, r, p);
                int dS = r - below[p], dN = above[p] - r;
                row[p] = closingValue(*rectPixel(&fr, r - dS, p), dS, *rectPixel(&fr, r + dN, p),
                                      dN, east, end - p, west, p - c + 1, s->t3);
            }
            i = nextBit(bits, end - 1, w - 2, true);
        }
        recordMarkedRow(below, mapRow, w, r);
    }
}
