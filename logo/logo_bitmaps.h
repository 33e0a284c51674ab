/*
 * Loading the logo bitmap set named by bitmapPath (black '0', white '1',
 * interpolate '2') into the settings record.
 */
#ifndef PENDRA_LOGO_LOGO_BITMAPS_H
#define PENDRA_LOGO_LOGO_BITMAPS_H

#include "module/filter_settings.h"

/* Loads the set named by s->bitmapPath; 0 when loaded, 1 on any failure. */
int loadLogoBitmaps(FilterSettings *s);

/* Releases the three images (a shared interpolate image once) and clears their pointers. */
void releaseLogoBitmaps(FilterSettings *s);

#endif
