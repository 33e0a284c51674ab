/*
 * Start and end of a run. For now a run cannot start: the bitmap set loader
 * and the working buffers are not built yet, and the run callback must never
 * see an instance without them. The end callback has nothing to release.
 */
#include "module/callbacks.h"

int VDCDECL filterStart(FilterActivation *, const FilterFunctions *) {
    return 1;
}

int VDCDECL filterEnd(FilterActivation *, const FilterFunctions *) {
    return 0;
}
