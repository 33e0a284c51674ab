// Writes a module frame (0x00RRGGBB, bottom line first) as a picture in the
// format its file name asks for (.png, .jpg, .bmp, .tiff, ...), encoded with
// FFmpeg's image encoders as its image2 muxer would pick them.
#pragma once

#include "host/frame_buffer.h"

#include <filesystem>
#include <string>

namespace pendra::cli {

// Throws CliError (exit code 2) naming the file when its name asks for no
// picture format FFmpeg can write.
void checkPictureName(const std::filesystem::path &path);

// The picture encoded in the format `name` asks for, as the file's bytes;
// throws CliError naming it.
std::string encodePicture(const std::filesystem::path &name, const host::FrameBuffer &frame);

// Writes through a temporary file; throws CliError naming the file.
void writePicture(const std::filesystem::path &path, const host::FrameBuffer &frame);

} // namespace pendra::cli
