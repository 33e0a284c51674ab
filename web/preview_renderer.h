// The page's two pictures of a frame: as decoded, and as pendra process
// would encode it with the filters of a job. The filter's repair of a frame
// depends on the frames of its run before it, so the after picture runs the
// filters over every frame from the range's start, as a whole run does;
// frames before the start pass unfiltered and are skipped by seeking.
#pragma once

#include "cli/filter_job.h"
#include "host/frame_buffer.h"
#include "web/frame_source.h"

#include <cstdint>
#include <functional>
#include <string>

namespace pendra::web {

// Thrown out of a render when a newer request has overtaken it.
struct Overtaken {};

// Asked between frames; true stops the render with Overtaken.
using OvertakenCheck = std::function<bool()>;

class PreviewRenderer {
  public:
    explicit PreviewRenderer(const std::string &input);

    const std::string &input() const { return input_; }
    FrameSource &source() { return source_; }

    // Frame `number` as decoded, in the module's pixels.
    host::FrameBuffer before(int64_t number, const OvertakenCheck &overtaken);
    // Frame `number` after the job's filters, whose ranges begin at `first`
    // (the earliest start among them): the picture the run would encode.
    host::FrameBuffer after(int64_t number, cli::FilterJob &job, int64_t first,
                            const OvertakenCheck &overtaken);

  private:
    std::string input_;
    FrameSource source_;
};

} // namespace pendra::web
