/*
 * The text of the Config call that saves an instance's settings, and the
 * packing of its threshold and blur triples. The script-string callback
 * writes it and the Config function reads the packed triples back; the
 * pendra command writes and unpacks job lines with the same code.
 */
#ifndef PENDRA_MODULE_CONFIG_TEXT_H
#define PENDRA_MODULE_CONFIG_TEXT_H

#include "module/filter_settings.h"

#include <cstddef>

/* The fourteen integers after the path, in the call's order. */
struct ConfigNumbers {
    int blackMode;
    int maskMode;
    int x;
    int y;
    int start;
    int end;
    int fadeIn;
    int fadeOut;
    int alpha;
    int thresholds; /* t1, t2, t3 packed */
    int blurs;      /* b2, b3, bb packed */
    int white;
    int side;
    int scene;
};

/* The call's numbers in its order, after the path: the one list of it that
 * the saved call, the script's Config and the command's reading follow. */
#define CONFIG_NUMBER_COUNT 14
extern int ConfigNumbers::*const configCallOrder[CONFIG_NUMBER_COUNT];

/* The call's numbers of a record's settings, and the settings a call's
 * numbers give: the one place that knows which setting goes where. */
void configNumbersOf(const FilterSettings *s, ConfigNumbers *numbers);
void takeConfigNumbers(FilterSettings *s, const ConfigNumbers *numbers);

/* Packs three values as first << 16 | second << 8 | third, without masking;
 * unsigned arithmetic keeps negative and large values well defined. */
int packTriple(int first, int second, int third);

/* Takes bits 16 to 23, 8 to 15 and 0 to 7 of a packed triple. */
void unpackTriple(int packed, int *first, int *second, int *third);

/* Writes Config("path",n, n, ...) into buf as snprintf would: cut to size - 1
 * characters and zero-terminated when longer; returns the whole call's length.
 * At most pathLimit characters of path are written, each backslash, double
 * quote and line break escaped. */
size_t formatConfigCall(char *buf, size_t size, const char *path, size_t pathLimit,
                        const ConfigNumbers *numbers);

#endif
