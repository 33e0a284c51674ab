// Writes logo bitmap files as the filter reads them: uncompressed 24-bit
// Windows bitmaps stored bottom line first, rows padded to four bytes. (The
// command checks them with the module's own rules, cli/logo_set_check.h.)
#pragma once

#include "analysis/picture.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace pendra::cli {

// A picture in memory, top line first, pixels 0x00RRGGBB.
using RgbImage = analysis::Picture;

// Writes a 24-bit bitmap; throws CliError naming the file.
void writeBmp(const std::filesystem::path &path, const RgbImage &image);

} // namespace pendra::cli
