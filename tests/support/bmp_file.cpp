#include "tests/support/bmp_file.h"

#include <fstream>
#include <stdexcept>

namespace pendra::test {

BmpImage BmpImage::filled(int width, int height, uint32_t colour) {
    BmpImage image;
    image.width = width;
    image.height = height;
    image.rgb.assign(static_cast<size_t>(width) * static_cast<size_t>(height), colour);
    return image;
}

int bmpStride(int width) {
    return (width * 3 + 3) / 4 * 4;
}

void putLe32(std::vector<uint8_t> &bytes, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes.at(offset + static_cast<size_t>(i)) = static_cast<uint8_t>(value >> (8 * i));
}

void putLe16(std::vector<uint8_t> &bytes, size_t offset, uint16_t value) {
    bytes.at(offset) = static_cast<uint8_t>(value);
    bytes.at(offset + 1) = static_cast<uint8_t>(value >> 8);
}

std::vector<uint8_t> bmpBytes(const BmpImage &image) {
    const size_t stride = static_cast<size_t>(bmpStride(image.width));
    const size_t pixelBytes = stride * static_cast<size_t>(image.height);
    std::vector<uint8_t> bytes(bmp::headerBytes + pixelBytes, 0);
    bytes[0] = 'B';
    bytes[1] = 'M';
    putLe32(bytes, bmp::fileSize, static_cast<uint32_t>(bytes.size()));
    putLe32(bytes, bmp::pixelOffset, bmp::headerBytes);
    putLe32(bytes, bmp::infoSize, 40);
    putLe32(bytes, bmp::width, static_cast<uint32_t>(image.width));
    putLe32(bytes, bmp::height, static_cast<uint32_t>(image.height));
    putLe16(bytes, 26, 1); // planes
    putLe16(bytes, bmp::bitDepth, 24);
    putLe32(bytes, 34, static_cast<uint32_t>(pixelBytes));
    for (int r = 0; r < image.height; ++r)
        for (int c = 0; c < image.width; ++c) {
            uint32_t rgb = image.rgb.at(static_cast<size_t>(r * image.width + c));
            uint8_t *p = &bytes[bmp::headerBytes + static_cast<size_t>(r) * stride +
                                static_cast<size_t>(c) * 3];
            p[0] = static_cast<uint8_t>(rgb);
            p[1] = static_cast<uint8_t>(rgb >> 8);
            p[2] = static_cast<uint8_t>(rgb >> 16);
        }
    return bytes;
}

void writeBytes(const std::filesystem::path &path, const std::vector<uint8_t> &bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

void writeBmp(const std::filesystem::path &path, const BmpImage &image) {
    writeBytes(path, bmpBytes(image));
}

} // namespace pendra::test
