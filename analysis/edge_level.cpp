// Per-pixel edge levels from the local texture (see edge_level.h). Medians
// are taken per cell of a coarse grid, each over the cells around it, so the
// cost stays a few passes over the picture however large it is.
#include "analysis/edge_level.h"

#include "analysis/median.h"

#include <algorithm>
#include <cstddef>

namespace pendra::analysis {

namespace {

// The grid's cells across and down; a cell's level is the median over the
// cells within `reach` of it: a window of 3 in 12, a quarter of the picture,
// wide enough that a logo's own edges are a small part of it.
constexpr int cells = 12;
constexpr int reach = 1;
// A region is calm when its median strength is below this share of the
// whole picture's: a sky beside grass, not a quieter part of one scene.
constexpr double calmShare = 1.0 / 3;

// The median strength over the window of cells around cell (cx, cy).
float windowMedian(const std::vector<float> &strength, int width, int height, int cx, int cy,
                   std::vector<float> &values) {
    const int x0 = std::max(0, cx - reach) * width / cells;
    const int x1 = std::min(cells, cx + reach + 1) * width / cells;
    const int y0 = std::max(0, cy - reach) * height / cells;
    const int y1 = std::min(cells, cy + reach + 1) * height / cells;
    values.clear();
    for (int y = y0; y < y1; ++y)
        values.insert(values.end(), strength.begin() + static_cast<ptrdiff_t>(y) * width + x0,
                      strength.begin() + static_cast<ptrdiff_t>(y) * width + x1);
    return values.empty() ? 0.0f : median(values);
}

} // namespace

EdgeLevels edgeLevels(const std::vector<float> &strength, int width, int height, double factor,
                      double floor) {
    std::vector<float> values = strength;
    const double whole = values.empty() ? 0.0 : median(values);
    EdgeLevels out{std::max(floor, factor * whole), {}};
    out.at.assign(strength.size(), static_cast<float>(out.whole));
    if (width < cells || height < cells)
        return out;
    for (int cy = 0; cy < cells; ++cy)
        for (int cx = 0; cx < cells; ++cx) {
            const double local = windowMedian(strength, width, height, cx, cy, values);
            // Only a calm region has a level of its own: one a little calmer than the
            // picture is moving scenery like the rest, and a lower level there only
            // lets weak texture join a logo beside it.
            const double typical = local < calmShare * whole ? local : whole;
            const auto level = static_cast<float>(std::max(floor, factor * typical));
            for (int y = cy * height / cells; y < (cy + 1) * height / cells; ++y)
                std::fill_n(out.at.begin() + static_cast<ptrdiff_t>(y) * width + cx * width / cells,
                            (cx + 1) * width / cells - cx * width / cells, level);
        }
    return out;
}

} // namespace pendra::analysis
