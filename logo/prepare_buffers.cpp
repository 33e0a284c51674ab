/*
 * Start-time preparation: allocates every working buffer of a run and builds
 * what the frame processing only reads: the repair mask from the interpolate
 * bitmap, the side table, the edge marks of the logo pixels that touch clean
 * ones (and their count, the scene-change denominator), the blur pass map
 * and, for a black bitmap alone, the un-blending table.
 *
 * Buffers are zero-filled so that nothing a later stage reads is undefined.
 * A failure leaves what was allocated in the record for the end callback.
 */
#include "logo/prepare_buffers.h"
#include "logo/start_tables.h"
#include "module/memory.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

/* A zero-filled block of count elements, null when the size overflows or no memory. */
static void *allocZeroed(size_t count, size_t elementSize) {
    if (elementSize != 0 && count > SIZE_MAX / elementSize)
        return nullptr;
    void *block = moduleAlloc(count * elementSize);
    if (block != nullptr)
        std::memset(block, 0, count * elementSize);
    return block;
}

/* How many elements a working buffer holds. */
enum BufferLength {
    PER_PIXEL,  /* one per rectangle pixel */
    PER_COLUMN, /* REPAIR_SCRATCH_PER_COLUMN per rectangle column */
    PER_EDGE,   /* one per edge pixel, at least one: sized and filled by listEdges */
};

/* One working buffer: where its pointer lives in the record, its element size, its length. */
struct WorkingBuffer {
    size_t field;
    size_t elementSize;
    BufferLength length;
};

#define BUFFER(member, length)                                                                     \
    {                                                                                              \
        offsetof(FilterSettings, member), sizeof *static_cast<FilterSettings *>(nullptr)->member,  \
            length                                                                                 \
    }

/* Every working buffer of a run, in the order of allocation: a new buffer is
 * added here alone, and is allocated, released, forgotten and tested for
 * readiness with the rest. sourceRect comes after the others allocated at
 * start, so that the run callback's test of it vouches for them. */
static const WorkingBuffer workingBuffers[] = {
    BUFFER(smoothScratch, PER_PIXEL),  BUFFER(smoothImage, PER_PIXEL),
    BUFFER(unblended, PER_PIXEL),      BUFFER(rectPixels, PER_PIXEL),
    BUFFER(workMap, PER_PIXEL),        BUFFER(blurPasses, PER_PIXEL),
    BUFFER(bitmapMask, PER_PIXEL),     BUFFER(vertEdge, PER_PIXEL),
    BUFFER(horzEdge, PER_PIXEL),       BUFFER(sideTable, PER_PIXEL),
    BUFFER(repairScratch, PER_COLUMN), BUFFER(sourceRect, PER_PIXEL),
    BUFFER(edgeList, PER_EDGE),
};

#define WORKING_BUFFER_COUNT (sizeof workingBuffers / sizeof workingBuffers[0])

/* The buffer's pointer, copied out of the record whatever its element type. */
static void *bufferOf(const FilterSettings *s, const WorkingBuffer *b) {
    void *block;
    std::memcpy(&block, reinterpret_cast<const char *>(s) + b->field, sizeof block);
    return block;
}

static void setBuffer(FilterSettings *s, const WorkingBuffer *b, void *block) {
    std::memcpy(reinterpret_cast<char *>(s) + b->field, &block, sizeof block);
}

/* Allocates the buffers sized by the rectangle in their fixed order; stops at
 * the first failure. */
static int allocateBuffers(FilterSettings *s, size_t n) {
    for (size_t i = 0; i < WORKING_BUFFER_COUNT; ++i) {
        const WorkingBuffer *b = &workingBuffers[i];
        if (b->length == PER_EDGE)
            continue;
        size_t count = b->length == PER_PIXEL
                           ? n
                           : REPAIR_SCRATCH_PER_COLUMN * static_cast<size_t>(s->logoWidth);
        void *block = allocZeroed(count, b->elementSize);
        setBuffer(s, b, block);
        if (block == nullptr)
            return 1;
    }
    return 0;
}

/* 1 for each pixel of exactly the interpolate bitmap's key colour, else 0. */
static void buildMask(const FilterSettings *s) {
    for (int r = 0; r < s->logoHeight; ++r) {
        const unsigned char *row = s->maskPixels + static_cast<size_t>(r) * s->logoStride;
        for (int c = 0; c < s->logoWidth; ++c) {
            const unsigned char *p = row + c * 3;
            s->bitmapMask[r * s->logoWidth + c] =
                p[0] == s->maskKey[2] && p[1] == s->maskKey[1] && p[2] == s->maskKey[0];
        }
    }
}

