// The level a persistent edge must pass, per pixel. One level for the whole
// picture is set by its busiest texture: grass or foliage filling half the
// frame lifts the median, and a faint logo over a calm sky beside it never
// passes. Here the level follows the texture around each place (the median
// over a window a quarter of the picture across) where that region is calm,
// far below the whole picture's: a calm region is judged against its own
// residue, the rest as before.
#pragma once

#include <vector>

namespace pendra::analysis {

struct EdgeLevels {
    double whole = 0;      // the level for the picture as a whole
    std::vector<float> at; // per pixel, the level there
};

// Per pixel of a width x height strength map: `factor` times the median
// strength (the local one in a calm region, else the whole picture's), and
// never below `floor`.
EdgeLevels edgeLevels(const std::vector<float> &strength, int width, int height, double factor,
                      double floor);

} // namespace pendra::analysis
