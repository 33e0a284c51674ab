// Writes a module frame (0x00RRGGBB, bottom line first) as a PNG picture,
// encoded with FFmpeg's PNG encoder.
#pragma once

#include "host/frame_buffer.h"

#include <filesystem>

namespace pendra::cli {

// Writes through a temporary file; throws CliError naming the file.
void writePng(const std::filesystem::path &path, const host::FrameBuffer &frame);

} // namespace pendra::cli
