// Libraries that look like filter modules but are not usable ones, for the
// host's refusals: PARTIAL_INIT_ONLY exports only the init entry;
// PARTIAL_REFUSES exports both entries, but its init entry fails.
#include "module/host_interface.h"

VDEXPORT int VDCDECL VirtualdubFilterModuleInit2(FilterModule *, const FilterFunctions *, int &,
                                                 int &) {
    return 1;
}

#if defined(PARTIAL_REFUSES)
VDEXPORT void VDCDECL VirtualdubFilterModuleDeinit(FilterModule *, const FilterFunctions *) {}
#endif
