/*
 * The layout of a logo bitmap file image: an uncompressed, bottom-up Windows
 * bitmap of 24 bits per pixel. Only what the loader relies on is read, and an
 * image is accepted only when everything it will read lies inside it.
 */
#ifndef PENDRA_LOGO_BITMAP_FILE_H
#define PENDRA_LOGO_BITMAP_FILE_H

#include <cstddef>
#include <cstdint>

/* Byte offsets of the header fields. */
#define BMP_FILE_SIZE 2
#define BMP_PIXEL_OFFSET 10
#define BMP_INFO_SIZE 14
#define BMP_WIDTH 18
#define BMP_HEIGHT 22
#define BMP_BIT_DEPTH 28
#define BMP_COMPRESSION 30
/* The file header and the smallest info header we can read (BITMAPINFOHEADER). */
#define BMP_FILE_HEADER_BYTES 14
#define BMP_MIN_INFO_BYTES 40
#define BMP_MIN_HEADER_BYTES (BMP_FILE_HEADER_BYTES + BMP_MIN_INFO_BYTES)

/* Width, height and row distance of the pixel rows of a bitmap set. */
struct BitmapShape {
    int width;
    int height;
    int stride;
};

/* Little-endian unsigned 32-bit value at p. */
uint32_t readLe32(const unsigned char *p);

/* Bytes per pixel row for a width: width * 3 rounded up to a multiple of 4.
 * 0 when the width is not positive or the row would not fit an int. */
int bitmapStride(int width);

/* Why a bitmap file image cannot be read, the first fault found. */
enum BitmapFault {
    BITMAP_SOUND,
    BITMAP_NOT_BMP,    /* no "BM", or headers shorter than BITMAPINFOHEADER */
    BITMAP_NOT_24_BIT, /* another bit depth */
    BITMAP_COMPRESSED, /* a compression other than none */
    BITMAP_TOP_DOWN,   /* negative height: rows stored top line first */
    BITMAP_BAD_SIZE,   /* width or height not positive, or rows too long */
};

/* The first fault of image's headers (length bytes actually held); fills *own
 * when there is none. checkBitmapHeader is this as a yes or no. */
BitmapFault bitmapHeaderFault(const unsigned char *image, size_t length, BitmapShape *own);

/* Checks that image (length bytes actually held) is a bitmap we read
 * correctly: headers inside the image, 24 bits, no compression, positive
 * width and height. Fills its own shape; 0 when readable, 1 when not. */
int checkBitmapHeader(const unsigned char *image, size_t length, BitmapShape *own);

/* 0 when rows of the given shape starting at the image's pixel offset lie
 * wholly inside its length bytes, else 1. */
int checkPixelRowsFit(const unsigned char *image, size_t length, const BitmapShape *shape);

#endif
