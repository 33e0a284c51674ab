/*
 * Smoothing: repeated four-neighbour averaging of the rectangle's interior,
 * each pixel for its own number of iterations. A pixel with count q takes
 * part in the last q of the n iterations; pixels with count 0 and the border
 * lines stay fixed and are the boundary the averages draw from. Values are
 * held in 16.16 fixed point so that the fractions carry from one iteration
 * to the next, and every new value comes from the previous iteration only.
 *
 * The two working images are used as three planes each (all red values,
 * then all green, then all blue, w * h entries per plane) and take turns as
 * the previous and the next iteration, so no iteration copies the image: a
 * pixel that is not yet averaged has never changed and holds the same value
 * in both, and one that is averaged once is averaged in every later
 * iteration, so it is rewritten in each. Per row and iteration only the
 * columns from the first to the last pixel due are visited (each row's span
 * is found once and kept while the level stays above the counts outside
 * it), four pixels at a time with SSE2 or eight with AVX2 where the
 * processor has it (exact integer arithmetic, as in the plain loop), and
 * groups with none due are passed over.
 *
 * The counts come from user settings that the dialog takes unbounded; the
 * work grows with them, so counts and iterations are held to
 * SMOOTH_COUNT_MAX, the most that a saved job can carry.
 */
#include "module/test_hooks.h"
#include "process/smoothing_kernels.h"
#include "process/stages.h"

#include <cstdint>

#include <emmintrin.h>

int boundedCount(int value) {
    return value < 0 ? 0 : (value > SMOOTH_COUNT_MAX ? SMOOTH_COUNT_MAX : value);
}

void repairBlurCounts(FilterSettings *s) {
    int size = s->logoWidth * s->logoHeight;
    int closing = boundedCount(s->b3), passes = boundedCount(s->b2);
    int32_t *map = s->workMap;
    /* STATE_LOGO -> closing, STATE_CLEAN -> 0, repaired -> passes; four at a time. */
    const __m128i zero = _mm_setzero_si128(), one = _mm_set1_epi32(1);
    const __m128i closing4 = _mm_set1_epi32(closing), passes4 = _mm_set1_epi32(passes);
    int k = 0;
    for (; k + 4 <= size; k += 4) {
        __m128i state = _mm_loadu_si128(reinterpret_cast<const __m128i *>(map + k));
        __m128i isLogo = _mm_cmpeq_epi32(state, zero), isClean = _mm_cmpeq_epi32(state, one);
        __m128i count = _mm_or_si128(_mm_and_si128(isLogo, closing4),
                                     _mm_andnot_si128(_mm_or_si128(isLogo, isClean), passes4));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(map + k), count);
    }
    for (; k < size; ++k) {
        int state = map[k];
        map[k] = state == STATE_LOGO ? closing : (state == STATE_CLEAN ? 0 : passes);
    }
}

/* A working image of w * h triples seen as three planes of the same storage,
 * starting with plane `first`. The two images use different orders so that,
 * for most sizes, a store to one plane does not lie a multiple of 4 KiB from
 * the loads of the same plane in the other (the working images are often
 * page-aligned alike), which can stall the loads behind the store. */
static SmoothPlanes planesOf(ChannelTriple *image, ptrdiff_t size, int first) {
    int32_t *base = reinterpret_cast<int32_t *>(image);
    return SmoothPlanes{{base + (first % 3) * size, base + ((first + 1) % 3) * size,
                         base + ((first + 2) % 3) * size}};
}

