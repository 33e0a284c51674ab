/*
 * The script call Config that the host saves with a job and replays. For now
 * the text is empty and a replay changes nothing; the persisted format comes
 * with the script work.
 */
#include "module/callbacks.h"

bool VDCDECL filterScriptString(FilterActivation *, const FilterFunctions *, char *buf,
                                int buflen) {
    if (buf != nullptr && buflen > 0)
        buf[0] = '\0';
    return true;
}

void VDCDECL scriptConfig(IScriptInterpreter *, void *, const CScriptValue *, int) {}
