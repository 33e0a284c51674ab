/*
 * The config callback where there is no dialog (every build but Windows, and
 * Windows until the dialog is built): it reports that the dialog could not
 * open, which the host takes as a cancel, and leaves the settings untouched.
 */
#include "module/callbacks.h"

int VDCDECL filterConfig(FilterActivation *, const FilterFunctions *, VDXHWND) {
    return 1;
}
