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

// Sets the YUV side's matrix and range; the RGB side is full range.
void setColourDetails(SwsContext *scaler, bool yuvIsSource, AVPixelFormat yuvFormat, int colorspace,
                      int range) {
    const int *table = matrixFor(colorspace);
    int fullRange = isFullRange(yuvFormat, range) ? 1 : 0;
    if (yuvIsSource)
        sws_setColorspaceDetails(scaler, table, fullRange, table, 1, 0, 1 << 16, 1 << 16);
    else
        sws_setColorspaceDetails(scaler, table, 1, table, fullRange, 0, 1 << 16, 1 << 16);
}

} // namespace

int conversionFlags() {
    return SWS_BICUBIC | SWS_ACCURATE_RND | SWS_BITEXACT | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP;
}

void ToModulePixels::convert(const AVFrame &picture, host::FrameBuffer &frame) {
    auto format = static_cast<AVPixelFormat>(picture.format);
    if (!scaler_ || format != format_ || picture.colorspace != colorspace_ ||
        picture.color_range != range_) {
        scaler_.reset(sws_getContext(picture.width, picture.height, format, picture.width,
                                     picture.height, AV_PIX_FMT_BGR0, conversionFlags(), nullptr,
                                     nullptr, nullptr));
        if (!scaler_)
            throw CliError(std::string("cannot convert pictures of pixel format ") +
                           (av_get_pix_fmt_name(format) ? av_get_pix_fmt_name(format) : "?"));
        if (!isRgb(format))
            setColourDetails(scaler_.get(), true, format, picture.colorspace, picture.color_range);
        format_ = format;
        colorspace_ = picture.colorspace;
        range_ = picture.color_range;
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
    scaler_.reset(sws_getContext(width, height, AV_PIX_FMT_BGR0, width, height, format,
                                 conversionFlags(), nullptr, nullptr, nullptr));
    if (!scaler_)
        throw CliError(std::string("cannot convert pictures to pixel format ") +
                       (av_get_pix_fmt_name(format) ? av_get_pix_fmt_name(format) : "?"));
    if (!isRgb(format))
        setColourDetails(scaler_.get(), false, format, colorspace, range);
}

void FromModulePixels::convert(const host::FrameBuffer &frame, AVFrame &picture) {
    if (!picture.buf[0]) {
        picture.format = format_;
        picture.width = width_;
        picture.height = height_;
        if (av_frame_get_buffer(&picture, 0) < 0)
            throw CliError("out of memory");
    } else if (av_frame_make_writable(&picture) < 0) {
        throw CliError("out of memory");
    }
    int h = frame.height();
    const uint8_t *src[4] = {reinterpret_cast<const uint8_t *>(frame.row(h - 1)), nullptr, nullptr,
                             nullptr};
    int srcStride[4] = {-static_cast<int>(frame.pitch()), 0, 0, 0};
    sws_scale(scaler_.get(), src, srcStride, 0, h, picture.data, picture.linesize);
}

} // namespace pendra::cli
