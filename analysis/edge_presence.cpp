// Presence of a mark from its persistent edges (see edge_presence.h).
#include "analysis/edge_presence.h"

#include "analysis/pixel_channels.h"
#include "analysis/presence.h"

namespace pendra::analysis {

float patternStrength(const Picture &area, const EdgePattern &pattern) {
    if (pattern.empty())
        return 0;
    const int w = area.width;
    double dot = 0;
    for (size_t i = 0; i < pattern.at.size(); ++i) {
        const int k = pattern.at[i], x = k % w, y = k / w;
        for (int c = 0; c < 3; ++c) {
            // Central differences, as the location measured the pattern.
            const int dx = channel(area.at(x + 1, y), c) - channel(area.at(x - 1, y), c);
            const int dy = channel(area.at(x, y + 1), c) - channel(area.at(x, y - 1), c);
            dot += double(dx) * pattern.gx[i * 3 + c] + double(dy) * pattern.gy[i * 3 + c];
        }
    }
    return static_cast<float>(dot / pattern.energy);
}

std::vector<PresenceRange> patternPresence(std::vector<float> strengths, int64_t firstFrame) {
    const double scale = typicalStrength(strengths);
    for (float &s : strengths)
        s = static_cast<float>(s / scale);
    return presenceRanges(strengths, firstFrame);
}

} // namespace pendra::analysis
