/*
 * The stages of the run callback and the few helpers they share: where the
 * logo rectangle lies in the destination frame and how a pixel word splits
 * into its channels.
 *
 * Rectangle row r (0 = its bottom line) is stored frame row
 * H - y - logoHeight + r, column c is frame column x + c; every per-pixel
 * work array is indexed r * logoWidth + c. End points are reached through
 * the side table's distances from the rectangle rather than its frame
 * offsets: the dialog may move the rectangle after start, and the passes
 * must then still read inside it.
 */
#ifndef PENDRA_PROCESS_STAGES_H
#define PENDRA_PROCESS_STAGES_H

#include "module/filter_settings.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

/* The logo rectangle inside the destination frame. */
struct FrameRect {
    unsigned char *bottom; /* rectangle row 0, column 0 */
    ptrdiff_t pitch;       /* bytes from one stored row to the next */
    int w;
    int h;
};

/* The rectangle of the settings' position and logo size in the destination frame. */
inline FrameRect frameRectOf(const FilterSettings *s, const FilterActivation *fa) {
    const VFBitmap *dst = fa->dst;
    ptrdiff_t row = static_cast<ptrdiff_t>(fa->src->h) - s->y - s->logoHeight;
    FrameRect fr;
    fr.bottom = reinterpret_cast<unsigned char *>(dst->data) + row * dst->pitch +
                static_cast<ptrdiff_t>(s->x) * 4;
    fr.pitch = dst->pitch;
    fr.w = s->logoWidth;
    fr.h = s->logoHeight;
    return fr;
}

/* First pixel of rectangle row r. */
inline uint32_t *rectRow(const FrameRect *fr, int r) {
    return reinterpret_cast<uint32_t *>(fr->bottom + static_cast<ptrdiff_t>(r) * fr->pitch);
}

/* Rectangle pixel (r, c). */
inline uint32_t *rectPixel(const FrameRect *fr, int r, int c) {
    return rectRow(fr, r) + c;
}

inline int redOf(uint32_t p) {
    return static_cast<int>((p >> 16) & 255);
}
inline int greenOf(uint32_t p) {
    return static_cast<int>((p >> 8) & 255);
}
inline int blueOf(uint32_t p) {
    return static_cast<int>(p & 255);
}

/* A pixel word from channels in 0..255; the top byte is 0. */
inline uint32_t packPixel(int red, int green, int blue) {
    return (static_cast<uint32_t>(red) << 16) | (static_cast<uint32_t>(green) << 8) |
           static_cast<uint32_t>(blue);
}

/* Each end point weighted by the distance to the other: (a * db + b * da) / (da + db). */
inline uint32_t interpolatePair(uint32_t a, int da, uint32_t b, int db) {
    int sum = da + db;
    return packPixel((redOf(a) * db + redOf(b) * da) / sum,
                     (greenOf(a) * db + greenOf(b) * da) / sum,
                     (blueOf(a) * db + blueOf(b) * da) / sum);
}

inline int absDiff(int a, int b) {
    return a > b ? a - b : b - a;
}

/* True when a and b differ by less than t in red, green and blue alike. */
inline bool channelsClose(uint32_t a, uint32_t b, int t) {
    return absDiff(redOf(a), redOf(b)) < t && absDiff(greenOf(a), greenOf(b)) < t &&
           absDiff(blueOf(a), blueOf(b)) < t;
}

/* Results of the scene measurement of one frame. */
struct SceneMeasure {
    uint32_t diffNs; /* miss of the north-south estimate at the edge pixels */
    uint32_t diffEw; /* miss of the east-west estimate */
    int scenePercent;
    int weight; /* the first repair pass's axis, a RepairAxis */
    bool sceneChanged;
};

/* Channel-wise truncated mean of two pixels. */
inline uint32_t meanPixel(uint32_t a, uint32_t b) {
    return packPixel((redOf(a) + redOf(b)) / 2, (greenOf(a) + greenOf(b)) / 2,
                     (blueOf(a) + blueOf(b)) / 2);
}

