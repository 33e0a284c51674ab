/*
 * The callbacks of Pendra's filter definition, each defined in the folder of
 * the stage it belongs to. The definition in filter_definition.cpp is the only
 * place that hands them to the host.
 */
#ifndef PENDRA_MODULE_CALLBACKS_H
#define PENDRA_MODULE_CALLBACKS_H

#include "module/host_interface.h"

/* defaults/: reads the defaults file and fills a new record. */
int VDCDECL filterInit(FilterActivation *fa, const FilterFunctions *ff);
/* logo/: loads the bitmap set and builds the working buffers of a run. */
int VDCDECL filterStart(FilterActivation *fa, const FilterFunctions *ff);
/* logo/: releases every image and buffer after a run. */
int VDCDECL filterEnd(FilterActivation *fa, const FilterFunctions *ff);
/* process/: processes one frame. */
int VDCDECL filterRun(const FilterActivation *fa, const FilterFunctions *ff);
/* dialog/: runs the configuration dialog. */
int VDCDECL filterConfig(FilterActivation *fa, const FilterFunctions *ff, VDXHWND hwnd);
/* module/: the filter adds no detail text to the host's list. */
void VDCDECL filterString(const FilterActivation *fa, const FilterFunctions *ff, char *buf);
/* module/: writes the settings as the script call Config. */
bool VDCDECL filterScriptString(FilterActivation *fa, const FilterFunctions *ff, char *buf,
                                int buflen);
/* module/: the script function Config, replayed by the host. */
void VDCDECL scriptConfig(IScriptInterpreter *isi, void *activation, const CScriptValue *args,
                          int count);

#endif
