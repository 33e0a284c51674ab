#include "cli/region_filter.h"

#include "module/filter_settings.h"
#include "process/frame_range.h"

namespace pendra::cli {

namespace {

FilterSettings &settingsOf(FilterSession &session) {
    return session.instance().dataAs<FilterSettings>();
}

FramePtr newReference(const AVFrame &picture) {
    FramePtr copy = makeFrame();
    if (av_frame_ref(copy.get(), &picture) < 0)
        throw CliError("out of memory");
    return copy;
}

} // namespace

RegionFilter::RegionFilter(const FilterChain &chain, const AVFrame &first,
                           const std::string &videoName)
    : chain_(chain), view_(makeFrame()), regionOut_(makeFrame()) {
    const auto decoded = static_cast<AVPixelFormat>(first.format);
    const AVPixelFormat format = PictureRegion::workableFormatFor(decoded);
    if (format != decoded)
        toWorkable_ =
            std::make_unique<FormatConverter>(first, format, first.colorspace, first.color_range);
    if (chain_.empty())
        return; // every picture passes as decoded
    std::vector<PixelRect> rectangles;
    for (FilterSession *session : chain_) {
        session->checkRectangle(first.width, first.height, videoName);
        const FilterSession::Rectangle &r = session->rectangle();
        rectangles.push_back({r.x, r.y, r.width, r.height});
    }
    region_ = std::make_unique<PictureRegion>(format, first.width, first.height, rectangles);
    const PixelRect &area = region_->area();
    try {
        // Each filter sees a video the size of the region, its rectangle where
        // it lies in the region: it reads and writes nothing outside its rectangle.
        for (FilterSession *session : chain_) {
            FilterSettings &s = settingsOf(*session);
            positions_.push_back({session, s.x, s.y});
            s.x -= area.x;
            s.y -= area.y;
            session->start(area.width, area.height);
        }
    } catch (...) {
        restorePositions();
        throw;
    }
    input_ = host::FrameBuffer(area.width, area.height);
    fromModule_ = std::make_unique<FromModulePixels>(area.width, area.height, format,
                                                     first.colorspace, first.color_range);
}

RegionFilter::~RegionFilter() {
    restorePositions();
}

void RegionFilter::restorePositions() {
    for (const Position &p : positions_) {
        settingsOf(*p.session).x = p.x;
        settingsOf(*p.session).y = p.y;
    }
}

FramePtr RegionFilter::process(const AVFrame &decoded, int64_t number,
                               const FrameObserver &observer) {
    const auto frame = static_cast<uint32_t>(number);
    bool anyInRange = false;
    for (FilterSession *session : chain_)
        anyInRange = anyInRange || frameInRange(&settingsOf(*session), frame);
    FramePtr picture;
    if (toWorkable_) {
        picture = makeFrame();
        toWorkable_->convert(decoded, *picture);
        if (av_frame_copy_props(picture.get(), &decoded) < 0)
            throw CliError("out of memory");
    } else {
        picture = newReference(decoded);
    }
    output_ = &input_;
    ran_ = false;
    if (!anyInRange)
        return picture;

    region_->view(*picture, *view_);
    toModule_.convert(*view_, input_);
    av_frame_unref(view_.get());
    for (FilterSession *session : chain_) {
        if (!frameInRange(&settingsOf(*session), frame))
            continue; // the filter would copy the frame and touch nothing else
        session->source().copyPixels(*output_);
        session->run(static_cast<int32_t>(number));
        output_ = &session->destination();
    }
    ran_ = true;
    if (observer)
        observer(number, before(), after());
    if (output_->samePixels(input_))
        return picture; // encoded from the decoded picture itself

    fromModule_->convert(*output_, *regionOut_);
    if (!av_frame_is_writable(picture.get()))
        picture = writableCopy(*picture);
    region_->paste(*regionOut_, *picture);
    return picture;
}

FramePtr RegionFilter::writableCopy(const AVFrame &picture) {
    // A picture of the set that nobody else holds any more (the encoder lets
    // go of each once it has taken it in), or a new one.
    AVFrame *spare = nullptr;
    for (FramePtr &p : spares_)
        if (av_frame_is_writable(p.get())) {
            spare = p.get();
            break;
        }
    if (!spare) {
        spare = spares_.emplace_back(makeFrame()).get();
        spare->format = picture.format;
        spare->width = picture.width;
        spare->height = picture.height;
        if (av_frame_get_buffer(spare, 0) < 0)
            throw CliError("out of memory");
    }
    if (av_frame_copy(spare, &picture) < 0)
        throw CliError("out of memory");
    // The properties (timestamps, side data) go to the new reference alone,
    // so that they do not pile up on the spare from frame to frame.
    FramePtr copy = newReference(*spare);
    if (av_frame_copy_props(copy.get(), &picture) < 0)
        throw CliError("out of memory");
    return copy;
}

RegionPixels RegionFilter::before() const {
    return {input_, region_->area().x, region_->area().y};
}

RegionPixels RegionFilter::after() const {
    return {*output_, region_->area().x, region_->area().y};
}

} // namespace pendra::cli
