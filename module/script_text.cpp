/*
 * The script-string callback: the host saves an instance with its job as one
 * call of its script language, Config, and later replays it (script_config.cpp).
 * The call's text is config_text.cpp's.
 */
#include "module/callbacks.h"
#include "module/config_text.h"
#include "module/filter_settings.h"

/* Writes the Config call into buf. A text longer than the buffer is cut there
 * and zero-terminated, and the result is false so that the host does not save
 * a broken call. */
bool VDCDECL filterScriptString(FilterActivation *fa, const FilterFunctions *, char *buf,
                                int buflen) {
    if (buf == nullptr || buflen <= 0)
        return false;
    const FilterSettings *s = settingsOf(fa);
    ConfigNumbers numbers;
    configNumbersOf(s, &numbers);
    size_t length = formatConfigCall(buf, static_cast<size_t>(buflen), s->bitmapPath,
                                     BITMAP_PATH_SIZE - 1, &numbers);
    return length < static_cast<size_t>(buflen);
}
