#include "cli/process_video.h"

#include "cli/interrupt.h"
#include "cli/outline.h"
#include "cli/picture_writer.h"
#include "cli/progress.h"
#include "cli/stage_queue.h"
#include "cli/video_reader.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>

namespace pendra::cli {

namespace {

// What passes from stage to stage, in the input's order: a picture, or a
// packet of another stream to copy.
struct StageItem {
    FramePtr picture;
    PacketPtr packet;
};

// One item waits between two stages: enough for each stage to have a picture
// of its own at hand, few enough to hold less memory than the ffmpeg command
// (each 1080p picture is 3 MB; a hand-over without a queue cost 3 % of the
// speed at x264's fastest preset for 3 MB less).
constexpr size_t queueLength = 1;

FramePtr newReference(const AVFrame &picture) {
    FramePtr copy = makeFrame();
    if (av_frame_ref(copy.get(), &picture) < 0)
        throw CliError("out of memory");
    return copy;
}

PacketPtr takePacket(AVPacket &packet) {
    PacketPtr copy = makePacket();
    av_packet_move_ref(copy.get(), &packet);
    return copy;
}

void checkSize(const AVFrame &picture, int width, int height, const std::string &input) {
    if (picture.width != width || picture.height != height)
        throw CliError(input + ": the picture size changes within the video, which is not "
                               "supported");
}

// Stops every queue when it goes out of scope, so that no stage waits for
// another that has ended; declared after the stages, it runs before they join.
struct StopOnExit {
    std::function<void()> stop;
    ~StopOnExit() { stop(); }
};

} // namespace

ProcessSummary processVideo(const std::string &input, const std::string &output,
                            const FilterChain &chain, const EncoderChoice &encoder,
                            const FrameObserver &observer) {
    VideoReader reader(input);
    const int w = reader.width(), h = reader.height();
    for (FilterSession *session : chain)
        session->checkRectangle(w, h, input);
    VideoWriter writer(output, reader, encoder);

    // The first picture starts the filters on its format; what comes before it goes first.
    std::vector<StageItem> early;
    reader.setOtherPacketSink([&early](AVPacket &packet) {
        early.push_back({nullptr, takePacket(packet)});
    });
    const AVFrame *first = reader.nextFrame();
    if (!first) {
        writer.finish(); // says that there are no frames
        return {};
    }
    checkSize(*first, w, h, input);
    RegionFilter filter(chain, *first, input);
    early.push_back({newReference(*first), nullptr});

    StageQueue<StageItem> decoded(queueLength), filtered(queueLength);
    auto stopAll = [&] {
        decoded.stop();
        filtered.stop();
    };
    StageThread decoding(
        [&] {
            for (StageItem &item : early)
                if (!decoded.push(std::move(item)))
                    return;
            early.clear();
            reader.setOtherPacketSink([&decoded](AVPacket &packet) {
                decoded.push({nullptr, takePacket(packet)});
            });
            while (AVFrame *picture = reader.nextFrame()) {
                stopIfInterrupted();
                checkSize(*picture, w, h, input);
                // Taken over, not shared: the reader holds no picture the decoder must replace.
                FramePtr own = makeFrame();
                av_frame_move_ref(own.get(), picture);
                if (!decoded.push({std::move(own), nullptr}))
                    return;
            }
            decoded.close();
        },
        stopAll);
    StageThread filtering(
        [&] {
            int64_t number = 0;
            while (std::optional<StageItem> item = decoded.pop()) {
                if (item->picture)
                    item->picture = filter.process(*item->picture, number++, observer);
                if (!filtered.push(std::move(*item)))
                    return;
            }
            filtered.close();
        },
        stopAll);
    StopOnExit stopOnExit{stopAll};

    Progress progress("pendra", reader.expectedFrames());
    ProcessSummary summary;
    while (std::optional<StageItem> item = filtered.pop()) {
        stopIfInterrupted();
        if (item->packet) {
            writer.copyPacket(*item->packet);
            continue;
        }
        writer.writeFrame(*item->picture);
        progress.update(++summary.frames);
    }
    decoding.join();
    filtering.join();
    for (const StageThread *stage : {&decoding, &filtering})
        if (stage->error())
            std::rethrow_exception(stage->error());
    stopIfInterrupted();
    // Input that stops early (a file cut short, a pipe whose writer went away)
    // reads cleanly up to where it stops; only its container tells.
    reader.checkComplete();
    writer.finish();
    progress.finish();
    summary.droppedStreams = writer.droppedStreams();
    summary.skippedPackets = reader.skippedPackets();
    return summary;
}

namespace {

// A frame-sized outline two pixels wide just outside the rectangle, clipped
// to the picture, drawn into `canvas` whose left edge is at `offset`.
void markRectangle(host::FrameBuffer &canvas, int offset, int pictureWidth, int pictureHeight,
                   const FilterSession::Rectangle &r) {
    const uint32_t yellow = 0xFFE000;
    forEachOutlinePixel(r.x, r.y, r.width, r.height, 1, 2, [&](int x, int line) {
        if (x >= 0 && x < pictureWidth && line >= 0 && line < pictureHeight)
            canvas.atPicture(offset + x, line) = yellow;
    });
}

} // namespace

void previewFrame(const std::string &input, int64_t number, const std::string &picturePath,
                  const FilterChain &chain) {
    VideoReader reader(input);
    const int w = reader.width(), h = reader.height();
    for (FilterSession *session : chain)
        session->checkRectangle(w, h, input);
    Progress progress("pendra", number + 1);
    std::unique_ptr<RegionFilter> filter;
    host::FrameBuffer before(w, h);
    int64_t done = 0;
    for (;;) {
        stopIfInterrupted();
        const AVFrame *picture = reader.nextFrame();
        if (!picture)
            throw CliError(input + ": has only " + std::to_string(done) + " frames; frame " +
                           std::to_string(number) + " is past its end (frames count from 0)");
        checkSize(*picture, w, h, input);
        if (!filter)
            filter = std::make_unique<RegionFilter>(chain, *picture, input);
        if (done == number)
            ToModulePixels().convert(*picture, before);
        filter->process(*picture, done);
        progress.update(++done);
        if (done > number)
            break;
    }
    progress.finish();
    // The filters wrote their region alone; the rest of the picture is as decoded.
    host::FrameBuffer after(w, h);
    after.copyPixels(before);
    if (filter->ran()) {
        const RegionPixels filtered = filter->after();
        for (FilterSession *session : chain) {
            const FilterSession::Rectangle &r = session->rectangle();
            for (int line = r.y; line < r.y + r.height; ++line)
                for (int x = r.x; x < r.x + r.width; ++x)
                    after.atPicture(x, line) = filtered.atPicture(x, line);
        }
    }

    const int gap = 16;
    host::FrameBuffer canvas(2 * w + gap, h);
    canvas.fill(0x202020);
    for (int line = 0; line < h; ++line)
        for (int x = 0; x < w; ++x) {
            canvas.atPicture(x, line) = before.atPicture(x, line);
            canvas.atPicture(w + gap + x, line) = after.atPicture(x, line);
        }
    for (FilterSession *session : chain) {
        markRectangle(canvas, 0, w, h, session->rectangle());
        markRectangle(canvas, w + gap, w, h, session->rectangle());
    }
    writePicture(picturePath, canvas);
}

} // namespace pendra::cli
