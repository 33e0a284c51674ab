/*
 * The run callback: what Pendra does to every frame.
 *
 * The source frame is copied to the destination whole; a frame inside the
 * configured range then has its logo rectangle rebuilt in the destination:
 * un-blending into a separate array, the optional side line, the scene
 * measurement, on a scene change the three repair passes and a snapshot of
 * their result (otherwise the snapshot put back), smoothing of the repaired
 * pixels, compositing with the un-blended picture by the blend factor, the
 * feathered bitmap blur and noise. With debug output on, the trace file
 * records the measurement and the repair map.
 *
 * The rectangle's source pixels are copied aside first, so that a host that
 * hands the same buffer as source and destination gets exactly what
 * separate buffers give.
 */
#include "logo/prepare_buffers.h"
#include "module/callbacks.h"
#include "process/frame_range.h"
#include "process/stages.h"

#include <cstring>
#include <emmintrin.h>

/* Copies one row of w words. The stores bypass the cache: the destination
 * frame is not read again except for the logo rectangle, and skipping the
 * read of each destination line before writing it saves a third of the
 * memory traffic of a plain copy. */
static void copyRow(uint32_t *to, const uint32_t *from, int w) {
    int c = 0;
    for (; c < w && (reinterpret_cast<uintptr_t>(to + c) & 15) != 0; ++c)
        to[c] = from[c];
    for (; c + 4 <= w; c += 4)
        _mm_stream_si128(reinterpret_cast<__m128i *>(to + c),
                         _mm_loadu_si128(reinterpret_cast<const __m128i *>(from + c)));
    for (; c < w; ++c)
        to[c] = from[c];
}

/* Copies every pixel word of src into dst; nothing to do when they are one buffer. */
static void copyFrame(const VFBitmap *src, const VFBitmap *dst) {
    const unsigned char *from = reinterpret_cast<const unsigned char *>(src->data);
    unsigned char *to = reinterpret_cast<unsigned char *>(dst->data);
    if (from == to)
        return;
    /* Rows without padding on either side make one block: the library's copy
       of a large block is the fastest there is, and leaves the rectangle's
       rows in the cache for the stages that follow. */
    if (src->w > 0 && src->h > 0 && src->pitch == dst->pitch &&
        src->pitch == static_cast<ptrdiff_t>(src->w) * 4) {
        std::memcpy(to, from, static_cast<size_t>(src->h) * static_cast<size_t>(src->pitch));
        return;
    }
    for (int row = 0; row < src->h; ++row) {
        copyRow(reinterpret_cast<uint32_t *>(to), reinterpret_cast<const uint32_t *>(from), src->w);
        from += src->pitch;
        to += dst->pitch;
    }
    _mm_sfence(); /* the streamed rows are in memory before any stage reads them */
}

/* True when a successful start left the buffers and the rectangle lies in the frame.
 * The dialog may move the rectangle after start, as far as 800 x 600. */
static bool rectangleReady(const FilterSettings *s, const FilterActivation *fa) {
    if (!buffersReady(s))
        return false;
    if (hasBlackCapture(s) && !s->blackPixels)
        return false;
    if (s->blackMode == BLACK_AND_WHITE && !s->whitePixels)
        return false;
    return s->logoWidth > 0 && s->logoHeight > 0 && s->x >= 0 && s->y >= 0 &&
           s->x <= fa->src->w - s->logoWidth && s->y <= fa->src->h - s->logoHeight;
}

/* Copies the rectangle as received into sourceRect, row 0 first. */
static void copySourceRect(FilterSettings *s, const FilterActivation *fa) {
    const VFBitmap *src = fa->src;
    ptrdiff_t base = static_cast<ptrdiff_t>(src->h) - s->y - s->logoHeight;
    for (int r = 0; r < s->logoHeight; ++r) {
        const uint32_t *row =
            reinterpret_cast<const uint32_t *>(reinterpret_cast<const unsigned char *>(src->data) +
                                               (base + r) * src->pitch) +
            s->x;
        std::memcpy(s->sourceRect + static_cast<ptrdiff_t>(r) * s->logoWidth, row,
                    static_cast<size_t>(s->logoWidth) * 4);
    }
}

/* The three repair passes on a scene change, each traced, then the snapshot.
 * The closing pass is labelled "2nd pass" like the second on purpose: saved
 * traces and the tools that read them know only these two labels. */
static void repairScene(FilterSettings *s, const FilterActivation *fa, int weight, FILE *trace) {
    repairFirstPass(s, fa, weight);
    tracePass(trace, s, "First pass", weight);
    repairSecondPass(s, fa, weight);
    tracePass(trace, s, "2nd pass", crossAxis(weight));
    repairClosingPass(s, fa);
    tracePass(trace, s, "2nd pass", crossAxis(weight));
    takeSnapshot(s, fa);
}

int VDCDECL filterRun(const FilterActivation *fa, const FilterFunctions *) {
    FilterSettings *s = settingsOf(fa);
    copyFrame(fa->src, fa->dst);
    int32_t frameNumber = fa->pfsi->lCurrentFrame;
    uint32_t frame = static_cast<uint32_t>(frameNumber);
    if (!frameInRange(s, frame) || !rectangleReady(s, fa))
        return 0;

    copySourceRect(s, fa);
    double f = blendFactor(s, frame);
    /* Un-blending feeds the compositing alone; with a factor that mixes none
       of it in (0 by default, and in the fade windows) it is skipped. */
    if (compositeUsesUnblended(s, f))
        unblendRect(s, s->sourceRect);
    std::memcpy(s->workMap, s->bitmapMask,
                static_cast<size_t>(s->logoWidth) * static_cast<size_t>(s->logoHeight) * 4);

    bool repairing = f < 1.0;
    SceneMeasure measure = {0, 0, 0, 1, false};
    if (repairing) {
        if (s->side >= 1 && s->side <= 4)
            interpolateSideLine(s, fa);
        measure = measureSceneChange(s, fa);
    }

    FILE *trace = s->debugOutput ? traceOpen() : nullptr;
    traceHeader(trace, s, frameNumber, repairing ? &measure : nullptr);
    if (repairing) {
        if (measure.sceneChanged)
            repairScene(s, fa, measure.weight, trace);
        else
            restoreSnapshot(s, fa);
        repairBlurCounts(s);
        if (s->b2 != 0 || s->b3 != 0) {
            int passes = boundedCount(s->b2), closing = boundedCount(s->b3);
            smoothRect(s, fa, s->smoothScratch, s->smoothImage, s->workMap,
                       passes > closing ? passes : closing);
        }
    }
    traceClose(trace);

    compositeRect(s, fa, f);
    if (s->bb != 0)
        smoothRect(s, fa, s->smoothScratch, s->smoothImage, s->blurPasses, boundedCount(s->bb));
    if (s->noiseL != 0)
        addNoise(s, fa);
    return 0;
}
