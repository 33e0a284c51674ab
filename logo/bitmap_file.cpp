/*
 * Header checks for logo bitmap file images. The loader reads pixels in place
 * through a pointer at the header's pixel offset, so every field that steers a
 * read is checked against the bytes that were actually read from the file.
 * Sizes are worked out in 64 bits: a hostile width or height must not wrap.
 */
#include "logo/bitmap_file.h"

#include <climits>

uint32_t readLe32(const unsigned char *p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

/* Little-endian unsigned 16-bit value at p. */
static unsigned readLe16(const unsigned char *p) {
    return static_cast<unsigned>(p[0]) | static_cast<unsigned>(p[1]) << 8;
}

int bitmapStride(int width) {
    if (width <= 0)
        return 0;
    int64_t bytes = static_cast<int64_t>(width) * 3;
    if (bytes % 4 != 0)
        bytes = (bytes & ~static_cast<int64_t>(3)) + 4;
    return bytes > INT_MAX ? 0 : static_cast<int>(bytes);
}

BitmapFault bitmapHeaderFault(const unsigned char *image, size_t length, BitmapShape *own) {
    if (length < BMP_MIN_HEADER_BYTES || image[0] != 'B' || image[1] != 'M')
        return BITMAP_NOT_BMP;
    uint32_t infoSize = readLe32(image + BMP_INFO_SIZE);
    uint64_t headerEnd = static_cast<uint64_t>(BMP_FILE_HEADER_BYTES) + infoSize;
    if (infoSize < BMP_MIN_INFO_BYTES || headerEnd > length)
        return BITMAP_NOT_BMP;
    if (readLe32(image + BMP_PIXEL_OFFSET) < headerEnd)
        return BITMAP_NOT_BMP;
    if (readLe16(image + BMP_BIT_DEPTH) != 24)
        return BITMAP_NOT_24_BIT;
    if (readLe32(image + BMP_COMPRESSION) != 0)
        return BITMAP_COMPRESSED;
    /* Signed fields: a negative height is a top-down bitmap, which we would read upside down. */
    int32_t width = static_cast<int32_t>(readLe32(image + BMP_WIDTH));
    int32_t height = static_cast<int32_t>(readLe32(image + BMP_HEIGHT));
    if (height < 0 && width > 0)
        return BITMAP_TOP_DOWN;
    if (width <= 0 || height <= 0)
        return BITMAP_BAD_SIZE;
    int stride = bitmapStride(width);
    if (stride == 0)
        return BITMAP_BAD_SIZE;
    own->width = width;
    own->height = height;
    own->stride = stride;
    return BITMAP_SOUND;
}

int checkBitmapHeader(const unsigned char *image, size_t length, BitmapShape *own) {
    return bitmapHeaderFault(image, length, own) == BITMAP_SOUND ? 0 : 1;
}

int checkPixelRowsFit(const unsigned char *image, size_t length, const BitmapShape *shape) {
    if (length < BMP_PIXEL_OFFSET + 4 || shape->stride <= 0 || shape->height <= 0)
        return 1;
    uint64_t rowsEnd = static_cast<uint64_t>(readLe32(image + BMP_PIXEL_OFFSET)) +
                       static_cast<uint64_t>(shape->stride) * static_cast<uint64_t>(shape->height);
    return rowsEnd > length ? 1 : 0;
}
