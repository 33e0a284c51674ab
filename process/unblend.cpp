/*
 * Logo un-blending: recovers, for every pixel of the rectangle, the picture
 * that the semi-transparent logo covers, into the work array `unblended`.
 *
 * With black and white captures (blackMode 2) the logo's gain over each
 * background is known; the gain subtracted from a pixel is interpolated
 * between the two by where the pixel lies between the captures. With the
 * black capture alone (blackMode 1) the logo is taken as the uniform white
 * level laid over the picture, and the blend is inverted through the table
 * built at start. A black-bitmap pixel that matches the black key in any one
 * channel lies outside the logo and is copied unchanged.
 *
 * The input is the rectangle as received, before any other stage: the copy
 * of the source pixels taken at the start of the frame. Only logo pixels
 * are un-blended: compositing, the one reader of `unblended`, mixes logo
 * pixels alone, so the entries of clean pixels are left as they were.
 */
#include "process/stages.h"

/* Limits v to a channel value. */
static int clampChannel(int v) {
    return v < 0 ? 0 : (v > 255 ? 255 : v);
}

/* One channel from the black (b) and white (w) captures with keys k and l. */
static int unblendTwo(int p, int b, int w, int k, int l) {
    int sum = absDiff(p, b) + absDiff(p, w);
    /* p = b = w leaves no position between the captures; the black end
       (ratio 0) is the limit as p approaches b, so it serves there too. */
    double ratio = sum == 0 ? 0.0 : static_cast<double>(p - b) / sum;
    double correction = (b - k) * (1.0 - ratio) + (w - l) * ratio;
    return clampChannel(p - static_cast<int>(correction));
}

void unblendRect(FilterSettings *s, const uint32_t *rect) {
    int w = s->logoWidth;
    int h = s->logoHeight;
    const int *bk = s->blackKey;
    const int *wk = s->whiteKey;
    const unsigned char *table = s->unblendTable;
    for (int i = 0; i < h; ++i) {
        const unsigned char *black = s->blackPixels + static_cast<ptrdiff_t>(i) * s->logoStride;
        const unsigned char *white =
            s->blackMode == BLACK_AND_WHITE
                ? s->whitePixels + static_cast<ptrdiff_t>(i) * s->logoStride
                : nullptr;
        const uint32_t *in = rect + static_cast<ptrdiff_t>(i) * w;
        ChannelTriple *out = s->unblended + static_cast<ptrdiff_t>(i) * w;
        const int32_t *mask = s->bitmapMask + static_cast<ptrdiff_t>(i) * w;
        for (int j = 0; j < w; ++j) {
            if (mask[j] != 0)
                continue;
            int pr = redOf(in[j]), pg = greenOf(in[j]), pb = blueOf(in[j]);
            int bb = black[3 * j], bg = black[3 * j + 1], br = black[3 * j + 2];
            if (br == bk[0] || bg == bk[1] || bb == bk[2]) {
                out[j] = ChannelTriple{pr, pg, pb};
            } else if (white) {
                int wb = white[3 * j], wg = white[3 * j + 1], wr = white[3 * j + 2];
                out[j] = ChannelTriple{unblendTwo(pr, br, wr, bk[0], wk[0]),
                                       unblendTwo(pg, bg, wg, bk[1], wk[1]),
                                       unblendTwo(pb, bb, wb, bk[2], wk[2])};
            } else {
                out[j] =
                    ChannelTriple{table[pr * 256 + br], table[pg * 256 + bg], table[pb * 256 + bb]};
            }
        }
    }
}