/* Marks logo pixels beside a clean one along rows (horz) and columns (vert):
 * -1 when the clean neighbour is left/below, +1 when right/above (+1 wins). */
static void markEdges(const FilterSettings *s) {
    const int w = s->logoWidth;
    const int h = s->logoHeight;
    const int32_t *mask = s->bitmapMask;
    for (int r = 0; r < h; ++r)
        for (int c = 1; c < w; ++c) {
            const int i = r * w + c;
            if (mask[i] == mask[i - 1])
                continue;
            if (mask[i] == 0)
                s->horzEdge[i] = -1;
            else
                s->horzEdge[i - 1] = 1;
        }
    for (int c = 0; c < w; ++c)
        for (int r = 1; r < h; ++r) {
            const int i = r * w + c;
            if (mask[i] == mask[i - w])
                continue;
            if (mask[i] == 0)
                s->vertEdge[i] = -1;
            else
                s->vertEdge[i - w] = 1;
        }
}

/* Pixels with a mark on either axis, each counted once. */
static int countEdges(const FilterSettings *s) {
    int count = 0;
    for (int i = 0; i < s->logoWidth * s->logoHeight; ++i)
        if (s->vertEdge[i] != 0 || s->horzEdge[i] != 0)
            ++count;
    return count;
}

/* Gathers the interior pixels with an edge mark, row by row, into edgeList; 0 on success. */
static int listEdges(FilterSettings *s) {
    const int w = s->logoWidth, h = s->logoHeight;
    int count = 0;
    for (int r = 1; r <= h - 2; ++r)
        for (int c = 1; c <= w - 2; ++c)
            count += s->vertEdge[r * w + c] != 0 || s->horzEdge[r * w + c] != 0;
    /* At least one entry, so that an empty list is not taken for a failure. */
    s->edgeList = static_cast<EdgeRecord *>(
        allocZeroed(count > 0 ? static_cast<size_t>(count) : 1, sizeof(EdgeRecord)));
    if (s->edgeList == nullptr)
        return 1;
    EdgeRecord *e = s->edgeList;
    for (int r = 1; r <= h - 2; ++r)
        for (int c = 1; c <= w - 2; ++c) {
            const int k = r * w + c;
            if (s->vertEdge[k] == 0 && s->horzEdge[k] == 0)
                continue;
            const SideRecord *side = &s->sideTable[k];
            *e++ = EdgeRecord{r,
                              c,
                              static_cast<int16_t>(s->horzEdge[k]),
                              static_cast<int16_t>(s->vertEdge[k]),
                              side->southDistance,
                              side->northDistance,
                              side->eastDistance,
                              side->westDistance};
        }
    s->edgeListCount = count;
    return 0;
}

int prepareBuffers(FilterSettings *s, const FilterActivation *fa) {
    if (s->logoWidth <= 0 || s->logoHeight <= 0)
        return 1;
    const size_t n = static_cast<size_t>(s->logoWidth) * static_cast<size_t>(s->logoHeight);
    if (allocateBuffers(s, n))
        return 1;
    buildMask(s);
    if (buildSideTable(s, s->bitmapMask, s->sideTable, fa))
        return 1;
    /* The buffers start zeroed: the edge marks and rectPixels need no clearing. */
    markEdges(s);
    s->edgeCount = countEdges(s);
    if (listEdges(s))
        return 1;
    fillBlurPasses(s->blurPasses, s->logoWidth, s->logoHeight, s->bb, s->feather);
    if (s->blackMode == BLACK_ONLY)
        buildUnblendTable(s->unblendTable, s->white, s->blackKey[0]);
    return 0;
}

void releaseBuffers(FilterSettings *s) {
    for (size_t i = 0; i < WORKING_BUFFER_COUNT; ++i) {
        moduleFree(bufferOf(s, &workingBuffers[i]));
        setBuffer(s, &workingBuffers[i], nullptr);
    }
    s->edgeListCount = 0;
}

void forgetBuffers(FilterSettings *s) {
    for (size_t i = 0; i < WORKING_BUFFER_COUNT; ++i)
        setBuffer(s, &workingBuffers[i], nullptr);
    s->edgeListCount = 0;
}

bool buffersReady(const FilterSettings *s) {
    for (size_t i = 0; i < WORKING_BUFFER_COUNT; ++i)
        if (bufferOf(s, &workingBuffers[i]) == nullptr)
            return false;
    return true;
}