/* Sum over the channels of |a - b|. */
inline uint32_t channelMiss(uint32_t a, uint32_t b) {
    return static_cast<uint32_t>(absDiff(redOf(a), redOf(b)) + absDiff(greenOf(a), greenOf(b)) +
                                 absDiff(blueOf(a), blueOf(b)));
}

/* True when a and b differ by more than t in some channel. */
inline bool channelsMoved(uint32_t a, uint32_t b, int t) {
    return absDiff(redOf(a), redOf(b)) > t || absDiff(greenOf(a), greenOf(b)) > t ||
           absDiff(blueOf(a), blueOf(b)) > t;
}

/* Largest smoothing iteration count honoured; a saved job carries no more. */
#define SMOOTH_COUNT_MAX 255
/* Largest noise level honoured: 2 * level stays below 32768. */
#define NOISE_LEVEL_MAX 16383

/* unblend.cpp: un-blends the logo pixels of rect (w * h words, row 0 first) into unblended. */
void unblendRect(FilterSettings *s, const uint32_t *rect);

/* side_line.cpp: rewrites the border line chosen by side as a gradient between its corners. */
void interpolateSideLine(const FilterSettings *s, const FilterActivation *fa);

/* scene_change.cpp: measures the outline against rectPixels and picks the first axis. */
SceneMeasure measureSceneChange(const FilterSettings *s, const FilterActivation *fa);
/* scene_change.cpp: copies the whole rectangle into rectPixels. */
void takeSnapshot(FilterSettings *s, const FilterActivation *fa);
/* scene_change.cpp: puts the logo pixels back from rectPixels. */
void restoreSnapshot(const FilterSettings *s, const FilterActivation *fa);

/* repair_first_pass.cpp: interpolates along the weight axis between the side-table ends. */
void repairFirstPass(FilterSettings *s, const FilterActivation *fa, int weight);
/* repair_second_pass.cpp: interpolates along the other axis between repaired or clean ends. */
void repairSecondPass(FilterSettings *s, const FilterActivation *fa, int weight);
/* repair_closing_pass.cpp: fills what is left from all four directions. */
void repairClosingPass(FilterSettings *s, const FilterActivation *fa);

/* smoothing.cpp: turns workMap's repair states into per-pixel smoothing counts. */
void repairBlurCounts(FilterSettings *s);
/* smoothing.cpp: n iterations of four-neighbour averaging of the interior, per-pixel counts. */
void smoothRect(const FilterSettings *s, const FilterActivation *fa, ChannelTriple *scratch,
                ChannelTriple *image, const int32_t *counts, int n);
/* smoothing.cpp: a smoothing count or iteration setting bounded to 0..SMOOTH_COUNT_MAX. */
int boundedCount(int value);

/* composite.cpp: the blend factor of frame, 0.0 inside the fade windows. */
double blendFactor(const FilterSettings *s, uint32_t frame);
/* True when compositing with factor f reads `unblended`. */
bool compositeUsesUnblended(const FilterSettings *s, double f);
/* composite.cpp: mixes the un-blended (or source) picture into the logo pixels by f. */
void compositeRect(const FilterSettings *s, const FilterActivation *fa, double f);

/* noise_generator.cpp: seeds the noise generator as srand(seed) seeds rand(). */
void seedNoise(unsigned seed);
/* noise_generator.cpp: the next value of the rand() sequence. */
int noiseRand();
/* noise_generator.cpp: the next count values of the sequence, in order. */
void noiseDraw(uint32_t *values, int count);
/* noise.cpp: adds rand() noise of level noiseL to every rectangle pixel. */
void addNoise(const FilterSettings *s, const FilterActivation *fa);

/* trace_file.cpp: where the trace goes; false when no path fits in size bytes. */
bool tracePath(char *path, size_t size);
/* trace_file.cpp: opens the trace afresh; null when it cannot be created. */
FILE *traceOpen();
/* trace_file.cpp: frame number, measurement (when measured) and the mask grid. */
void traceHeader(FILE *trace, const FilterSettings *s, int32_t frame, const SceneMeasure *measured);
/* trace_file.cpp: a pass title with its axis, then the workMap grid. */
void tracePass(FILE *trace, const FilterSettings *s, const char *title, int weight);
/* trace_file.cpp: closes the trace, if open. */
void traceClose(FILE *trace);

#endif
