#include "cli/process_video.h"

#include "cli/interrupt.h"
#include "cli/picture_writer.h"
#include "cli/pixel_convert.h"
#include "cli/progress.h"
#include "cli/video_reader.h"

#include <algorithm>

namespace pendra::cli {

ProcessSummary processVideo(const std::string &input, const std::string &output,
                            const FilterChain &chain, const EncoderChoice &encoder,
                            const FrameObserver &observer) {
    VideoReader reader(input);
    int w = reader.width(), h = reader.height();
    for (FilterSession *session : chain) {
        session->checkRectangle(w, h, input);
        session->start(w, h);
    }
    VideoWriter writer(output, reader, encoder);
    reader.setOtherPacketSink([&writer](AVPacket &packet) { writer.copyPacket(packet); });

    ToModulePixels toModule;
    Progress progress("pendra", reader.expectedFrames());
    ProcessSummary summary;
    while (AVFrame *picture = reader.nextFrame()) {
        stopIfInterrupted();
        if (picture->width != w || picture->height != h)
            throw CliError(input + ": the picture size changes within the video, which is not "
                                   "supported");
        toModule.convert(*picture, chain.front()->source());
        for (size_t i = 0; i < chain.size(); ++i) {
            if (i > 0)
                chain[i]->source().copyPixels(chain[i - 1]->destination());
            chain[i]->run(static_cast<int32_t>(summary.frames));
        }
        const host::FrameBuffer &result = chain.back()->destination();
        bool unchanged = result.samePixels(chain.front()->source());
        if (observer)
            observer(summary.frames, chain.front()->source(), result);
        writer.writeFrame(result, *picture, unchanged);
        progress.update(++summary.frames);
    }
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
    for (int ring = 1; ring <= 2; ++ring) {
        int left = r.x - ring, right = r.x + r.width - 1 + ring;
        int top = r.y - ring, bottom = r.y + r.height - 1 + ring;
        auto plot = [&](int x, int line) {
            if (x >= 0 && x < pictureWidth && line >= 0 && line < pictureHeight)
                canvas.atPicture(offset + x, line) = yellow;
        };
        for (int x = left; x <= right; ++x) {
            plot(x, top);
            plot(x, bottom);
        }
        for (int line = top; line <= bottom; ++line) {
            plot(left, line);
            plot(right, line);
        }
    }
}

} // namespace

void previewFrame(const std::string &input, int64_t number, const std::string &picturePath,
                  const FilterChain &chain) {
    VideoReader reader(input);
    int w = reader.width(), h = reader.height();
    for (FilterSession *session : chain) {
        session->checkRectangle(w, h, input);
        session->start(w, h);
    }
    ToModulePixels toModule;
    Progress progress("pendra", number + 1);
    int64_t done = 0;
    for (;;) {
        stopIfInterrupted();
        AVFrame *picture = reader.nextFrame();
        if (!picture)
            throw CliError(input + ": has only " + std::to_string(done) + " frames; frame " +
                           std::to_string(number) + " is past its end (frames count from 0)");
        if (picture->width != w || picture->height != h)
            throw CliError(input + ": the picture size changes within the video, which is not "
                                   "supported");
        toModule.convert(*picture, chain.front()->source());
        for (size_t i = 0; i < chain.size(); ++i) {
            if (i > 0)
                chain[i]->source().copyPixels(chain[i - 1]->destination());
            chain[i]->run(static_cast<int32_t>(done));
        }
        progress.update(++done);
        if (done > number)
            break;
    }
    progress.finish();

    const int gap = 16;
    host::FrameBuffer canvas(2 * w + gap, h);
    canvas.fill(0x202020);
    for (int line = 0; line < h; ++line)
        for (int x = 0; x < w; ++x) {
            canvas.atPicture(x, line) = chain.front()->source().at(h - 1 - line, x);
            canvas.atPicture(w + gap + x, line) = chain.back()->destination().at(h - 1 - line, x);
        }
    for (FilterSession *session : chain) {
        markRectangle(canvas, 0, w, h, session->rectangle());
        markRectangle(canvas, w + gap, w, h, session->rectangle());
    }
    writePicture(picturePath, canvas);
}

} // namespace pendra::cli
