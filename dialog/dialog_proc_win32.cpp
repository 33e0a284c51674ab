/*
 * The configuration dialog's procedure. It edits the settings record in
 * place: every control change is written to the record at once and the host's
 * preview is told to redraw, or to restart the filter when the change affects
 * what the start callback builds (bitmap set, White Level, bitmap blur,
 * feather). The record is kept in the dialog's user data.
 */
#include "defaults/host_folder.h"
#include "defaults/process_defaults.h"
#include "dialog/dialog_win32.h"
#include "dialog/resource.h"

#include <commctrl.h>
#include <shellapi.h>

/* The record the dialog edits, or null before initialisation ends. */
static FilterSettings *dialogRecord(HWND dlg) {
    return reinterpret_cast<FilterSettings *>(GetWindowLongPtrA(dlg, DWLP_USER));
}

/* The side value of a radio button, or -1 for any other control. */
static int sideOfButton(int id) {
    switch (id) {
    case IDC_SIDE_NONE:
        return 0;
    case IDC_SIDE_N:
        return 1;
    case IDC_SIDE_E:
        return 2;
    case IDC_SIDE_S:
        return 3;
    case IDC_SIDE_W:
        return 4;
    default:
        return -1;
    }
}

/* The radio button of a side value, or 0 when none shows it. */
static int buttonOfSide(int side) {
    static const int buttons[] = {IDC_SIDE_NONE, IDC_SIDE_N, IDC_SIDE_E, IDC_SIDE_S, IDC_SIDE_W};
    return side >= 0 && side <= 4 ? buttons[side] : 0;
}

/* Fills every control from the record, then hands the preview its button. */
static void initDialog(HWND dlg, FilterSettings *s) {
    CheckDlgButton(dlg, IDC_DEBUG, s->debugOutput ? BST_CHECKED : BST_UNCHECKED);
    SetDlgItemTextA(dlg, IDC_BITMAP_PATH, s->bitmapPath);

    SendDlgItemMessageA(dlg, IDC_X, TBM_SETRANGE, TRUE, MAKELPARAM(0, X_LIMIT));
    setTrackbar(dlg, IDC_X, s->x);
    showNumber(dlg, IDC_X_VALUE, s->x);
    SendDlgItemMessageA(dlg, IDC_Y, TBM_SETRANGE, TRUE, MAKELPARAM(0, Y_LIMIT));
    setTrackbar(dlg, IDC_Y, s->y);
    showNumber(dlg, IDC_Y_VALUE, s->y);
    SendDlgItemMessageA(dlg, IDC_ALPHA, TBM_SETRANGE, TRUE, MAKELPARAM(0, ALPHA_NONE));
    setTrackbar(dlg, IDC_ALPHA, s->alpha);
    showNumber(dlg, IDC_ALPHA_VALUE, s->alpha);

    showNumber(dlg, IDC_FADE_OUT, s->fadeOut);
    showNumber(dlg, IDC_START, s->start);
    showNumber(dlg, IDC_END, s->end);
    showNumber(dlg, IDC_FADE_IN, s->fadeIn);
    showNumber(dlg, IDC_SCENE, s->scene);
    showNumber(dlg, IDC_T1, s->t1);
    showNumber(dlg, IDC_T2, s->t2);
    showNumber(dlg, IDC_T3, s->t3);
    showNumber(dlg, IDC_B2, s->b2);
    showNumber(dlg, IDC_B3, s->b3);
    showNumber(dlg, IDC_BITMAP_BLUR, s->bb);
    showNumber(dlg, IDC_WHITE_LEVEL, s->white);
    showNumber(dlg, IDC_FEATHER, s->feather);
    showNumber(dlg, IDC_NOISE, s->noiseL);

    int button = buttonOfSide(s->side);
    if (button)
        CheckRadioButton(dlg, IDC_SIDE_N, IDC_SIDE_NONE, button);

    showBlackWhiteKeys(dlg, s);
    showMaskKey(dlg, s);
    greyInterpolationFields(dlg, s->alpha);

    /* Kept only now, so that the notifications of filling the fields above
       neither write the record nor reach the preview. */
    SetWindowLongPtrA(dlg, DWLP_USER, reinterpret_cast<LONG_PTR>(s));
    if (s->preview)
        s->preview->InitButton(GetDlgItem(dlg, IDC_PREVIEW));
}

