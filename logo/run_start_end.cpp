/*
 * Start and end of a run.
 *
 * The start callback loads the bitmap set afresh, fits the rectangle into the
 * frame, builds the working buffers and seeds the noise generator. A
 * rectangle that still cannot lie wholly inside the frame (a negative
 * position, or a logo wider or taller than the frame) fails the start rather
 * than letting the run write outside the frame. The end callback releases
 * every image and buffer, whatever a failed start left behind, so it may
 * follow any start and may be called twice.
 *
 * The noise is seeded from the time of day, as hosts expect; a host that
 * needs the same output from the same input (the pendra command) names a
 * fixed seed in PENDRA_NOISE_SEED.
 */
#include "logo/logo_bitmaps.h"
#include "logo/prepare_buffers.h"
#include "module/callbacks.h"
#include "module/filter_settings.h"
#include "process/stages.h"

#include <cstdint>
#include <cstdlib>
#include <ctime>

/* PENDRA_NOISE_SEED when it holds a decimal number, else the time of day. */
static unsigned noiseSeed() {
    const char *fixed = std::getenv("PENDRA_NOISE_SEED");
    if (fixed != nullptr && *fixed >= '0' && *fixed <= '9') {
        char *end = nullptr;
        unsigned long value = std::strtoul(fixed, &end, 10);
        if (*end == '\0')
            return static_cast<unsigned>(value);
    }
    return static_cast<unsigned>(std::time(nullptr));
}

/* Lowers x and y so that the rectangle ends inside the frame (never raises them). */
static void fitRectangle(FilterSettings *s, const VFBitmap *frame) {
    const int64_t maxX = static_cast<int64_t>(frame->w) - s->logoWidth;
    const int64_t maxY = static_cast<int64_t>(frame->h) - s->logoHeight;
    if (s->x > maxX)
        s->x = static_cast<int>(maxX);
    if (s->y > maxY)
        s->y = static_cast<int>(maxY);
}

/* Whether the fitted rectangle lies in the frame and every frame byte offset
 * fits the side table's 32-bit fields. */
static bool rectangleInFrame(const FilterSettings *s, const VFBitmap *frame) {
    if (s->x < 0 || s->y < 0)
        return false;
    const int64_t pitch = frame->pitch < 0 ? -static_cast<int64_t>(frame->pitch) : frame->pitch;
    return static_cast<int64_t>(frame->h) * pitch <= INT32_MAX;
}

int VDCDECL filterStart(FilterActivation *fa, const FilterFunctions *) {
    FilterSettings *s = settingsOf(fa);
    int result = loadLogoBitmaps(s);
    fitRectangle(s, fa->src);
    if (result == 0 && !rectangleInFrame(s, fa->src))
        result = 1;
    if (result == 0)
        result = prepareBuffers(s, fa);
    unsigned seed = noiseSeed();
    std::srand(seed);
    seedNoise(seed);
    return result;
}

int VDCDECL filterEnd(FilterActivation *fa, const FilterFunctions *) {
    FilterSettings *s = settingsOf(fa);
    releaseLogoBitmaps(s);
    releaseBuffers(s);
    return 0;
}
