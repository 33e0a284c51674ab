// The logo analysis's view of a video file: frames decoded with FFmpeg, and
// only the area the analysis asks for converted to 0x00RRGGBB pixels, with
// the input's own colour matrix and range (the same conversion as the
// filters' region gets, so the analysis sees the pixels the module will).
#pragma once

#include "analysis/logo_analysis.h"
#include "cli/picture_region.h"
#include "cli/pixel_convert.h"
#include "cli/video_reader.h"

#include <map>
#include <memory>
#include <string>
#include <tuple>

namespace pendra::cli {

class VideoFrameSource : public analysis::FrameSource {
  public:
    // Opens the file; throws CliError naming it.
    explicit VideoFrameSource(std::string path);

    int width() const override { return width_; }
    int height() const override { return height_; }
    int64_t frameCount() const override { return frameCount_; }
    // Reopens the file: seeking is not exact for every kind of file.
    void rewind() override;
    bool advance() override;
    // A keyframe at or before the frame, numbered from its timestamp.
    int64_t seekNear(int64_t frame) override;
    void read(const analysis::Rect &area, analysis::Picture &out) override;

    // Frames decoded since the file was opened, over every pass.
    int64_t framesDecoded() const { return decoded_; }

  private:
    // One area's cut and conversion, kept while the analysis keeps asking for it.
    struct AreaReader {
        std::unique_ptr<PictureRegion> region;
        ToModulePixels convert;
        FramePtr view;
        host::FrameBuffer pixels;
    };
    AreaReader &readerFor(const analysis::Rect &area);

    std::string path_;
    std::unique_ptr<VideoReader> reader_;
    int width_ = 0;
    int height_ = 0;
    int64_t frameCount_ = 0;
    AVFrame *current_ = nullptr; // the reader's; null before the first frame
    std::unique_ptr<FormatConverter> toWorkable_;
    FramePtr workable_;
    AVPixelFormat format_ = AV_PIX_FMT_NONE;
    std::map<std::tuple<int, int, int, int>, AreaReader> areas_;
    int64_t decoded_ = 0;
};

} // namespace pendra::cli
