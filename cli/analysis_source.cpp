#include "cli/analysis_source.h"

namespace pendra::cli {

namespace {

// The analysis asks for a handful of areas (border bands, the rectangle and
// its ring); more than this means it is sweeping, and old ones are dropped.
constexpr size_t keptAreas = 16;

} // namespace

VideoFrameSource::VideoFrameSource(std::string path) : path_(std::move(path)) {
    rewind();
    width_ = reader_->width();
    height_ = reader_->height();
    frameCount_ = reader_->expectedFrames();
}

void VideoFrameSource::rewind() {
    current_ = nullptr;
    reader_.reset();
    reader_ = std::make_unique<VideoReader>(path_);
}

bool VideoFrameSource::advance() {
    current_ = reader_->nextFrame();
    if (!current_)
        return false;
    ++decoded_;
    if (current_->width != width_ || current_->height != height_)
        throw CliError(path_ + ": the picture size changes within the video (" +
                       std::to_string(current_->width) + "x" + std::to_string(current_->height) +
                       " after " + std::to_string(width_) + "x" + std::to_string(height_) +
                       "); the analysis needs one size");
    return true;
}

int64_t VideoFrameSource::seekNear(int64_t frame) {
    const AVStream *stream = reader_->videoStream();
    const AVRational frameTime = av_inv_q(reader_->frameRate());
    const int64_t start = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
    try {
        reader_->seek(start + av_rescale_q(frame, frameTime, stream->time_base));
    } catch (const CliError &) {
        return -1; // a file that cannot seek is read in order
    }
    if (!advance() || current_->pts == AV_NOPTS_VALUE)
        return -1;
    return av_rescale_q_rnd(current_->pts - start, stream->time_base, frameTime,
                            static_cast<AVRounding>(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX));
}

VideoFrameSource::AreaReader &VideoFrameSource::readerFor(const analysis::Rect &area) {
    auto key = std::make_tuple(area.x, area.y, area.width, area.height);
    auto found = areas_.find(key);
    if (found != areas_.end())
        return found->second;
    if (areas_.size() >= keptAreas)
        areas_.clear();
    AreaReader &reader = areas_[key];
    reader.region = std::make_unique<PictureRegion>(
        format_, width_, height_,
        std::vector<PixelRect>{{area.x, area.y, area.width, area.height}});
    reader.view = makeFrame();
    reader.pixels = host::FrameBuffer(reader.region->area().width, reader.region->area().height);
    return reader;
}

void VideoFrameSource::read(const analysis::Rect &area, analysis::Picture &out) {
    if (!current_)
        throw CliError(path_ + ": no frame to read");
    const AVFrame *picture = current_;
    const auto decoded = static_cast<AVPixelFormat>(current_->format);
    if (format_ == AV_PIX_FMT_NONE) {
        format_ = PictureRegion::workableFormatFor(decoded);
        if (format_ != decoded) {
            toWorkable_ = std::make_unique<FormatConverter>(
                *current_, format_, current_->colorspace, current_->color_range);
            workable_ = makeFrame();
        }
    }
    if (toWorkable_) {
        toWorkable_->convert(*current_, *workable_);
        if (av_frame_copy_props(workable_.get(), current_) < 0)
            throw CliError("out of memory");
        picture = workable_.get();
    }

    AreaReader &reader = readerFor(area);
    reader.region->view(*picture, *reader.view);
    reader.convert.convert(*reader.view, reader.pixels);
    av_frame_unref(reader.view.get());

    const PixelRect &cut = reader.region->area();
    if (out.width != area.width || out.height != area.height)
        out = analysis::Picture(area.width, area.height);
    const int height = reader.pixels.height();
    for (int line = 0; line < area.height; ++line) {
        const uint32_t *row = reader.pixels.row(height - 1 - (area.y - cut.y + line));
        std::copy(row + (area.x - cut.x), row + (area.x - cut.x) + area.width,
                  out.pixels.begin() + static_cast<ptrdiff_t>(line) * area.width);
    }
}

} // namespace pendra::cli
