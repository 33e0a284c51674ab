/*
 * The config callback: runs dialog 101 on the settings record itself, with
 * the host's preview, and puts the settings back when the user cancels.
 *
 * The copy taken before the dialog opens cannot simply be copied back whole:
 * a Browse or a preview restart during the dialog releases the images and
 * buffers that the copy still points at and allocates new ones. So Cancel
 * restores the settings one by one and leaves the record's images, buffers
 * and what describes them as they are now; the next start reloads the set
 * from the restored path in any case.
 */
#include "dialog/dialog_win32.h"
#include "dialog/resource.h"
#include "module/callbacks.h"
#include "module/user_settings.h"

#include <commctrl.h>

#include <cstdlib>
#include <cstring>

/* Makes sure the trackbar class is registered before the dialog is built. */
static void registerTrackbarClass() {
    INITCOMMONCONTROLSEX controls;
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_BAR_CLASSES;
    InitCommonControlsEx(&controls);
}

int VDCDECL filterConfig(FilterActivation *fa, const FilterFunctions *, VDXHWND hwnd) {
    FilterSettings *s = settingsOf(fa);
    /* On the heap: the record holds a 64 KiB table. */
    FilterSettings *saved = static_cast<FilterSettings *>(std::malloc(sizeof *saved));
    if (!saved)
        return 1; /* no way to undo a cancel: treat as a dialog that could not open */
    std::memcpy(saved, s, sizeof *saved);
    s->preview = fa->ifp;

    registerTrackbarClass();
    HINSTANCE module = static_cast<HINSTANCE>(fa->filter->module->hInstModule);
    INT_PTR result =
        DialogBoxParamA(module, MAKEINTRESOURCEA(IDD_PENDRA_CONFIG), static_cast<HWND>(hwnd),
                        configDialogProc, reinterpret_cast<LPARAM>(s));
    if (result != 0)
        copyUserSettings(s, saved);
    std::free(saved);
    return result != 0 ? 1 : 0;
}