/* Loads the rectangle into both images as 16.16 channels. */
static void loadPlanes(const FrameRect *fr, SmoothPlanes a, SmoothPlanes b) {
    const int w = fr->w;
    /* Locals, not the records' fields: the stores below could alias them. */
    int32_t *aRed = a.p[0], *aGreen = a.p[1], *aBlue = a.p[2];
    int32_t *bRed = b.p[0], *bGreen = b.p[1], *bBlue = b.p[2];
    const __m128i lowByte = _mm_set1_epi32(0xFF);
    for (int r = 0; r < fr->h; ++r) {
        const uint32_t *row = rectRow(fr, r);
        ptrdiff_t k = static_cast<ptrdiff_t>(r) * w;
        int c = 0;
        for (; c + 4 <= w; c += 4) {
            __m128i px = _mm_loadu_si128(reinterpret_cast<const __m128i *>(row + c));
            __m128i red = _mm_slli_epi32(_mm_and_si128(_mm_srli_epi32(px, 16), lowByte), 16);
            __m128i green = _mm_slli_epi32(_mm_and_si128(_mm_srli_epi32(px, 8), lowByte), 16);
            __m128i blue = _mm_slli_epi32(_mm_and_si128(px, lowByte), 16);
            _mm_storeu_si128(reinterpret_cast<__m128i *>(aRed + k + c), red);
            _mm_storeu_si128(reinterpret_cast<__m128i *>(aGreen + k + c), green);
            _mm_storeu_si128(reinterpret_cast<__m128i *>(aBlue + k + c), blue);
            _mm_storeu_si128(reinterpret_cast<__m128i *>(bRed + k + c), red);
            _mm_storeu_si128(reinterpret_cast<__m128i *>(bGreen + k + c), green);
            _mm_storeu_si128(reinterpret_cast<__m128i *>(bBlue + k + c), blue);
        }
        for (; c < w; ++c) {
            aRed[k + c] = bRed[k + c] = redOf(row[c]) << 16;
            aGreen[k + c] = bGreen[k + c] = greenOf(row[c]) << 16;
            aBlue[k + c] = bBlue[k + c] = blueOf(row[c]) << 16;
        }
    }
}

/* Quarter of the sum of the four neighbours of the four values at p, truncated. */
static inline __m128i neighbourMean4(const int32_t *p, ptrdiff_t w) {
    __m128i across = _mm_add_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p - 1)),
                                   _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 1)));
    __m128i along = _mm_add_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p - w)),
                                  _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + w)));
    return _mm_srai_epi32(_mm_add_epi32(across, along), 2);
}

/* mean where due is set, the value at p elsewhere. */
static inline __m128i keepUndue(__m128i due, __m128i mean, const int32_t *p) {
    return _mm_or_si128(
        _mm_and_si128(due, mean),
        _mm_andnot_si128(due, _mm_loadu_si128(reinterpret_cast<const __m128i *>(p))));
}

void smoothRowSse2(const SmoothRowJob *job) {
    /* Locals, not the job's fields: the stores below could alias them. */
    const ptrdiff_t w = job->w;
    const int32_t *red = job->from.p[0], *green = job->from.p[1], *blue = job->from.p[2];
    int32_t *toRed = job->to.p[0], *toGreen = job->to.p[1], *toBlue = job->to.p[2];
    const int32_t *counts = job->counts;
    const int m = job->m;
    ptrdiff_t k = job->r * w + job->first, end = job->r * w + job->last;
    const __m128i below = _mm_set1_epi32(m - 1);
    for (; k + 3 <= end; k += 4) {
        __m128i due =
            _mm_cmpgt_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i *>(counts + k)), below);
        /* Four pixels not yet due hold the same value in both images. */
        int dueBits = _mm_movemask_epi8(due);
        if (dueBits == 0)
            continue;
        __m128i r4 = neighbourMean4(red + k, w), g4 = neighbourMean4(green + k, w),
                b4 = neighbourMean4(blue + k, w);
        if (dueBits != 0xFFFF) {
            r4 = keepUndue(due, r4, red + k);
            g4 = keepUndue(due, g4, green + k);
            b4 = keepUndue(due, b4, blue + k);
        }
        _mm_storeu_si128(reinterpret_cast<__m128i *>(toRed + k), r4);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(toGreen + k), g4);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(toBlue + k), b4);
    }
    for (; k <= end; ++k) {
        if (counts[k] < m)
            continue;
        toRed[k] = (red[k - 1] + red[k + 1] + red[k - w] + red[k + w]) >> 2;
        toGreen[k] = (green[k - 1] + green[k + 1] + green[k - w] + green[k + w]) >> 2;
        toBlue[k] = (blue[k - 1] + blue[k + 1] + blue[k - w] + blue[k + w]) >> 2;
    }
}

/* A SmoothKernelChoice; only tests change it. */
static int smoothKernelChoice = SMOOTH_KERNEL_AUTO;

int chooseSmoothKernel(int choice) {
    int previous = smoothKernelChoice;
    smoothKernelChoice = choice;
    return previous;
}

/* The row kernel for this processor. */
static void (*rowKernel())(const SmoothRowJob *) {
#if defined(PENDRA_SMOOTH_AVX2)
    /* Asked once; the library fills in what the processor and system support. */
    static const bool avx2 = (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));
    if (avx2 && smoothKernelChoice != SMOOTH_KERNEL_SSE2)
        return smoothRowAvx2;
