/*
 * The process-wide defaults and a token-based reader for the defaults file.
 *
 * The file is a run of white-space-separated tokens read as key, integer,
 * key, integer; line breaks mean nothing of their own. A key is compared with
 * the 21 names exactly, with case. When the token after a key is not an
 * integer, the key changes nothing and that token is taken as the next key.
 * A value is an optional sign and decimal digits; should digits be followed
 * by other characters in the same token, those characters start the next
 * token, as a formatted "%d" read would leave them.
 */
#include "defaults/process_defaults.h"
#include "module/filter_settings.h"

#include <climits>
#include <cstdio>
#include <cstring>

/* Every key of the defaults file: its name and the value it has when no file
 * sets it, in the DefaultKey order. One row per key, so that a new default is
 * added in one place. */
struct DefaultEntry {
    DefaultKey key;
    const char *name;
    int builtIn;
};

#define KEY(key, builtIn)                                                                          \
    { key, #key, builtIn }

static constexpr DefaultEntry defaultTable[] = {
    KEY(DEFAULT_X, 0),         KEY(DEFAULT_Y, 0),        KEY(DEFAULT_START, 0),
    KEY(DEFAULT_END, 0),       KEY(DEFAULT_FADEIN, 0),   KEY(DEFAULT_FADEOUT, 0),
    KEY(DEFAULT_ALPHA, 0),     KEY(DEFAULT_T1, 10),      KEY(DEFAULT_T2, 25),
    KEY(DEFAULT_T3, 40),       KEY(DEFAULT_B1, 5),       KEY(DEFAULT_B2, 5),
    KEY(DEFAULT_B3, 20),       KEY(DEFAULT_BB, 10),      KEY(DEFAULT_SIDE, 0),
    KEY(DEFAULT_SCENE, 10),    KEY(DEFAULT_WHITE, 230),  KEY(DEFAULT_FEATHER, 8),
    KEY(DEFAULT_ALPHA_M, 150), KEY(DEFAULT_ALPHA_T, 80), KEY(DEFAULT_NOISE_L, 2),
};

static constexpr bool inKeyOrder() {
    int k = 0;
    for (const DefaultEntry &e : defaultTable)
        if (e.key != k++)
            return false;
    return k == DEFAULT_COUNT;
}
static_assert(inKeyOrder(), "one row per DefaultKey, in its order");

struct DefaultValues {
    int value[DEFAULT_COUNT];
};

static constexpr DefaultValues tableDefaults() {
    DefaultValues v = {};
    for (int k = 0; k < DEFAULT_COUNT; ++k)
        v.value[k] = defaultTable[k].builtIn;
    return v;
}

static constexpr DefaultValues builtInDefaults = tableDefaults();

static DefaultValues processDefaults = builtInDefaults;

/* Longest key the reader keeps; longer tokens match no key. */
#define KEY_TOKEN_MAX 255

int processDefault(DefaultKey key) {
    return processDefaults.value[key];
}

const char *defaultKeyName(DefaultKey key) {
    return defaultTable[key].name;
}

void resetProcessDefaults() {
    processDefaults = builtInDefaults;
}

/* The token reader's state: the file and one token read ahead. */
struct TokenReader {
    FILE *file;
    char token[KEY_TOKEN_MAX + 1];
    bool tooLong;    /* the token had more characters than it keeps */
    bool hasPending; /* token holds a token not yet consumed */
};

static bool isBlank(int ch) {
    return ch == ' ' || (ch >= '\t' && ch <= '\r');
}

/* Reads the next white-space-separated token; false at the end of the file. */
static bool nextToken(TokenReader *reader) {
    if (reader->hasPending) {
        reader->hasPending = false;
        return true;
    }
    int ch = fgetc(reader->file);
    while (ch != EOF && isBlank(ch))
        ch = fgetc(reader->file);
    if (ch == EOF)
        return false;
    size_t length = 0;
    reader->tooLong = false;
    while (ch != EOF && !isBlank(ch)) {
        if (length < KEY_TOKEN_MAX)
            reader->token[length++] = static_cast<char>(ch);
        else
            reader->tooLong = true;
        ch = fgetc(reader->file);
    }
    reader->token[length] = '\0';
    return true;
}

/* Reads an integer token; on failure the token stays pending as the next key.
 * Values beyond the int range saturate. */
static bool nextInteger(TokenReader *reader, int *value) {
    if (!nextToken(reader))
        return false;
    const char *p = reader->token;
    bool negative = *p == '-';
    if (*p == '+' || *p == '-')
        ++p;
    if (*p < '0' || *p > '9' || reader->tooLong) {
        reader->hasPending = true;
        return false;
    }
    long long magnitude = 0;
    while (*p >= '0' && *p <= '9') {
        if (magnitude <= static_cast<long long>(INT_MAX) + 1)
            magnitude = magnitude * 10 + (*p - '0');
        ++p;
    }
    long long signedValue = negative ? -magnitude : magnitude;
    if (signedValue > INT_MAX)
        signedValue = INT_MAX;
    if (signedValue < INT_MIN)
        signedValue = INT_MIN;
    *value = static_cast<int>(signedValue);
    if (*p != '\0') {
        std::memmove(reader->token, p, std::strlen(p) + 1);
        reader->hasPending = true;
    }
    return true;
}

/* The table index of a key token, or -1. */
static int keyIndex(const TokenReader *reader) {
    if (reader->tooLong)
        return -1;
    for (int k = 0; k < DEFAULT_COUNT; ++k)
        if (std::strcmp(reader->token, defaultTable[k].name) == 0)
            return k;
    return -1;
}

int readDefaultsFile(const char *path) {
    FILE *file = std::fopen(path, "r");
    if (!file)
        return 1;
    TokenReader reader = {file, {0}, false, false};
    while (nextToken(&reader)) {
        int index = keyIndex(&reader);
        int value = 0;
        if (nextInteger(&reader, &value) && index >= 0)
            processDefaults.value[index] = value;
    }
    std::fclose(file);
    return 0;
}

void applyGradientDefaults(FilterSettings *s) {
    s->t1 = processDefault(DEFAULT_T1);
    s->t2 = processDefault(DEFAULT_T2);
    s->t3 = processDefault(DEFAULT_T3);
    s->b2 = processDefault(DEFAULT_B2);
    s->b3 = processDefault(DEFAULT_B3);
    s->bb = processDefault(DEFAULT_BB);
    s->feather = processDefault(DEFAULT_FEATHER);
}
