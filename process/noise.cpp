/*
 * Noise: every pixel of the rectangle, logo and clean alike, takes a random
 * amount in -n..n-1 on each channel, drawn red, green, blue in turn from the
 * standard generator that the start callback seeded, to hide the smooth
 * patch of the repair in a grainy picture.
 *
 * A level below 1 adds nothing; one above NOISE_LEVEL_MAX is held there, so
 * that 2n is always a valid positive divisor within every platform's rand()
 * range.
 */
#include "process/stages.h"

#include <cstdlib>

/* Channel c moved by a random amount in -n..n-1, clamped to 0..255. */
static int noisyChannel(int c, int n) {
    int v = c + std::rand() % (2 * n) - n;
    return v < 0 ? 0 : (v > 255 ? 255 : v);
}

void addNoise(const FilterSettings *s, const FilterActivation *fa) {
    int n = s->noiseL > NOISE_LEVEL_MAX ? NOISE_LEVEL_MAX : s->noiseL;
    if (n < 1)
        return;
    FrameRect fr = frameRectOf(s, fa);
    for (int r = 0; r < fr.h; ++r) {
        uint32_t *row = rectRow(&fr, r);
        for (int c = 0; c < fr.w; ++c) {
            int red = noisyChannel(redOf(row[c]), n);
            int green = noisyChannel(greenOf(row[c]), n);
            int blue = noisyChannel(blueOf(row[c]), n);
            row[c] = packPixel(red, green, blue);
        }
    }
}
