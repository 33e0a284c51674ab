/*
 * The blend factor and compositing. alpha / 255 mixes the un-blended picture
 * (1.0, "No Interpolation") with the repaired one (0.0, "All
 * Interpolation"); inside the fade-in and fade-out windows the factor is 0,
 * so the logo is only repaired there. Only logo pixels are mixed. Without a
 * black bitmap there is no un-blended picture and the source pixel as
 * received takes its place.
 */
#include "process/stages.h"

double blendFactor(const FilterSettings *s, uint32_t frame) {
    uint32_t start = static_cast<uint32_t>(s->start), end = static_cast<uint32_t>(s->end);
    uint32_t fadeIn = static_cast<uint32_t>(s->fadeIn), fadeOut = static_cast<uint32_t>(s->fadeOut);
    if (fadeIn != 0 && frame - start <= fadeIn)
        return 0.0;
    if (fadeOut != 0 && end != 0 && end - frame <= fadeOut)
        return 0.0;
    return s->alpha / 255.0;
}

bool compositeUsesUnblended(const FilterSettings *s, double f) {
    return hasBlackCapture(s) && f > 0.0 && f <= 1.0;
}

/* trunc(top * f + (1 - f) * under); both terms are non-negative. */
static int mixChannel(int top, int under, double f) {
    return static_cast<int>(top * f + (1.0 - f) * under);
}

void compositeRect(const FilterSettings *s, const FilterActivation *fa, double f) {
    bool mix = f > 0.0 && f < 1.0;
    bool unblendedOnly = f == 1.0 && s->blackMode != BLACK_NONE;
    if (!mix && !unblendedOnly)
        return;
    FrameRect fr = frameRectOf(s, fa);
    for (int r = 0; r < fr.h; ++r) {
        uint32_t *row = rectRow(&fr, r);
        for (int c = 0; c < fr.w; ++c) {
            int k = r * fr.w + c;
            if (s->bitmapMask[k] != STATE_LOGO)
                continue;
            int red, green, blue;
            if (s->blackMode == BLACK_NONE) {
                uint32_t source = s->sourceRect[k];
                red = redOf(source);
                green = greenOf(source);
                blue = blueOf(source);
            } else {
                red = s->unblended[k].red;
                green = s->unblended[k].green;
                blue = s->unblended[k].blue;
            }
            if (mix) {
                uint32_t d = row[c];
                red = mixChannel(red, redOf(d), f);
                green = mixChannel(green, greenOf(d), f);
                blue = mixChannel(blue, blueOf(d), f);
            }
            row[c] = packPixel(red, green, blue);
        }
    }
}
