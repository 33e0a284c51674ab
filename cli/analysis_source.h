// The logo analysis's view of a video file: frames decoded with FFmpeg, and
// only the area the analysis asks for converted to 0x00RRGGBB pixels, with
// the input's own colour matrix and range (the same conversion as the
// filters' region gets, so the analysis sees the pixels the module will).
// A video short enough to keep is decoded once: its frames are kept as
// decoded, so that the analysis's later passes over it need no decoding.
#pragma once

#include "analysis/logo_analysis.h"
#include "cli/picture_region.h"
#include "cli/pixel_convert.h"
#include "cli/video_reader.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace pendra::cli {

class VideoFrameSource : public analysis::FrameSource {
  public:
    // Room for the decoded frames kept for the passes after the first: a
    // short clip's whole range, so that the location's pass over it is its
    // only decoding. The analysis's own stores grow with the picture (the
    // location's sums alone take 74 bytes a pixel), so the room shrinks as
    // the picture grows, to keep the whole under about 300 MB: some 270
    // frames of 720x576, 85 of 1280x720, none of 1920x1080.
    static size_t defaultKeepBytes(int width, int height);

    // Opens the file; throws CliError naming it. Up to `keepBytes` of decoded
    // frames are kept (by default defaultKeepBytes() for its picture size); a
    // video that needs more is decoded on every pass.
    explicit VideoFrameSource(std::string path, std::optional<size_t> keepBytes = std::nullopt);

    int width() const override { return width_; }
    int height() const override { return height_; }
    int64_t frameCount() const override { return frameCount_; }
    // Back to the kept frames, or reopens the file: seeking is not exact for
    // every kind of file.
    void rewind() override;
    bool advance() override;
    // A keyframe at or before the frame, numbered from its timestamp.
    int64_t seekNear(int64_t frame) override;
    // Known for MP4 and its kin, whose index holds every frame.
    int64_t keyframes() const override { return keyframes_; }
    void read(const analysis::Rect &area, analysis::Picture &out) override;

    // Called after each read of an area smaller than the picture, with the
    // frame's number, while the frames come in order from the first (not
    // after a seek). The watcher may read the current frame itself; its own
    // reads are not watched. An empty function stops the watching.
    using ReadWatcher = std::function<void(int64_t frame, const analysis::Rect &area)>;
    void watchReads(ReadWatcher watcher) { watcher_ = std::move(watcher); }

    // Frames decoded since the file was opened, over every pass.
    int64_t framesDecoded() const { return decoded_; }
    // Decoded frames kept now, and their bytes.
    size_t framesKept() const { return kept_.size(); }
    size_t bytesKept() const { return keptBytes_; }

  private:
    // One area's cut and conversion, kept while the analysis keeps asking for it.
    struct AreaReader {
        std::unique_ptr<PictureRegion> region;
        ToModulePixels convert;
        FramePtr view;
        host::FrameBuffer pixels;
    };
    AreaReader &readerFor(const analysis::Rect &area);
    void readArea(const analysis::Rect &area, analysis::Picture &out);
    // Keeps the frame just decoded, or lets every kept frame go when it
    // would take more than the limit.
    void keep();
    void forget();

    std::string path_;
    std::unique_ptr<VideoReader> reader_;
    int width_ = 0;
    int height_ = 0;
    int64_t frameCount_ = 0;
    int64_t keyframes_ = -1;
    AVFrame *current_ = nullptr; // the reader's; null before the first frame
    std::unique_ptr<FormatConverter> toWorkable_;
    FramePtr workable_;
    AVPixelFormat format_ = AV_PIX_FMT_NONE;
    std::map<std::tuple<int, int, int, int>, AreaReader> areas_;
    int64_t decoded_ = 0;
    // Frames 0.. of the video as decoded, while `follows_`: the reader's next
    // frame is the one after them. `position_` is the current frame's number.
    std::vector<FramePtr> kept_;
    size_t keepBytes_;
    size_t keptBytes_ = 0;
    bool follows_ = false;
    bool keepable_;
    int64_t position_ = -1;
    // Where in the file the last seek went (an index entry's position) and
    // the frame it landed on, while that frame is the current one.
    int64_t landedTarget_ = -1;
    int64_t landed_ = -1;
    // The current frame's number in a pass from the first frame; -1 after a seek.
    int64_t passFrame_ = -1;
    bool inOrder_ = false;
    ReadWatcher watcher_;
    bool watching_ = false;
};

} // namespace pendra::cli
