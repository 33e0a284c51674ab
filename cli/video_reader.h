// Reads a video file with FFmpeg: picks its main video stream, decodes it
// frame by frame in decoding order, and hands every packet of the other
// streams to a sink so that they can be copied unchanged.
#pragma once

#include "cli/av_support.h"

#include <cstdint>
#include <functional>
#include <string>

namespace pendra::cli {

class VideoReader {
  public:
    // Opens the file and its video decoder, with `threads` threads (0: as
    // many as FFmpeg sees fit); throws CliError naming the file.
    explicit VideoReader(const std::string &path, int threads = 0);
    ~VideoReader();
    VideoReader(const VideoReader &) = delete;
    VideoReader &operator=(const VideoReader &) = delete;

    // Receives each packet of a stream other than the video stream, before
    // the frames decoded after it. The packet is the reader's; the sink may
    // take its data with av_packet_move_ref.
    void setOtherPacketSink(std::function<void(AVPacket &)> sink) { sink_ = std::move(sink); }

    // The next decoded frame (the reader's, valid until the next call), or
    // nullptr after the last. Its pts is the best-effort timestamp in the
    // video stream's time base, or AV_NOPTS_VALUE.
    AVFrame *nextFrame();

    // Goes to the key frame at or before `timestamp` (the video stream's time
    // base), so that nextFrame() decodes on from there; throws CliError.
    void seek(int64_t timestamp);

    const std::string &path() const { return path_; }
    AVFormatContext *format() const { return format_; }
    AVStream *videoStream() const { return format_->streams[videoIndex_]; }
    int videoIndex() const { return videoIndex_; }
    int width() const { return decoder_->width; }
    int height() const { return decoder_->height; }
    // The frame rate as FFmpeg guesses it; 25 when nothing says.
    AVRational frameRate() const;
    // Frames the stream holds, from its header or its duration; 0 when unknown.
    int64_t expectedFrames() const;
    // Throws CliError when the video stopped before the end its container
    // states: short of the frame count the container stores, or with the last
    // frame ending well before the stream's stated end (its duration, or
    // Matroska's per-track DURATION tag). Never judged from duration times an
    // average rate, which a variable frame rate makes meaningless.
    void checkComplete() const;
    // Damaged video packets the decoder refused and that were skipped.
    int skippedPackets() const { return skippedPackets_; }

  private:
    std::string path_;
    AVFormatContext *format_ = nullptr;
    CodecContextPtr decoder_;
    int videoIndex_ = -1;
    PacketPtr packet_;
    FramePtr frame_;
    bool finished_ = false;
    int skippedPackets_ = 0;
    int64_t framesRead_ = 0;
    int64_t lastEnd_ = AV_NOPTS_VALUE; // end of the latest frame, in the stream's time base
    std::function<void(AVPacket &)> sink_;
};

} // namespace pendra::cli