#endif
    return smoothRowSse2;
}

/* Where one row's pixels due at a level lie: columns first..last, valid
 * for every level from `lowest` up to the level it was found for. */
struct RowSpan {
    int first, last, lowest;
};

/* Rows whose spans are kept between iterations; a taller rectangle (far
 * beyond any logo) finds its spans afresh each time. */
#define SPAN_ROWS 1024

/* The span of interior columns of a counts row with count >= m. The columns
 * outside it have counts below m; the largest of those is the level down to
 * which the span stays the same, as the levels only decrease. */
static RowSpan findSpan(const int32_t *row, int w, int m) {
    RowSpan span = {1, w - 2, 1};
    int outside = 0;
    while (span.first <= span.last && row[span.first] < m) {
        outside = row[span.first] > outside ? row[span.first] : outside;
        ++span.first;
    }
    while (span.last >= span.first && row[span.last] < m) {
        outside = row[span.last] > outside ? row[span.last] : outside;
        --span.last;
    }
    span.lowest = outside + 1;
    return span;
}

/* Writes the interior back to the frame from the image of the last iteration. */
static void storePlanes(const FrameRect *fr, SmoothPlanes a) {
    const int w = fr->w;
    const int32_t *red = a.p[0], *green = a.p[1], *blue = a.p[2];
    for (int r = 1; r <= fr->h - 2; ++r) {
        uint32_t *row = rectRow(fr, r);
        ptrdiff_t k = static_cast<ptrdiff_t>(r) * w;
        int c = 1;
        for (; c + 4 <= w - 1; c += 4) {
            __m128i r4 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(red + k + c));
            __m128i g4 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(green + k + c));
            __m128i b4 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(blue + k + c));
            __m128i px = _mm_or_si128(_mm_or_si128(_mm_slli_epi32(_mm_srli_epi32(r4, 16), 16),
                                                   _mm_slli_epi32(_mm_srli_epi32(g4, 16), 8)),
                                      _mm_srli_epi32(b4, 16));
            _mm_storeu_si128(reinterpret_cast<__m128i *>(row + c), px);
        }
        for (; c <= w - 2; ++c)
            row[c] = packPixel(red[k + c] >> 16, green[k + c] >> 16, blue[k + c] >> 16);
    }
}

void smoothRect(const FilterSettings *s, const FilterActivation *fa, ChannelTriple *scratch,
                ChannelTriple *image, const int32_t *counts, int n) {
    FrameRect fr = frameRectOf(s, fa);
    int w = fr.w, h = fr.h;
    if (w < 3 || h < 3)
        return;
    ptrdiff_t size = static_cast<ptrdiff_t>(w) * h;
    SmoothPlanes buffers[2] = {planesOf(image, size, 0), planesOf(scratch, size, 1)};
    loadPlanes(&fr, buffers[0], buffers[1]);
    void (*kernel)(const SmoothRowJob *) = rowKernel();
    RowSpan spans[SPAN_ROWS];
    for (int r = 0; r < h && r < SPAN_ROWS; ++r)
        spans[r].lowest = INT32_MAX; /* not yet found */
    /* Iteration i (level m = n - i) works on row front - i: iteration i - 1
       has just finished the row above it, so every row it reads is done, and
       the rows it overwrites are no longer read by iteration i - 1. The rows
       in flight stay in the cache instead of streaming the whole image once
       per iteration. */
    for (int front = 1; front <= h - 2 + (n - 1); ++front) {
        for (int i = 0; i < n && front - i >= 1; ++i) {
            int r = front - i, m = n - i;
            if (r > h - 2)
                continue;
            const int32_t *row = counts + static_cast<ptrdiff_t>(r) * w;
            RowSpan span;
            if (r < SPAN_ROWS) {
                if (m < spans[r].lowest)
                    spans[r] = findSpan(row, w, m);
                span = spans[r];
            } else {
                span = findSpan(row, w, m);
            }
            if (span.first > span.last)
                continue;
            SmoothRowJob job = {
                buffers[i & 1], buffers[(i & 1) ^ 1], counts, w, r, span.first, span.last, m};
            kernel(&job);
        }
    }
    storePlanes(&fr, buffers[n & 1]);
}
