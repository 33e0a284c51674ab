/*
 * The module's exports and its one filter definition.
 *
 * The host loads the module, calls VirtualdubFilterModuleInit2 once, and from
 * then on reaches the filter only through the callbacks registered here. The
 * handle addFilter returns is kept for VirtualdubFilterModuleDeinit.
 */
#include "module/callbacks.h"
#include "module/filter_settings.h"
#include "pendra_version.h"

static ScriptFunctionDef scriptFunctions[] = {
    {scriptConfig, "Config", "0siiiiiiiiiiiiii"},
    {nullptr, nullptr, nullptr},
};

static CScriptObject scriptObject = {nullptr, scriptFunctions, nullptr};

static FilterDefinition filterDefinition = {
    nullptr,                       /* next: the host fills it */
    nullptr,                       /* prev */
    nullptr,                       /* module */
    PENDRA_FILTER_NAME,            /* name */
    "That logo has ceased to be!", /* desc */
    "Ondrel",                      /* maker */
    nullptr,                       /* private_data */
    sizeof(FilterSettings),        /* inst_data_size */
    filterInit,
    nullptr, /* deinitProc: an instance owns nothing once its last run has ended */
    filterRun,
    nullptr, /* paramProc: the frame size never changes */
    filterConfig,
    filterString,
    filterStart,
    filterEnd,
    &scriptObject,
    filterScriptString,
};

/* The host's registered definition, written once at load. */
static FilterDefinition *registrationHandle = nullptr;

VDEXPORT int VDCDECL VirtualdubFilterModuleInit2(FilterModule *fm, const FilterFunctions *ff,
                                                 int &vdfd_ver, int &vdfd_compat) {
    registrationHandle = ff->addFilter(fm, &filterDefinition, (int)sizeof(FilterDefinition));
    if (!registrationHandle)
        return 1;
    vdfd_ver = VIRTUALDUB_FILTERDEF_VERSION;
    vdfd_compat = VIRTUALDUB_FILTERDEF_COMPATIBLE;
    return 0;
}

VDEXPORT void VDCDECL VirtualdubFilterModuleDeinit(FilterModule *, const FilterFunctions *ff) {
    ff->removeFilter(registrationHandle);
}

void VDCDECL filterString(const FilterActivation *, const FilterFunctions *, char *) {}
