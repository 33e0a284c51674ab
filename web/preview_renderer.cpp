#include "web/preview_renderer.h"

#include "cli/interrupt.h"

namespace pendra::web {

PreviewRenderer::PreviewRenderer(const std::string &input)
    : PreviewRenderer(input, FrameIndex::of(input)) {}

PreviewRenderer::PreviewRenderer(const std::string &input, std::shared_ptr<const FrameIndex> index)
    : input_(input), before_(input, index), after_(input, index) {}

host::FrameBuffer PreviewRenderer::before(int64_t number, const OvertakenCheck &overtaken) {
    host::FrameBuffer picture(before_.width(), before_.height());
    std::lock_guard<std::mutex> lock(beforeLock_);
    if (overtaken && overtaken())
        throw Overtaken{};
    before_.decode(number, number, [&](const AVFrame &frame, int64_t n) {
        if (overtaken && overtaken())
            throw Overtaken{};
        if (n == number)
            beforePixels_.convert(frame, picture);
    });
    return picture;
}

host::FrameBuffer PreviewRenderer::after(int64_t number, const JobRequest &request,
                                         const OvertakenCheck &overtaken) {
    const bool goesOn = run_ && run_->key == request.key && run_->next <= number;
    if (!goesOn) {
        run_.reset();
        auto run = std::make_unique<Run>();
        run->key = request.key;
        run->job = request.make();
        run->next = run->job->firstFrame();
        for (cli::FilterSession *session : run->job->chain())
            session->checkRectangle(after_.width(), after_.height(), input_);
        run_ = std::move(run);
    }
    if (!run_->job->inRange(number))
        return before(number, overtaken);

    host::FrameBuffer picture(after_.width(), after_.height());
    try {
        after_.decode(run_->next, number, [&](const AVFrame &frame, int64_t n) {
            cli::stopIfInterrupted();
            if (overtaken && overtaken())
                throw Overtaken{};
            if (!run_->filter)
                run_->filter =
                    std::make_unique<cli::RegionFilter>(run_->job->chain(), frame, input_);
            cli::FramePtr out = run_->filter->process(frame, n);
            run_->next = n + 1;
            if (n == number)
                afterPixels_.convert(*out, picture);
        });
    } catch (const Overtaken &) {
        throw; // the run stands where it stopped, ready to go on
    } catch (...) {
        run_.reset();
        throw;
    }
    return picture;
}

} // namespace pendra::web
