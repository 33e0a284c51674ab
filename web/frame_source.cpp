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

std::shared_ptr<const FrameIndex> FrameIndex::of(const std::string &path) {
    auto index = std::make_shared<FrameIndex>();
    cli::VideoReader scan(path);
    cli::PacketPtr packet = cli::makePacket();
    bool timed = true;
    while (av_read_frame(scan.format(), packet.get()) >= 0) {
        if (packet->stream_index == scan.videoIndex()) {
            if (packet->pts == AV_NOPTS_VALUE)
                timed = false;
            index->times.push_back(packet->pts);
            if (packet->flags & AV_PKT_FLAG_KEY)
                index->keyTimes.push_back(packet->pts);
        }
        av_packet_unref(packet.get());
    }
    std::vector<int64_t> &times = index->times;
    std::sort(times.begin(), times.end());
    std::sort(index->keyTimes.begin(), index->keyTimes.end());
    index->trustworthy = timed && !times.empty() && !index->keyTimes.empty() &&
                         std::adjacent_find(times.begin(), times.end()) == times.end();
    return index;
}

FrameSource::FrameSource(std::string path, std::shared_ptr<const FrameIndex> index)
    : path_(std::move(path)), index_(std::move(index)), indexed_(index_->trustworthy) {
    reopen();
    frames_ = indexed_ ? static_cast<int64_t>(index_->times.size()) : reader_->expectedFrames();
}

void FrameSource::reopen() {
    reader_ = std::make_unique<cli::VideoReader>(path_);
    next_ = 0;
}

void FrameSource::distrustIndex() {
    indexed_ = false;
    frames_ = 0; // grows with the frames decoded
    reopen();
}

int64_t FrameSource::numberOf(int64_t pts) const {
    const std::vector<int64_t> &times = index_->times;
    auto at = std::lower_bound(times.begin(), times.end(), pts);
    return at != times.end() && *at == pts ? at - times.begin() : -1;
}

void FrameSource::pastTheEnd(int64_t wanted, int64_t count) const {
    throw PastTheEnd(path_ + ": has only " + std::to_string(count) + " frames; frame " +
                     std::to_string(wanted) + " is past its end (frames count from 0)");
}

void FrameSource::decode(int64_t from, int64_t to,
                         const std::function<void(const AVFrame &, int64_t)> &each) {
    // The numbers index the index: none below 0, nor a range backwards.
    if (from < 0 || to < from)
        throw cli::CliError("frames " + std::to_string(from) + " to " + std::to_string(to) +
                                ": frames count from 0, forward",
                            2);
    if (indexed_ && to >= frames_)
        pastTheEnd(to, frames_);
    const bool ahead = next_ >= 0 && next_ <= from && from - next_ <= forwardReach;
    if (!ahead) {
        if (indexed_) {
            const int64_t time = index_->times[static_cast<size_t>(from)];
            auto key = std::upper_bound(index_->keyTimes.begin(), index_->keyTimes.end(), time);
            reader_->seek(key == index_->keyTimes.begin() ? index_->keyTimes.front() : *(key - 1));
            next_ = -1;
        } else {
            reopen();
        }
    }
    // Where the index fails, decoding goes on from the first frame not yet
    // handed over, so that no frame reaches `each` twice.
    int64_t resume = from;
    for (;;) {
        const AVFrame *picture = reader_->nextFrame();
        if (!picture) {
            if (!indexed_) {
                frames_ = next_;
                next_ = -1;
                pastTheEnd(to, frames_);
            }
            // The index promised more frames than the decoder gave.
            distrustIndex();
            return decode(resume, to, each);
        }
        int64_t number = next_;
        if (indexed_) {
            number = numberOf(picture->pts);
            // A time the index lacks, or a frame the decoder dropped: the
            // index no longer numbers frames as a run does.
            if (number < 0 || (next_ >= 0 && number != next_)) {
                distrustIndex();
                return decode(resume, to, each);
            }
        }
        next_ = number + 1;
        if (!indexed_)
            frames_ = std::max(frames_, next_);
        if (number < from)
            continue;
        each(*picture, number);
        resume = number + 1;
        if (number >= to)
            return;
    }
}

} // namespace pendra::web
