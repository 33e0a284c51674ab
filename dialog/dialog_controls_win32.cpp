/*
 * Moving values between the settings record and the dialog's controls.
 *
 * Numbers are read from the field's text and parsed here rather than with
 * GetDlgItemInt: its unsigned reading of "-5" differs between systems (0 on
 * Windows, the two's complement on Wine), and the dialog must read 0.
 */
#include "dialog/dialog_win32.h"
#include "dialog/resource.h"

#include <commctrl.h>

#include <cstdio>

unsigned parseFieldNumber(const char *text) {
    const char *p = text;
    while (*p == ' ' || *p == '\t')
        ++p;
    if (*p == '+')
        ++p;
    if (*p < '0' || *p > '9')
        return 0;
    unsigned long long value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + static_cast<unsigned>(*p - '0');
        if (value > 0xFFFFFFFFull)
            return 0;
    }
    while (*p == ' ' || *p == '\t')
        ++p;
    return *p == '\0' ? static_cast<unsigned>(value) : 0;
}

int readFieldNumber(HWND dlg, int id) {
    char text[32];
    HWND field = GetDlgItem(dlg, id);
    /* Longer text cannot be a number that fits 32 bits, blanks aside. */
    if (!field || GetWindowTextLengthA(field) >= static_cast<int>(sizeof text))
        return 0;
    GetWindowTextA(field, text, sizeof text);
    return static_cast<int>(parseFieldNumber(text));
}

void showNumber(HWND dlg, int id, int v) {
    SetDlgItemInt(dlg, id, static_cast<UINT>(v), TRUE);
}

void setTrackbar(HWND dlg, int id, int position) {
    SendDlgItemMessageA(dlg, id, TBM_SETPOS, TRUE, position);
}

void showBlackWhiteKeys(HWND dlg, const FilterSettings *s) {
    KeyReadouts shown;
    keyReadouts(s, &shown);
    SetDlgItemTextA(dlg, IDC_BLACK_KEY, shown.black);
    SetDlgItemTextA(dlg, IDC_WHITE_KEY, shown.white);
    EnableWindow(GetDlgItem(dlg, IDC_WHITE_LEVEL), s->blackMode == BLACK_ONLY);
}

void showMaskKey(HWND dlg, const FilterSettings *s) {
    KeyReadouts shown;
    keyReadouts(s, &shown);
    SetDlgItemTextA(dlg, IDC_MASK_KEY, shown.mask);
}

void greyInterpolationFields(HWND dlg, int alpha) {
    static const int fields[] = {IDC_T1, IDC_T2, IDC_T3, IDC_B2, IDC_B3, IDC_SCENE};
    for (int id : fields)
        EnableWindow(GetDlgItem(dlg, id), alpha != ALPHA_NONE);
}

void redoFrame(const FilterSettings *s) {
    if (s->preview)
        s->preview->RedoFrame();
}

void restartPreview(const FilterSettings *s) {
    if (s->preview) {
        s->preview->UndoSystem();
        s->preview->RedoSystem();
    }
}
