/*
 * The noise generator: the standard library's rand() sequence, drawn
 * without a library call per value.
 *
 * The noise takes three values per rectangle pixel, tens of thousands per
 * frame, and a call of the library's rand() (with its lock) costs more than
 * the rest of the noise. This file runs the same generator that the
 * platform's rand() runs, seeded with the same value when the start
 * callback seeds rand(), so every value equals what rand() would have
 * returned had nothing else in the process drawn from it. Where the
 * platform's generator is not known, the library's rand() itself is used.
 */
#include "process/stages.h"

#include <cstdlib>

#if defined(_WIN32)

/* The Windows C runtime's linear congruential generator, values 0..32767. */
static uint32_t lcgState = 1;

void seedNoise(unsigned seed) {
    lcgState = seed;
}

int noiseRand() {
    lcgState = lcgState * 214013u + 2531011u;
    return static_cast<int>((lcgState >> 16) & 0x7FFF);
}

void noiseDraw(uint32_t *values, int count) {
    uint32_t state = lcgState;
    for (int i = 0; i < count; ++i) {
        state = state * 214013u + 2531011u;
        values[i] = (state >> 16) & 0x7FFF;
    }
    lcgState = state;
}

#elif defined(__GLIBC__)

/* The GNU C library's additive feedback generator (x[i] = x[i-3] + x[i-31]),
 * values 0..2^31 - 1; the state before any seeding is that of seed 1. The
 * state is kept as the last 31 values, oldest first, so that a batch runs
 * as one straight loop over a flat array. */
#define FEEDBACK_DEGREE 31
#define FEEDBACK_SEPARATION 3
/* Values produced per pass of the batch loop. */
#define FEEDBACK_CHUNK 512

static uint32_t history[FEEDBACK_DEGREE];
static bool seeded = false;

/* Extends run[0..30] (the history) by count values, oldest first. The
 * three latest values ride in registers, so each of the three interleaved
 * chains costs one add per step instead of a store and a reload. */
static void feedbackRun(uint32_t *run, int count) {
    uint32_t a = run[FEEDBACK_DEGREE - 3], b = run[FEEDBACK_DEGREE - 2],
             c = run[FEEDBACK_DEGREE - 1];
    int i = FEEDBACK_DEGREE, end = FEEDBACK_DEGREE + count;
    for (; i + 3 <= end; i += 3) {
        a += run[i - FEEDBACK_DEGREE];
        b += run[i + 1 - FEEDBACK_DEGREE];
        c += run[i + 2 - FEEDBACK_DEGREE];
        run[i] = a;
        run[i + 1] = b;
        run[i + 2] = c;
    }
    for (; i < end; ++i)
        run[i] = run[i - FEEDBACK_DEGREE] + run[i - FEEDBACK_SEPARATION];
}

void seedNoise(unsigned seed) {
    if (seed == 0)
        seed = 1;
    /* The library fills its table with 16807 * word mod (2^31 - 1)
       (Schrage's method, no overflow), then discards 310 values. */
    uint32_t table[FEEDBACK_DEGREE];
    table[0] = seed;
    int32_t word = static_cast<int32_t>(seed);
    for (int i = 1; i < FEEDBACK_DEGREE; ++i) {
        int32_t hi = word / 127773, lo = word % 127773;
        word = 16807 * lo - 2836 * hi;
        if (word < 0)
            word += 2147483647;
        table[i] = static_cast<uint32_t>(word);
    }
    /* The library's first value adds table[3] and table[0], so the table in
       the order the recurrence reads it starts at index 3. */
    for (int i = 0; i < FEEDBACK_DEGREE; ++i)
        history[i] = table[(i + FEEDBACK_SEPARATION) % FEEDBACK_DEGREE];
    seeded = true;
    uint32_t discard[10 * FEEDBACK_DEGREE];
    noiseDraw(discard, 10 * FEEDBACK_DEGREE);
}

void noiseDraw(uint32_t *values, int count) {
    if (!seeded)
        seedNoise(1);
    uint32_t run[FEEDBACK_DEGREE + FEEDBACK_CHUNK];
    while (count > 0) {
        int chunk = count < FEEDBACK_CHUNK ? count : FEEDBACK_CHUNK;
        for (int i = 0; i < FEEDBACK_DEGREE; ++i)
            run[i] = history[i];
        feedbackRun(run, chunk);
        for (int i = 0; i < chunk; ++i)
            values[i] = run[FEEDBACK_DEGREE + i] >> 1;
        for (int i = 0; i < FEEDBACK_DEGREE; ++i)
            history[i] = run[chunk + i];
        values += chunk;
        count -= chunk;
    }
}

int noiseRand() {
    uint32_t value;
    noiseDraw(&value, 1);
    return static_cast<int>(value);
}

#else

void seedNoise(unsigned) {}

int noiseRand() {
    return std::rand();
}

void noiseDraw(uint32_t *values, int count) {
    for (int i = 0; i < count; ++i)
        values[i] = static_cast<uint32_t>(std::rand());
}

#endif
