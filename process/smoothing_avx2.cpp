/*
 * The smoothing's row kernel in AVX2, eight pixels per step: the same
 * integer operations as the SSE2 kernel (add, arithmetic shift, select), so
 * its words are the same; it halves the smoothing's time on processors that
 * have it. Compiled for native x86-64 builds only, with the instruction set
 * enabled for these functions alone, and called only after the processor
 * has been asked.
 */
#include "process/smoothing_kernels.h"

#if defined(PENDRA_SMOOTH_AVX2)

#include <immintrin.h>

#define AVX2_TARGET __attribute__((target("avx2")))

/* Quarter of the sum of the four neighbours of the eight values at p, truncated. */
AVX2_TARGET static inline __m256i neighbourMean8(const int32_t *p, ptrdiff_t w) {
    __m256i across = _mm256_add_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(p - 1)),
                                      _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + 1)));
    __m256i along = _mm256_add_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(p - w)),
                                     _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + w)));
    return _mm256_srai_epi32(_mm256_add_epi32(across, along), 2);
}

/* mean where due is set, the value at p elsewhere. */
AVX2_TARGET static inline __m256i keepUndue8(__m256i due, __m256i mean, const int32_t *p) {
    return _mm256_blendv_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(p)), mean, due);
}

AVX2_TARGET void smoothRowAvx2(const SmoothRowJob *job) {
    /* Locals, not the job's fields: the stores below could alias them. */
    const ptrdiff_t w = job->w;
    const int32_t *red = job->from.p[0], *green = job->from.p[1], *blue = job->from.p[2];
    int32_t *toRed = job->to.p[0], *toGreen = job->to.p[1], *toBlue = job->to.p[2];
    const int32_t *counts = job->counts;
    ptrdiff_t k = job->r * w + job->first, end = job->r * w + job->last;
    const __m256i below = _mm256_set1_epi32(job->m - 1);
    for (; k + 7 <= end; k += 8) {
        __m256i due = _mm256_cmpgt_epi32(
            _mm256_loadu_si256(reinterpret_cast<const __m256i *>(counts + k)), below);
        /* Pixels not yet due hold the same value in both images. */
        unsigned dueBits = static_cast<unsigned>(_mm256_movemask_epi8(due));
        if (dueBits == 0)
            continue;
        __m256i r8 = neighbourMean8(red + k, w), g8 = neighbourMean8(green + k, w),
                b8 = neighbourMean8(blue + k, w);
        if (dueBits != 0xFFFFFFFFu) {
            r8 = keepUndue8(due, r8, red + k);
            g8 = keepUndue8(due, g8, green + k);
            b8 = keepUndue8(due, b8, blue + k);
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(toRed + k), r8);
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(toGreen + k), g8);
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(toBlue + k), b8);
    }
    /* The last few columns by the SSE2 kernel. */
    if (k <= end) {
        SmoothRowJob rest = *job;
        rest.first = static_cast<int>(k - job->r * w);
        smoothRowSse2(&rest);
    }
}

#endif
