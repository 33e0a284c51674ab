// The repair-only estimate from a mark's persistent edges (see repair_shape.h).
#include "analysis/repair_shape.h"

#include <algorithm>

namespace pendra::analysis {

namespace {

// Pixels added around the filled mark: the faint tail of anti-aliased edges.
constexpr int grow = 1;

// The edges with everything they enclose: what the rectangle's border cannot
// reach through non-edge pixels.
std::vector<uint8_t> filled(const std::vector<uint8_t> &edges, int width, int height) {
    std::vector<uint8_t> outside(edges.size(), 0);
    std::vector<int> stack;
    auto reach = [&](int x, int y) {
        const int k = y * width + x;
        if (!edges[k] && !outside[k]) {
            outside[k] = 1;
            stack.push_back(k);
        }
    };
    for (int x = 0; x < width; ++x)
        reach(x, 0), reach(x, height - 1);
    for (int y = 0; y < height; ++y)
        reach(0, y), reach(width - 1, y);
    while (!stack.empty()) {
        const int k = stack.back(), x = k % width, y = k / width;
        stack.pop_back();
        if (x > 0)
            reach(x - 1, y);
        if (x + 1 < width)
            reach(x + 1, y);
        if (y > 0)
            reach(x, y - 1);
        if (y + 1 < height)
            reach(x, y + 1);
    }
    std::vector<uint8_t> inside(edges.size());
    for (size_t k = 0; k < inside.size(); ++k)
        inside[k] = !outside[k];
    return inside;
}

} // namespace

LogoEstimate repairEstimate(const std::vector<uint8_t> &edges, const Rect &rect,
                            std::vector<PresenceRange> presence, const std::string &why) {
    const int w = rect.width, h = rect.height;
    LogoEstimate e;
    e.rect = rect;
    e.repairOnly = true;
    e.why = why;
    e.black = Picture(w, h, 0x000000);
    e.white = Picture(w, h, 0xFFFFFF);
    e.mask = Picture(w, h, 0x000000);
    e.opacity.assign(static_cast<size_t>(w) * h, 0.0f);
    const std::vector<uint8_t> shape = filled(edges, w, h);
    // The outermost line stays clean: it holds the key colours and gives the
    // repair a clean pixel on every side.
    for (int y = 1; y + 1 < h; ++y)
        for (int x = 1; x + 1 < w; ++x) {
            bool near = false;
            for (int v = std::max(0, y - grow); v <= std::min(h - 1, y + grow) && !near; ++v)
                for (int u = std::max(0, x - grow); u <= std::min(w - 1, x + grow) && !near; ++u)
                    near = shape[static_cast<size_t>(v) * w + u] != 0;
            if (near) {
                e.mask.at(x, y) = 0xFFFFFF;
                ++e.stats.repairPixels;
            }
        }
    if (e.stats.repairPixels > 0)
        e.presence = std::move(presence);
    return e;
}

} // namespace pendra::analysis
