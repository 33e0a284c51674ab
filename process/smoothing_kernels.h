/* The smoothing's row kernels: one iteration of the four-neighbour average
 * over part of one row of the working planes, in SSE2 (every x86 build) and
 * in AVX2 (native x86-64 builds, chosen at run time). Both are exact integer
 * arithmetic and give the same words. */
#pragma once

#include <cstddef>
#include <cstdint>

/* Planes of one working image: red, green, blue, each w * h values. */
struct SmoothPlanes {
    int32_t *p[3];
};

/* One row's work for one iteration: columns first..last of row r, level m. */
struct SmoothRowJob {
    SmoothPlanes from, to;
    const int32_t *counts;
    ptrdiff_t w;
    int r, first, last, m;
};

/* Averages the job's pixels whose count is at least m from `from` into `to`. */
void smoothRowSse2(const SmoothRowJob *job);

#if defined(__x86_64__) && !defined(_WIN32) && (defined(__GNUC__) || defined(__clang__))
#define PENDRA_SMOOTH_AVX2 1
/* As smoothRowSse2, eight pixels at a time; only on processors with AVX2. */
void smoothRowAvx2(const SmoothRowJob *job);
#endif
