/*
 * What picking a logo bitmap set decides besides the path: the rectangle's
 * position written into the file name ("logo_x_504_y_20_0.bmp") and the
 * alpha that suits how strongly the logo shows over black. The dialog's
 * Browse and the pendra command both apply these, so a set picked either
 * way gets the same settings, and show the same read-outs of its key colours.
 */
#ifndef PENDRA_LOGO_BROWSE_RULES_H
#define PENDRA_LOGO_BROWSE_RULES_H

#include "module/filter_settings.h"

/* The number after tag in path (first occurrence), limited to 0..limit;
 * returns 0 and leaves *value alone when the tag is absent. */
int positionFromName(const char *path, const char *tag, int limit, int *value);

/* Alpha derived from a freshly loaded set (its modes and maxDeviation) and the
 * process-wide DEFAULT_ALPHA_T and DEFAULT_ALPHA_M. */
int automaticAlpha(const FilterSettings *s);

/* The read-outs beside the set: each key colour as "(r,g,b)", or what
 * stands in its place when the set lacks that capture. */
typedef struct KeyReadouts {
    char black[48], white[48], mask[48];
} KeyReadouts;
void keyReadouts(const FilterSettings *s, KeyReadouts *out);

#endif
