/*
 * The configuration dialog's pieces, shared by the files of its Windows build:
 * the dialog procedure, the helpers that move values between the record and
 * the controls, and Browse.
 */
#ifndef PENDRA_DIALOG_DIALOG_WIN32_H
#define PENDRA_DIALOG_DIALOG_WIN32_H

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "logo/browse_rules.h"
#include "module/filter_settings.h"

/* Upper limits of the position trackbars. */
#define X_LIMIT 800
#define Y_LIMIT 600
/* The alpha that means "No Interpolation". */
#define ALPHA_NONE 255

/* The dialog procedure of dialog 101; the creation parameter is the record. */
INT_PTR CALLBACK configDialogProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam);

/* Reads an edit field as an unsigned decimal number: empty text, text that is
 * not a number, a leading minus sign and numbers past 32 bits all read as 0. */
int readFieldNumber(HWND dlg, int id);
/* Parses text as readFieldNumber does. */
unsigned parseFieldNumber(const char *text);

/* Shows v in an edit field as a signed decimal number. */
void showNumber(HWND dlg, int id, int v);
/* Sets a trackbar's position. */
void setTrackbar(HWND dlg, int id, int position);
/* Fills the black and white key read-outs and enables White Level by blackMode. */
void showBlackWhiteKeys(HWND dlg, const FilterSettings *s);
/* Fills the interpolate key read-out by maskMode. */
void showMaskKey(HWND dlg, const FilterSettings *s);
/* Greys the six interpolation fields while alpha means no interpolation. */
void greyInterpolationFields(HWND dlg, int alpha);

/* Tells the preview to process the frame again, when there is a preview. */
void redoFrame(const FilterSettings *s);
/* Tells the preview to stop and start the filter, when there is a preview. */
void restartPreview(const FilterSettings *s);

/* Browse: picks a bitmap set, loads it, takes the position from its name and
 * derives alpha; a cancelled file dialog changes nothing. */
void browseBitmapSet(HWND dlg, FilterSettings *s);

#endif
