// A video read frame by frame into the module's pixel layout, for the
// benchmarks that score outputs against references.
#pragma once

#include "cli/pixel_convert.h"
#include "cli/video_reader.h"
#include "host/frame_buffer.h"

#include <filesystem>
#include <memory>

namespace pendra::bench {

struct DecodedVideo {
    std::unique_ptr<cli::VideoReader> reader;
    cli::ToModulePixels convert;
    host::FrameBuffer frame;

    DecodedVideo(const std::filesystem::path &path, int width, int height)
        : reader(std::make_unique<cli::VideoReader>(path.string())), frame(width, height) {}
    // The next frame into `frame`; false at the end.
    bool next() {
        AVFrame *picture = reader->nextFrame();
        if (!picture)
            return false;
        convert.convert(*picture, frame);
        return true;
    }
    uint32_t at(int x, int line) { return frame.atPicture(x, line); }
};

} // namespace pendra::bench
