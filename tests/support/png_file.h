// Writes 8-bit RGB PNG files (uncompressed deflate blocks: small code, and
// the screenshots it is for are small).
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace pendra::test {

// rgb holds height rows of width pixels, top row first, 3 bytes per pixel.
// Returns false when the file cannot be written.
bool writePng(const std::filesystem::path &file, int width, int height,
              const std::vector<uint8_t> &rgb);

} // namespace pendra::test
