/*
 * The script function Config: the host replays the call that the script-string
 * callback wrote (script_text.cpp) to restore an instance's settings.
 *
 * The path is taken first and the bitmap set loaded from it; the modes the
 * call carries then replace those the loader found, so a replay restores them
 * whatever lies on disk. The loader's result is not looked at: a set that
 * cannot be loaded now makes the next start fail. debugOutput, feather and
 * noiseL are not carried and keep their values from the defaults file.
 */
#include "logo/logo_bitmaps.h"
#include "module/callbacks.h"
#include "module/config_text.h"
#include "module/filter_settings.h"

#include <cstdint>
#include <cstring>

/* The call's arguments: the path and the numbers. */
#define CONFIG_ARG_COUNT (1 + CONFIG_NUMBER_COUNT)

/* Copies the call's path into the record. A path longer than the field holds
 * is refused rather than cut to the name of some other file: the path is left
 * empty, so the next start fails cleanly. */
static void takePath(FilterSettings *s, const CScriptValue *arg) {
    const char *path = arg->u.s != nullptr && *arg->u.s != nullptr ? *arg->u.s : "";
    size_t length = 0;
    while (length < BITMAP_PATH_SIZE && path[length] != '\0')
        ++length;
    if (length == BITMAP_PATH_SIZE) {
        s->bitmapPath[0] = '\0';
        return;
    }
    std::memcpy(s->bitmapPath, path, length + 1);
}

void VDCDECL scriptConfig(IScriptInterpreter *, void *activation, const CScriptValue *args,
                          int count) {
    if (activation == nullptr || args == nullptr || count < CONFIG_ARG_COUNT)
        return;
    FilterSettings *s = settingsOf(static_cast<FilterActivation *>(activation));
    takePath(s, &args[0]);
    loadLogoBitmaps(s);
    ConfigNumbers numbers;
    for (int i = 0; i < CONFIG_NUMBER_COUNT; ++i)
        numbers.*configCallOrder[i] = args[1 + i].u.i;
    takeConfigNumbers(s, &numbers);
}
