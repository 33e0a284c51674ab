// Medians of whole numbers from counts of each value. Over frames, a pixel's
// levels and the sums and differences of two of them are whole numbers in a
// small range: counting them gives the very element median() selects (the
// upper middle) in time that grows with the frames only, where a selection
// over doubles cost most of a small picture's analysis.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

namespace pendra::analysis {

// The number of each value among some values from `lowest` to `highest`;
// kept from one set of values to the next, clearing only what each set
// counted.
class ValueCounts {
  public:
    ValueCounts(int lowest, int highest)
        : base_(lowest), top_(highest), counts_(static_cast<size_t>(highest - lowest + 1), 0) {}

    // Counts `values` (not empty, each within the range); the counts of any
    // values counted before must have been cleared.
    void count(const std::vector<int> &values) {
        // Locals, which the stores to the counts cannot alias.
        int least = top_, most = base_;
        int *counts = counts_.data();
        const int base = base_;
        for (int v : values) {
            ++counts[v - base];
            least = std::min(least, v), most = std::max(most, v);
        }
        least_ = least, most_ = most, size_ = values.size();
    }
    // Clears the counts of the `values` last counted.
    void clear(const std::vector<int> &values) {
        int *counts = counts_.data();
        const int base = base_;
        for (int v : values)
            counts[v - base] = 0;
    }

    // The median as median() takes it, the upper middle: the least value
    // with more than half of them at or below it.
    int median() const {
        const int *counts = counts_.data();
        size_t below = 0;
        for (int v = least_;; ++v) {
            below += static_cast<size_t>(counts[v - base_]);
            if (below > size_ / 2)
                return v;
        }
    }
    // The median distance from `m`, likewise: the least distance within
    // which more than half of the values lie, as median() takes it over the
    // values' distances from `m`.
    int spread(int m) const {
        size_t within = static_cast<size_t>(at(m));
        int d = 0;
        while (within <= size_ / 2) {
            ++d;
            within += static_cast<size_t>(at(m - d) + at(m + d));
        }
        return d;
    }
    // The least and greatest value counted.
    int least() const { return least_; }
    int most() const { return most_; }

  private:
    int at(int v) const {
        return v < least_ || v > most_ ? 0 : counts_[static_cast<size_t>(v - base_)];
    }

    int base_, top_;
    int least_ = 0, most_ = -1;
    size_t size_ = 0;
    std::vector<int> counts_;
};

} // namespace pendra::analysis
