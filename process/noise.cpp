/*
 * Noise: every pixel of the rectangle, logo and clean alike, takes a random
 * amount in -n..n-1 on each channel, drawn red, green, blue in turn from the
 * standard generator that the start callback seeded (noise_generator.cpp),
 * to hide the smooth patch of the repair in a grainy picture.
 *
 * The amounts are worked out per batch of pixels and added four pixels at a
 * time in 16-bit lanes (SSE2); the saturating narrowing clamps exactly as
 * the plain comparison does.
 *
 * A level below 1 adds nothing; one above NOISE_LEVEL_MAX is held there, so
 * that 2n is always a valid positive divisor within every platform's rand()
 * range.
 */
#include "process/stages.h"

#include <emmintrin.h>

/* Remainders by one divisor of at least 2, by a multiply: with
 * m = floor(2^32 / d), floor(v * m / 2^32) is v / d or one less, for every
 * v below 2^32, and one correction step gives the exact remainder. A
 * division per channel would cost more than the rest of the noise. */
struct Remainder {
    uint32_t d;
    uint32_t m;
};

/* v mod r->d. */
static uint32_t remainderOf(uint32_t v, const Remainder *r) {
    uint32_t q = static_cast<uint32_t>((static_cast<uint64_t>(v) * r->m) >> 32);
    uint32_t rest = v - q * r->d;
    return rest >= r->d ? rest - r->d : rest;
}

/* Pixels whose draws are taken from the generator at once. */
#define NOISE_BATCH 128

/* Turns the draws of count pixels (red, green, blue each) into their
 * amounts in -n..n-1, four 16-bit lanes per pixel in the frame's byte order
 * (blue, green, red, then 0 for the top byte). */
static void noiseAmounts(int16_t *amounts, const uint32_t *draws, int count, int n,
                         const Remainder *mod) {
    uint32_t d = mod->d;
    if ((d & (d - 1)) == 0) {
        /* A power of two (the default level 2 among them): the remainder is a mask. */
        for (int i = 0; i < count; ++i) {
            const uint32_t *v = draws + 3 * i;
            int16_t *a = amounts + 4 * i;
            a[0] = static_cast<int16_t>(static_cast<int>(v[2] & (d - 1)) - n);
            a[1] = static_cast<int16_t>(static_cast<int>(v[1] & (d - 1)) - n);
            a[2] = static_cast<int16_t>(static_cast<int>(v[0] & (d - 1)) - n);
            a[3] = 0;
        }
        return;
    }
    for (int i = 0; i < count; ++i) {
        const uint32_t *v = draws + 3 * i;
        int16_t *a = amounts + 4 * i;
        a[0] = static_cast<int16_t>(static_cast<int>(remainderOf(v[2], mod)) - n);
        a[1] = static_cast<int16_t>(static_cast<int>(remainderOf(v[1], mod)) - n);
        a[2] = static_cast<int16_t>(static_cast<int>(remainderOf(v[0], mod)) - n);
        a[3] = 0;
    }
}

/* Adds the amounts to count pixels: each channel widened to 16 bits, moved,
 * and narrowed back with saturation, which is the clamp to 0..255; the top
 * byte is cleared. */
static void applyAmounts(uint32_t *pixels, const int16_t *amounts, int count) {
    const __m128i zero = _mm_setzero_si128(), colour = _mm_set1_epi32(0x00FFFFFF);
    int i = 0;
    for (; i + 4 <= count; i += 4) {
        __m128i px = _mm_loadu_si128(reinterpret_cast<const __m128i *>(pixels + i));
        __m128i low =
            _mm_add_epi16(_mm_unpacklo_epi8(px, zero),
                          _mm_loadu_si128(reinterpret_cast<const __m128i *>(amounts + 4 * i)));
        __m128i high =
            _mm_add_epi16(_mm_unpackhi_epi8(px, zero),
                          _mm_loadu_si128(reinterpret_cast<const __m128i *>(amounts + 4 * i + 8)));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(pixels + i),
                         _mm_and_si128(_mm_packus_epi16(low, high), colour));
    }
    for (; i < count; ++i) {
        const int16_t *a = amounts + 4 * i;
        uint32_t p = pixels[i];
        int red = redOf(p) + a[2], green = greenOf(p) + a[1], blue = blueOf(p) + a[0];
        pixels[i] = packPixel(red < 0 ? 0 : (red > 255 ? 255 : red),
                              green < 0 ? 0 : (green > 255 ? 255 : green),
                              blue < 0 ? 0 : (blue > 255 ? 255 : blue));
    }
}

void addNoise(const FilterSettings *s, const FilterActivation *fa) {
    int n = s->noiseL > NOISE_LEVEL_MAX ? NOISE_LEVEL_MAX : s->noiseL;
    if (n < 1)
        return;
    uint32_t d = static_cast<uint32_t>(2 * n);
    Remainder mod = {d, static_cast<uint32_t>((uint64_t{1} << 32) / d)};
    uint32_t draws[3 * NOISE_BATCH];
    int16_t amounts[4 * NOISE_BATCH];
    FrameRect fr = frameRectOf(s, fa);
    for (int r = 0; r < fr.h; ++r) {
        uint32_t *row = rectRow(&fr, r);
        for (int c0 = 0; c0 < fr.w; c0 += NOISE_BATCH) {
            int count = fr.w - c0 < NOISE_BATCH ? fr.w - c0 : NOISE_BATCH;
            noiseDraw(draws, 3 * count);
            noiseAmounts(amounts, draws, count, n, &mod);
            applyAmounts(row + c0, amounts, count);
        }
    }
}
