/*
 * How one path names a whole logo bitmap set, and which modes the set has.
 * The loader follows these rules as it reads a set; the pendra command asks
 * the same code which modes the loader will find, so the two cannot differ.
 */
#ifndef PENDRA_LOGO_SET_NAMES_H
#define PENDRA_LOGO_SET_NAMES_H

#include "module/filter_settings.h"

#include <cstddef>

/* The set digit, five characters from the path's end ("news0.bmp"), says
 * which member a file is; its companions differ only there. */
#define SET_DIGIT_FROM_END 5
#define SET_DIGIT_BLACK '0'
#define SET_DIGIT_WHITE '1'
#define SET_DIGIT_MASK '2'

/* Index of the set digit in a path of length characters, or -1 when the path
 * cannot name a set: too short, or a digit other than black's or a lone mask's. */
long setDigitIndex(const char *path, size_t length);

/* Whether the path has a '.' at all; a set's files must have an extension. */
bool setNameHasExtension(const char *path);

/* The black mode of a set named by its black capture, with or without a white one. */
int blackModeOfSet(bool whiteFound);

/* The mask mode of a set named by its black capture, with or without an interpolate bitmap. */
int maskModeOfSet(bool maskFound);

/* The modes the loader finds for the set named by path (at most
 * BITMAP_PATH_SIZE - 1 characters), asking exists(companion path) for each
 * companion; both BLACK_NONE and MASK_NONE when the path names no set. */
void bitmapSetModes(const char *path, bool (*exists)(const char *path), int *blackMode,
                    int *maskMode);

#endif
