/*
 * Loading the logo bitmap set.
 *
 * One path names the whole set: the character five from its end is the set
 * digit. '0' names the black bitmap, whose companions are found by changing
 * that digit to '1' (white bitmap) and '2' (interpolate bitmap); '2' names an
 * interpolate bitmap alone. Each member is read whole into one block with two
 * opens (a short header read, then the whole file) and its pixels are later
 * used in place. The black bitmap (or a lone interpolate bitmap) gives the
 * rectangle's size; companions are read with that size and must hold it.
 *
 * A missing companion is no failure: without a white bitmap the black one is
 * un-blended with the white level, and without an interpolate bitmap the black
 * image serves as one (shared, released only through blackFile).
 */
#include "logo/bitmap_file.h"
#include "logo/logo_bitmaps.h"
#include "logo/set_names.h"
#include "module/memory.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

enum LogoMember { MEMBER_BLACK, MEMBER_WHITE, MEMBER_MASK };

/* Where a member's image, pixel pointer and key colour live in the record. */
struct MemberFields {
    unsigned char **file;
    unsigned char **pixels;
    int *key;
};

/* The record fields of one member. */
static MemberFields fieldsOf(FilterSettings *s, LogoMember member) {
    switch (member) {
    case MEMBER_BLACK:
        return {&s->blackFile, &s->blackPixels, s->blackKey};
    case MEMBER_WHITE:
        return {&s->whiteFile, &s->whitePixels, s->whiteKey};
    default:
        return {&s->maskFile, &s->maskPixels, s->maskKey};
    }
}

/* Releases a member's image; a shared interpolate image belongs to blackFile. */
static void releaseMember(FilterSettings *s, LogoMember member) {
    if (member == MEMBER_BLACK && s->maskFile == s->blackFile) {
        /* The interpolate slot must not keep pointing at the released image. */
        s->maskFile = nullptr;
        s->maskPixels = nullptr;
    }
    MemberFields f = fieldsOf(s, member);
    if (member != MEMBER_MASK || *f.file != s->blackFile)
        moduleFree(*f.file);
    *f.file = nullptr;
    *f.pixels = nullptr;
}

/* Reads "BM" and the size field from a file opened at its start; 0 when both are there. */
static int readFileSize(FILE *file, uint32_t *size) {
    unsigned char head[6];
    if (std::fread(head, 1, 2, file) != 2 || head[0] != 'B' || head[1] != 'M')
        return 1;
    if (std::fread(head + 2, 1, 4, file) != 4)
        return 1;
    *size = readLe32(head + BMP_FILE_SIZE);
    return 0;
}

/* The length of an open file in bytes, or UINT32_MAX when it cannot be told. */
static uint32_t fileLength(FILE *file) {
    if (std::fseek(file, 0, SEEK_END) != 0)
        return UINT32_MAX;
    long end = std::ftell(file);
    if (end < 0 || static_cast<unsigned long>(end) > UINT32_MAX)
        return UINT32_MAX;
    return static_cast<uint32_t>(end);
}

/*
 * Reads one member whose file is open at its start (and closes it): replaces
 * the member's image by the whole file, checks it and sets the pixel pointer
 * and key colour. With takeShape the member's own header gives *shape;
 * otherwise its rows must hold *shape. 0 on success, 1 on failure.
 */
