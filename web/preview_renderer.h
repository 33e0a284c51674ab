// The page's two pictures of a frame: as decoded, and as pendra process
// would encode it with the filters of a job. The filter's repair of a frame
// depends on the frames of its run before it, so the after picture runs the
// filters over every frame from the range's start, as a whole run does;
// frames before the start pass unfiltered and are skipped by seeking. The
// run is kept between requests, so that the next frames with the same
// settings (stepping or playing forward) cost only themselves.
#pragma once

#include "cli/filter_job.h"
#include "cli/pixel_convert.h"
#include "cli/region_filter.h"
#include "host/frame_buffer.h"
#include "web/frame_source.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace pendra::web {

// Thrown out of a render when a newer request has overtaken it.
struct Overtaken {};

// Asked between frames; true stops the render with Overtaken.
using OvertakenCheck = std::function<bool()>;

// The filters for one set of settings, made only when the kept run cannot
// serve: `key` names the settings.
struct JobRequest {
    std::string key;
    std::function<std::unique_ptr<cli::FilterJob>()> make;
};

class PreviewRenderer {
  public:
    explicit PreviewRenderer(const std::string &input);

    FrameSource &source() { return before_; }

    // Frame `number` as decoded, in the module's pixels. May be called while
    // after() works on another thread: it has a decoder of its own.
    host::FrameBuffer before(int64_t number, const OvertakenCheck &overtaken);
    // Frame `number` after the filters: the picture the run would encode.
    // One caller at a time.
    host::FrameBuffer after(int64_t number, const JobRequest &request,
                            const OvertakenCheck &overtaken);

  private:
    // The index read once serves both sources.
    PreviewRenderer(const std::string &input, std::shared_ptr<const FrameIndex> index);

    // A run in progress: its filters and the next frame they expect. The
    // region filter hands the filters back before they end, so it is
    // declared after them.
    struct Run {
        std::string key;
        std::unique_ptr<cli::FilterJob> job;
        std::unique_ptr<cli::RegionFilter> filter;
        int64_t next = 0;
    };

    std::string input_;
    std::mutex beforeLock_;
    FrameSource before_;
    FrameSource after_; // its own, so that before pictures do not move the run's place
    cli::ToModulePixels beforePixels_, afterPixels_; // each keeps its scaler
    std::unique_ptr<Run> run_;
};

} // namespace pendra::web
