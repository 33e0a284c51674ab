/*
 * The side table: for every interior logo pixel, the distance to the nearest
 * clean pixel straight down, right, up and left, and that pixel's byte offset
 * in the frame, so that the frame processing interpolates by table reads alone.
 *
 * Rectangle row r is frame row F(r) = frame height - y - H + r (frames and
 * bitmaps both store their bottom line first); column c is frame column x + c.
 * The outermost ring never starts a search, but searches may end on it. A
 * logo pixel that reaches the rectangle's edge without meeting a clean pixel
 * cannot be interpolated, and the start fails.
 */
#include "logo/prepare_buffers.h"

/* Byte offset of frame pixel (row, column); the start callback has checked
 * that every offset in the frame fits 32 bits. */
static int32_t frameOffset(int64_t row, int64_t column, int64_t pitch) {
    return static_cast<int32_t>(row * pitch + column * 4);
}

int buildSideTable(FilterSettings *s, const int32_t *bitmapMask, SideRecord *sideTable,
                   const FilterActivation *fa) {
    const int w = s->logoWidth;
    const int h = s->logoHeight;
    const int64_t pitch = fa->src->pitch;
    const int64_t bottomRow = static_cast<int64_t>(fa->src->h) - s->y - h;

    for (int r = 1; r <= h - 2; ++r) {
        const int64_t frameRow = bottomRow + r;
        for (int c = 1; c <= w - 2; ++c) {
            if (bitmapMask[r * w + c] != STATE_LOGO)
                continue;
            SideRecord *rec = &sideTable[r * w + c];
            const int64_t column = static_cast<int64_t>(s->x) + c;
            int d;

            for (d = 1; bitmapMask[(r - d) * w + c] != STATE_CLEAN; ++d)
                if (r - d == 0)
                    return 1;
            rec->southDistance = d;
            rec->southOffset = frameOffset(frameRow - d, column, pitch);

            for (d = 1; bitmapMask[r * w + c + d] != STATE_CLEAN; ++d)
                if (c + d == w - 1)
                    return 1;
            rec->eastDistance = d;
            rec->eastOffset = frameOffset(frameRow, column + d, pitch);

            for (d = 1; bitmapMask[(r + d) * w + c] != STATE_CLEAN; ++d)
                if (r + d == h - 1)
                    return 1;
            rec->northDistance = d;
            rec->northOffset = frameOffset(frameRow + d, column, pitch);

            for (d = 1; bitmapMask[r * w + c - d] != STATE_CLEAN; ++d)
                if (c - d == 0)
                    return 1;
            rec->westDistance = d;
            rec->westOffset = frameOffset(frameRow, column - d, pitch);
        }
    }
    return 0;
}
