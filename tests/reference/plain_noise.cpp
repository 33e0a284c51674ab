// The straightforward noise, kept as the reference for the module's: one
// remainder by division per channel.
#include "tests/reference/plain_stages.h"

static int plainNoisyChannel(int c, int n) {
    int v = c + noiseRand() % (2 * n) - n;
    return v < 0 ? 0 : (v > 255 ? 255 : v);
}

void plainAddNoise(const FilterSettings *s, const FilterActivation *fa) {
    int n = s->noiseL > NOISE_LEVEL_MAX ? NOISE_LEVEL_MAX : s->noiseL;
    if (n < 1)
        return;
    FrameRect fr = frameRectOf(s, fa);
    for (int r = 0; r < fr.h; ++r) {
        uint32_t *row = rectRow(&fr, r);
        for (int c = 0; c < fr.w; ++c) {
            int red = plainNoisyChannel(redOf(row[c]), n);
            int green = plainNoisyChannel(greenOf(row[c]), n);
            int blue = plainNoisyChannel(blueOf(row[c]), n);
            row[c] = packPixel(red, green, blue);
        }
    }
}
