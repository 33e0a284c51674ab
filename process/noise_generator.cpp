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
 * values 0..2^31 - 1; the state before any seeding is that of seed 1. */
#define FEEDBACK_DEGREE 31
#define FEEDBACK_SEPARATION 3

static int32_t feedback[FEEDBACK_DEGREE];
static int front = FEEDBACK_SEPARATION, rear = 0;
static bool seeded = false;

void seedNoise(unsigned seed) {
    if (seed == 0)
        seed = 1;
    feedback[0] = static_cast<int32_t>(seed);
    int32_t word = static_cast<int32_t>(seed);
    for (int i = 1; i < FEEDBACK_DEGREE; ++i) {
        /* 16807 * word mod (2^31 - 1) without overflow (Schrage). */
        int32_t hi = word / 127773, lo = word % 127773;
        word = 16807 * lo - 2836 * hi;
        if (word < 0)
            word += 2147483647;
        feedback[i] = word;
    }
    front = FEEDBACK_SEPARATION;
    rear = 0;
    seeded = true;
    for (int i = 0; i < 10 * FEEDBACK_DEGREE; ++i)
        noiseRand();
}

int noiseRand() {
    if (!seeded)
        seedNoise(1);
    uint32_t value = static_cast<uint32_t>(feedback[front]) + static_cast<uint32_t>(feedback[rear]);
    feedback[front] = static_cast<int32_t>(value);
    if (++front == FEEDBACK_DEGREE)
        front = 0;
    if (++rear == FEEDBACK_DEGREE)
        rear = 0;
    return static_cast<int>(value >> 1);
}

void noiseDraw(uint32_t *values, int count) {
    if (!seeded)
        seedNoise(1);
    int f = front, b = rear;
    for (int i = 0; i < count; ++i) {
        uint32_t value = static_cast<uint32_t>(feedback[f]) + static_cast<uint32_t>(feedback[b]);
        feedback[f] = static_cast<int32_t>(value);
        f = f + 1 == FEEDBACK_DEGREE ? 0 : f + 1;
        b = b + 1 == FEEDBACK_DEGREE ? 0 : b + 1;
        values[i] = value >> 1;
    }
    front = f;
    rear = b;
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
