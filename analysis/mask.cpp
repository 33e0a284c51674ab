// The bitmap set from the fitted blend (see mask.h).
#include "analysis/mask.h"

#include "analysis/pixel_channels.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>

namespace pendra::analysis {

namespace {

// A fit this much worse than the logo's typical one (and above a floor, in
// levels) marks an object that crossed the logo, or a pixel the blend model
// does not describe: it is repaired instead.
constexpr double poorFitFactor = 3.0;
constexpr double poorFitFloor = 6.0;

int level(double v, int low, int high) {
    return std::clamp(static_cast<int>(std::lround(v)), low, high);
}

} // namespace

Captures buildCaptures(const std::vector<PixelEstimate> &estimates, int width, int height) {
    Captures out;
    out.black = Picture(width, height, 0x000000);
    out.white = Picture(width, height, 0xFFFFFF);
    out.mask = Picture(width, height, 0x000000);
    auto index = [width](int x, int y) { return static_cast<size_t>(y) * width + x; };
    auto border = [&](int x, int y) {
        return x == 0 || y == 0 || x == width - 1 || y == height - 1;
    };

    std::vector<uint8_t> logo(estimates.size(), 0);
    std::vector<double> fits;
    double sum = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const PixelEstimate &e = estimates[index(x, y)];
            if (e.opacity <= logoOpacity)
                continue;
            ++out.stats.logoPixels;
            sum += e.opacity;
            out.stats.max = std::max(out.stats.max, e.opacity);
            fits.push_back(e.rms);
            // Grown by one pixel: the faint tail of an anti-aliased edge goes with the logo.
            for (int v = std::max(0, y - 1); v <= std::min(height - 1, y + 1); ++v)
                for (int u = std::max(0, x - 1); u <= std::min(width - 1, x + 1); ++u)
                    logo[index(u, v)] = 1;
        }
    if (out.stats.logoPixels > 0)
        out.stats.mean = sum / out.stats.logoPixels;
    double typicalFit = 0;
    if (!fits.empty()) {
        std::nth_element(fits.begin(), fits.begin() + static_cast<ptrdiff_t>(fits.size() / 2),
                         fits.end());
        typicalFit = fits[fits.size() / 2];
    }
    const double poorFit = std::fmax(poorFitFloor, poorFitFactor * typicalFit);

    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            size_t k = index(x, y);
            if (!logo[k] || border(x, y))
                continue;
            const PixelEstimate &e = estimates[k];
            int black[3], white[3];
            for (int c = 0; c < 3; ++c) {
                // Never 0: a channel at the black key would exempt the pixel from un-blending.
                black[c] = level(e.premultiplied[c], 1, 255);
                white[c] = level((1 - e.opacity) * 255 + e.premultiplied[c], 0, 255);
            }
            out.black.at(x, y) = packRgb(black[0], black[1], black[2]);
            out.white.at(x, y) = packRgb(white[0], white[1], white[2]);
            out.mask.at(x, y) = 0xFFFFFF;
            if (e.opacity >= repairOpacity || (e.opacity > logoOpacity && e.rms > poorFit))
                ++out.stats.repairPixels;
        }
    return out;
}

namespace {

// Lines along the rectangle's sides a grown mask never reaches.
constexpr int keepClear = 2;

} // namespace

Picture grownMask(const Picture &mask, int by) {
    Picture grown = mask;
    for (int step = 0; step < by; ++step) {
        const Picture before = grown;
        for (int y = keepClear; y < mask.height - keepClear; ++y)
            for (int x = keepClear; x < mask.width - keepClear; ++x) {
                bool near = false;
                for (int v = y - 1; v <= y + 1 && !near; ++v)
                    for (int u = x - 1; u <= x + 1 && !near; ++u)
                        near = (before.at(u, v) & 0xFF) >= 128;
                if (near)
                    grown.at(x, y) = 0xFFFFFF;
            }
    }
    return grown;
}

Picture rimMask(const std::vector<float> &opacity, const Picture &mask) {
    const int width = mask.width, height = mask.height;
    std::vector<uint8_t> edge(opacity.size(), 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const size_t k = static_cast<size_t>(y) * width + x;
            for (const auto &[dx, dy] : {std::pair{1, 0}, std::pair{0, 1}}) {
                if (x + dx >= width || y + dy >= height)
                    continue;
                const size_t n = static_cast<size_t>(y + dy) * width + x + dx;
                if (std::fabs(opacity[k] - opacity[n]) >= rimStep)
                    edge[k] = edge[n] = 1;
            }
        }
    Picture rim(width, height);
    for (int y = 1; y + 1 < height; ++y)
        for (int x = 1; x + 1 < width; ++x) {
            if ((mask.at(x, y) & 0xFF) < 128)
                continue;
            bool near = opacity[static_cast<size_t>(y) * width + x] >= rimOpacity;
            for (int v = y - 1; v <= y + 1 && !near; ++v)
                for (int u = x - 1; u <= x + 1 && !near; ++u)
                    near = edge[static_cast<size_t>(v) * width + u] != 0;
            if (near)
                rim.at(x, y) = 0xFFFFFF;
        }
    return rim;
}

} // namespace pendra::analysis
