// When a logo's opacity cannot be measured (its surroundings are never smooth
// enough to see through) but its place and shape can, from the edges that
// persist: the mark filled, grown by a pixel, is the interpolate mask, and
// the captures say "no logo" everywhere, so that the module, with alpha 0,
// repairs the whole mark from the clean pixels around it.
#pragma once

#include "analysis/logo_analysis.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pendra::analysis {

// The estimate that repairs the mark whose persistent edge pixels in `rect`
// are `edges` (rect-sized, top line first), present in the frames `presence`
// gives; `why` says why its opacity is not known. Its mask and presence are
// empty when there are no edges.
LogoEstimate repairEstimate(const std::vector<uint8_t> &edges, const Rect &rect,
                            std::vector<PresenceRange> presence, const std::string &why);

} // namespace pendra::analysis
