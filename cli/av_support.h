// Small pieces shared by the command's FFmpeg code: the command's error type,
// FFmpeg error texts, and owning pointers for FFmpeg's objects.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include <memory>
#include <stdexcept>
#include <string>

namespace pendra::cli {

// A failure the user can act on. The text names the file and the problem; the
// command prints it as one line and exits with `exitCode`.
class CliError : public std::runtime_error {
  public:
    explicit CliError(const std::string &what, int exitCode = 1)
        : std::runtime_error(what), exitCode_(exitCode) {}
    int exitCode() const { return exitCode_; }

  private:
    int exitCode_;
};

// FFmpeg's text for an AVERROR code, in lower case as a clause ("no such file or directory").
std::string avErrorText(int code);
// The system's text for an errno value, in the same style.
std::string systemErrorText(int error);

struct FrameDeleter {
    void operator()(AVFrame *f) const { av_frame_free(&f); }
};
struct PacketDeleter {
    void operator()(AVPacket *p) const { av_packet_free(&p); }
};
struct CodecContextDeleter {
    void operator()(AVCodecContext *c) const { avcodec_free_context(&c); }
};
struct ScalerDeleter {
    void operator()(SwsContext *s) const { sws_freeContext(s); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using ScalerPtr = std::unique_ptr<SwsContext, ScalerDeleter>;

// Allocations that throw instead of returning null.
FramePtr makeFrame();
PacketPtr makePacket();

} // namespace pendra::cli
