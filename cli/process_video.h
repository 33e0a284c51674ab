// The work of `pendra process`: every frame of the input through the chain of
// filters, in decoding order and numbered from 0, into the output file.
// Decoding, filtering and encoding run on threads of their own, joined by
// short queues, so that the filter's work overlaps the codecs'.
#pragma once

#include "cli/region_filter.h"
#include "cli/video_writer.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pendra::cli {

struct ProcessSummary {
    int64_t frames = 0;
    std::vector<std::string> droppedStreams;
    int skippedPackets = 0;
};

// Runs the configured chain over `input` into `output`; throws CliError. The
// observer (called on the filtering thread) sees the region of each frame that
// a filter ran on, as the first filter got it and the last one left it.
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
