#include "cli/video_reader.h"

#include <cmath>
#include <cstdio>

namespace pendra::cli {

VideoReader::VideoReader(const std::string &path)
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
    decoder_->thread_count = 0;
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

int64_t VideoReader::promisedFrames() const {
    const AVStream *s = videoStream();
    if (s->nb_frames > 0)
        return s->nb_frames;
    double seconds = 0;
    if (s->duration > 0) {
        seconds = static_cast<double>(s->duration) * av_q2d(s->time_base);
    } else if (const AVDictionaryEntry *tag = av_dict_get(s->metadata, "DURATION", nullptr, 0)) {
        int hours = 0, minutes = 0;
        double rest = 0;
        if (std::sscanf(tag->value, "%d:%d:%lf", &hours, &minutes, &rest) == 3)
            seconds = hours * 3600.0 + minutes * 60.0 + rest;
    }
    return seconds > 0 ? static_cast<int64_t>(std::llround(seconds * av_q2d(frameRate()))) : 0;
}

AVFrame *VideoReader::nextFrame() {
    if (finished_)
        return nullptr;
    av_frame_unref(frame_.get());
    for (;;) {
        int r = avcodec_receive_frame(decoder_.get(), frame_.get());
        if (r == 0) {
            frame_->pts = frame_->best_effort_timestamp;
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