/* The record field an edit field sets, or null for any other control. */
static int *fieldOfEdit(FilterSettings *s, int id, int *restarts) {
    *restarts = 0;
    switch (id) {
    case IDC_START:
        return &s->start;
    case IDC_END:
        return &s->end;
    case IDC_FADE_IN:
        return &s->fadeIn;
    case IDC_FADE_OUT:
        return &s->fadeOut;
    case IDC_T1:
        return &s->t1;
    case IDC_T2:
        return &s->t2;
    case IDC_T3:
        return &s->t3;
    case IDC_B2:
        return &s->b2;
    case IDC_B3:
        return &s->b3;
    case IDC_SCENE:
        return &s->scene;
    case IDC_NOISE:
        return &s->noiseL;
    case IDC_WHITE_LEVEL:
        *restarts = 1;
        return &s->white;
    case IDC_BITMAP_BLUR:
        *restarts = 1;
        return &s->bb;
    case IDC_FEATHER:
        *restarts = 1;
        return &s->feather;
    default:
        return nullptr;
    }
}

/* Moves x or y by step within 0..limit, updating read-out and trackbar. */
static void nudgePosition(HWND dlg, FilterSettings *s, int *value, int step, int limit,
                          int trackbar, int readout) {
    int next = *value + step;
    if ((step < 0 && *value <= 0) || (step > 0 && *value >= limit))
        return;
    *value = next;
    showNumber(dlg, readout, next);
    setTrackbar(dlg, trackbar, next);
    redoFrame(s);
}

/* Shows settings in their edit fields without reading them back: the record
   holds them already, and each field's echo would redraw the preview again. */
static void showQuietly(HWND dlg, const int *ids, const int *values, int count) {
    LONG_PTR record = GetWindowLongPtrA(dlg, DWLP_USER);
    SetWindowLongPtrA(dlg, DWLP_USER, 0);
    for (int i = 0; i < count; ++i)
        showNumber(dlg, ids[i], values[i]);
    SetWindowLongPtrA(dlg, DWLP_USER, record);
}

/* Zero: no repair blur and no bitmap blur. */
static void zeroBlurs(HWND dlg, FilterSettings *s) {
    s->b2 = s->b3 = s->bb = 0;
    const int ids[] = {IDC_B2, IDC_B3, IDC_BITMAP_BLUR};
    const int values[] = {0, 0, 0};
    showQuietly(dlg, ids, values, 3);
    restartPreview(s);
}

/* Defaults: thresholds, blurs and feather from the process-wide defaults. */
static void defaultGradients(HWND dlg, FilterSettings *s) {
    applyGradientDefaults(s);
    const int ids[] = {IDC_T1, IDC_T2, IDC_T3, IDC_B2, IDC_B3, IDC_BITMAP_BLUR, IDC_FEATHER};
    const int values[] = {s->t1, s->t2, s->t3, s->b2, s->b3, s->bb, s->feather};
    showQuietly(dlg, ids, values, 7);
    restartPreview(s);
}

/* Opens the help page beside the host program with the shell. */
static void openHelpPage(HWND dlg) {
    char page[HOST_PATH_MAX + 1];
    if (hostPath("plugins\\pendra\\Pendra.html", page, sizeof page) == 0)
        ShellExecuteA(dlg, "open", page, nullptr, nullptr, SW_SHOWNORMAL);
}

