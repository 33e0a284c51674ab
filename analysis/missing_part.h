// A part of the logo missing from its shape: a part whose colour is its
// background's own leaves no persistent difference to shape it by, but dims
// the background's variation all the same. Un-blending the rest would leave
// it on screen, so an estimate with a part missing is not to be trusted.
#pragma once

#include <cstdint>
#include <vector>

namespace pendra::analysis {

// The share of the clean pixels (1 in `clean`) whose variation, as a ratio
// to what the clean pixels around them lead one to expect (`ratio`, NaN
// where unknown), is dimmed by more than `dimming`, in clumps that lie
// against the logo's side of the clean area; less the share lifted alike,
// which is the variances' own scatter.
double missingShare(const std::vector<double> &ratio, const std::vector<uint8_t> &clean,
                    double dimming, int width);

} // namespace pendra::analysis
