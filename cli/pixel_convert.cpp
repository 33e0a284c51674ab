#include "cli/pixel_convert.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <cstring>

namespace pendra::cli {

namespace {

bool isRgb(AVPixelFormat format) {
    const AVPixFmtDescriptor *d = av_pix_fmt_desc_get(format);
    return d && (d->flags & AV_PIX_FMT_FLAG_RGB);
}

// The scaler's coefficient table for a frame's colour matrix (BT.601 when unknown).
const int *matrixFor(int colorspace) {
    if (colorspace == AVCOL_SPC_UNSPECIFIED || colorspace == AVCOL_SPC_RESERVED)
        colorspace = SWS_CS_DEFAULT;
    return sws_getCoefficients(colorspace);
}

// The old "yuvj" formats are full range whatever the frame says.
bool isFullRange(AVPixelFormat format, int range) {
    const char *name = av_get_pix_fmt_name(format);
    return range == AVCOL_RANGE_JPEG || (name && std::strncmp(name, "yuvj", 4) == 0);
}

// One side of a conversion: its pixel format with the matrix and range of its YUV.
struct Side {
    AVPixelFormat format;
    int colorspace;
    int range;
};

// Sets each side's matrix and range; RGB is full range, and an RGB side takes
// the other side's matrix (the one that the YUV side was made with).
void setColourDetails(SwsContext *scaler, const Side &from, const Side &to) {
    const int *fromTable = matrixFor(isRgb(from.format) ? to.colorspace : from.colorspace);
    const int *toTable = matrixFor(isRgb(to.format) ? from.colorspace : to.colorspace);
    int fromFull = isRgb(from.format) || isFullRange(from.format, from.range) ? 1 : 0;
    int toFull = isRgb(to.format) || isFullRange(to.format, to.range) ? 1 : 0;
    sws_setColorspaceDetails(scaler, fromTable, fromFull, toTable, toFull, 0, 1 << 16, 1 << 16);
}

ScalerPtr makeScaler(int width, int height, const Side &from, const Side &to) {
    ScalerPtr scaler(sws_getContext(width, height, from.format, width, height, to.format,
                                    conversionFlags(), nullptr, nullptr, nullptr));
    if (!scaler) {
        const char *a = av_get_pix_fmt_name(from.format), *b = av_get_pix_fmt_name(to.format);
        throw CliError(std::string("cannot convert pictures of pixel format ") + (a ? a : "?") +
                       " to " + (b ? b : "?"));
    }
    setColourDetails(scaler.get(), from, to);
    return scaler;
}

// Gives `picture` buffers of its own of this format and size, or un-shares them.
void makeWritable(AVFrame &picture, AVPixelFormat format, int width, int height) {
    if (!picture.buf[0]) {
        picture.format = format;
        picture.width = width;
        picture.height = height;
        if (av_frame_get_buffer(&picture, 0) < 0)
            throw CliError("out of memory");
    } else if (av_frame_make_writable(&picture) < 0) {
        throw CliError("out of memory");
    }
}

} // namespace

int conversionFlags() {
    return SWS_BICUBIC | SWS_ACCURATE_RND | SWS_BITEXACT | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP;
}

void ToModulePixels::convert(const AVFrame &picture, host::FrameBuffer &frame) {
    auto format = static_cast<AVPixelFormat>(picture.format);
    if (!scaler_ || format != format_ || picture.colorspace != colorspace_ ||
        picture.color_range != range_ || picture.width != width_ || picture.height != height_) {
        scaler_ = makeScaler(picture.width, picture.height,
                             {format, picture.colorspace, picture.color_range},
                             {AV_PIX_FMT_BGR0, picture.colorspace, AVCOL_RANGE_JPEG});
        format_ = format;
        colorspace_ = picture.colorspace;
        range_ = picture.color_range;
        width_ = picture.width;
        height_ = picture.height;
    }
    // Writing from the top line at a negative stride stores the picture bottom line first.
    int h = frame.height();
    uint8_t *dst[4] = {reinterpret_cast<uint8_t *>(frame.row(h - 1)), nullptr, nullptr, nullptr};
    int dstStride[4] = {-static_cast<int>(frame.pitch()), 0, 0, 0};
    sws_scale(scaler_.get(), picture.data, picture.linesize, 0, picture.height, dst, dstStride);
    // The module's pixels have bits 24 to 31 clear; the scaler may fill them.
    for (int r = 0; r < h; ++r) {
        uint32_t *row = frame.row(r);
        for (int c = 0; c < frame.width(); ++c)
            row[c] &= 0x00FFFFFFu;
    }
}

FromModulePixels::FromModulePixels(int width, int height, AVPixelFormat format, int colorspace,
                                   int range)
    : width_(width), height_(height), format_(format) {
    scaler_ = makeScaler(width, height, {AV_PIX_FMT_BGR0, colorspace, AVCOL_RANGE_JPEG},
                         {format, colorspace, range});
}

void FromModulePixels::convert(const host::FrameBuffer &frame, AVFrame &picture) {
    makeWritable(picture, format_, width_, height_);
    int h = frame.height();
    const uint8_t *src[4] = {reinterpret_cast<const uint8_t *>(frame.row(h - 1)), nullptr, nullptr,
                             nullptr};
    int srcStride[4] = {-static_cast<int>(frame.pitch()), 0, 0, 0};
    sws_scale(scaler_.get(), src, srcStride, 0, h, picture.data, picture.linesize);
}

FormatConverter::FormatConverter(const AVFrame &like, AVPixelFormat format, int colorspace,
                                 int range)
    : width_(like.width), height_(like.height), format_(format) {
    scaler_ =
        makeScaler(width_, height_,
                   {static_cast<AVPixelFormat>(like.format), like.colorspace, like.color_range},
                   {format, colorspace, range});
}

void FormatConverter::convert(const AVFrame &from, AVFrame &to) {
    makeWritable(to, format_, width_, height_);
    sws_scale(scaler_.get(), from.data, from.linesize, 0, from.height, to.data, to.linesize);
}

} // namespace pendra::cli
