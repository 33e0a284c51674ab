#include "host/bmp_frame.h"

#include "host/host_error.h"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <vector>

namespace pendra::host {

namespace {

uint32_t le32(const std::vector<unsigned char> &b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

uint16_t le16(const std::vector<unsigned char> &b, size_t at) {
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

} // namespace

FrameBuffer readFrameBitmap(const std::filesystem::path &file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw HostError("cannot open the frame " + file.string());
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    auto bad = [&](const char *why) { return HostError("the frame " + file.string() + " " + why); };
    if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M')
        throw bad("is not a Windows bitmap");
    uint32_t offset = le32(bytes, 10);
    int32_t width = static_cast<int32_t>(le32(bytes, 18));
    int32_t height = static_cast<int32_t>(le32(bytes, 22));
    uint16_t bits = le16(bytes, 28);
    uint32_t compression = le32(bytes, 30);
    if ((bits != 24 && bits != 32) || compression != 0)
        throw bad("is not an uncompressed bitmap of 24 or 32 bits per pixel");
    bool topDown = height < 0;
    int64_t rows = topDown ? -static_cast<int64_t>(height) : height;
    if (width <= 0 || rows <= 0 || width > 16384 || rows > 16384)
        throw bad("has a size no frame can have");
    size_t bytesPerPixel = bits / 8u;
    size_t stride = (static_cast<size_t>(width) * bytesPerPixel + 3) & ~static_cast<size_t>(3);
    if (offset > bytes.size() || (bytes.size() - offset) / stride < static_cast<size_t>(rows))
        throw bad("is cut short");

    FrameBuffer frame(width, static_cast<int>(rows));
    for (int r = 0; r < frame.height(); ++r) {
        int fileRow = topDown ? frame.height() - 1 - r : r;
        const unsigned char *p = bytes.data() + offset + static_cast<size_t>(fileRow) * stride;
        for (int c = 0; c < width; ++c, p += bytesPerPixel)
            frame.at(r, c) = static_cast<uint32_t>(p[2]) << 16 | p[1] << 8 | p[0];
    }
    return frame;
}

} // namespace pendra::host
