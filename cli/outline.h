// Rectangle outlines drawn over pictures for a person to look at: the preview
// marks the logo rectangle, the analysis marks its candidates.
#pragma once

namespace pendra::cli {

// Calls plot(x, line) for every pixel of `rings` outlines around the
// rectangle at x, y of width x height, the first `offset` pixels out from its
// edge (0: on the edge itself). The caller clips to its picture.
template <class Plot>
void forEachOutlinePixel(int x, int y, int width, int height, int offset, int rings, Plot plot) {
    for (int ring = offset; ring < offset + rings; ++ring) {
        const int left = x - ring, right = x + width - 1 + ring;
        const int top = y - ring, bottom = y + height - 1 + ring;
        for (int column = left; column <= right; ++column) {
            plot(column, top);
            plot(column, bottom);
        }
        for (int line = top; line <= bottom; ++line) {
            plot(left, line);
            plot(right, line);
        }
    }
}

} // namespace pendra::cli
