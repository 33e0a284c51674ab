/*
 * The bitmap blur's pass map: every pixel of the rectangle takes bb passes,
 * except over a feathered border where the count ramps up ring by ring from
 * the outside, so that the blurred rectangle blends into the untouched frame.
 * Later rings overwrite earlier ones where they cross; positions outside the
 * rectangle are skipped, so any feather is safe.
 */
#include "logo/start_tables.h"

/* Sets row `row` from column first to last (inclusive) when the row exists. */
static void setRow(int32_t *map, int w, int h, int row, int first, int last, int32_t v) {
    if (row < 0 || row >= h)
        return;
    for (int c = first < 0 ? 0 : first; c <= last && c < w; ++c)
        map[row * w + c] = v;
}

/* Sets column `column` from row first to last (inclusive) when the column exists. */
static void setColumn(int32_t *map, int w, int h, int column, int first, int last, int32_t v) {
    if (column < 0 || column >= w)
        return;
    for (int r = first < 0 ? 0 : first; r <= last && r < h; ++r)
        map[r * w + column] = v;
}

void fillBlurPasses(int32_t *blurPasses, int w, int h, int bb, int feather) {
    for (int i = 0; i < w * h; ++i)
        blurPasses[i] = bb;
    if (feather <= 0)
        return;
    const int step = bb / feather;
    /* Rings from max(w, h) on lie wholly outside and would write nothing. */
    const int rings = feather < (w > h ? w : h) ? feather : (w > h ? w : h);
    for (int k = 0; k < rings; ++k) {
        const int32_t v = (k + 1) * step;
        setRow(blurPasses, w, h, k, k, w - 1 - k, v);
        setRow(blurPasses, w, h, h - 1 - k, k, w - 1 - k, v);
        setColumn(blurPasses, w, h, k, k, h - 1 - k, v);
        setColumn(blurPasses, w, h, w - 1 - k, k, h - 1 - k, v);
    }
}
