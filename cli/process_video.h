// The work of `pendra process`: every frame of the input through the filter,
// in decoding order and numbered from 0, into the output file.
#pragma once

#include "cli/filter_session.h"
#include "cli/video_writer.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace pendra::cli {

// Sees each frame before and after the filter (the demo measures with it).
using FrameObserver = std::function<void(int64_t number, const host::FrameBuffer &before,
                                         const host::FrameBuffer &after)>;

struct ProcessSummary {
    int64_t frames = 0;
    std::vector<std::string> droppedStreams;
    int skippedPackets = 0;
};

// The filters of a job in the order the video host runs them: each takes the
// frame the one before it made.
using FilterChain = std::vector<FilterSession *>;

// Runs the configured chain over `input` into `output`; throws CliError. The
// observer sees the first filter's input and the last one's output.
ProcessSummary processVideo(const std::string &input, const std::string &output,
                            const FilterChain &chain, const EncoderChoice &encoder,
                            const FrameObserver &observer = {});

// Frame `number` of `input` before and after the chain, side by side with
// each logo rectangle marked, as a picture in the format its name asks for.
// Every frame before it is filtered too, since a frame's repair depends on
// the frames before it in the run.
void previewFrame(const std::string &input, int64_t number, const std::string &picturePath,
                  const FilterChain &chain);

} // namespace pendra::cli
