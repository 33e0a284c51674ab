/*
 * What picking a logo bitmap set decides besides the path: the rectangle's
 * position written into the file name ("logo_x_504_y_20_0.bmp") and the
 * alpha that suits how strongly the logo shows over black. The dialog's
 * Browse and the pendra command both apply these, so a set picked either
 * way gets the same settings.
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

#endif
