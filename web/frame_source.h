// Frames of the page's video on demand: an index of the video packets' times,
// made once by reading the packets without decoding, lets a request for frame
// N seek to the key frame before it instead of decoding from the start.
// Frames are numbered from 0 in decoding order, as pendra process numbers them.
#pragma once

#include "cli/video_reader.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace pendra::web {

// A frame past the video's end was asked for.
class PastTheEnd : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The video packets' times, read once for every source of one video.
struct FrameIndex {
    std::vector<int64_t> times;    // every frame's time, in frame order
    std::vector<int64_t> keyTimes; // the key frames', ascending
    bool trustworthy = false;

    // Reads the packets of `path`; throws cli::CliError naming the file.
    static std::shared_ptr<const FrameIndex> of(const std::string &path);
};

class FrameSource {
  public:
    // Opens the video; throws cli::CliError naming the file.
    FrameSource(std::string path, std::shared_ptr<const FrameIndex> index);

    int width() const { return reader_->width(); }
    int height() const { return reader_->height(); }
    // The frame count: exact when indexed, else the container's estimate.
    int64_t frames() const { return frames_; }
    // Frames per second as FFmpeg guesses the rate.
    double frameRate() const { return av_q2d(reader_->frameRate()); }

    // Decodes frames `from` to `to` and hands each to `each` with its number.
    // Throws PastTheEnd (before any work when the count is known) and
    // cli::CliError (exit code 2 for a number below 0 or `to` before
    // `from`); `each` may throw to stop early.
    void decode(int64_t from, int64_t to,
                const std::function<void(const AVFrame &, int64_t)> &each);

  private:
    void reopen();
    // From now on frames are numbered as decoded, from the start.
    void distrustIndex();
    // The number of a decoded frame from its time; -1 when the index has none.
    int64_t numberOf(int64_t pts) const;
    [[noreturn]] void pastTheEnd(int64_t wanted, int64_t count) const;

    std::string path_;
    std::unique_ptr<cli::VideoReader> reader_;
    std::shared_ptr<const FrameIndex> index_;
    bool indexed_ = false;
    int64_t frames_ = 0;
    int64_t next_ = 0; // the number nextFrame() gives next; -1 when unknown
};

} // namespace pendra::web
