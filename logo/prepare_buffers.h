/*
 * Start-time preparation: the working buffers and tables of a run, built
 * from the loaded bitmap set and the frame's geometry.
 */
#ifndef PENDRA_LOGO_PREPARE_BUFFERS_H
#define PENDRA_LOGO_PREPARE_BUFFERS_H

#include "module/filter_settings.h"

/* Allocates and fills the working buffers; 0 on success, 1 on failure. */
int prepareBuffers(FilterSettings *s, const FilterActivation *fa);

/* Fills the side records of the interior logo pixels; 1 when some logo pixel
 * has no clean pixel on one of its four sides. */
int buildSideTable(FilterSettings *s, const int32_t *bitmapMask, SideRecord *sideTable,
                   const FilterActivation *fa);

/* Releases the working buffers and clears their pointers; null ones are skipped. */
void releaseBuffers(FilterSettings *s);

/* Clears the working buffers' pointers without releasing anything: a new record owns none. */
void forgetBuffers(FilterSettings *s);

/* Whether every working buffer is there, as after a successful start. */
bool buffersReady(const FilterSettings *s);

#endif
