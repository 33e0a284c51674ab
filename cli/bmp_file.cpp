#include "cli/bmp_file.h"

#include "cli/output_file.h"

#include <string>

namespace pendra::cli {

namespace {

void put16(std::string &out, uint32_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

void put32(std::string &out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

} // namespace

void writeBmp(const std::filesystem::path &path, const RgbImage &image) {
    uint32_t stride = (static_cast<uint32_t>(image.width) * 3 + 3) & ~3u;
    uint32_t pixelBytes = stride * static_cast<uint32_t>(image.height);
    std::string out;
    out += "BM";
    put32(out, 54 + pixelBytes); // file size
    put32(out, 0);
    put32(out, 54); // pixel data offset
    put32(out, 40); // info header size
    put32(out, static_cast<uint32_t>(image.width));
    put32(out, static_cast<uint32_t>(image.height)); // positive: bottom line first
    put16(out, 1);                                   // planes
    put16(out, 24);                                  // bits per pixel
    put32(out, 0);                                   // no compression
    put32(out, pixelBytes);
    put32(out, 2835); // 72 dpi
    put32(out, 2835);
    put32(out, 0);
    put32(out, 0);
    for (int line = image.height - 1; line >= 0; --line) {
        for (int x = 0; x < image.width; ++x) {
            uint32_t p = image.at(x, line);
            out += static_cast<char>(p & 0xFF);
            out += static_cast<char>((p >> 8) & 0xFF);
            out += static_cast<char>((p >> 16) & 0xFF);
        }
        out.append(stride - static_cast<uint32_t>(image.width) * 3, '\0');
    }
    writeWholeFile(path, out);
}

} // namespace pendra::cli
