#include "web/preview_renderer.h"

#include "cli/interrupt.h"
#include "cli/pixel_convert.h"
#include "cli/region_filter.h"

#include <memory>

namespace pendra::web {

PreviewRenderer::PreviewRenderer(const std::string &input) : input_(input), source_(input) {}

host::FrameBuffer PreviewRenderer::before(int64_t number, const OvertakenCheck &overtaken) {
    host::FrameBuffer picture(source_.width(), source_.height());
    source_.decode(number, number, [&](const AVFrame &frame, int64_t n) {
        if (overtaken && overtaken())
            throw Overtaken{};
        if (n == number)
            cli::ToModulePixels().convert(frame, picture);
    });
    return picture;
}

host::FrameBuffer PreviewRenderer::after(int64_t number, cli::FilterJob &job, int64_t first,
                                         const OvertakenCheck &overtaken) {
    if (!job.inRange(number) || first > number)
        return before(number, overtaken);
    const cli::FilterChain chain = job.chain();
    for (cli::FilterSession *session : chain)
        session->checkRectangle(source_.width(), source_.height(), input_);
    host::FrameBuffer picture(source_.width(), source_.height());
    std::unique_ptr<cli::RegionFilter> filter;
    source_.decode(first, number, [&](const AVFrame &frame, int64_t n) {
        cli::stopIfInterrupted();
        if (overtaken && overtaken())
            throw Overtaken{};
        if (!filter)
            filter = std::make_unique<cli::RegionFilter>(chain, frame, input_);
        cli::FramePtr out = filter->process(frame, n);
        if (n == number)
            cli::ToModulePixels().convert(*out, picture);
    });
    return picture;
}

} // namespace pendra::web
