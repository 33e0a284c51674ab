/*
 * The naming rules of a logo bitmap set (set_names.h): one place for the set
 * digit and for the modes each layout of files gives.
 */
#include "logo/set_names.h"

#include <cstring>

long setDigitIndex(const char *path, size_t length) {
    if (length < SET_DIGIT_FROM_END)
        return -1;
    long digit = static_cast<long>(length - SET_DIGIT_FROM_END);
    if (path[digit] != SET_DIGIT_BLACK && path[digit] != SET_DIGIT_MASK)
        return -1;
    return digit;
}

bool setNameHasExtension(const char *path) {
    return std::strrchr(path, '.') != nullptr;
}

int blackModeOfSet(bool whiteFound) {
    return whiteFound ? BLACK_AND_WHITE : BLACK_ONLY;
}

int maskModeOfSet(bool maskFound) {
    return maskFound ? MASK_OWN : MASK_FROM_BLACK;
}

void bitmapSetModes(const char *path, bool (*exists)(const char *path), int *blackMode,
                    int *maskMode) {
    *blackMode = BLACK_NONE;
    *maskMode = MASK_NONE;
    char companion[BITMAP_PATH_SIZE];
    size_t length = strnlen(path, BITMAP_PATH_SIZE);
    if (length == BITMAP_PATH_SIZE)
        return;
    long digit = setDigitIndex(path, length);
    if (digit < 0 || !setNameHasExtension(path))
        return;
    if (path[digit] == SET_DIGIT_MASK) {
        *maskMode = MASK_OWN;
        return;
    }
    std::memcpy(companion, path, length + 1);
    companion[digit] = SET_DIGIT_WHITE;
    *blackMode = blackModeOfSet(exists(companion));
    companion[digit] = SET_DIGIT_MASK;
    *maskMode = maskModeOfSet(exists(companion));
}
