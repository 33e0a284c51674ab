// Integrates a field of differences between neighbouring pixels back into a
// picture: the least-squares picture whose differences come closest, zero on
// the outermost line. The logo's image is rebuilt so from the differences
// that persist over the whole video, where no single frame shows it over a
// plain background.
#pragma once

#include <vector>

namespace pendra::analysis {

// `right[k]` is the wanted value at (x + 1, y) less that at (x, y), `down[k]`
// at (x, y + 1) less (x, y), for k = y·width + x (entries past the edge are
// ignored). Returns width·height values, top line first.
std::vector<double> integrateDifferences(const std::vector<double> &right,
                                         const std::vector<double> &down, int width, int height);

} // namespace pendra::analysis
