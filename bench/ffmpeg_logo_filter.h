// FFmpeg's own logo filters (delogo, removelogo) driven in-process through
// libavfilter, for speed and quality comparisons with Pendra.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" {
struct AVFilterGraph;
struct AVFilterContext;
struct AVFrame;
}

namespace pendra::bench {

// One filter graph: buffer source -> the filter -> buffer sink, in yuv420p
// (the format both filters work in).
class FfmpegLogoFilter {
  public:
    // description is a filter graph such as "delogo=x=10:y=10:w=240:h=100".
    FfmpegLogoFilter(int width, int height, const std::string &description);
    ~FfmpegLogoFilter();
    FfmpegLogoFilter(const FfmpegLogoFilter &) = delete;
    FfmpegLogoFilter &operator=(const FfmpegLogoFilter &) = delete;

    // Filters one yuv420p frame; the result is valid until the next call.
    // The input stays referenced by the caller, so the filter cannot write
    // it and works into a new frame (a copy of the picture plus the filter's
    // work), as behind a decoder that keeps its frames for reference.
    const AVFrame &process(const AVFrame &input);
    // Filters a frame handed over whole (*input is left empty): the filter
    // owns the only reference and works in place.
    const AVFrame &processOwned(AVFrame *input);

  private:
    AVFilterGraph *graph_ = nullptr;
    AVFilterContext *source_ = nullptr;
    AVFilterContext *sink_ = nullptr;
    AVFrame *output_ = nullptr;
    int64_t pts_ = 0;
};

// A yuv420p frame owned by the caller (av_frame_free).
AVFrame *allocYuvFrame(int width, int height);

// Converts a bottom-up 0x00RRGGBB picture to yuv420p, and back.
void rgbToYuv(const uint32_t *rgb, int width, int height, ptrdiff_t pitchWords, AVFrame &yuv);
void yuvToRgb(const AVFrame &yuv, uint32_t *rgb, int width, int height, ptrdiff_t pitchWords);

} // namespace pendra::bench
