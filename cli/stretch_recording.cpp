// The stretch pass's samples gathered during the analysis; see stretch_recording.h.
#include "cli/stretch_recording.h"

#include "analysis/shot_cuts.h"

#include <algorithm>
#include <span>

namespace pendra::cli {

namespace {

// What the recording may hold: the middle's block sums (1.7 KB a frame: ten
// minutes at 25 fps), and the areas' frames. Beyond it, the stretch pass
// decodes the video again.
constexpr size_t layoutBytes = size_t{24} << 20;
constexpr size_t areaBytes = size_t{64} << 20;
// An area whose every frame takes at most this share of the areas' room is
// recorded in every frame: a logo present in part of the video only wants
// frames that the whole video's stride skips.
constexpr size_t everyFrameShare = 4;

size_t pixelsOf(const analysis::Rect &r) {
    return static_cast<size_t>(r.width) * static_cast<size_t>(r.height);
}

} // namespace

StretchRecording::StretchRecording(int width, int height, int64_t frames)
    : width_(width), height_(height), frames_(frames) {}

StretchRecording::Area *StretchRecording::areaFor(const analysis::Rect &grown) {
    for (Area &a : areas_)
        if (a.area == grown)
            return &a;
    // Every frame where there is room, else the fewest frames the pass could
    // keep of it: those over the whole video, with it the only logo. A
    // shorter range or more logos keep a subset only where the stride is a
    // multiple, which samples() checks.
    const std::vector<int64_t> kept =
        thinnedFrames(0, frames_ - 1, sampleCap({AreaSamples{grown, {}}}));
    const size_t frameBytes = pixelsOf(grown) * sizeof(uint32_t);
    const bool everyFrame =
        static_cast<size_t>(frames_) * frameBytes <= areaBytes / everyFrameShare;
    const size_t count = everyFrame ? static_cast<size_t>(frames_) : kept.size();
    const size_t bytes = count * frameBytes;
    if (bytes_ + bytes > areaBytes)
        return nullptr;
    bytes_ += bytes;
    Area a{grown, !everyFrame && kept.size() > 1 ? kept[1] - kept[0] : 1, {}, {}};
    a.pixels.resize(count * pixelsOf(grown));
    a.recorded.resize(count, false);
    areas_.push_back(std::move(a));
    return &areas_.back();
}

void StretchRecording::watch(analysis::FrameSource &source, int64_t frame,
                             const analysis::Rect &area) {
    if (frames_ <= 0)
        return;
    analysis::Picture picture;
    const int64_t next = layoutsFrom_ + static_cast<int64_t>(layoutFrames_);
    if (layoutsOpen_ && (layoutFrames_ == 0 || frame == next)) {
        source.read(middleOf(width_, height_), picture);
        const std::vector<int32_t> sums = analysis::CutFinder::sumsOf(picture);
        if (layoutFrames_ == 0) {
            layoutsFrom_ = frame;
            const size_t most = layoutBytes / (sums.size() * sizeof(int32_t));
            layouts_.reserve(std::min(most, static_cast<size_t>(frames_)) * sums.size());
        }
        if (layouts_.size() + sums.size() > layouts_.capacity()) {
            layoutsOpen_ = false; // beyond what was set aside
        } else {
            layouts_.insert(layouts_.end(), sums.begin(), sums.end());
            ++layoutFrames_;
        }
    } else if (frame > next) {
        layoutsOpen_ = false; // a gap: the frames between were not read
    }
    Area *a = areaFor(withRoom(area, width_, height_));
    if (!a || frame % a->stride != 0)
        return;
    const auto slot = static_cast<size_t>(frame / a->stride);
    if (slot >= a->recorded.size() || a->recorded[slot])
        return;
    source.read(a->area, picture);
    std::copy(picture.pixels.begin(), picture.pixels.end(),
              a->pixels.begin() + static_cast<ptrdiff_t>(slot * picture.pixels.size()));
    a->recorded[slot] = true;
}

std::optional<StretchSamples> StretchRecording::samples(const std::vector<analysis::Rect> &rects,
                                                        int64_t first, int64_t last) const {
    if (layoutFrames_ == 0 || first < layoutsFrom_ ||
        last >= layoutsFrom_ + static_cast<int64_t>(layoutFrames_))
        return std::nullopt;
    StretchSamples s;
    for (const analysis::Rect &r : rects)
        s.logos.push_back({withRoom(r, width_, height_), {}});
    const std::vector<int64_t> wanted = thinnedFrames(first, last, sampleCap(s.logos));
    for (AreaSamples &logo : s.logos) {
        auto recorded = std::find_if(areas_.begin(), areas_.end(),
                                     [&](const Area &a) { return a.area == logo.area; });
        if (recorded == areas_.end())
            return std::nullopt;
        const size_t pixels = pixelsOf(logo.area);
        for (int64_t n : wanted) {
            const auto slot = static_cast<size_t>(n / recorded->stride);
            if (n % recorded->stride != 0 || slot >= recorded->recorded.size() ||
                !recorded->recorded[slot])
                return std::nullopt;
            analysis::Picture picture(logo.area.width, logo.area.height);
            const auto from = recorded->pixels.begin() + static_cast<ptrdiff_t>(slot * pixels);
            std::copy(from, from + static_cast<ptrdiff_t>(pixels), picture.pixels.begin());
            logo.frames.emplace_back(n, std::move(picture));
        }
    }
    const analysis::Rect middle = middleOf(width_, height_);
    const size_t blocks = layouts_.size() / layoutFrames_;
    analysis::CutFinder finder(first);
    for (int64_t n = first; n <= last; ++n) {
        const auto from = layouts_.begin() +
                          static_cast<ptrdiff_t>(static_cast<size_t>(n - layoutsFrom_) * blocks);
        finder.addSums(std::span<const int32_t>(&*from, blocks), middle.width, middle.height);
    }
    s.cuts = finder.cuts();
    return s;
}

} // namespace pendra::cli
