/*
 * Tables the start-time preparation builds from the settings alone.
 */
#ifndef PENDRA_LOGO_START_TABLES_H
#define PENDRA_LOGO_START_TABLES_H

#include <cstdint>

/* Sets every pass count of a w x h map to bb, then ramps it up over a border
 * of feather rings (ring k, counted from the outside, gets (k + 1) * (bb / feather)). */
void fillBlurPasses(int32_t *blurPasses, int w, int h, int bb, int feather);

/* Fills the 256 x 256 table that un-blends a logo of brightness white over the
 * black key value key: entry [observed * 256 + logo value] = restored value. */
void buildUnblendTable(unsigned char *table, int white, int key);

#endif
