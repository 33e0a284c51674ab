/*
 * Browse: the user picks the bitmap set with the file-open dialog. The set is
 * loaded at once so that the key colours show, the rectangle's position is
 * taken from "_x_" and "_y_" in the file name, and alpha is derived from how
 * far the black bitmap rises above its key colour (the rules the pendra
 * command shares, logo/browse_rules.cpp). The name is picked into a
 * buffer of its own, so a cancelled file dialog keeps the previous path.
 */
#include "dialog/dialog_win32.h"
#include "dialog/resource.h"
#include "logo/browse_rules.h"
#include "logo/logo_bitmaps.h"

#include <commctrl.h>
#include <commdlg.h>

#include <cstring>

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
