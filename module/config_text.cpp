/*
 * The Config call's text and the packed triples (config_text.h).
 *
 * The text is a persisted format, so its characters are fixed: the path as a
 * quoted string, then fourteen integers, two of them packed triples. Inside
 * the string a backslash is written twice; a double quote or a line break,
 * which only a non-Windows path can hold, is escaped too, so that such a path
 * neither ends the string early nor breaks the saved line.
 */
#include "module/config_text.h"

#include <cstdint>
#include <cstdio>

int ConfigNumbers::*const configCallOrder[CONFIG_NUMBER_COUNT] = {
    &ConfigNumbers::blackMode,  &ConfigNumbers::maskMode, &ConfigNumbers::x,
    &ConfigNumbers::y,          &ConfigNumbers::start,    &ConfigNumbers::end,
    &ConfigNumbers::fadeIn,     &ConfigNumbers::fadeOut,  &ConfigNumbers::alpha,
    &ConfigNumbers::thresholds, &ConfigNumbers::blurs,    &ConfigNumbers::white,
    &ConfigNumbers::side,       &ConfigNumbers::scene};

int packTriple(int first, int second, int third) {
    uint32_t packed = (static_cast<uint32_t>(first) << 16) | (static_cast<uint32_t>(second) << 8) |
                      static_cast<uint32_t>(third);
    return static_cast<int>(packed);
}

void configNumbersOf(const FilterSettings *s, ConfigNumbers *n) {
    n->blackMode = s->blackMode;
    n->maskMode = s->maskMode;
    n->x = s->x;
    n->y = s->y;
    n->start = s->start;
    n->end = s->end;
    n->fadeIn = s->fadeIn;
    n->fadeOut = s->fadeOut;
    n->alpha = s->alpha;
    n->thresholds = packTriple(s->t1, s->t2, s->t3);
    n->blurs = packTriple(s->b2, s->b3, s->bb);
    n->white = s->white;
    n->side = s->side;
    n->scene = s->scene;
}

void takeConfigNumbers(FilterSettings *s, const ConfigNumbers *n) {
    s->blackMode = n->blackMode;
    s->maskMode = n->maskMode;
    s->x = n->x;
    s->y = n->y;
    s->start = n->start;
    s->end = n->end;
    s->fadeIn = n->fadeIn;
    s->fadeOut = n->fadeOut;
    s->alpha = n->alpha;
    unpackTriple(n->thresholds, &s->t1, &s->t2, &s->t3);
    unpackTriple(n->blurs, &s->b2, &s->b3, &s->bb);
    s->white = n->white;
    s->side = n->side;
    s->scene = n->scene;
}

void unpackTriple(int packed, int *first, int *second, int *third) {
    uint32_t bits = static_cast<uint32_t>(packed);
    *first = static_cast<int>((bits >> 16) & 0xFF);
    *second = static_cast<int>((bits >> 8) & 0xFF);
    *third = static_cast<int>(bits & 0xFF);
}

/* The letter that follows the backslash for a character written escaped, or 0. */
static char escapeLetter(char ch) {
    switch (ch) {
    case '\\':
        return '\\';
    case '"':
        return '"';
    case '\n':
        return 'n';
    case '\r':
        return 'r';
    default:
        return 0;
    }
}

/* Text appended to a buffer of fixed size, counting what does not fit. */
struct CallText {
    char *buf;
    size_t size;
    size_t length;
};

static void appendChar(CallText *t, char ch) {
    if (t->length + 1 < t->size)
        t->buf[t->length] = ch;
    ++t->length;
}

static void appendText(CallText *t, const char *text) {
    for (; *text != '\0'; ++text)
        appendChar(t, *text);
}

size_t formatConfigCall(char *buf, size_t size, const char *path, size_t pathLimit,
                        const ConfigNumbers *n) {
    CallText t = {buf, size, 0};
    appendText(&t, "Config(\"");
    for (size_t i = 0; i < pathLimit && path[i] != '\0'; ++i) {
        char letter = escapeLetter(path[i]);
        if (letter) {
            appendChar(&t, '\\');
            appendChar(&t, letter);
        } else {
            appendChar(&t, path[i]);
        }
    }
    appendText(&t, "\",");
    for (int i = 0; i < CONFIG_NUMBER_COUNT; ++i) {
        char number[16];
        std::snprintf(number, sizeof number, i == 0 ? "%d" : ", %d", n->*configCallOrder[i]);
        appendText(&t, number);
    }
    appendChar(&t, ')');
    if (size > 0)
        buf[t.length < size ? t.length : size - 1] = '\0';
    return t.length;
}
