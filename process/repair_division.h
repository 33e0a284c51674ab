/*
 * Exact division for the weighted means of the repair passes and of the scene
 * measurement's estimates, by a multiply with a
 * reciprocal instead of a divide instruction per channel.
 *
 * Every mean divides a numerator N of at most 255 * D (weights summing to D,
 * channels of at most 255) by the sum of distances D. With
 * m = floor(2^32 / D) + 1 the quotient is (N * m) >> 32, exact while
 * 255 * D * D < 2^32, that is for D up to REPAIR_DIVISOR_MAX; larger sums
 * divide. The multiply is 32 x 32 -> 64 bits, one instruction in the 32-bit
 * build, and the table is built at compile time.
 */
#ifndef PENDRA_PROCESS_REPAIR_DIVISION_H
#define PENDRA_PROCESS_REPAIR_DIVISION_H

#include "process/stages.h"

#include <cstdint>

/* Largest sum of distances with an exact reciprocal. */
#define REPAIR_DIVISOR_MAX 4104

/* Exact: with N = q*D + r (r < D) and m = (2^32 + e)/D, 1 <= e <= D, N*m = q*2^32 +
 * (r*2^32 + N*e)/D, and N*e <= 255*D*D < 2^32 keeps that last term below 2^32. */
static_assert(255ull * REPAIR_DIVISOR_MAX * REPAIR_DIVISOR_MAX < (1ull << 32));

/* floor(2^32 / D) + 1 for D = 2 .. REPAIR_DIVISOR_MAX; entries 0 and 1 are unused. */
struct ReciprocalTable {
    uint32_t m[REPAIR_DIVISOR_MAX + 1];
};

/* Fills the reciprocal table. */
constexpr ReciprocalTable buildReciprocals() {
    ReciprocalTable t{};
    for (uint32_t d = 2; d <= REPAIR_DIVISOR_MAX; ++d)
        t.m[d] = static_cast<uint32_t>((uint64_t{1} << 32) / d + 1);
    return t;
}

inline constexpr ReciprocalTable repairReciprocals = buildReciprocals();

/* n / D for 0 <= n <= 255 * D, given D's reciprocal m. */
inline int divideByReciprocal(int n, uint32_t m) {
    return static_cast<int>((static_cast<uint64_t>(static_cast<uint32_t>(n)) * m) >> 32);
}

/* interpolatePair's result, with one table read in place of three divisions. */
inline uint32_t blendPair(uint32_t a, int da, uint32_t b, int db) {
    int sum = da + db;
    if (da < 1 || db < 1 || sum > REPAIR_DIVISOR_MAX)
        return interpolatePair(a, da, b, db);
    uint32_t m = repairReciprocals.m[sum];
    return packPixel(divideByReciprocal(redOf(a) * db + redOf(b) * da, m),
                     divideByReciprocal(greenOf(a) * db + greenOf(b) * da, m),
                     divideByReciprocal(blueOf(a) * db + blueOf(b) * da, m));
}

#endif