/* WM_COMMAND: buttons and edit-field notifications. */
static INT_PTR onCommand(HWND dlg, FilterSettings *s, int id) {
    int restarts = 0;
    if (int *field = fieldOfEdit(s, id, &restarts)) {
        *field = readFieldNumber(dlg, id);
        if (restarts)
            restartPreview(s);
        else
            redoFrame(s);
        return FALSE;
    }
    int side = sideOfButton(id);
    if (side >= 0) {
        CheckRadioButton(dlg, IDC_SIDE_N, IDC_SIDE_NONE, id);
        s->side = side;
        redoFrame(s);
        return FALSE;
    }
    switch (id) {
    case IDOK:
    case IDCANCEL:
        /* Let go of the record first: the notifications of tearing the
           controls down must not write it after the user's answer. */
        SetWindowLongPtrA(dlg, DWLP_USER, 0);
        EndDialog(dlg, id == IDOK ? 0 : 1);
        return TRUE;
    case IDC_HELP_PAGE:
        openHelpPage(dlg);
        return TRUE;
    case IDC_PREVIEW:
        if (s->preview)
            s->preview->Toggle(dlg);
        break;
    case IDC_BROWSE:
        browseBitmapSet(dlg, s);
        break;
    case IDC_DEBUG:
        s->debugOutput = IsDlgButtonChecked(dlg, IDC_DEBUG) == BST_CHECKED ? 1 : 0;
        redoFrame(s);
        break;
    case IDC_Y_MINUS:
        nudgePosition(dlg, s, &s->y, -1, Y_LIMIT, IDC_Y, IDC_Y_VALUE);
        break;
    case IDC_Y_PLUS:
        nudgePosition(dlg, s, &s->y, 1, Y_LIMIT, IDC_Y, IDC_Y_VALUE);
        break;
    case IDC_X_MINUS:
        nudgePosition(dlg, s, &s->x, -1, X_LIMIT, IDC_X, IDC_X_VALUE);
        break;
    case IDC_X_PLUS:
        nudgePosition(dlg, s, &s->x, 1, X_LIMIT, IDC_X, IDC_X_VALUE);
        break;
    case IDC_ZERO:
        zeroBlurs(dlg, s);
        break;
    case IDC_DEFAULTS:
        defaultGradients(dlg, s);
        break;
    default:
        break;
    }
    return FALSE;
}

/* WM_HSCROLL and WM_VSCROLL: a trackbar moved. */
static void onTrackbar(HWND dlg, FilterSettings *s, HWND bar) {
    int position = static_cast<int>(SendMessageA(bar, TBM_GETPOS, 0, 0));
    switch (GetDlgCtrlID(bar)) {
    case IDC_X:
        if (position != s->x) {
            s->x = position;
            showNumber(dlg, IDC_X_VALUE, position);
            redoFrame(s);
        }
        break;
    case IDC_Y:
        if (position != s->y) {
            s->y = position;
            showNumber(dlg, IDC_Y_VALUE, position);
            redoFrame(s);
        }
        break;
    case IDC_ALPHA:
        if (position != s->alpha) {
            s->alpha = position;
            showNumber(dlg, IDC_ALPHA_VALUE, position);
            greyInterpolationFields(dlg, position);
            redoFrame(s);
        }
        break;
    default:
        break;
    }
}

INT_PTR CALLBACK configDialogProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_INITDIALOG) {
        initDialog(dlg, reinterpret_cast<FilterSettings *>(lParam));
        return TRUE;
    }
    FilterSettings *s = dialogRecord(dlg);
    if (!s)
        return FALSE;
    switch (msg) {
    case WM_COMMAND:
        return onCommand(dlg, s, LOWORD(wParam));
    case WM_HSCROLL:
    case WM_VSCROLL:
        if (lParam)
            onTrackbar(dlg, s, reinterpret_cast<HWND>(lParam));
        return FALSE;
    default:
        return FALSE;
    }
}
