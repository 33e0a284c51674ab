// What the command tells an encoder beyond the picture: its quality, as
// --crf on the encoder's own scale (x264's and x265's CRF, VP9's and AV1's
// constant quality, the quantiser of the MPEG family and MJPEG) or as
// --bitrate, with a default near H.264 at CRF 18 when the user gives neither;
// and the picture sizes its pixel format allows. Checked before the first
// frame, so that a choice the encoder cannot use costs no work.
#pragma once

#include "cli/av_support.h"

#include <string>

namespace pendra::cli {

struct EncoderChoice;

// Refuses a --crf or --bitrate the encoder cannot use (out of its scale, or
// an encoder that is lossless or has no quality scale), naming the option,
// the encoder and what it takes.
void checkQualityChoice(const AVCodec *codec, const EncoderChoice &choice);

// Sets the quality (or bit rate) and speed preset on the encoder about to
// open: on the context, or as private options in `options` for avcodec_open2.
void applyQualityChoice(AVCodecContext *encoder, const EncoderChoice &choice,
                        AVDictionary **options);

// True when the encoder's rate control takes one tick of its time base for a
// frame (FFmpeg's own MPEG-family encoders under --bitrate): its time base
// must then be one frame, or a millisecond clock starves it of bits.
bool ratesByTicks(const AVCodec *codec, const EncoderChoice &choice);

// Refuses, with the cure, a picture size the pixel format's chroma grid does
// not divide, for the encoders that reject it (H.264 and HEVC need even sizes
// in 4:2:0). `input` names the file whose pictures these are.
void checkPictureSize(const AVCodec *codec, AVPixelFormat format, int width, int height,
                      const std::string &input);

// The message for an encoder that would not open on such a size, or empty
// when the size fits the pixel format's chroma grid.
std::string pictureSizeProblem(const AVCodec *codec, AVPixelFormat format, int width, int height,
                               const std::string &input);

} // namespace pendra::cli
