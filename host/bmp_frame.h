// Frames from Windows bitmap files: uncompressed, 24 or 32 bits per pixel,
// stored bottom-up or top-down. The frame comes out bottom line first, as
// the host hands frames to a filter.
#pragma once

#include "host/frame_buffer.h"

#include <filesystem>

namespace pendra::host {

// Reads the file; throws HostError naming the file and what is wrong with it.
FrameBuffer readFrameBitmap(const std::filesystem::path &file);

} // namespace pendra::host
