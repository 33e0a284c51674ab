/*
 * Whether a frame lies in the configured range: the one test that decides
 * whether the run callback touches a frame at all. A frame outside it is
 * copied as it is and changes nothing the later frames depend on, so a host
 * that knows the record (the pendra command) may skip the call with the same
 * test.
 */
#ifndef PENDRA_PROCESS_FRAME_RANGE_H
#define PENDRA_PROCESS_FRAME_RANGE_H

#include "module/filter_settings.h"

#include <cstdint>

/* True when frame lies in start..end (end 0: no end), compared unsigned. */
inline bool frameInRange(const FilterSettings *s, uint32_t frame) {
    if (frame < static_cast<uint32_t>(s->start))
        return false;
    return s->end == 0 || frame <= static_cast<uint32_t>(s->end);
}

#endif
