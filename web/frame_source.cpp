// Seeking: to the last key frame at or before the wanted frame's time, then
// decoding forward and naming each frame by its time in the index. Where the
// index cannot be trusted (a packet without a time, two with the same time, a
// decoded frame the index does not know), the frames are decoded from the
// start, which is always right.
#include "web/frame_source.h"

#include <algorithm>

namespace pendra::web {

namespace {

// Decoding forward from where the reader stands beats a seek for this many frames.
constexpr int64_t forwardReach = 48;

} // namespace

FrameSource::FrameSource(std::string path) : path_(std::move(path)) {
    cli::VideoReader scan(path_);
    cli::PacketPtr packet = cli::makePacket();
    bool trustworthy = true;
    while (av_read_frame(scan.format(), packet.get()) >= 0) {
        if (packet->stream_index == scan.videoIndex()) {
            if (packet->pts == AV_NOPTS_VALUE)
                trustworthy = false;
            times_.push_back(packet->pts);
            if (packet->flags & AV_PKT_FLAG_KEY)
                keyTimes_.push_back(packet->pts);
        }
        av_packet_unref(packet.get());
    }
    std::sort(times_.begin(), times_.end());
    std::sort(keyTimes_.begin(), keyTimes_.end());
    trustworthy = trustworthy && !times_.empty() && !keyTimes_.empty() &&
                  std::adjacent_find(times_.begin(), times_.end()) == times_.end();
    indexed_ = trustworthy;
    reopen();
    frames_ = indexed_ ? static_cast<int64_t>(times_.size()) : reader_->expectedFrames();
}

void FrameSource::reopen() {
    reader_ = std::make_unique<cli::VideoReader>(path_);
    next_ = 0;
}

int64_t FrameSource::numberOf(int64_t pts) const {
    auto at = std::lower_bound(times_.begin(), times_.end(), pts);
    return at != times_.end() && *at == pts ? at - times_.begin() : -1;
}

void FrameSource::pastTheEnd(int64_t wanted, int64_t count) const {
    throw PastTheEnd(path_ + ": has only " + std::to_string(count) + " frames; frame " +
                     std::to_string(wanted) + " is past its end (frames count from 0)");
}

void FrameSource::decode(int64_t from, int64_t to,
                         const std::function<void(const AVFrame &, int64_t)> &each) {
    if (indexed_ && to >= frames_)
        pastTheEnd(to, frames_);
    const bool ahead = next_ >= 0 && next_ <= from && from - next_ <= forwardReach;
    if (!ahead) {
        if (indexed_) {
            const int64_t time = times_[static_cast<size_t>(from)];
            auto key = std::upper_bound(keyTimes_.begin(), keyTimes_.end(), time);
            reader_->seek(key == keyTimes_.begin() ? keyTimes_.front() : *(key - 1));
            next_ = -1;
        } else {
            reopen();
        }
    }
    for (;;) {
        const AVFrame *picture = reader_->nextFrame();
        if (!picture) {
            if (!indexed_) {
                frames_ = next_;
                next_ = -1;
                pastTheEnd(to, frames_);
            }
            // The index promised more frames than the decoder gave: trust decoding.
            indexed_ = false;
            reopen();
            return decode(from, to, each);
        }
        int64_t number = next_;
        if (indexed_) {
            number = numberOf(picture->pts);
            if (number < 0) {
                indexed_ = false;
                reopen();
                return decode(from, to, each);
            }
        } else if (number < 0) {
            reopen();
            return decode(from, to, each);
        }
        next_ = number + 1;
        if (!indexed_)
            frames_ = std::max(frames_, next_);
        if (number < from)
            continue;
        each(*picture, number);
        if (number >= to)
            return;
    }
}

} // namespace pendra::web
