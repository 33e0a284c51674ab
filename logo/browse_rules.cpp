/*
 * Position from the set's file name and alpha from its black bitmap: a logo
 * that barely rises above black is nearly transparent and un-blends well, so
 * it gets a high alpha; a strong one leans on interpolation, down to the
 * defaults file's floor.
 */
#include "logo/browse_rules.h"

#include "defaults/process_defaults.h"

#include <cstdio>
#include <cstring>

int positionFromName(const char *path, const char *tag, int limit, int *value) {
    const char *at = std::strstr(path, tag);
    if (!at)
        return 0;
    const char *p = at + std::strlen(tag);
    int negative = 0;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    long long n = 0;
    /* Saturate: anything past the limit is cut to it anyway. */
    for (; *p >= '0' && *p <= '9'; ++p)
        if (n <= limit)
            n = n * 10 + (*p - '0');
    if (negative)
        n = -n;
    *value = n < 0 ? 0 : (n > limit ? limit : static_cast<int>(n));
    return 1;
}

int automaticAlpha(const FilterSettings *s) {
    if (s->blackMode == BLACK_NONE && s->maskMode == MASK_OWN)
        return 0; /* an interpolate bitmap alone: nothing to un-blend */
    /* In 64 bits: the defaults file may hold any integer. */
    long long a = static_cast<long long>(processDefault(DEFAULT_ALPHA_T)) + 255 - s->maxDeviation;
    if (a > 255)
        a = 255;
    if (a < processDefault(DEFAULT_ALPHA_M))
        a = processDefault(DEFAULT_ALPHA_M);
    return static_cast<int>(a);
}

static void keyText(char text[48], const int key[3]) {
    std::snprintf(text, 48, "(%d,%d,%d)", key[0], key[1], key[2]);
}

void keyReadouts(const FilterSettings *s, KeyReadouts *out) {
    if (hasBlackCapture(s))
        keyText(out->black, s->blackKey);
    else
        std::strcpy(out->black, "N/A");
    if (s->blackMode == BLACK_AND_WHITE)
        keyText(out->white, s->whiteKey);
    else
        std::strcpy(out->white, s->blackMode == BLACK_ONLY ? "Enter \\/" : "N/A");
    if (s->maskMode == MASK_OWN)
        keyText(out->mask, s->maskKey);
    else
        std::strcpy(out->mask, s->maskMode == MASK_FROM_BLACK ? "<- Using Black" : "N/A");
}
