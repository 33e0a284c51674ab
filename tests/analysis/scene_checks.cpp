// Accuracy of an analysis result against a generated logo (see scene_checks.h).
#include "tests/analysis/scene_checks.h"

#include "analysis/frame_pass.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace pendra::test {

namespace {
int channelOf(uint32_t p, int c) {
    return static_cast<int>((p >> (16 - 8 * c)) & 255u);
}
} // namespace

Accuracy accuracy(const analysis::LogoEstimate &result, const GeneratedLogo &logo) {
    Accuracy a;
    const analysis::Rect &r = result.rect;
    double sum = 0;
    int count = 0;
    for (int y = 0; y < r.height; ++y)
        for (int x = 0; x < r.width; ++x) {
            double truth = logo.at(r.x + x, r.y + y);
            double found = result.opacity[static_cast<size_t>(y) * r.width + x];
            if (truth > 0) {
                sum += std::fabs(found - truth);
                ++count;
            }
            // Captures matter where the module un-blends.
            if (truth < 0.03 || result.mask.at(x, y) == 0)
                continue;
            uint32_t black = logo.overBlack(r.x + x, r.y + y);
            for (int c = 0; c < 3; ++c) {
                int trueBlack = channelOf(black, c);
                int trueWhite = static_cast<int>(
                    std::lround((1 - truth) * 255 + truth * channelOf(logo.colour, c)));
                a.worstBlack = std::max(a.worstBlack, std::abs(channelOf(result.black.at(x, y), c) -
                                                               std::max(1, trueBlack)));
                a.worstWhite = std::max(a.worstWhite,
                                        std::abs(channelOf(result.white.at(x, y), c) - trueWhite));
            }
        }
    a.meanOpacityError = count > 0 ? sum / count : 1;
    return a;
}

bool holds(const analysis::Rect &rect, const GeneratedLogo &logo, int &slack) {
    int left = logo.width, top = logo.height, right = -1, bottom = -1;
    for (int y = 0; y < logo.height; ++y)
        for (int x = 0; x < logo.width; ++x)
            if (logo.opacity[static_cast<size_t>(y) * logo.width + x] > 0) {
                left = std::min(left, x), right = std::max(right, x);
                top = std::min(top, y), bottom = std::max(bottom, y);
            }
    left += logo.x, right += logo.x, top += logo.y, bottom += logo.y;
    slack = std::max({left - rect.x, top - rect.y, rect.x + rect.width - 1 - right,
                      rect.y + rect.height - 1 - bottom});
    return rect.x <= left && rect.y <= top && rect.x + rect.width - 1 >= right &&
           rect.y + rect.height - 1 >= bottom;
}

analysis::EdgePersistence sampleEdges(analysis::FrameSource &source, int stride) {
    analysis::EdgePersistence edges(source.width(), source.height());
    analysis::Picture frame;
    source.rewind();
    for (int64_t f = 0; source.advance(); ++f)
        if (f % stride == 0) {
            source.read({0, 0, source.width(), source.height()}, frame);
            edges.add(frame);
        }
    edges.finish();
    return edges;
}

std::string describe(const std::vector<analysis::Candidate> &found) {
    std::string text;
    for (const analysis::Candidate &c : found)
        text += "\n" + analysis::rectText(c.rect) + ": " + std::to_string(c.score) + ", " + c.notes;
    return text;
}

} // namespace pendra::test
