// Writes logo bitmap files for tests: 24-bit, bottom-up Windows bitmaps of
// any width (rows padded to four bytes), plus the byte-level form so that
// tests can damage header fields or cut files short.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

namespace pendra::test {

struct BmpImage {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> rgb; // 0x00RRGGBB, width * height, row 0 = bottom line

    // An image of one colour.
    static BmpImage filled(int width, int height, uint32_t colour);
    uint32_t &at(int row, int column) { return rgb[static_cast<size_t>(row * width + column)]; }
};

// Header field offsets, for damaging a file on purpose.
namespace bmp {
inline constexpr size_t fileSize = 2;
inline constexpr size_t pixelOffset = 10;
inline constexpr size_t infoSize = 14;
inline constexpr size_t width = 18;
inline constexpr size_t height = 22;
inline constexpr size_t bitDepth = 28;
inline constexpr size_t compression = 30;
inline constexpr size_t headerBytes = 54; // pixel rows start here
} // namespace bmp

// Bytes per stored row for a width.
int bmpStride(int width);
// The whole file: 14-byte file header, 40-byte info header, padded rows.
std::vector<uint8_t> bmpBytes(const BmpImage &image);
// Little-endian stores into a byte image.
void putLe32(std::vector<uint8_t> &bytes, size_t offset, uint32_t value);
void putLe16(std::vector<uint8_t> &bytes, size_t offset, uint16_t value);

void writeBytes(const std::filesystem::path &path, const std::vector<uint8_t> &bytes);
void writeBmp(const std::filesystem::path &path, const BmpImage &image);

} // namespace pendra::test
