/*
 * Finding the entries that the repair passes act on: a row of the work map
 * becomes a bitmap of its unmarked entries, sixteen entries per compare, and
 * the runs are read from the bitmap's edges a word at a time, so that the
 * many marked entries cost next to nothing.
 *
 * Bit i of a row's bitmap stands for interior column 1 + i; the bitmap has
 * rowBitmapWords(w) words, its spare bits clear.
 */
#ifndef PENDRA_PROCESS_REPAIR_SCAN_H
#define PENDRA_PROCESS_REPAIR_SCAN_H

#include <cstdint>
#include <emmintrin.h>

/* Words of the bitmap of a row of w entries (its w - 2 interior ones). */
inline int rowBitmapWords(int w) {
    return (w - 2 + 31) / 32;
}

/* Bit i set where entry i of the four from p is zero. */
inline int zeroBits(const int32_t *p) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    return _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(v, _mm_setzero_si128())));
}

/* The bitmap of the zero interior entries of mapRow, a row of w entries. */
inline void unmarkedBitmap(const int32_t *mapRow, int w, uint32_t *bits) {
    const int32_t *from = mapRow + 1;
    int count = w - 2;
    for (int i = 0; i < rowBitmapWords(w); ++i)
        bits[i] = 0;
    int i = 0;
    for (; i + 16 <= count; i += 16) {
        __m128i zero = _mm_setzero_si128();
        const __m128i *p = reinterpret_cast<const __m128i *>(from + i);
        __m128i a = _mm_cmpeq_epi32(_mm_loadu_si128(p), zero);
        __m128i b = _mm_cmpeq_epi32(_mm_loadu_si128(p + 1), zero);
        __m128i c = _mm_cmpeq_epi32(_mm_loadu_si128(p + 2), zero);
        __m128i d = _mm_cmpeq_epi32(_mm_loadu_si128(p + 3), zero);
        int mask = _mm_movemask_epi8(_mm_packs_epi16(_mm_packs_epi32(a, b), _mm_packs_epi32(c, d)));
        bits[i / 32] |= static_cast<uint32_t>(mask) << (i % 32);
    }
    for (; i + 4 <= count; i += 4)
        bits[i / 32] |= static_cast<uint32_t>(zeroBits(from + i)) << (i % 32);
    for (; i < count; ++i)
        if (from[i] == 0)
            bits[i / 32] |= 1u << (i % 32);
}

/* Lists the runs of set bits of a bitmap of count bits as pairs: first bit, bit after the
 * last; the number of runs. runs needs count + 1 entries. */
inline int listRuns(const uint32_t *bits, int count, int32_t *runs) {
    int n = 0, words = (count + 31) / 32;
    uint32_t carry = 0; /* the bit before the word */
    for (int i = 0; i < words; ++i) {
        /* A bit that differs from the one before it starts or ends a run, in turn. */
        uint32_t word = bits[i], edges = word ^ (word << 1 | carry);
        carry = word >> 31;
        for (; edges != 0; edges &= edges - 1)
            runs[n++] = i * 32 + __builtin_ctz(edges);
    }
    if (carry != 0) /* only when count fills the last word */
        runs[n++] = count;
    return n / 2;
}

#endif
