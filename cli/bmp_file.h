// Writes logo bitmap files as the filter reads them: uncompressed 24-bit
// Windows bitmaps stored bottom line first, rows padded to four bytes. (The
// command checks them with the module's own rules, cli/logo_set_check.h.)
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace pendra::cli {

// A picture in memory, top line first, pixels 0x00RRGGBB.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;

    RgbImage() = default;
    RgbImage(int w, int h, uint32_t fill = 0)
        : width(w), height(h), pixels(static_cast<size_t>(w) * static_cast<size_t>(h), fill) {}
    uint32_t &at(int x, int line) { return pixels[static_cast<size_t>(line) * width + x]; }
    uint32_t at(int x, int line) const { return pixels[static_cast<size_t>(line) * width + x]; }
};

// Writes a 24-bit bitmap; throws CliError naming the file.
void writeBmp(const std::filesystem::path &path, const RgbImage &image);

} // namespace pendra::cli
