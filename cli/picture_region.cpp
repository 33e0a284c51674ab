#include "cli/picture_region.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cstring>

namespace pendra::cli {

namespace {

// Chroma samples on each side that the scaler's interpolation of subsampled
// chroma may read (its bicubic taps reach two or three samples).
constexpr int chromaMargin = 4;

bool isChroma(const AVPixFmtDescriptor &d, int component) {
    return !(d.flags & AV_PIX_FMT_FLAG_RGB) && d.nb_components >= 3 &&
           (component == 1 || component == 2);
}

int alignDown(int value, int shift) {
    return value >> shift << shift;
}

int alignUp(int value, int shift, int limit) {
    return std::min(limit, ((value + (1 << shift) - 1) >> shift) << shift);
}

} // namespace

bool PictureRegion::workablePixelFormat(AVPixelFormat format) {
    const AVPixFmtDescriptor *d = av_pix_fmt_desc_get(format);
    return d &&
           !(d->flags &
             (AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_PAL)) &&
           sws_isSupportedInput(format) && sws_isSupportedOutput(format);
}

AVPixelFormat PictureRegion::workableFormatFor(AVPixelFormat decoded) {
    if (workablePixelFormat(decoded))
        return decoded;
    const AVPixFmtDescriptor *d = av_pix_fmt_desc_get(decoded);
    bool yuv =
        d && !(d->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL)) && d->nb_components >= 3;
    return yuv ? AV_PIX_FMT_YUV444P : AV_PIX_FMT_BGR0;
}

PictureRegion::PictureRegion(AVPixelFormat format, int width, int height,
                             const std::vector<PixelRect> &rectangles)
    : format_(format), rectangles_(rectangles) {
    const AVPixFmtDescriptor &d = *av_pix_fmt_desc_get(format);
    const int sx = d.log2_chroma_w, sy = d.log2_chroma_h;
    int left = width, top = height, right = 0, bottom = 0;
    for (const PixelRect &r : rectangles) {
        left = std::min(left, r.x);
        top = std::min(top, r.y);
        right = std::max(right, r.x + r.width);
        bottom = std::max(bottom, r.y + r.height);
    }
    const int marginX = sx ? chromaMargin << sx : 0, marginY = sy ? chromaMargin << sy : 0;
    left = alignDown(std::max(0, left - marginX), sx);
    top = alignDown(std::max(0, top - marginY), sy);
    right = alignUp(std::min(width, right + marginX), sx, width);
    bottom = alignUp(std::min(height, bottom + marginY), sy, height);
    area_ = PixelRect{left, top, right - left, bottom - top};

    planes_.resize(static_cast<size_t>(av_pix_fmt_count_planes(format)));
    for (int c = 0; c < d.nb_components; ++c) {
        PlaneLayout &plane = planes_[static_cast<size_t>(d.comp[c].plane)];
        const int cx = isChroma(d, c) ? sx : 0, cy = isChroma(d, c) ? sy : 0;
        // A plane holding luma and chroma (packed 4:2:2) moves in whole chroma units.
        if (plane.bytesPerUnit == 0 || cx > plane.shiftX) {
            plane.shiftX = cx;
            plane.bytesPerUnit = d.comp[c].step;
        }
        plane.shiftY = std::max(plane.shiftY, cy);
    }
}

void PictureRegion::view(const AVFrame &picture, AVFrame &region) const {
    av_frame_unref(&region);
    if (av_frame_ref(&region, &picture) < 0)
        throw CliError("out of memory");
    region.crop_left = static_cast<size_t>(area_.x);
    region.crop_top = static_cast<size_t>(area_.y);
    region.crop_right = static_cast<size_t>(picture.width - area_.x - area_.width);
    region.crop_bottom = static_cast<size_t>(picture.height - area_.y - area_.height);
    if (av_frame_apply_cropping(&region, AV_FRAME_CROP_UNALIGNED) < 0 ||
        region.width != area_.width || region.height != area_.height)
        throw CliError("cannot cut the logo's region out of pictures of pixel format " +
                       std::string(av_get_pix_fmt_name(format_)));
}

void PictureRegion::paste(const AVFrame &region, AVFrame &picture) const {
    for (size_t p = 0; p < planes_.size(); ++p) {
        const PlaneLayout &plane = planes_[p];
        const int areaX = area_.x >> plane.shiftX, areaY = area_.y >> plane.shiftY;
        for (const PixelRect &r : rectangles_) {
            // Every sample whose pixels reach into the rectangle.
            const int x0 = r.x >> plane.shiftX, x1 = (r.x + r.width - 1) >> plane.shiftX;
            const int y0 = r.y >> plane.shiftY, y1 = (r.y + r.height - 1) >> plane.shiftY;
            const size_t bytes = static_cast<size_t>(x1 - x0 + 1) * plane.bytesPerUnit;
            for (int line = y0; line <= y1; ++line)
                std::memcpy(picture.data[p] + static_cast<ptrdiff_t>(line) * picture.linesize[p] +
                                static_cast<ptrdiff_t>(x0) * plane.bytesPerUnit,
                            region.data[p] +
                                static_cast<ptrdiff_t>(line - areaY) * region.linesize[p] +
                                static_cast<ptrdiff_t>(x0 - areaX) * plane.bytesPerUnit,
                            bytes);
        }
    }
}

} // namespace pendra::cli
