/*
 * Browse: the user picks the bitmap set with the file-open dialog. The set is
 * loaded at once so that the key colours show, the rectangle's position is
 * taken from "_x_" and "_y_" in the file name, and alpha is derived from how
 * far the black bitmap rises above its key colour. The name is picked into a
 * buffer of its own, so a cancelled file dialog keeps the previous path.
 */
#include "defaults/process_defaults.h"
#include "dialog/dialog_win32.h"
#include "dialog/resource.h"
#include "logo/logo_bitmaps.h"

#include <commctrl.h>
#include <commdlg.h>

#include <cstring>

int positionFromName(const char *path, const char *tag, int limit, int *value) {
    const char *at = std::strstr(path, tag);
    if (!at)
        return 0;
    const char *p = at + std::strlen(tag);
    int negative = 0;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    long long n = 0;
    /* Saturate: anything past the limit is cut to it anyway. */
    for (; *p >= '0' && *p <= '9'; ++p)
        if (n <= limit)
            n = n * 10 + (*p - '0');
    if (negative)
        n = -n;
    *value = n < 0 ? 0 : (n > limit ? limit : static_cast<int>(n));
    return 1;
}

int automaticAlpha(const FilterSettings *s) {
    if (s->blackMode == 0 && s->maskMode == 1)
        return 0; /* an interpolate bitmap alone: nothing to un-blend */
    /* In 64 bits: the defaults file may hold any integer. */
    long long a = static_cast<long long>(processDefault(DEFAULT_ALPHA_T)) + 255 - s->maxDeviation;
    if (a > 255)
        a = 255;
    if (a < processDefault(DEFAULT_ALPHA_M))
        a = processDefault(DEFAULT_ALPHA_M);
    return static_cast<int>(a);
}

/* Runs the file-open dialog; 1 with the name in path when the user picked one. */
static int pickBitmapFile(HWND dlg, char *path, DWORD size) {
    path[0] = '\0';
    OPENFILENAMEA ofn;
    std::memset(&ofn, 0, sizeof ofn);
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = dlg;
    ofn.lpstrFilter = "Bitmaps\0*.BMP\0All Files\0*.*\0";
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = path;
    ofn.nMaxFile = size;
    ofn.lpstrTitle = "Bitmap Filename must end in 0 or 2";
    /* A name that does not exist may be typed after a confirmation. */
    ofn.Flags = OFN_EXPLORER | OFN_CREATEPROMPT | OFN_HIDEREADONLY;
    return GetOpenFileNameA(&ofn) ? 1 : 0;
}

void browseBitmapSet(HWND dlg, FilterSettings *s) {
    char picked[BITMAP_PATH_SIZE];
    if (!pickBitmapFile(dlg, picked, sizeof picked))
        return;
    std::memcpy(s->bitmapPath, picked, sizeof picked);
    SetDlgItemTextA(dlg, IDC_BITMAP_PATH, s->bitmapPath);
    loadLogoBitmaps(s); /* a failed load shows in the read-outs; the next start reports it */

    if (positionFromName(s->bitmapPath, "_x_", X_LIMIT, &s->x)) {
        setTrackbar(dlg, IDC_X, s->x);
        showNumber(dlg, IDC_X_VALUE, s->x);
    }
    if (positionFromName(s->bitmapPath, "_y_", Y_LIMIT, &s->y)) {
        setTrackbar(dlg, IDC_Y, s->y);
        showNumber(dlg, IDC_Y_VALUE, s->y);
    }
    showBlackWhiteKeys(dlg, s);

    s->alpha = automaticAlpha(s);
    if (SendDlgItemMessageA(dlg, IDC_ALPHA, TBM_GETPOS, 0, 0) != s->alpha) {
        setTrackbar(dlg, IDC_ALPHA, s->alpha);
        showNumber(dlg, IDC_ALPHA_VALUE, s->alpha);
    }
    greyInterpolationFields(dlg, s->alpha);
    showMaskKey(dlg, s);
    restartPreview(s);
}
