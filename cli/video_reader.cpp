#include "cli/video_reader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace pendra::cli {

VideoReader::VideoReader(const std::string &path, int threads)
    : path_(path), packet_(makePacket()), frame_(makeFrame()) {
    int r = avformat_open_input(&format_, path.c_str(), nullptr, nullptr);
    if (r < 0) {
        if (r == AVERROR_INVALIDDATA)
            throw CliError(path + ": not a video FFmpeg can read");
        throw CliError(path + ": cannot open: " + avErrorText(r));
    }
    r = avformat_find_stream_info(format_, nullptr);
    if (r < 0) {
        avformat_close_input(&format_);
        throw CliError(path + ": cannot read: " + avErrorText(r));
    }
    const AVCodec *codec = nullptr;
    videoIndex_ = av_find_best_stream(format_, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (videoIndex_ < 0 || codec == nullptr) {
        avformat_close_input(&format_);
        throw CliError(path + (videoIndex_ == AVERROR_DECODER_NOT_FOUND
                                   ? ": no decoder for its video stream"
                                   : ": has no video stream"));
    }
    decoder_.reset(avcodec_alloc_context3(codec));
    if (!decoder_ || avcodec_parameters_to_context(decoder_.get(), videoStream()->codecpar) < 0) {
        avformat_close_input(&format_);
        throw CliError(path + ": cannot set up the video decoder");
    }
    decoder_->pkt_timebase = videoStream()->time_base;
    decoder_->thread_count = threads;
    r = avcodec_open2(decoder_.get(), codec, nullptr);
    if (r < 0) {
        avformat_close_input(&format_);
        throw CliError(path + ": cannot open the video decoder: " + avErrorText(r));
    }
    if (decoder_->width <= 0 || decoder_->height <= 0) {
        avformat_close_input(&format_);
        throw CliError(path + ": the video stream has no picture size");
    }
}

VideoReader::~VideoReader() {
    decoder_.reset();
    avformat_close_input(&format_);
}

AVRational VideoReader::frameRate() const {
    AVRational rate = av_guess_frame_rate(format_, videoStream(), nullptr);
    if (rate.num <= 0 || rate.den <= 0)
        return AVRational{25, 1};
    return rate;
}

int64_t VideoReader::expectedFrames() const {
    const AVStream *s = videoStream();
    if (s->nb_frames > 0)
        return s->nb_frames;
    double seconds = 0;
    if (s->duration > 0)
        seconds = static_cast<double>(s->duration) * av_q2d(s->time_base);
    else if (format_->duration > 0)
        seconds = static_cast<double>(format_->duration) / AV_TIME_BASE;
    return static_cast<int64_t>(std::llround(seconds * av_q2d(frameRate())));
}

namespace {

// Where the container says the video stream ends, in seconds on the stream's
// own clock; negative when it does not say. A duration FFmpeg estimated from
// the bit rate is a guess and does not count.
double statedEnd(const AVFormatContext *format, const AVStream *s) {
    double start = s->start_time != AV_NOPTS_VALUE
                       ? static_cast<double>(s->start_time) * av_q2d(s->time_base)
                       : 0;
    if (s->duration > 0 && format->duration_estimation_method != AVFMT_DURATION_FROM_BITRATE)
        return start + static_cast<double>(s->duration) * av_q2d(s->time_base);
    // Matroska's tag holds the track's end timestamp, not its length.
    if (const AVDictionaryEntry *tag = av_dict_get(s->metadata, "DURATION", nullptr, 0)) {
        int hours = 0, minutes = 0;
        double rest = 0;
        if (std::sscanf(tag->value, "%d:%d:%lf", &hours, &minutes, &rest) == 3 &&
            hours * 3600.0 + minutes * 60.0 + rest > 0)
            return hours * 3600.0 + minutes * 60.0 + rest;
    }
    return -1;
}

} // namespace

void VideoReader::checkComplete() const {
    const AVStream *s = videoStream();
    const double frameTime = 1 / av_q2d(frameRate());
    // The stream's end, where stated, judges: it holds for any frame rate.
    // Durations round and the last frame's own duration may be a guess, so a
    // shortfall of two frames' time, or a twentieth, passes.
    if (double end = statedEnd(format_, s); end > 0) {
        double start = s->start_time != AV_NOPTS_VALUE
                           ? static_cast<double>(s->start_time) * av_q2d(s->time_base)
                           : 0;
        double reached = lastEnd_ != AV_NOPTS_VALUE
                             ? static_cast<double>(lastEnd_) * av_q2d(s->time_base)
                             : start + static_cast<double>(framesRead_) * frameTime;
        if (end - reached > std::max(2 * frameTime, (end - start) / 20)) {
            char times[64];
            std::snprintf(times, sizeof times, "%.2f s of its %.2f s", reached - start,
                          end - start);
            throw CliError(path_ + ": ends after " + times + ", with " +
                           std::to_string(framesRead_) + " frames; it is cut short or damaged");
        }
        return;
    }
    // Otherwise only a frame count the container stores (MP4's and AVI's indexes).
    const int64_t promised = s->nb_frames;
    if (promised > 0 && framesRead_ < promised - std::max<int64_t>(2, promised / 20))
        throw CliError(path_ + ": ends after " + std::to_string(framesRead_) + " of its " +
                       std::to_string(promised) + " frames; it is cut short or damaged");
}

void VideoReader::seek(int64_t timestamp) {
    int r = av_seek_frame(format_, videoIndex_, timestamp, AVSEEK_FLAG_BACKWARD);
    if (r < 0)
        throw CliError(path_ + ": cannot seek: " + avErrorText(r));
    avcodec_flush_buffers(decoder_.get());
    finished_ = false;
}

AVFrame *VideoReader::nextFrame() {
    if (finished_)
        return nullptr;
    av_frame_unref(frame_.get());
    for (;;) {
        int r = avcodec_receive_frame(decoder_.get(), frame_.get());
        if (r == 0) {
            frame_->pts = frame_->best_effort_timestamp;
            ++framesRead_;
            if (frame_->pts != AV_NOPTS_VALUE) {
                int64_t duration =
                    frame_->pkt_duration > 0
                        ? frame_->pkt_duration
                        : av_rescale_q(1, av_inv_q(frameRate()), videoStream()->time_base);
                if (lastEnd_ == AV_NOPTS_VALUE || frame_->pts + duration > lastEnd_)
                    lastEnd_ = frame_->pts + duration;
            }
            return frame_.get();
        }
        if (r == AVERROR_EOF) {
            finished_ = true;
            return nullptr;
        }
        if (r != AVERROR(EAGAIN))
            throw CliError(path_ + ": cannot decode the video: " + avErrorText(r));

        r = av_read_frame(format_, packet_.get());
        if (r == AVERROR_EOF) {
            avcodec_send_packet(decoder_.get(), nullptr);
            continue;
        }
        if (r < 0)
            throw CliError(path_ + ": cannot read: " + avErrorText(r));
        if (packet_->stream_index == videoIndex_) {
            r = avcodec_send_packet(decoder_.get(), packet_.get());
            // A damaged packet is skipped, as players do; the frames around it still count.
            if (r == AVERROR_INVALIDDATA)
                ++skippedPackets_;
            else if (r < 0 && r != AVERROR(EAGAIN))
                throw CliError(path_ + ": cannot decode the video: " + avErrorText(r));
        } else if (sink_) {
            sink_(*packet_);
        }
        av_packet_unref(packet_.get());
    }
}

} // namespace pendra::cli
