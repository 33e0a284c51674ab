// Frames decoded with FFmpeg for the logo analysis (see analysis_source.h).
#include "cli/analysis_source.h"

namespace pendra::cli {

namespace {

// The analysis asks for a handful of areas (border bands, the rectangle and
// its ring); more than this means it is sweeping, and old ones are dropped.
constexpr size_t keptAreas = 16;

// The keyframes in the index of an MP4 (or QuickTime) file, which lists every
// frame, flagged when a seek may land on it; -1 where the index is not known
// to hold every frame (a fragmented file's grows as it is read, other
// demuxers' hold what they have met or what the file's cues name).
int64_t indexedKeyframes(const AVFormatContext &format, AVStream *stream) {
    if (std::string(format.iformat->name).rfind("mov,", 0) != 0)
        return -1;
    const int entries = avformat_index_get_entries_count(stream);
    if (entries <= 0 || entries != stream->nb_frames)
        return -1;
    int64_t keyframes = 0;
    for (int i = 0; i < entries; ++i)
        keyframes += (avformat_index_get_entry(stream, i)->flags & AVINDEX_KEYFRAME) != 0;
    return keyframes;
}

} // namespace

size_t VideoFrameSource::defaultKeepBytes(int width, int height) {
    constexpr size_t room = size_t{224} << 20, perPixel = 120;
    const size_t analysis = perPixel * static_cast<size_t>(width) * static_cast<size_t>(height);
    return analysis < room ? room - analysis : 0;
}

VideoFrameSource::VideoFrameSource(std::string path, std::optional<size_t> keepBytes)
    : path_(std::move(path)), keepBytes_(keepBytes.value_or(1)), keepable_(keepBytes_ > 0) {
    rewind();
    width_ = reader_->width();
    height_ = reader_->height();
    if (!keepBytes) {
        // Nothing is decoded yet: the room can still be set.
        keepBytes_ = defaultKeepBytes(width_, height_);
        keepable_ = follows_ = keepBytes_ > 0;
    }
    frameCount_ = reader_->expectedFrames();
    keyframes_ = indexedKeyframes(*reader_->format(), reader_->videoStream());
}

void VideoFrameSource::rewind() {
    current_ = nullptr;
    position_ = -1;
    landedTarget_ = -1;
    passFrame_ = -1;
    inOrder_ = true;
    if (follows_)
        return;
    forget();
    reader_.reset();
    reader_ = std::make_unique<VideoReader>(path_);
    follows_ = keepable_;
}

void VideoFrameSource::forget() {
    kept_.clear();
    kept_.shrink_to_fit();
    keptBytes_ = 0;
    follows_ = false;
}

void VideoFrameSource::keep() {
    size_t bytes = 0;
    for (const AVBufferRef *buffer : current_->buf)
        bytes += buffer ? buffer->size : 0;
    // A video whose frame count says it will not fit is not kept at all:
    // the memory is better left to the analysis's own stores.
    const bool tooLong =
        frameCount_ > 0 && bytes > 0 && static_cast<size_t>(frameCount_) > keepBytes_ / bytes;
    if (tooLong || keptBytes_ + bytes > keepBytes_) {
        // Too long to keep: every pass decodes it.
        forget();
        keepable_ = false;
        return;
    }
    FramePtr frame = makeFrame();
    if (av_frame_ref(frame.get(), current_) < 0)
        throw CliError("out of memory");
    keptBytes_ += bytes;
    kept_.push_back(std::move(frame));
}

bool VideoFrameSource::advance() {
    landedTarget_ = -1;
    ++passFrame_;
    if (follows_ && position_ + 1 < static_cast<int64_t>(kept_.size())) {
        current_ = kept_[static_cast<size_t>(++position_)].get();
        return true;
    }
    current_ = reader_->nextFrame();
    if (!current_)
        return false;
    ++decoded_;
    if (current_->width != width_ || current_->height != height_)
        throw CliError(path_ + ": the picture size changes within the video (" +
                       std::to_string(current_->width) + "x" + std::to_string(current_->height) +
                       " after " + std::to_string(width_) + "x" + std::to_string(height_) +
                       "); the analysis needs one size");
    if (follows_) {
        ++position_;
        keep();
    }
    return true;
}

namespace {

// Where Matroska's seek to `timestamp` goes: the index entry at or before it,
// the same search its seek makes on the same index, so the same entry lands
// on the same frame. Not the last entry, after which the seek reads on for
// keyframes the cues may lack, nor other demuxers, which adjust the
// timestamp or search by it: -1 where that is not known.
int64_t seekTarget(const AVFormatContext &format, AVStream *stream, int64_t timestamp) {
    if (std::string(format.iformat->name) != "matroska,webm")
        return -1;
    const int entry = av_index_search_timestamp(stream, timestamp, AVSEEK_FLAG_BACKWARD);
    if (entry < 0 || entry + 1 >= avformat_index_get_entries_count(stream))
        return -1;
    return avformat_index_get_entry(stream, entry)->pos;
}

} // namespace

int64_t VideoFrameSource::seekNear(int64_t frame) {
    // The reader leaves the kept frames' order; rewind() reopens the file.
    // A seek wants one frame: threads decoding frames ahead of it would
    // decode several, all thrown away at the next seek.
    if (follows_)
        reader_ = std::make_unique<VideoReader>(path_, 1);
    forget();
    inOrder_ = false;
    AVStream *stream = reader_->videoStream();
    const AVRational frameTime = av_inv_q(reader_->frameRate());
    const int64_t start = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
    const int64_t timestamp = start + av_rescale_q(frame, frameTime, stream->time_base);
    // A video with few keyframes lands on the same one again and again; that
    // frame is still the current one, so it is not sought and decoded anew.
    const int64_t target = seekTarget(*reader_->format(), stream, timestamp);
    if (target >= 0 && target == landedTarget_)
        return landed_;
    try {
        reader_->seek(timestamp);
    } catch (const CliError &) {
        return -1; // a file that cannot seek is read in order
    }
    if (!advance() || current_->pts == AV_NOPTS_VALUE)
        return -1;
    landed_ = av_rescale_q_rnd(current_->pts - start, stream->time_base, frameTime,
                               static_cast<AVRounding>(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX));
    landedTarget_ = target;
    return landed_;
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
    readArea(area, out);
    if (!watcher_ || watching_ || !inOrder_ || (area.width == width_ && area.height == height_))
        return;
    watching_ = true;
    try {
        watcher_(passFrame_, area);
    } catch (...) {
        watching_ = false;
        throw;
    }
    watching_ = false;
}

void VideoFrameSource::readArea(const analysis::Rect &area, analysis::Picture &out) {
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
