/*
 * The straightforward smoothing, kept as the reference that the module's
 * fast smoothing must match bit for bit: a full copy of the working image
 * per iteration and a visit of every interior pixel.
 */
#include "tests/reference/plain_stages.h"

#include <cstring>

/* Quarter of the sum of four neighbour values, truncated (the sum is never negative). */
static int32_t neighbourMean(int32_t left, int32_t right, int32_t below, int32_t above) {
    return (left + right + below + above) >> 2;
}

void plainSmoothRect(const FilterSettings *s, const FilterActivation *fa, ChannelTriple *scratch,
                     ChannelTriple *image, const int32_t *counts, int n) {
    FrameRect fr = frameRectOf(s, fa);
    int w = fr.w, h = fr.h;
    if (w < 3 || h < 3)
        return;
    for (int r = 0; r < h; ++r) {
        const uint32_t *row = rectRow(&fr, r);
        ChannelTriple *to = image + static_cast<ptrdiff_t>(r) * w;
        for (int c = 0; c < w; ++c)
            to[c] = ChannelTriple{redOf(row[c]) << 16, greenOf(row[c]) << 16, blueOf(row[c]) << 16};
    }
    size_t bytes = static_cast<size_t>(w) * static_cast<size_t>(h) * sizeof(ChannelTriple);
    for (int m = n; m >= 1; --m) {
        std::memcpy(scratch, image, bytes);
        for (int r = 1; r <= h - 2; ++r) {
            for (int c = 1; c <= w - 2; ++c) {
                int k = r * w + c;
                if (counts[k] < m)
                    continue;
                const ChannelTriple &a = scratch[k - 1], &b = scratch[k + 1];
                const ChannelTriple &d = scratch[k - w], &u = scratch[k + w];
                image[k].red = neighbourMean(a.red, b.red, d.red, u.red);
                image[k].green = neighbourMean(a.green, b.green, d.green, u.green);
                image[k].blue = neighbourMean(a.blue, b.blue, d.blue, u.blue);
            }
        }
    }
    for (int r = 1; r <= h - 2; ++r) {
        uint32_t *row = rectRow(&fr, r);
        const ChannelTriple *from = image + static_cast<ptrdiff_t>(r) * w;
        for (int c = 1; c <= w - 2; ++c)
            row[c] = packPixel(from[c].red >> 16, from[c].green >> 16, from[c].blue >> 16);
    }
}