static int readMember(FilterSettings *s, LogoMember member, FILE *file, const char *path,
                      BitmapShape *shape, bool takeShape) {
    uint32_t size = 0;
    int bad = readFileSize(file, &size);
    /* The block is never larger than the file: a size field far beyond the
     * end (a damaged header claiming 4 GiB) would otherwise take that much
     * memory for bytes that are never read. */
    if (!bad) {
        uint32_t length = fileLength(file);
        size = size < length ? size : length;
    }
    std::fclose(file);
    if (bad || size < BMP_MIN_HEADER_BYTES)
        return 1;

    releaseMember(s, member);
    MemberFields f = fieldsOf(s, member);
    unsigned char *image = static_cast<unsigned char *>(moduleAlloc(size));
    if (image == nullptr)
        return 1;
    *f.file = image;

    file = std::fopen(path, "rb");
    if (file == nullptr)
        return 1;
    /* A size field beyond the file's end leaves the block's tail unset: every
     * check below is against the bytes actually read, so it is never read. */
    size_t length = std::fread(image, 1, size, file);
    std::fclose(file);

    BitmapShape own;
    if (checkBitmapHeader(image, length, &own))
        return 1;
    if (takeShape)
        *shape = own;
    if (checkPixelRowsFit(image, length, shape))
        return 1;

    unsigned char *pixels = image + readLe32(image + BMP_PIXEL_OFFSET);
    *f.pixels = pixels;
    f.key[0] = pixels[2];
    f.key[1] = pixels[1];
    f.key[2] = pixels[0];
    return 0;
}

/* Largest amount by which a channel of the black bitmap rises above its key. */
static int blackDeviation(const FilterSettings *s) {
    static const int byteOfChannel[3] = {2, 1, 0}; /* red, green, blue */
    int deviation = 0;
    for (int r = 0; r < s->logoHeight; ++r) {
        const unsigned char *row = s->blackPixels + static_cast<size_t>(r) * s->logoStride;
        for (int c = 0; c < s->logoWidth; ++c)
            for (int k = 0; k < 3; ++k) {
                int d = row[c * 3 + byteOfChannel[k]] - s->blackKey[k];
                if (d > deviation)
                    deviation = d;
            }
    }
    return deviation;
}

/* Records the set's shape taken from its first member. */
static void setShape(FilterSettings *s, const BitmapShape *shape) {
    s->logoWidth = shape->width;
    s->logoHeight = shape->height;
    s->logoStride = shape->stride;
}

int loadLogoBitmaps(FilterSettings *s) {
    char path[BITMAP_PATH_SIZE];
    size_t len = strnlen(s->bitmapPath, BITMAP_PATH_SIZE - 1);
    std::memcpy(path, s->bitmapPath, len);
    path[len] = '\0';

    s->blackMode = BLACK_NONE;
    s->maskMode = MASK_NONE;
    long digitIndex = setDigitIndex(path, len);
    if (digitIndex < 0)
        return 1;
    char *digit = path + digitIndex;
    if (*digit == SET_DIGIT_BLACK)
        s->blackMode = BLACK_ONLY;
    else
        s->maskMode = MASK_OWN;
    if (!setNameHasExtension(path))
        return 1;

    BitmapShape shape;
    FILE *file = std::fopen(path, "rb");
    if (file == nullptr)
        return 1;
    if (s->maskMode == MASK_OWN) {
        if (readMember(s, MEMBER_MASK, file, path, &shape, true))
            return 1;
        setShape(s, &shape);
        return 0;
    }

    if (readMember(s, MEMBER_BLACK, file, path, &shape, true))
        return 1;
    setShape(s, &shape);
    s->maxDeviation = blackDeviation(s);

    *digit = SET_DIGIT_WHITE;
    file = std::fopen(path, "rb");
    if (file != nullptr) {
        s->blackMode = blackModeOfSet(true);
        if (readMember(s, MEMBER_WHITE, file, path, &shape, false))
            return 1;
    }

    *digit = SET_DIGIT_MASK;
    file = std::fopen(path, "rb");
    if (file == nullptr) {
        releaseMember(s, MEMBER_MASK);
        s->maskMode = maskModeOfSet(false);
        s->maskFile = s->blackFile;
        s->maskPixels = s->blackPixels;
        std::memcpy(s->maskKey, s->blackKey, sizeof s->maskKey);
        return 0;
    }
    s->maskMode = maskModeOfSet(true);
    return readMember(s, MEMBER_MASK, file, path, &shape, false);
}

void releaseLogoBitmaps(FilterSettings *s) {
    releaseMember(s, MEMBER_BLACK);
    releaseMember(s, MEMBER_WHITE);
    releaseMember(s, MEMBER_MASK);
}
