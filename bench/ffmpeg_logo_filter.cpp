#include "bench/ffmpeg_logo_filter.h"

#include <stdexcept>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace pendra::bench {

namespace {

void check(int result, const char *what) {
    if (result < 0) {
        char text[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(result, text, sizeof text);
        throw std::runtime_error(std::string(what) + ": " + text);
    }
}

} // namespace

FfmpegLogoFilter::FfmpegLogoFilter(int width, int height, const std::string &description) {
    graph_ = avfilter_graph_alloc();
    output_ = av_frame_alloc();
    if (!graph_ || !output_)
        throw std::runtime_error("cannot allocate a filter graph");
    // Measure one thread, as Pendra runs on one.
    graph_->nb_threads = 1;
    std::string args = "video_size=" + std::to_string(width) + "x" + std::to_string(height) +
                       ":pix_fmt=" + std::to_string(AV_PIX_FMT_YUV420P) +
                       ":time_base=1/25:pixel_aspect=1/1";
    check(avfilter_graph_create_filter(&source_, avfilter_get_by_name("buffer"), "in", args.c_str(),
                                       nullptr, graph_),
          "buffer source");
    check(avfilter_graph_create_filter(&sink_, avfilter_get_by_name("buffersink"), "out", nullptr,
                                       nullptr, graph_),
          "buffer sink");

    AVFilterInOut *outputs = avfilter_inout_alloc();
    AVFilterInOut *inputs = avfilter_inout_alloc();
    outputs->name = av_strdup("in");
    outputs->filter_ctx = source_;
    inputs->name = av_strdup("out");
    inputs->filter_ctx = sink_;
    int parsed = avfilter_graph_parse_ptr(graph_, description.c_str(), &inputs, &outputs, nullptr);
    avfilter_inout_free(&inputs);
    avfilter_inout_free(&outputs);
    check(parsed, description.c_str());
    check(avfilter_graph_config(graph_, nullptr), "configuring the filter graph");
}

FfmpegLogoFilter::~FfmpegLogoFilter() {
    av_frame_free(&output_);
    avfilter_graph_free(&graph_);
}

const AVFrame &FfmpegLogoFilter::process(const AVFrame &input) {
    AVFrame *frame = av_frame_clone(&input);
    if (!frame)
        throw std::runtime_error("cannot reference a frame");
    const AVFrame &out = processOwned(frame);
    av_frame_free(&frame);
    return out;
}

const AVFrame &FfmpegLogoFilter::processOwned(AVFrame *input) {
    input->pts = pts_++;
    check(av_buffersrc_add_frame(source_, input), "feeding the filter");
    av_frame_unref(output_);
    check(av_buffersink_get_frame(sink_, output_), "reading the filter's output");
    return *output_;
}

AVFrame *allocYuvFrame(int width, int height) {
    AVFrame *frame = av_frame_alloc();
    if (!frame)
        throw std::runtime_error("cannot allocate a frame");
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = width;
    frame->height = height;
    check(av_frame_get_buffer(frame, 0), "allocating a frame");
    return frame;
}

namespace {

// Converts between bottom-up BGR0 words and yuv420p (a negative stride flips).
void convert(const uint8_t *const src[], const int srcStride[], AVPixelFormat srcFormat,
             uint8_t *const dst[], const int dstStride[], AVPixelFormat dstFormat, int width,
             int height) {
    SwsContext *sws = sws_getContext(width, height, srcFormat, width, height, dstFormat,
                                     SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr,
                                     nullptr, nullptr);
    if (!sws)
        throw std::runtime_error("cannot convert pixel formats");
    sws_scale(sws, src, srcStride, 0, height, dst, dstStride);
    sws_freeContext(sws);
}

} // namespace

void rgbToYuv(const uint32_t *rgb, int width, int height, ptrdiff_t pitchWords, AVFrame &yuv) {
    const uint8_t *top = reinterpret_cast<const uint8_t *>(rgb + (height - 1) * pitchWords);
    const uint8_t *src[4] = {top, nullptr, nullptr, nullptr};
    int srcStride[4] = {-static_cast<int>(pitchWords * 4), 0, 0, 0};
    convert(src, srcStride, AV_PIX_FMT_BGR0, yuv.data, yuv.linesize, AV_PIX_FMT_YUV420P, width,
            height);
}

void yuvToRgb(const AVFrame &yuv, uint32_t *rgb, int width, int height, ptrdiff_t pitchWords) {
    uint8_t *top = reinterpret_cast<uint8_t *>(rgb + (height - 1) * pitchWords);
    uint8_t *dst[4] = {top, nullptr, nullptr, nullptr};
    int dstStride[4] = {-static_cast<int>(pitchWords * 4), 0, 0, 0};
    convert(yuv.data, yuv.linesize, AV_PIX_FMT_YUV420P, dst, dstStride, AV_PIX_FMT_BGR0, width,
            height);
    for (int r = 0; r < height; ++r)
        for (int c = 0; c < width; ++c)
            rgb[r * pitchWords + c] &= 0x00FFFFFFu;
}

} // namespace pendra::bench
