/*
 * FilterSettings: the one record a filter instance owns.
 *
 * The host allocates it with the definition's inst_data_size and hands it to
 * every callback through FilterActivation::filter_data. It holds the user's
 * settings, the loaded logo bitmap set and the working buffers of a run. It is
 * flat and trivially copyable: the config callback copies it whole to undo a
 * cancelled dialog, so no field may point into the record itself.
 */
#ifndef PENDRA_MODULE_FILTER_SETTINGS_H
#define PENDRA_MODULE_FILTER_SETTINGS_H

#include "module/host_interface.h"

#include <cstdint>
#include <type_traits>

#define BITMAP_PATH_SIZE 1024
#define UNBLEND_TABLE_SIZE (256 * 256)
#define REPAIR_SCRATCH_PER_COLUMN 4

/* Which captures the bitmap set holds (blackMode); saved as these numbers. */
enum BlackMode {
    BLACK_NONE = 0,      /* no capture over black: an interpolate bitmap alone */
    BLACK_ONLY = 1,      /* over black; white is the White Level setting */
    BLACK_AND_WHITE = 2, /* over black and over white */
};

/* Where the interpolate mask comes from (maskMode); saved as these numbers. */
enum MaskMode {
    MASK_NONE = 0,      /* not loaded */
    MASK_OWN = 1,       /* its own bitmap */
    MASK_FROM_BLACK = 2 /* the black capture's key colour */
};

/* The axis a repair pass interpolates along. */
enum RepairAxis {
    AXIS_NORTH_SOUTH = 1,
    AXIS_EAST_WEST = 2,
};

/* The other axis: the second and closing passes work across the first. */
inline int crossAxis(int axis) {
    return AXIS_NORTH_SOUTH + AXIS_EAST_WEST - axis;
}

/* A work-map entry: what the repair passes have made of a rectangle pixel.
 * The bitmap mask holds only the first two. */
enum RepairState {
    STATE_LOGO = 0,        /* under the logo, not yet repaired */
    STATE_CLEAN = 1,       /* clean: outside the logo */
    STATE_FIRST_PASS = 2,  /* repaired by the first pass */
    STATE_SECOND_PASS = 3, /* repaired by the second pass */
};

/* Red, green, blue as signed 32-bit values (16.16 fixed point while smoothing). */
struct ChannelTriple {
    int32_t red;
    int32_t green;
    int32_t blue;
};

/* Distances to and frame byte offsets of the nearest clean pixel on each side. */
struct SideRecord {
    int32_t southDistance;
    int32_t southOffset;
    int32_t eastDistance;
    int32_t eastOffset;
    int32_t northDistance;
    int32_t northOffset;
    int32_t westDistance;
    int32_t westOffset;
};

/* One edge pixel of the rectangle's interior, as the scene measurement
 * reads it: its rectangle row and column, its edge marks and its four side distances,
 * gathered at start so that each frame walks a short list instead of the
 * whole rectangle and the side table. */
struct EdgeRecord {
    int32_t row;
    int32_t column;
    int16_t horz;
    int16_t vert;
    int32_t southDistance;
    int32_t northDistance;
    int32_t eastDistance;
    int32_t westDistance;
};

struct FilterSettings {
    IFilterPreview *preview;

    /* The loaded bitmap set: whole file images and pointers to their pixel rows. */
    unsigned char *blackFile;
    unsigned char *blackPixels;
    unsigned char *whiteFile;
    unsigned char *whitePixels;
    unsigned char *maskFile; /* may share blackFile; then never released through here */
    unsigned char *maskPixels;
    int logoWidth;
    int logoHeight;
    int logoStride;

    char bitmapPath[BITMAP_PATH_SIZE];
    int debugOutput;
    int x;
    int y;
    int alpha;
    int side;
    int start;
    int end;
    int fadeIn;
    int fadeOut;

    /* Working buffers, from a successful start to the end callback. */
    SideRecord *sideTable;
    int32_t *bitmapMask;
    int32_t *vertEdge;
    int32_t *horzEdge;
    ChannelTriple *smoothScratch;
    ChannelTriple *smoothImage;
    ChannelTriple *unblended;
    uint32_t *rectPixels;
    int32_t *workMap;
    int32_t *blurPasses;

    int t1;
    int t2;
    int t3;
    int b2;
    int b3;
    int bb;
    int scene;
    int edgeCount;
    int blackKey[3]; /* red, green, blue */
    int whiteKey[3];
    int maskKey[3];
    int blackMode; /* a BlackMode */
    int maskMode;  /* a MaskMode */
    int white;
    unsigned char unblendTable[UNBLEND_TABLE_SIZE];
    int feather;
    int maxDeviation;
    int noiseL;

    /* The rectangle's source pixels, copied at the start of each frame so that
       processing in place (source and destination one buffer) still sees them. */
    uint32_t *sourceRect;
    /* The interior edge pixels, row by row, and how many there are. */
    EdgeRecord *edgeList;
    int edgeListCount;

    /* Per-column records and row bitmaps of the repair passes. */
    int32_t *repairScratch; /* REPAIR_SCRATCH_PER_COLUMN * logoWidth entries */
};

static_assert(std::is_trivially_copyable_v<FilterSettings>);
static_assert(std::is_standard_layout_v<FilterSettings>);

/* True when the set holds a capture over black to un-blend with. */
inline bool hasBlackCapture(const FilterSettings *s) {
    return s->blackMode == BLACK_ONLY || s->blackMode == BLACK_AND_WHITE;
}

/* The instance record behind an activation. */
inline FilterSettings *settingsOf(const FilterActivation *fa) {
    return static_cast<FilterSettings *>(fa->filter_data);
}

#endif
