// Writes a clip from frames made in memory (the demo's sample), with an
// optional steady tone as its sound. Frames are 0x00RRGGBB, bottom line first.
#pragma once

#include "cli/av_support.h"
#include "cli/output_avio.h"
#include "cli/output_file.h"
#include "cli/pixel_convert.h"
#include "host/frame_buffer.h"

#include <memory>
#include <string>

namespace pendra::cli {

struct ClipFormat {
    int width = 0;
    int height = 0;
    AVRational frameRate{25, 1};
    std::string codec = "libx264rgb"; // lossless with qp 0: the picture comes back exactly
    bool tone = true;                 // a 440 Hz AAC tone as the sound
};

class ClipWriter {
  public:
    // Throws CliError naming the file when it cannot be written.
    ClipWriter(const std::string &path, const ClipFormat &format);
    ~ClipWriter();
    ClipWriter(const ClipWriter &) = delete;
    ClipWriter &operator=(const ClipWriter &) = delete;

    void addFrame(const host::FrameBuffer &frame);
    // Completes the file (sound as long as the picture) and gives it its name.
    void finish();

  private:
    void openVideo();
    void openAudio();
    void writeToneUntil(int64_t samples);
    void drain(AVCodecContext *encoder, AVStream *stream);

    std::string path_;
    ClipFormat format_;
    OutputFile file_;
    OutputAvio avio_; // writes file_ through its descriptor
    AVFormatContext *container_ = nullptr;
    CodecContextPtr video_;
    CodecContextPtr audio_;
    AVStream *videoStream_ = nullptr;
    AVStream *audioStream_ = nullptr;
    std::unique_ptr<FromModulePixels> convert_;
    FramePtr picture_;
    FramePtr sound_;
    PacketPtr packet_;
    int64_t frames_ = 0;
    int64_t samples_ = 0;
};

} // namespace pendra::cli
