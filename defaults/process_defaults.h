/*
 * The 21 process-wide defaults and the reader of the defaults file.
 *
 * The values start with the built-in ones when the module loads; each read of
 * the file overwrites those whose keys it finds and leaves the others as they
 * last stood, so a key dropped from the file keeps its last value.
 */
#ifndef PENDRA_DEFAULTS_PROCESS_DEFAULTS_H
#define PENDRA_DEFAULTS_PROCESS_DEFAULTS_H

enum DefaultKey {
    DEFAULT_X,
    DEFAULT_Y,
    DEFAULT_START,
    DEFAULT_END,
    DEFAULT_FADEIN,
    DEFAULT_FADEOUT,
    DEFAULT_ALPHA,
    DEFAULT_T1,
    DEFAULT_T2,
    DEFAULT_T3,
    DEFAULT_B1,
    DEFAULT_B2,
    DEFAULT_B3,
    DEFAULT_BB,
    DEFAULT_SIDE,
    DEFAULT_SCENE,
    DEFAULT_WHITE,
    DEFAULT_FEATHER,
    DEFAULT_ALPHA_M,
    DEFAULT_ALPHA_T,
    DEFAULT_NOISE_L,
    DEFAULT_COUNT
};

/* The current process-wide value of a key. */
int processDefault(DefaultKey key);

/* The key's spelling in the defaults file. */
const char *defaultKeyName(DefaultKey key);

/* Reads key and integer pairs from path into the process-wide defaults.
 * Returns 0 when the file was read, 1 when it could not be opened. */
int readDefaultsFile(const char *path);

/* Puts back the built-in values, as at module load (for tests of one process). */
void resetProcessDefaults();

struct FilterSettings;
/* Sets the thresholds, blurs and feather of a record (the dialog's gradient
 * settings) from the process-wide defaults. */
void applyGradientDefaults(FilterSettings *s);

#endif
