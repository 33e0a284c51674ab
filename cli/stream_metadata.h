// Carries what the input says about itself into the output: the file's tags
// and chapters (each in its own time base), and each stream's tags,
// disposition and side data (the display matrix that rotates the picture,
// HDR mastering and light levels, stereo 3D, ...). The muxer writes what its
// kind of file can hold.
#pragma once

#include "cli/av_support.h"

#include <string>

namespace pendra::cli {

// Copies the file's tags and chapters. Returns a note such as "2 chapters"
// when the output's kind of file cannot hold chapters, else empty.
std::string copyFileMetadata(const AVFormatContext &in, AVFormatContext &out);

// Copies a stream's tags, disposition and side data. For the re-encoded
// video (`reencoded`) what described the old bitstream stays behind: its
// encoder's name, its rate buffer, Dolby Vision and encryption records.
// Returns a note such as "rotation (display matrix)" when `format`'s kind of
// file cannot hold the picture's rotation, else empty.
std::string copyStreamMetadata(const AVStream &in, AVStream &out, bool reencoded,
                               const AVOutputFormat &format);

// Records the new encoder on the re-encoded video stream: its name, as
// FFmpeg tags it, and the side data it exports (its rate buffer).
void describeEncoder(const AVCodecContext &encoder, AVStream &out);

} // namespace pendra::cli
