// The pass that finds cuts and keeps samples of the logos' rectangles; see stretch_samples.h.
#include "cli/stretch_samples.h"

#include <algorithm>
#include <iterator>

namespace pendra::cli {

namespace {

constexpr int roomAround = 8;             // pixels kept around a rectangle
constexpr size_t sampleBytes = 48u << 20; // what the kept samples may take, all logos
constexpr size_t leastSamples = 16;
constexpr size_t mostSamples = 240;

} // namespace

analysis::Rect withRoom(const analysis::Rect &r, int width, int height) {
    const int x = std::max(0, r.x - roomAround), y = std::max(0, r.y - roomAround);
    return {x, y, std::min(width, r.x + r.width + roomAround) - x,
            std::min(height, r.y + r.height + roomAround) - y};
}

analysis::Rect middleOf(int width, int height) {
    return {width / 4, height / 4, std::max(1, width / 2), std::max(1, height / 2)};
}

namespace {

// Keeps every stride-th frame, doubling the stride (and dropping every other
// sample) whenever the samples would exceed the cap.
class Thinning {
  public:
    Thinning(int64_t first, size_t cap) : first_(first), cap_(cap) {}
    bool wanted(int64_t frame) const { return (frame - first_) % stride_ == 0; }
    void afterKeeping(StretchSamples &s) {
        if (s.logos.empty() || s.logos[0].frames.size() <= cap_)
            return;
        stride_ *= 2;
        for (AreaSamples &a : s.logos)
            std::erase_if(a.frames, [this](const auto &f) { return !wanted(f.first); });
    }

  private:
    int64_t first_;
    size_t cap_;
    int64_t stride_ = 1;
};

} // namespace

size_t sampleCap(const std::vector<AreaSamples> &logos) {
    size_t bytes = 0;
    for (const AreaSamples &a : logos)
        bytes += static_cast<size_t>(a.area.width) * static_cast<size_t>(a.area.height) * 4;
    return std::clamp(bytes > 0 ? sampleBytes / bytes : mostSamples, leastSamples, mostSamples);
}

std::vector<int64_t> thinnedFrames(int64_t first, int64_t last, size_t cap) {
    StretchSamples s;
    s.logos.resize(1);
    Thinning thinning(first, cap);
    for (int64_t n = first; n <= last; ++n)
        if (thinning.wanted(n)) {
            s.logos[0].frames.emplace_back(n, analysis::Picture());
            thinning.afterKeeping(s);
        }
    std::vector<int64_t> frames;
    for (const auto &f : s.logos[0].frames)
        frames.push_back(f.first);
    return frames;
}

namespace {

// One pass over first..last: the middle of every frame to the cut finder,
// and the rectangles of the frames the thinning keeps as it goes. With
// `kept` (ascending), only those frames' rectangles are converted; the
// others' stand empty until the thinning drops them.
StretchSamples samplePass(analysis::FrameSource &source, const std::vector<analysis::Rect> &rects,
                          int64_t first, int64_t last, const std::function<void(double)> &progress,
                          const std::vector<int64_t> *kept) {
    StretchSamples s;
    for (const analysis::Rect &r : rects)
        s.logos.push_back({withRoom(r, source.width(), source.height()), {}});
    const analysis::Rect middle = middleOf(source.width(), source.height());
    analysis::CutFinder finder(first);
    Thinning thinning(first, sampleCap(s.logos));
    analysis::Picture picture;
    auto next = kept ? kept->begin() : std::vector<int64_t>::const_iterator{};
    source.rewind();
    for (int64_t n = 0; n <= last && source.advance(); ++n) {
        if (n < first)
            continue;
        source.read(middle, picture);
        finder.add(picture);
        if (thinning.wanted(n)) {
            const bool convert = !kept || (next != kept->end() && *next == n);
            if (kept && convert)
                ++next;
            for (AreaSamples &a : s.logos) {
                if (convert)
                    source.read(a.area, picture);
                a.frames.emplace_back(n, convert ? picture : analysis::Picture());
            }
            thinning.afterKeeping(s);
        }
        if (progress && last > first)
            progress(static_cast<double>(n - first) / static_cast<double>(last - first));
    }
    s.cuts = finder.cuts();
    return s;
}

} // namespace

StretchSamples gatherStretchSamples(analysis::FrameSource &source,
                                    const std::vector<analysis::Rect> &rects, int64_t first,
                                    int64_t last, const std::function<void(double)> &progress) {
    // Of the frames the thinning takes, it keeps only those it would keep
    // over first..last, known before: the rest are not converted.
    std::vector<AreaSamples> areas;
    for (const analysis::Rect &r : rects)
        areas.push_back({withRoom(r, source.width(), source.height()), {}});
    const std::vector<int64_t> kept = thinnedFrames(first, last, sampleCap(areas));
    StretchSamples s = samplePass(source, rects, first, last, progress, &kept);
    const bool complete = std::all_of(s.logos.begin(), s.logos.end(), [](const AreaSamples &a) {
        return std::all_of(a.frames.begin(), a.frames.end(),
                           [](const auto &f) { return !f.second.pixels.empty(); });
    });
    // A video that ends before `last` is thinned less: a pass converts them all.
    return complete ? s : samplePass(source, rects, first, last, progress, nullptr);
}

std::vector<const analysis::Picture *> framesWithin(const AreaSamples &samples, int64_t first,
                                                    int64_t last, size_t count,
                                                    const std::vector<int64_t> &shotStarts) {
    std::vector<size_t> inside;
    for (size_t i = 0; i < samples.frames.size(); ++i)
        if (samples.frames[i].first >= first && samples.frames[i].first <= last)
            inside.push_back(i);
    std::vector<size_t> chosen;
    if (inside.size() <= count) {
        chosen = inside;
    } else {
        for (size_t i = 0; i < count; ++i)
            chosen.push_back(inside[(2 * i + 1) * inside.size() / (2 * count)]);
        for (size_t s = 0; s < shotStarts.size(); ++s) {
            const int64_t from = std::max(first, shotStarts[s]);
            const int64_t to = s + 1 < shotStarts.size() ? shotStarts[s + 1] - 1 : last;
            auto in = [&](size_t i) {
                return samples.frames[i].first >= from && samples.frames[i].first <= to;
            };
            std::vector<size_t> shot;
            std::copy_if(inside.begin(), inside.end(), std::back_inserter(shot), in);
            if (!shot.empty() && std::none_of(chosen.begin(), chosen.end(), in))
                chosen.push_back(shot[shot.size() / 2]);
        }
    }
    std::vector<const analysis::Picture *> frames;
    for (size_t i : chosen)
        frames.push_back(&samples.frames[i].second);
    return frames;
}

} // namespace pendra::cli
