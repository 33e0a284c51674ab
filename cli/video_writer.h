// Writes the processed video with FFmpeg: the filtered frames encoded anew
// (H.264 by default for .mp4, .mkv and .mov), every other stream of the input
// copied packet for packet, timestamps and frame rate as in the input. The
// file is written under a temporary name and renamed by finish().
#pragma once

#include "cli/av_support.h"
#include "cli/output_avio.h"
#include "cli/output_file.h"
#include "cli/pixel_convert.h"
#include "cli/video_reader.h"
#include "host/frame_buffer.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pendra::cli {

struct EncoderChoice {
    std::string codec;              // encoder name; empty: the container's usual one
    std::optional<int> crf;         // constant-rate quality; default 18 for H.264
    std::optional<int64_t> bitrate; // bits per second, instead of a constant quality
    std::string preset;             // encoder speed preset, where the encoder has one
    std::string pixelFormat;        // empty: the input's, or the nearest the encoder takes
};

class VideoWriter {
  public:
    // Creates the output at a temporary name beside `path` and declares the
    // copied streams; throws CliError naming the file when it cannot be written
    // or the container cannot be told from its name.
    VideoWriter(const std::string &path, const VideoReader &input, const EncoderChoice &choice);
    ~VideoWriter();
    VideoWriter(const VideoWriter &) = delete;
    VideoWriter &operator=(const VideoWriter &) = delete;

    // A packet of another input stream (the reader's sink); queued until the
    // first frame has set up the encoder, then written.
    void copyPacket(AVPacket &packet);
    // Encodes `picture`, a decoded picture with the filters' work pasted in
    // (timestamps as decoded). A picture of the encoder's pixel format goes to
    // it as it is; any other is converted whole, with its own matrix and range.
    void writeFrame(const AVFrame &picture);
    // Drains the encoder, completes the file and gives it its real name.
    void finish();

    // Streams of the input left out because the container cannot hold them.
    const std::vector<std::string> &droppedStreams() const { return dropped_; }

  private:
    void openEncoder(const AVFrame &first);
    void writeHeader();
    void drainEncoder();
    void writePacket(AVPacket &packet, int inputIndex);

    std::string path_;
    OutputFile file_;
    OutputAvio avio_; // writes file_ through its descriptor
    const VideoReader &input_;
    EncoderChoice choice_;
    AVFormatContext *format_ = nullptr;
    std::vector<int> outputIndex_; // per input stream; -1 when not written
    std::vector<std::string> dropped_;
    CodecContextPtr encoder_;
    std::unique_ptr<FormatConverter> toEncoder_;
    FramePtr picture_;
    FramePtr passThrough_;
    PacketPtr packet_;
    std::vector<PacketPtr> queued_;
    bool headerWritten_ = false;
    bool finished_ = false;
    int64_t lastPts_ = AV_NOPTS_VALUE;
    int64_t frameDuration_ = 1;
};

} // namespace pendra::cli
