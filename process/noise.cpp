/*
 * Noise: every pixel of the rectangle, logo and clean alike, takes a random
 * amount in -n..n-1 on each channel, drawn red, green, blue in turn from the
 * standard generator that the start callback seeded (noise_generator.cpp),
 * to hide the smooth patch of the repair in a grainy picture.
 *
 * A level below 1 adds nothing; one above NOISE_LEVEL_MAX is held there, so
 * that 2n is always a valid positive divisor within every platform's rand()
 * range.
 */
#include "process/stages.h"

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

/* Channel c moved by a random amount in -n..n-1 (2n = r->d), clamped to 0..255. */
static int noisyChannel(int c, uint32_t draw, int n, const Remainder *r) {
    int v = c + static_cast<int>(remainderOf(draw, r)) - n;
    return v < 0 ? 0 : (v > 255 ? 255 : v);
}

/* Pixels whose draws are taken from the generator at once. */
#define NOISE_BATCH 128

void addNoise(const FilterSettings *s, const FilterActivation *fa) {
    int n = s->noiseL > NOISE_LEVEL_MAX ? NOISE_LEVEL_MAX : s->noiseL;
    if (n < 1)
        return;
    uint32_t d = static_cast<uint32_t>(2 * n);
    Remainder mod = {d, static_cast<uint32_t>((uint64_t{1} << 32) / d)};
    uint32_t draws[3 * NOISE_BATCH];
    FrameRect fr = frameRectOf(s, fa);
    for (int r = 0; r < fr.h; ++r) {
        uint32_t *row = rectRow(&fr, r);
        for (int c0 = 0; c0 < fr.w; c0 += NOISE_BATCH) {
            int count = fr.w - c0 < NOISE_BATCH ? fr.w - c0 : NOISE_BATCH;
            noiseDraw(draws, 3 * count);
            for (int i = 0; i < count; ++i) {
                uint32_t p = row[c0 + i];
                const uint32_t *v = draws + 3 * i;
                row[c0 + i] = packPixel(noisyChannel(redOf(p), v[0], n, &mod),
                                        noisyChannel(greenOf(p), v[1], n, &mod),
                                        noisyChannel(blueOf(p), v[2], n, &mod));
            }
        }
    }
}
