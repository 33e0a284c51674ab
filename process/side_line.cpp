/*
 * Side line: replaces one border line of the rectangle (side 1 top, 2 right,
 * 3 bottom, 4 left) by a gradient between the line's two corner pixels, for
 * logos that touch the picture's edge where the border holds no clean
 * picture to interpolate from. Each channel at position i of a line of
 * length n is (first * (n - i) + last * i) / n; the divisor is the full
 * length, so the gradient stops one step short of the far corner. The
 * corners themselves stay as they are.
 */
#include "process/stages.h"

/* Gradient between the corners a (position 0) and b (position n - 1). */
static uint32_t gradientAt(uint32_t a, uint32_t b, int i, int n) {
    return packPixel((redOf(a) * (n - i) + redOf(b) * i) / n,
                     (greenOf(a) * (n - i) + greenOf(b) * i) / n,
                     (blueOf(a) * (n - i) + blueOf(b) * i) / n);
}

/* Rewrites the inner pixels of rectangle row r. */
static void gradientRow(const FrameRect *fr, int r) {
    uint32_t *row = rectRow(fr, r);
    uint32_t first = row[0], last = row[fr->w - 1];
    for (int c = 1; c <= fr->w - 2; ++c)
        row[c] = gradientAt(first, last, c, fr->w);
}

/* Rewrites the inner pixels of rectangle column c. */
static void gradientColumn(const FrameRect *fr, int c) {
    uint32_t first = *rectPixel(fr, 0, c), last = *rectPixel(fr, fr->h - 1, c);
    for (int r = 1; r <= fr->h - 2; ++r)
        *rectPixel(fr, r, c) = gradientAt(first, last, r, fr->h);
}

void interpolateSideLine(const FilterSettings *s, const FilterActivation *fa) {
    FrameRect fr = frameRectOf(s, fa);
    switch (s->side) {
    case 1:
        gradientRow(&fr, fr.h - 1);
        break;
    case 2:
        gradientColumn(&fr, fr.w - 1);
        break;
    case 3:
        gradientRow(&fr, 0);
        break;
    case 4:
        gradientColumn(&fr, 0);
        break;
    default:
        break;
    }
}
