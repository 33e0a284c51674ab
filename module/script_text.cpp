/*
 * The script-string callback: the host saves an instance with its job as one
 * call of its script language, Config, and later replays it (script_config.cpp).
 *
 * The text is a persisted format, so its characters are fixed: the path as a
 * quoted string, then fourteen integers, two of them packed triples. Inside
 * the string a backslash is written twice; a double quote or a line break,
 * which only a non-Windows path can hold, is escaped too, so that such a path
 * neither ends the string early nor breaks the saved line.
 */
#include "module/callbacks.h"
#include "module/filter_settings.h"

#include <cstdint>
#include <cstdio>

/* Room for the longest path with every character escaped: no path is ever cut. */
#define QUOTED_PATH_SIZE (2 * (BITMAP_PATH_SIZE - 1) + 1)

/* Packs three values as first << 16 | second << 8 | third, without masking;
 * unsigned arithmetic keeps negative and large values well defined. */
static int packTriple(int first, int second, int third) {
    uint32_t packed = (static_cast<uint32_t>(first) << 16) | (static_cast<uint32_t>(second) << 8) |
                      static_cast<uint32_t>(third);
    return static_cast<int>(packed);
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

/* Copies the path into quoted with the string escapes of the host's script. */
static void quotePath(const char *path, char *quoted) {
    size_t out = 0;
    for (size_t i = 0; i < BITMAP_PATH_SIZE - 1 && path[i] != '\0'; ++i) {
        char letter = escapeLetter(path[i]);
        if (letter) {
            quoted[out++] = '\\';
            quoted[out++] = letter;
        } else {
            quoted[out++] = path[i];
        }
    }
    quoted[out] = '\0';
}

/* Writes the Config call into buf. A text longer than the buffer is cut there
 * and zero-terminated, and the result is false so that the host does not save
 * a broken call. */
bool VDCDECL filterScriptString(FilterActivation *fa, const FilterFunctions *, char *buf,
                                int buflen) {
    if (buf == nullptr || buflen <= 0)
        return false;
    const FilterSettings *s = settingsOf(fa);
    char quoted[QUOTED_PATH_SIZE];
    quotePath(s->bitmapPath, quoted);
    int length =
        std::snprintf(buf, static_cast<size_t>(buflen),
                      "Config(\"%s\",%d, %d, %d, %d, %d, %d, %d, %d, %d, %d, %d, %d, %d, %d)",
                      quoted, s->blackMode, s->maskMode, s->x, s->y, s->start, s->end, s->fadeIn,
                      s->fadeOut, s->alpha, packTriple(s->t1, s->t2, s->t3),
                      packTriple(s->b2, s->b3, s->bb), s->white, s->side, s->scene);
    return length >= 0 && length < buflen;
}
