/*
 * The init callback: a new instance takes its settings from the defaults file
 * "plugins\pendra\Pendra.ini" under the host's folder, or from the values the
 * process already holds when the file is missing. It also clears every
 * resource pointer, since the host need not hand the record over zero-filled.
 *
 * One documented hook: when the environment variable PENDRA_DEFAULTS_FILE is
 * set and not empty, it names the defaults file instead. Our pendra command
 * uses it to give one run its own noise and feather without editing the
 * installed file. Unset, the lookup is exactly the usual one.
 */
#include "defaults/host_folder.h"
#include "defaults/process_defaults.h"
#include "logo/prepare_buffers.h"
#include "module/callbacks.h"
#include "module/filter_settings.h"
#include "module/user_settings.h"
#include "platform/windows_calls.h"

#include <cstdlib>
#include <cstring>

/* Writes the path of the defaults file to read; 0 on success, 1 when there is none. */
static int defaultsFilePath(char *path, size_t size) {
    const char *own = std::getenv("PENDRA_DEFAULTS_FILE");
    if (own == nullptr || own[0] == '\0')
        return hostPath("plugins" PATH_SEP "pendra" PATH_SEP "Pendra.ini", path, size);
    size_t length = std::strlen(own);
    if (length + 1 > size)
        return 1;
    std::memcpy(path, own, length + 1);
    return 0;
}

/* Forgets any images and buffers: a new record owns nothing. */
static void clearResources(FilterSettings *s) {
    s->preview = nullptr;
    s->blackFile = s->blackPixels = nullptr;
    s->whiteFile = s->whitePixels = nullptr;
    s->maskFile = s->maskPixels = nullptr;
    s->logoWidth = s->logoHeight = s->logoStride = 0;
    forgetBuffers(s);
    s->edgeCount = 0;
    for (int i = 0; i < 3; ++i)
        s->blackKey[i] = s->whiteKey[i] = s->maskKey[i] = 0;
}

int VDCDECL filterInit(FilterActivation *fa, const FilterFunctions *) {
    FilterSettings *s = settingsOf(fa);
    clearResources(s);

    char iniPath[HOST_PATH_MAX + 1];
    if (defaultsFilePath(iniPath, sizeof iniPath) == 0)
        readDefaultsFile(iniPath);
    /* An unknown folder leaves the path empty: the next start then fails cleanly. */
    hostPath("plugins" PATH_SEP "Logo.bmp", s->bitmapPath, sizeof s->bitmapPath);

    applyUserDefaults(s);
    s->maxDeviation = 0;
    return 0;
}
