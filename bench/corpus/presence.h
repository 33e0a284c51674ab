// When the logo is on screen in a case: all along, away for a break, or
// fading in after the first second and out before the last.
#pragma once

#include "bench/corpus/corpus_case.h"

#include <cstdint>
#include <vector>

namespace pendra::corpus {

struct Range {
    int64_t start = 0, end = 0;  // frames, both included
    int fadeIn = 0, fadeOut = 0; // frames of partial opacity at each end
};

struct Schedule {
    std::vector<Range> ranges;
    // The share of the logo's opacity frame n shows (0 when away).
    double weight(int64_t n) const;
};

Schedule scheduleFor(Presence presence, int64_t frames, double rate);

} // namespace pendra::corpus
