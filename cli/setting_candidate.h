// One way of running the filter over a logo's stretch: tried on sampled
// frames, listed with its residue in analysis.json, and written into the job
// when it wins. One record for all three, so that a new way is added once.
#pragma once

#include <string>
#include <tuple>

namespace pendra::cli {

struct SettingCandidate {
    int alpha = 255;
    int smoothing = -1; // blur and blur3 of the repair; -1 leaves the filter's own
    std::string name;   // in words: "un-blending alone", "repair alone", ...
    bool wide = false;  // the repair from the wide set's mask (wideSetName)
    bool rims = false;  // after it, the rim set's repair (rimSetName)
    // Every logo pixel from the clean pixels on its four sides (thresholds
    // 0), with no pass along one axis first.
    bool fourSides = false;
};

// Whether two settings run the filter alike, whatever they are called.
inline bool sameFilter(const SettingCandidate &a, const SettingCandidate &b) {
    return std::tie(a.alpha, a.smoothing, a.wide, a.rims, a.fourSides) ==
           std::tie(b.alpha, b.smoothing, b.wide, b.rims, b.fourSides);
}

} // namespace pendra::cli
