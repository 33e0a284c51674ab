// Conversion between FFmpeg's pictures and the module's frames: 32-bit pixels
// 0x00RRGGBB (FFmpeg's BGR0 on a little-endian machine) stored with the
// picture's bottom line first.
#pragma once

#include "cli/av_support.h"
#include "host/frame_buffer.h"

namespace pendra::cli {

// Decoded pictures of one size and format into module frames.
class ToModulePixels {
  public:
    ToModulePixels() = default;
    // Converts `picture` into `frame`, which must have the picture's size.
    void convert(const AVFrame &picture, host::FrameBuffer &frame);

  private:
    ScalerPtr scaler_;
    int format_ = -1;
    int colorspace_ = -1;
    int range_ = -1;
    int width_ = 0;
    int height_ = 0;
};

// Module frames into pictures of the encoder's size and pixel format.
class FromModulePixels {
  public:
    // colorspace and range (AVColorSpace, AVColorRange) apply when `format` is YUV.
    FromModulePixels(int width, int height, AVPixelFormat format, int colorspace, int range);
    // Writes `frame` into `picture`, allocating or un-sharing its buffers.
    void convert(const host::FrameBuffer &frame, AVFrame &picture);

  private:
    ScalerPtr scaler_;
    int width_;
    int height_;
    AVPixelFormat format_;
};

// Whole pictures into another pixel format (the encoder's), each side with its
// own matrix and range: pictures of the input's format, size and colour go to
// `format` with colorspace and range (AVColorSpace, AVColorRange).
class FormatConverter {
  public:
    FormatConverter(const AVFrame &like, AVPixelFormat format, int colorspace, int range);
    // Writes the pixels of `from` into `to`, allocating or un-sharing its buffers.
    void convert(const AVFrame &from, AVFrame &to);

  private:
    ScalerPtr scaler_;
    int width_;
    int height_;
    AVPixelFormat format_;
};

// The scaler flags for colour conversion without resizing: exact rounding and
// full chroma resolution, so RGB to RGB conversions are lossless.
int conversionFlags();

} // namespace pendra::cli
