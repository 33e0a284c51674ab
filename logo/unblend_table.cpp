/*
 * The un-blending table for a black bitmap without a white one.
 *
 * A logo of uniform brightness Wl and opacity a turns a picture value s into
 * o = (1 - a) * s + a * Wl. Over the key value K the logo gave the black
 * bitmap value b, so a = (b - K) / (Wl - K), and s = K + (o - b) * m with
 * m = (Wl - K) / (Wl - b). Computing this once per start lets a frame
 * un-blend each channel by one table read.
 */
#include "logo/start_tables.h"

/* The double truncated toward zero and limited to 0..255; limiting first keeps
 * the conversion defined for any value. */
static unsigned char toChannel(double value) {
    if (!(value > 0.0))
        return 0;
    if (value >= 255.0)
        return 255;
    return static_cast<unsigned char>(static_cast<int>(value));
}

void buildUnblendTable(unsigned char *table, int white, int key) {
    const double wl = white;
    const double k = key;
    for (int o = 0; o < 256; ++o)
        for (int b = 0; b < 256; ++b) {
            const double span = wl - b;
            const double m = span == 0.0 ? 0.0 : (wl - k) / span;
            table[o * 256 + b] = toChannel(o * m + (k - b * m));
        }
}
